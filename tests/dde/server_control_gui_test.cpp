// The window's server under D-Bus control: a test option changed over the bus (from a second
// connection, as another program would) is served, and the Modbus menu's check marks, its
// enabling and the status panel follow at once; refused changes leave everything as it was.
#include "dde/server_control.h"
#include "server/modbus_options_menu.h"
#include "shell/shell_fixture.h"

#include <QAction>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QLabel>
#include <QMenu>
#include <gtest/gtest.h>

namespace korvel::testing {
namespace {

class ServerControlWindow : public ShellFixture {
  protected:
    void SetUp() override
    {
        ShellFixture::SetUp();
        if (!QDBusConnection::sessionBus().isConnected())
            GTEST_SKIP() << "no session bus (run inside dbus-run-session)";
        other = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("server-control-test")));
        form_ = &start();
        menu = form_->findChild<ModbusOptionsMenu*>(QStringLiteral("ModbusOptionsMenu"));
        ASSERT_NE(menu, nullptr);
    }
    void TearDown() override
    {
        other.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("server-control-test"));
        ShellFixture::TearDown();
    }
    // A call to the window's /server from the other connection, served by this thread meanwhile.
    QDBusMessage call(const QString& interface, const QString& method, const QVariantList& arguments)
    {
        QDBusMessage m = QDBusMessage::createMethodCall(QDBusConnection::sessionBus().baseService(),
                                                        QStringLiteral("/server"), interface, method);
        m.setArguments(arguments);
        QDBusPendingCall pending = other->asyncCall(m, 5000);
        EXPECT_TRUE(WaitUntil([&] { return pending.isFinished(); }));
        return pending.reply();
    }
    QDBusMessage set(const char* property, const QVariant& value)
    {
        return call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
                    {QStringLiteral("org.korvel.Server"), QString::fromLatin1(property),
                     QVariant::fromValue(QDBusVariant(value))});
    }
    QVariant get(const char* property)
    {
        const QDBusMessage reply = call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                                        {QStringLiteral("org.korvel.Server"), QString::fromLatin1(property)});
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }
    QString label(const char* name)
    {
        auto* l = form_->findChild<QLabel*>(QString::fromLatin1(name));
        return l ? l->text() : QString();
    }

    std::unique_ptr<QDBusConnection> other;
    TChatForm* form_ = nullptr;
    ModbusOptionsMenu* menu = nullptr;
};

TEST_F(ServerControlWindow, HeaderFaultAndForcedExceptionFollowInMenuAndPanel)
{
    ASSERT_EQ(set("WrongTI", true).type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(menu->UsewrongTI1->isChecked());
    EXPECT_FALSE(menu->ReturnException1->menuAction()->isEnabled());
    EXPECT_EQ(label("lblIncorrTI"), "On");
    EXPECT_TRUE(engine().settings.WrongTIActive) << "the server serves the change";

    // The window's menu would not allow it: neither does the bus (Qt 6.4 answers a property write
    // without the setter's error, so the value read back tells).
    set("ForcedException", 4);
    EXPECT_FALSE(menu->exp[3]->isChecked());
    EXPECT_EQ(get("ForcedException").toInt(), 0);

    ASSERT_EQ(set("WrongTI", false).type(), QDBusMessage::ReplyMessage);
    ASSERT_EQ(set("ForcedException", 4).type(), QDBusMessage::ReplyMessage);
    EXPECT_FALSE(menu->UsewrongTI1->isChecked());
    EXPECT_TRUE(menu->exp[3]->isChecked());
    EXPECT_FALSE(menu->UsewrongTI1->isEnabled());
    EXPECT_EQ(label("lblIncorrTI"), "Off");
    EXPECT_EQ(label("lblRetExc"), "On 04  (4)");
    EXPECT_EQ(get("ForcedException").toInt(), 4);

    ASSERT_EQ(set("ForcedException", 0).type(), QDBusMessage::ReplyMessage);
    EXPECT_FALSE(menu->exp[3]->isChecked());
    EXPECT_TRUE(menu->UsewrongTI1->isEnabled());
    EXPECT_EQ(label("lblRetExc"), "Off");
}

TEST_F(ServerControlWindow, FunctionsOffsetAndSynchFollowInTheMenu)
{
    ASSERT_EQ(set("ServedFunctions", QVariant::fromValue(QList<int>{3, 16})).type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(menu->FC31->isChecked());
    EXPECT_TRUE(menu->FC161->isChecked());
    for (QAction* off : {menu->FC41, menu->FC61, menu->FC71, menu->FC81, menu->FC221, menu->FC231})
        EXPECT_FALSE(off->isChecked()) << off->objectName().toStdString();
    EXPECT_EQ(qdbus_cast<QList<int>>(get("ServedFunctions")), (QList<int>{3, 16}));

    ASSERT_EQ(set("AddressOffset", true).type(), QDBusMessage::ReplyMessage);
    ASSERT_EQ(set("OutOfSynch", true).type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(menu->Useaddressoffset1->isChecked());
    EXPECT_TRUE(menu->PostponeReply1->isChecked());
    EXPECT_EQ(label("lblAddrOffset"), "On");
    EXPECT_EQ(label("lblOutOfSynchStatus"), "On");

    // A code the server does not speak changes nothing.
    set("ServedFunctions", QVariant::fromValue(QList<int>{3, 5}));
    EXPECT_EQ(qdbus_cast<QList<int>>(get("ServedFunctions")), (QList<int>{3, 16}));
}

} // namespace
} // namespace korvel::testing
