// The window's server under D-Bus control: a test option changed over the bus (from a second
// connection, as another program would) is served, and the Modbus menu's check marks, its
// enabling, the UID box and the status panel follow at once; a refused change is an InvalidArgs
// error and leaves everything as it was; every change, from the menu, the box or the bus, is told
// as PropertiesChanged. Rule sets loaded over the bus serve the window's masters too.
#include "dde/fault_control.h"
#include "dde/server_control.h"
#include "server_ui/modbus_options_menu.h"
#include "shell/shell_fixture.h"
#include "support/test_net.h"

#include <QAction>
#include <QComboBox>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace korvel::testing {
namespace {

// The PropertiesChanged signals of /server received on the other connection.
class PropertiesSpy : public QObject {
    Q_OBJECT
  public:
    QVariantMap changed; // the last value told of each property
    int count = 0;
  public slots:
    void propertiesChanged(const QString& interface, const QVariantMap& values, const QStringList&)
    {
        if (interface != QLatin1String("org.korvel.Server"))
            return;
        ++count;
        for (auto it = values.constBegin(); it != values.constEnd(); ++it)
            changed.insert(it.key(), it.value());
    }
};

// The Fired signals heard, as "<rule> <connection> <transaction id>".
class FiredSpy : public QObject {
    Q_OBJECT
  public:
    QStringList heard;
  public slots:
    void fired(const QString& rule, int connection, ushort transactionId)
    {
        heard << QStringLiteral("%1 %2 %3").arg(rule).arg(connection).arg(transactionId);
    }
};

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
    QVariantMap getAll()
    {
        const QDBusMessage reply = call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"),
                                        {QStringLiteral("org.korvel.Server")});
        QVariantMap all = qdbus_cast<QVariantMap>(reply.arguments().value(0));
        all[QStringLiteral("ServedFunctions")] =
            QVariant::fromValue(qdbus_cast<QList<int>>(all.value("ServedFunctions")));
        return all;
    }
    QComboBox* uidBox() { return form_->findChild<QComboBox*>(QStringLiteral("ComboBoxUID")); }
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

    // The window's menu would not allow it: neither does the bus.
    EXPECT_EQ(set("ForcedException", 4).errorName(), ServerControl::kInvalidArgs);
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
    EXPECT_EQ(set("ServedFunctions", QVariant::fromValue(QList<int>{3, 5})).errorName(), ServerControl::kInvalidArgs);
    EXPECT_EQ(qdbus_cast<QList<int>>(get("ServedFunctions")), (QList<int>{3, 16}));
}

// Each refused write is an InvalidArgs error naming the property, and nothing changes.
TEST_F(ServerControlWindow, RefusedWritesAreErrorsAndChangeNothing)
{
    struct Row {
        const char* property;
        QVariant value;
        bool exceptionForced; // ForcedException 2 is on first
    };
    const Row rows[] = {
        {"ForcedException", 9, false},
        {"ForcedException", -1, false},
        {"ForcedException", 300, false},
        {"ForcedException", QStringLiteral("6"), false},
        {"ForcedException", true, false},
        {"ForcedException", QVariant::fromValue<uint>(6), false},
        {"UnitId", QStringLiteral("256"), false},
        {"UnitId", QStringLiteral("abc"), false},
        {"UnitId", QStringLiteral("5 "), false},
        {"UnitId", QStringLiteral(" 5"), false},
        {"UnitId", QStringLiteral("$5"), false},
        {"UnitId", QString(), false},
        {"UnitId", 5, false},
        {"ServedFunctions", QVariant::fromValue(QList<int>{5}), false},
        {"ServedFunctions", QVariant::fromValue(QStringList{QStringLiteral("3")}), false},
        {"AddressOffset", 1, false},
        {"OutOfSynch", QStringLiteral("true"), false},
        {"WrongTI", true, true},
        {"WrongPID", true, true},
        {"WrongLength", true, true},
    };
    for (const Row& row : rows) {
        ASSERT_EQ(set("ForcedException", row.exceptionForced ? 2 : 0).type(), QDBusMessage::ReplyMessage);
        const QVariantMap before = getAll();
        const QDBusMessage reply = set(row.property, row.value);
        EXPECT_EQ(reply.errorName(), ServerControl::kInvalidArgs)
            << row.property << " " << row.value.toString().toStdString();
        EXPECT_TRUE(reply.errorMessage().contains(QLatin1String(row.property))) << reply.errorMessage().toStdString();
        EXPECT_EQ(getAll(), before) << row.property;
    }
    EXPECT_EQ(set("NoSuchOption", true).errorName(), "org.freedesktop.DBus.Error.UnknownProperty");
    EXPECT_EQ(uidBox()->currentText(), "0");
    EXPECT_TRUE(engine().settings.check.uidAny) << "\"5 \" answered no unit at all";
}

// The UID box, the property and the server agree, whichever changed: "00" stays "00".
TEST_F(ServerControlWindow, UnitIdIsTheBoxAndTheServersSelector)
{
    uidBox()->setCurrentText(QStringLiteral("17"));
    EXPECT_EQ(get("UnitId").toString(), "17");

    ASSERT_EQ(set("UnitId", QStringLiteral("00")).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(uidBox()->currentText(), "00");
    EXPECT_FALSE(engine().settings.check.uidAny);
    EXPECT_EQ(engine().settings.check.uid, 0);
    EXPECT_EQ(get("UnitId").toString(), "00");

    ASSERT_EQ(set("UnitId", QStringLiteral("5")).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(uidBox()->currentText(), "5");
    EXPECT_EQ(uidBox()->count(), 256) << "the extra item went with its text";
    EXPECT_EQ(engine().settings.check.uid, 5);
}

TEST_F(ServerControlWindow, EveryChangeIsToldAsPropertiesChanged)
{
    PropertiesSpy spy;
    ASSERT_TRUE(other->connect(QDBusConnection::sessionBus().baseService(), QStringLiteral("/server"),
                               QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"),
                               &spy, SLOT(propertiesChanged(QString, QVariantMap, QStringList))));
    getAll(); // the match rule is in place before the first change

    menu->UsewrongTI1->trigger();
    EXPECT_TRUE(WaitUntil([&] { return spy.changed.value("WrongTI").toBool(); }));
    uidBox()->setCurrentText(QStringLiteral("9"));
    EXPECT_TRUE(WaitUntil([&] { return spy.changed.value("UnitId").toString() == "9"; }));
    ASSERT_EQ(set("OutOfSynch", true).type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(WaitUntil([&] { return spy.changed.value("OutOfSynch").toBool(); }));
    menu->exp[0]->trigger(); // a header fault is on: the item is grey, nothing changes
    ASSERT_EQ(set("WrongTI", false).type(), QDBusMessage::ReplyMessage);
    menu->exp[4]->trigger();
    EXPECT_TRUE(WaitUntil([&] { return spy.changed.value("ForcedException").toInt() == 5; }));
    EXPECT_EQ(spy.changed.value("WrongTI").toBool(), false);
    const int told = spy.count;
    EXPECT_EQ(set("WrongPID", true).type(), QDBusMessage::ErrorMessage);
    getAll();
    EXPECT_EQ(spy.count, told) << "a refused write changes nothing and tells nothing";
}

TEST_F(ServerControlWindow, TheLiveInterfacesAreTheShippedIntrospectionFiles)
{
    // The interface's elements, in any order and without comments or Qt's type annotations.
    auto interfaceOf = [](QString xml, const QString& name) {
        xml.remove(QRegularExpression(QStringLiteral("<!--.*?-->|<annotation[^>]*/>|</property>"),
                                      QRegularExpression::DotMatchesEverythingOption));
        const qsizetype from = xml.indexOf(QStringLiteral("<interface name=\"%1\">").arg(name));
        if (from < 0)
            return QStringList();
        const qsizetype to = xml.indexOf(QStringLiteral("</interface>"), from);
        QStringList elements;
        const QRegularExpression tag(QStringLiteral("<[^>]*>"));
        for (const QRegularExpressionMatch& m : tag.globalMatch(xml.mid(from, to - from)))
            elements << m.captured().simplified().replace(QStringLiteral("readwrite\"/>"),
                                                          QStringLiteral("readwrite\">"));
        elements.sort();
        return elements;
    };
    const QString live = call(QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect"), {})
                             .arguments()
                             .value(0)
                             .toString();
    for (const auto& [name, elements] :
         {std::pair(QStringLiteral("org.korvel.Server"), 20), std::pair(texts::kFaultsInterface, 15)}) {
        QFile file(QStringLiteral(KORVEL_SOURCE_DIR "/dbus/") + name + QStringLiteral(".xml"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        EXPECT_GT(interfaceOf(live, name).size(), elements) << name.toStdString();
        EXPECT_EQ(interfaceOf(live, name), interfaceOf(QString::fromUtf8(file.readAll()), name)) << name.toStdString();
    }
    EXPECT_TRUE(live.contains(QLatin1String("org.freedesktop.DBus.Properties")));
}

// The window's server takes rule sets over the bus as korvel-server does: a rule loaded there
// drops the reply to a master of the window, is counted and is told as Fired.
TEST_F(ServerControlWindow, FaultRulesLoadedOverTheBusServeTheWindowsMasters)
{
    qDBusRegisterMetaType<FaultCounterRow>();
    qDBusRegisterMetaType<FaultCounterRows>();
    FiredSpy spy;
    ASSERT_TRUE(other->connect(QDBusConnection::sessionBus().baseService(), QStringLiteral("/server"),
                               texts::kFaultsInterface, QStringLiteral("Fired"), &spy,
                               SLOT(fired(QString, int, ushort))));
    const QString rules = QStringLiteral("[[rule]]\nname = \"gone\"\nfault = \"no-reply\"\nfunction = 4\n");
    ASSERT_EQ(call(texts::kFaultsInterface, QStringLiteral("Load"), {rules}).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(call(texts::kFaultsInterface, QStringLiteral("Rules"), {}).arguments().value(0).toString(), rules);

    RawClient master;
    ASSERT_TRUE(master.connectTo(basePort));
    master.send(ReadInput(0x21, 0, 1));
    EXPECT_TRUE(WaitUntil([&] { return !spy.heard.isEmpty(); })) << "no Fired signal";
    EXPECT_EQ(spy.heard, QStringList{"gone 1 33"});
    EXPECT_EQ(master.pending(), 0) << "the FC4 reply is dropped";
    master.send(ReadHolding(0x22, 0, 1));
    EXPECT_EQ(master.receive(11).size(), 11) << "FC3 is outside the rule";

    const QDBusMessage reply = call(texts::kFaultsInterface, QStringLiteral("Counters"), {});
    const FaultCounterRows rows = qdbus_cast<FaultCounterRows>(reply.arguments().value(0));
    EXPECT_EQ(rows, (FaultCounterRows{{QStringLiteral("gone"), QStringLiteral("no-reply"), 1, 1}}));
    EXPECT_EQ(call(texts::kFaultsInterface, QStringLiteral("Enable"), {QStringLiteral("went"), false}).errorName(),
              texts::kFaultsUnknownRuleError);
}

} // namespace
} // namespace korvel::testing

#include "server_control_gui_test.moc"
