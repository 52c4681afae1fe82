// korvel-server's fault rules from outside: org.korvel.Faults as another program on the bus uses
// it while a master is connected (the rules change the very next replies, are counted, switched,
// reset, cleared and told as Fired; a bad rule set is refused whole), --faults FILE applied before
// the first connection and a bad file refused with one line, and a libmodbus master that sees
// exactly every third reply lost.
#include "dde/fault_control.h"
#include "e2e/korvel_process.h"
#include "support/bus_client.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>
#include <gtest/gtest.h>

namespace korvel::testing {
namespace {

const QString kServer = QStringLiteral(KORVEL_SERVER_EXECUTABLE);

QByteArray Hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

QString Row(const FaultCounterRow& r)
{
    return QStringLiteral("%1 %2 %3/%4").arg(r.name, r.kind).arg(r.matched).arg(r.fired);
}

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

// Two rules: every second FC3 reply lost, every FC4 answered with exception 6.
const QString kTwoRules = QStringLiteral("seed = 9\n"
                                         "\n"
                                         "[[rule]]\n"
                                         "name = \"lost\"\n"
                                         "fault = \"no-reply\"\n"
                                         "function = 3\n"
                                         "every = 2\n"
                                         "\n"
                                         "[[rule]]\n"
                                         "name = \"busy\"\n"
                                         "fault = \"exception\"\n"
                                         "code = 6\n"
                                         "function = 4\n");

const char* kFc3Reply = "00 %1 00 00 00 05 01 03 02 00 00";

class FaultsOverDbus : public ::testing::Test {
  protected:
    void SetUp() override
    {
        if (!QDBusConnection::sessionBus().isConnected())
            GTEST_SKIP() << "no session bus (run inside dbus-run-session)";
        qDBusRegisterMetaType<FaultCounterRow>();
        qDBusRegisterMetaType<FaultCounterRows>();
        server.waitForErrorText(QStringLiteral("D-Bus control: "));
        ASSERT_TRUE(server.start());
        const QRegularExpression line(QStringLiteral("D-Bus control: (\\S+) /server"));
        service = line.match(server.errors()).captured(1);
        ASSERT_FALSE(service.isEmpty()) << server.errors().toStdString();
        ASSERT_TRUE(client.connectTo(server.basePort()));
    }
    QDBusMessage faults(const char* method, const QVariantList& arguments = {},
                        const QString& interface = texts::kFaultsInterface)
    {
        QDBusMessage m =
            QDBusMessage::createMethodCall(service, QStringLiteral("/server"), interface, QString::fromLatin1(method));
        m.setArguments(arguments);
        return QDBusConnection::sessionBus().call(m, QDBus::Block, 5000);
    }
    QString rules() { return faults("Rules").arguments().value(0).toString(); }
    QStringList counters()
    {
        const QDBusMessage reply = faults("Counters");
        EXPECT_EQ(reply.signature(), "a(sstt)");
        QStringList rows;
        for (const FaultCounterRow& r : qdbus_cast<FaultCounterRows>(reply.arguments().value(0)))
            rows << Row(r);
        return rows;
    }
    // Reads holding register 0 with transaction id `ti`: the reply's bytes, or empty when none
    // comes within 300 ms.
    QByteArray readHolding(uint16_t ti) { return exchange(ReadHolding(ti, 0, 1), 11); }
    QByteArray exchange(const QByteArray& request, int replyLength)
    {
        client.send(request);
        QByteArray reply = client.receive(replyLength, 300);
        return reply;
    }
    static QByteArray Fc3Reply(uint16_t ti)
    {
        return Hex(QString::fromLatin1(kFc3Reply).arg(ti, 2, 16, QLatin1Char('0')).toLatin1().constData());
    }

    KorvelProcess server{{}, 0, {}, kServer};
    QString service;
    RawClient client;
};

TEST_F(FaultsOverDbus, RulesLoadedOverTheBusChangeTheNextRepliesAndAreCountedAndTold)
{
    FiredSpy spy;
    ASSERT_TRUE(QDBusConnection::sessionBus().connect(service, QStringLiteral("/server"), texts::kFaultsInterface,
                                                      QStringLiteral("Fired"), &spy,
                                                      SLOT(fired(QString, int, ushort))));
    EXPECT_EQ(rules(), QString()) << "no rule set before one is loaded";
    EXPECT_EQ(counters(), QStringList());

    const QDBusMessage loaded = faults("Load", {kTwoRules});
    ASSERT_EQ(loaded.type(), QDBusMessage::ReplyMessage) << loaded.errorMessage().toStdString();
    EXPECT_EQ(rules(), kTwoRules);
    EXPECT_EQ(readHolding(1).toHex(' '), Fc3Reply(1).toHex(' '));
    EXPECT_EQ(readHolding(2), QByteArray()) << "the second FC3 reply is lost";
    EXPECT_EQ(exchange(Frame(3, 1, Hex("04 00 00 00 01")), 9).toHex(' '), Hex("00 03 00 00 00 03 01 84 06").toHex(' '));
    EXPECT_EQ(readHolding(4).toHex(' '), Fc3Reply(4).toHex(' '));
    EXPECT_EQ(counters(), (QStringList{"lost no-reply 3/1", "busy exception 1/1"}));
    ASSERT_TRUE(WaitUntil([&] { return spy.heard.size() >= 2; })) << spy.heard.join(", ").toStdString();
    EXPECT_EQ(spy.heard, (QStringList{"lost 1 2", "busy 1 3"}));

    // Switched off, a rule neither counts nor fires; on again, it goes on from where it was.
    ASSERT_EQ(faults("Enable", {QStringLiteral("lost"), false}).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(readHolding(5).toHex(' '), Fc3Reply(5).toHex(' '));
    EXPECT_EQ(readHolding(6).toHex(' '), Fc3Reply(6).toHex(' '));
    EXPECT_EQ(counters().value(0), "lost no-reply 3/1");
    ASSERT_EQ(faults("Enable", {QStringLiteral("lost"), true}).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(readHolding(7), QByteArray()) << "the rule's fourth matching request";

    const QDBusMessage unknown = faults("Enable", {QStringLiteral("Lost"), true});
    EXPECT_EQ(unknown.errorName(), texts::kFaultsUnknownRuleError);
    EXPECT_EQ(unknown.errorMessage(), texts::kFaultsUnknownRuleText.arg(QStringLiteral("Lost")));
    EXPECT_EQ(faults("Enable", {QStringLiteral("lost")}).type(), QDBusMessage::ErrorMessage) << "without its b";

    ASSERT_EQ(faults("ResetCounters").type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(counters(), (QStringList{"lost no-reply 0/0", "busy exception 0/0"}));
    EXPECT_EQ(rules(), kTwoRules) << "a reset keeps the rules";

    ASSERT_EQ(faults("Clear").type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(rules(), QString());
    EXPECT_EQ(counters(), QStringList());
    EXPECT_EQ(exchange(Frame(8, 1, Hex("04 00 00 00 01")), 11).size(), 11) << "FC4 answered again";
    EXPECT_EQ(readHolding(9).toHex(' '), Fc3Reply(9).toHex(' '));
    EXPECT_EQ(faults("Enable", {QStringLiteral("lost"), true}).errorName(), texts::kFaultsUnknownRuleError);
    QTest::qWait(100);
    EXPECT_EQ(spy.heard, (QStringList{"lost 1 2", "busy 1 3", "lost 1 7"}));
}

// A rule set with an error answers Invalid with its place and reason, and nothing of it applies:
// the rules in force stay, with their counts.
TEST_F(FaultsOverDbus, ABadRuleSetIsRefusedWholeWithItsPlace)
{
    ASSERT_EQ(faults("Load", {kTwoRules}).type(), QDBusMessage::ReplyMessage);
    ASSERT_EQ(readHolding(1).size(), 11);
    struct Bad {
        QString text;
        const char* message;
    };
    const Bad bad[] = {
        {QStringLiteral("[[rule]]\nfault = \"no-reply\"\n\n[[rule]]\nfault = \"delay\"\ndelay_ms = 5\nevery = 0\n"),
         "line 7, column 9: \"every\" must be an integer from 1 to 1000000"},
        {QStringLiteral("[[rule]]\nfault = \"lag\"\n"), nullptr},
        {QStringLiteral("[[rule]]\nfault = \"no-reply\"\n[[rule\n"), nullptr},
    };
    for (const Bad& b : bad) {
        const QDBusMessage reply = faults("Load", {b.text});
        EXPECT_EQ(reply.errorName(), texts::kFaultsInvalidError) << b.text.toStdString();
        if (b.message) {
            EXPECT_EQ(reply.errorMessage().toStdString(), b.message);
        }
        EXPECT_TRUE(
            QRegularExpression(QStringLiteral("^line \\d+, column \\d+: .+")).match(reply.errorMessage()).hasMatch())
            << reply.errorMessage().toStdString();
    }
    EXPECT_EQ(rules(), kTwoRules);
    EXPECT_EQ(counters(), (QStringList{"lost no-reply 1/0", "busy exception 0/0"}));
    EXPECT_EQ(readHolding(2), QByteArray()) << "the rules in force still fire";
}

// The interface has no properties, and a call without an interface name finds its methods, apart
// from Counters, which stays org.korvel.Server's.
TEST_F(FaultsOverDbus, PropertiesAndCallsWithoutAnInterfaceName)
{
    ASSERT_EQ(faults("Load", {kTwoRules}).type(), QDBusMessage::ReplyMessage);
    const QDBusMessage all =
        faults("GetAll", {texts::kFaultsInterface}, QStringLiteral("org.freedesktop.DBus.Properties"));
    ASSERT_EQ(all.type(), QDBusMessage::ReplyMessage) << all.errorMessage().toStdString();
    EXPECT_TRUE(qdbus_cast<QVariantMap>(all.arguments().value(0)).isEmpty());
    EXPECT_EQ(faults("Get", {texts::kFaultsInterface, QStringLiteral("Rules")},
                     QStringLiteral("org.freedesktop.DBus.Properties"))
                  .errorName(),
              "org.freedesktop.DBus.Error.UnknownProperty");
    EXPECT_EQ(faults("Rules", {}, QString()).arguments().value(0).toString(), kTwoRules);
    EXPECT_EQ(faults("Counters", {}, QString()).signature(), "a{st}");
    EXPECT_EQ(faults("Reload", {}).errorName(), "org.freedesktop.DBus.Error.UnknownMethod");
}

// ---- --faults FILE ----

QString WriteFile(const QTemporaryDir& dir, const char* name, const QString& text)
{
    QFile file(dir.filePath(QString::fromLatin1(name)));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.toUtf8());
    return file.fileName();
}

TEST(KorvelServerFaultsFile, TheRulesApplyFromTheFirstRequest)
{
    QTemporaryDir dir;
    const QString file = WriteFile(dir, "rules.toml", kTwoRules);
    KorvelProcess server({}, 0, {QStringLiteral("--faults"), file}, kServer);
    const bool bus = QDBusConnection::sessionBus().isConnected();
    server.waitForErrorText(bus ? QStringLiteral("D-Bus control: ") : QStringLiteral("listening on"));
    ASSERT_TRUE(server.start()) << server.errors().toStdString();
    RawClient client;
    ASSERT_TRUE(client.connectTo(server.basePort()));
    client.send(ReadHolding(1, 0, 1));
    EXPECT_EQ(client.receive(11).size(), 11);
    client.send(ReadHolding(2, 0, 1));
    QTest::qWait(300);
    EXPECT_EQ(client.pending(), 0) << "the file's rule dropped the second FC3 reply";
    client.send(Frame(3, 1, Hex("04 00 00 00 01")));
    EXPECT_EQ(client.receive(9).toHex(' '), Hex("00 03 00 00 00 03 01 84 06").toHex(' '));
    if (bus) {
        QDBusMessage m =
            QDBusMessage::createMethodCall(QStringLiteral("org.korvel.korvel.Port%1").arg(server.basePort()),
                                           QStringLiteral("/server"), texts::kFaultsInterface, QStringLiteral("Rules"));
        EXPECT_EQ(QDBusConnection::sessionBus().call(m, QDBus::Block, 5000).arguments().value(0).toString(), kTwoRules);
    }
}

// A rule file with an error: one line with the file, line, column and reason, exit code 1, and
// the server never listened.
TEST(KorvelServerFaultsFile, ABadFileIsOneLineAndExitCodeOne)
{
    QTemporaryDir dir;
    const QString file = WriteFile(dir, "rules.toml",
                                   QStringLiteral("seed = 3\n\n[[rule]]\nfault = \"no-reply\"\n"
                                                  "every = 0\n"));
    KorvelProcess server({}, 0, {QStringLiteral("--faults"), file}, kServer);
    server.captureErrors();
    ASSERT_TRUE(server.launch());
    ASSERT_TRUE(server.process().waitForFinished(15000));
    EXPECT_EQ(server.process().exitCode(), 1);
    EXPECT_EQ(server.errors().toStdString(),
              ("korvel-server: " + file + ":5:9: \"every\" must be an integer from 1 to 1000000\n").toStdString());
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, server.basePort());
    EXPECT_FALSE(probe.waitForConnected(300)) << "nothing listens";
}

// A name in Latin-1 is not taken as another text: the line names the byte's place.
TEST(KorvelServerFaultsFile, BytesThatAreNotUtf8AreAnErrorWithTheirPlace)
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("latin1.toml")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[[rule]]\nname = \"Pr\xFC"
               "fung\"\nfault = \"no-reply\"\n");
    file.close();
    QProcess server;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KORVEL_ATOM_DIR"), dir.filePath(QStringLiteral("atoms")));
    server.setProcessEnvironment(env);
    server.start(kServer, {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--faults"), file.fileName()});
    ASSERT_TRUE(server.waitForFinished(15000));
    EXPECT_EQ(server.exitCode(), 1);
    const QString error = QString::fromUtf8(server.readAllStandardError());
    EXPECT_TRUE(error.startsWith(QStringLiteral("korvel-server: %1:2:").arg(file.fileName()))) << error.toStdString();
    EXPECT_EQ(error.count(QLatin1Char('\n')), 1) << error.toStdString();
}

// ---- a real master ----

// libmodbus, with a response timeout of 200 ms, against a rule that drops every third reply: the
// master times out on exactly the 3rd, 6th, 9th and 12th request and is answered on all others
// (a late reply would be the next request's answer and show as an error there).
TEST(KorvelServerFaultsFile, ALibmodbusMasterTimesOutOnExactlyEveryThirdRequest)
{
    QTemporaryDir dir;
    const QString file = WriteFile(dir, "lost.toml",
                                   QStringLiteral("[[rule]]\nname = \"every third\"\n"
                                                  "fault = \"no-reply\"\nevery = 3\n"));
    KorvelProcess server({}, 0, {QStringLiteral("--faults"), file}, kServer);
    server.waitForErrorText(QStringLiteral("listening on"));
    ASSERT_TRUE(server.start()) << server.errors().toStdString();
    const ToolRun run = RunTool(
        QStringLiteral(KORVEL_MODBUS_PEER),
        {QString::number(server.basePort()), QStringLiteral("poll"), QStringLiteral("12"), QStringLiteral("200")},
        20000);
    ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
    QStringList expected;
    for (int i = 1; i <= 12; ++i)
        expected << QStringLiteral("%1 %2").arg(i).arg(i % 3 == 0 ? "timeout" : "ok");
    EXPECT_EQ(run.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts), expected);
}

} // namespace
} // namespace korvel::testing

#include "fault_rules_test.moc"
