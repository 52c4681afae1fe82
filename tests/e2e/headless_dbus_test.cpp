// korvel-server under D-Bus control while a master is connected: each test option switched over
// the bus changes the very next reply, byte for byte; the counters, a connection's fields, the
// connection signal and Disconnect as another program on the bus sees them.
#include "e2e/korvel_process.h"
#include "support/bus_client.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QRegularExpression>
#include <QTest>
#include <gtest/gtest.h>

namespace korvel::testing {
namespace {

QByteArray Hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

class HeadlessDbus : public ::testing::Test {
  protected:
    void SetUp() override
    {
        if (!QDBusConnection::sessionBus().isConnected())
            GTEST_SKIP() << "no session bus (run inside dbus-run-session)";
        server.waitForErrorText(QStringLiteral("listening on"));
        ASSERT_TRUE(server.start());
        const QRegularExpression line(QStringLiteral("D-Bus control: (\\S+) /server"));
        ASSERT_TRUE(WaitUntil([&] { return line.match(server.errors()).hasMatch(); })) << server.errors().toStdString();
        service = line.match(server.errors()).captured(1);
        ASSERT_TRUE(client.connectTo(server.basePort()));
    }
    QDBusMessage call(const QString& interface, const QString& method, const QVariantList& arguments = {})
    {
        QDBusMessage m = QDBusMessage::createMethodCall(service, QStringLiteral("/server"), interface, method);
        m.setArguments(arguments);
        return QDBusConnection::sessionBus().call(m, QDBus::Block, 5000);
    }
    QDBusMessage control(const char* method, const QVariantList& arguments = {})
    {
        return call(QStringLiteral("org.korvel.Server"), QString::fromLatin1(method), arguments);
    }
    void set(const char* property, const QVariant& value)
    {
        const QDBusMessage reply = call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
                                        {QStringLiteral("org.korvel.Server"), QString::fromLatin1(property),
                                         QVariant::fromValue(QDBusVariant(value))});
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << property << " " << reply.errorMessage().toStdString();
    }
    QVariant get(const char* property)
    {
        const QDBusMessage reply = call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                                        {QStringLiteral("org.korvel.Server"), QString::fromLatin1(property)});
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }
    // The reply to `request`, or empty when none comes.
    QByteArray exchange(const char* request, int replyLength)
    {
        client.send(Hex(request));
        if (replyLength == 0) {
            QTest::qWait(300);
            return client.pending() == 0 ? QByteArray() : QByteArray("unexpected reply");
        }
        return client.receive(replyLength);
    }
    QMap<QString, qulonglong> counters()
    {
        const QDBusMessage reply = control("Counters");
        return qdbus_cast<QMap<QString, qulonglong>>(reply.arguments().value(0));
    }

    KorvelProcess server{{}, 0, {}, QStringLiteral(KORVEL_SERVER_EXECUTABLE)};
    QString service;
    RawClient client;
};

const char* kFc3 = "00 01 00 00 00 06 01 03 00 00 00 01";

TEST_F(HeadlessDbus, OptionsSwitchedWhileConnectedChangeTheNextReply)
{
    struct Step {
        const char* property;
        QVariant value;
        const char* reply; // "" for none
    };
    const Step steps[] = {
        {"WrongTI", true, "DE AD 00 00 00 05 01 03 02 00 00"},
        {"WrongTI", false, "00 01 00 00 00 05 01 03 02 00 00"},
        {"WrongPID", true, "00 01 AB CD 00 05 01 03 02 00 00"},
        {"WrongLength", true, "00 01 AB CD EF 05 01 03 02 00 00"},
        {"WrongPID", false, "00 01 00 00 EF 05 01 03 02 00 00"},
        {"WrongLength", false, "00 01 00 00 00 05 01 03 02 00 00"},
        {"ForcedException", 6, "00 01 00 00 00 03 01 83 06"},
        {"ForcedException", 0, "00 01 00 00 00 05 01 03 02 00 00"},
        {"ServedFunctions", QVariant::fromValue(QList<int>{4, 6}), "00 01 00 00 00 03 01 83 01"},
        {"ServedFunctions", QVariant::fromValue(QList<int>{3}), "00 01 00 00 00 05 01 03 02 00 00"},
        {"UnitId", QStringLiteral("9"), ""},
        {"UnitId", QStringLiteral("1"), "00 01 00 00 00 05 01 03 02 00 00"},
        {"AddressOffset", true, "00 01 00 00 00 05 01 03 02 00 00"},
    };
    for (const Step& step : steps) {
        set(step.property, step.value);
        const QByteArray expected = Hex(step.reply);
        EXPECT_EQ(exchange(kFc3, static_cast<int>(expected.size())).toHex(' '), expected.toHex(' '))
            << step.property << " := " << step.value.toString().toStdString();
    }

    // Out of synch: the first request after the switch is held back, the next one answers it.
    set("OutOfSynch", true);
    EXPECT_EQ(exchange("00 0A 00 00 00 06 01 03 00 00 00 01", 0), QByteArray());
    EXPECT_EQ(exchange("00 0B 00 00 00 06 01 03 00 00 00 01", 11).toHex(' '),
              Hex("00 0A 00 00 00 05 01 03 02 00 00").toHex(' '));

    const QMap<QString, qulonglong> c = counters();
    EXPECT_EQ(c.value("requests"), 14u) << "the last request is still held back";
    EXPECT_EQ(c.value("exceptions"), 2u);
    EXPECT_EQ(c.value("no-response"), 1u);
    EXPECT_EQ(c.value("bytes-received-1"), 15u * 12u);
    EXPECT_GT(c.value("bytes-sent-1"), 0u);
    EXPECT_EQ(c.value("bytes-received-2"), 0u);
}

// A refused value is an InvalidArgs error, and it changes nothing.
TEST_F(HeadlessDbus, RefusedValuesAreErrorsAndChangeNothing)
{
    set("WrongTI", true);
    for (const auto& [property, value] : std::initializer_list<std::pair<const char*, QVariant>>{
             {"ForcedException", 2},
             {"ForcedException", QStringLiteral("6")},
             {"UnitId", QStringLiteral("256")},
             {"UnitId", QStringLiteral("5 ")},
             {"ServedFunctions", QVariant::fromValue(QList<int>{5})}}) {
        const QDBusMessage reply = call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
                                        {QStringLiteral("org.korvel.Server"), QString::fromLatin1(property),
                                         QVariant::fromValue(QDBusVariant(value))});
        EXPECT_EQ(reply.errorName(), "org.freedesktop.DBus.Error.InvalidArgs") << property;
        EXPECT_TRUE(reply.errorMessage().contains(QLatin1String(property))) << reply.errorMessage().toStdString();
    }
    EXPECT_EQ(get("ForcedException").toInt(), 0);
    EXPECT_EQ(get("UnitId").toString(), "0");
    EXPECT_EQ(qdbus_cast<QList<int>>(get("ServedFunctions")), (QList<int>{3, 4, 6, 7, 8, 16, 22, 23}));
    EXPECT_EQ(exchange(kFc3, 11).toHex(' '), Hex("DE AD 00 00 00 05 01 03 02 00 00").toHex(' '))
        << "still only the wrong TI";
    EXPECT_EQ(control("Disconnect", {3}).type(), QDBusMessage::ErrorMessage);
}

TEST_F(HeadlessDbus, ConnectionFieldsSignalAndDisconnect)
{
    ConnectionChangedSpy signals_;
    ASSERT_TRUE(QDBusConnection::sessionBus().connect(
        service, QStringLiteral("/server"), QStringLiteral("org.korvel.Server"), QStringLiteral("ConnectionChanged"),
        &signals_, SLOT(changed(int, bool, QString))));
    RawClient second;
    ASSERT_TRUE(second.connectTo(server.basePort()));
    second.send(Hex("00 07 00 00 00 06 01 04 00 10 00 02"));
    ASSERT_EQ(second.receive(13).size(), 13);

    const QVariantMap fields = qdbus_cast<QVariantMap>(control("Connection", {2}).arguments().value(0));
    EXPECT_EQ(fields.value("open").toBool(), true);
    EXPECT_EQ(fields.value("peer").toString(), "127.0.0.1");
    EXPECT_EQ(fields.value("fc").toString().left(2), "04") << fields.value("fc").toString().toStdString();
    EXPECT_EQ(fields.value("bytes-received").toULongLong(), 12u);
    EXPECT_EQ(fields.value("bytes-sent").toULongLong(), 13u);

    ASSERT_EQ(control("Disconnect", {2}).type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(second.waitClosed());
    EXPECT_TRUE(client.connected()) << "connection #1 stays";
    ASSERT_TRUE(WaitUntil([&] { return signals_.heard.contains("2 closed 127.0.0.1"); }))
        << signals_.heard.join(", ").toStdString();
    EXPECT_TRUE(signals_.heard.contains("2 open 127.0.0.1")) << signals_.heard.join(", ").toStdString();
}

// --nagle-off and --keep-idle as a connection's fields show them: Nagle off on every accepted
// connection; without the idle release no idle second is counted.
TEST(HeadlessDbusOptions, NagleOffAndKeepIdleShowInTheConnectionFields)
{
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no session bus (run inside dbus-run-session)";
    for (const bool options : {false, true}) {
        KorvelProcess server({}, 0, options ? QStringList{"--nagle-off", "--keep-idle"} : QStringList{},
                             QStringLiteral(KORVEL_SERVER_EXECUTABLE));
        server.waitForErrorText(QStringLiteral("D-Bus control: "));
        ASSERT_TRUE(server.start());
        const QRegularExpression line(QStringLiteral("D-Bus control: (\\S+) /server"));
        const QString service = line.match(server.errors()).captured(1);
        RawClient client;
        ASSERT_TRUE(client.connectTo(server.basePort()));
        client.send(Hex(kFc3));
        ASSERT_EQ(client.receive(11).size(), 11);
        QTest::qWait(1500); // more than one idle second
        QDBusMessage m = QDBusMessage::createMethodCall(
            service, QStringLiteral("/server"), QStringLiteral("org.korvel.Server"), QStringLiteral("Connection"));
        m.setArguments({1});
        const QVariantMap fields =
            qdbus_cast<QVariantMap>(QDBusConnection::sessionBus().call(m, QDBus::Block, 5000).arguments().value(0));
        EXPECT_EQ(fields.value("nagle-disabled").toBool(), options) << "options " << options;
        if (options) {
            EXPECT_EQ(fields.value("idle-s").toInt(), 0);
        } else {
            EXPECT_GE(fields.value("idle-s").toInt(), 1);
        }
    }
}

// --uid 00 answers unit 0 only, and the property says so.
TEST(HeadlessDbusOptions, UidZeroZeroReadsBackAsGiven)
{
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no session bus (run inside dbus-run-session)";
    KorvelProcess server({}, 0, QStringList{QStringLiteral("--uid"), QStringLiteral("00")},
                         QStringLiteral(KORVEL_SERVER_EXECUTABLE));
    server.waitForErrorText(QStringLiteral("D-Bus control: "));
    ASSERT_TRUE(server.start());
    const QRegularExpression line(QStringLiteral("D-Bus control: (\\S+) /server"));
    QDBusMessage m =
        QDBusMessage::createMethodCall(line.match(server.errors()).captured(1), QStringLiteral("/server"),
                                       QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    m.setArguments({QStringLiteral("org.korvel.Server"), QStringLiteral("UnitId")});
    const QDBusMessage reply = QDBusConnection::sessionBus().call(m, QDBus::Block, 5000);
    EXPECT_EQ(reply.arguments().value(0).value<QDBusVariant>().variant().toString(), "00");
    RawClient client;
    ASSERT_TRUE(client.connectTo(server.basePort()));
    client.send(Hex(kFc3));
    QTest::qWait(300);
    EXPECT_EQ(client.pending(), 0) << "unit 1 gets no answer";
}

} // namespace
} // namespace korvel::testing
