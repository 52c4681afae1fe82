// korvel-server, the simulator without a window, as a pipeline runs it: the test options given on
// the command line answered byte for byte, its event lines, bad arguments and unusable ports with
// their exit codes, and a clean stop on SIGTERM with clients connected and a log recording.
#include "e2e/korvel_process.h"
#include "instances/atom_registry.h"
#include "instances/port_reservation.h"

#include <QDBusConnection>
#include <QDateTime>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel::testing {
namespace {

const QString kServer = QStringLiteral(KORVEL_SERVER_EXECUTABLE);

// Holding registers 0 and 1 hold 1234 and 5678 (hex).
const QByteArray kValues =
    "#Korvel 1.8.2\r\n//\r\n2000000|4660\r\n2000001|22136\r\n#EOR\r\n#EOVLI\r\n#EOVLH\r\n#EOF\r\n";

QByteArray Hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// Runs korvel-server (or `prefix`, which runs it) to its end with the atom folder `atomDir`; exit
// code, standard output and error.
struct ServerRun {
    int exitCode = -1;
    QString out;
    QString err;
};
ServerRun RunServer(const QStringList& arguments, const QString& atomDir, const QString& prefix = {})
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KORVEL_ATOM_DIR"), atomDir);
    process.setProcessEnvironment(env);
    process.start(prefix.isEmpty() ? kServer : prefix, arguments);
    ServerRun run;
    if (!process.waitForFinished(15000)) {
        process.kill();
        process.waitForFinished(3000);
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

class HeadlessServer : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QFile file(dir.filePath("values.korvel"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(kValues);
    }
    // korvel-server with `arguments` plus the register values, listening on a free port.
    std::unique_ptr<KorvelProcess> start(QStringList arguments)
    {
        arguments << "--load" << dir.filePath("values.korvel");
        auto server = std::make_unique<KorvelProcess>(QString(), 0, arguments, kServer);
        server->waitForErrorText(QStringLiteral("listening on"));
        EXPECT_TRUE(server->start());
        return server;
    }
    QTemporaryDir dir;
};

// ---- the test options on the command line, byte for byte ----

struct FaultRow {
    const char* name;
    QStringList arguments;
    const char* request;
    const char* reply; // "": nothing is sent
};

class CommandLineFaults : public HeadlessServer, public ::testing::WithParamInterface<FaultRow> {};

TEST_P(CommandLineFaults, ByteExact)
{
    auto server = start(GetParam().arguments);
    RawClient client;
    ASSERT_TRUE(client.connectTo(server->basePort()));
    client.send(Hex(GetParam().request));
    const QByteArray expected = Hex(GetParam().reply);
    if (expected.isEmpty()) {
        QTest::qWait(300);
        EXPECT_EQ(client.pending(), 0);
    } else {
        EXPECT_EQ(client.receive(expected.size()).toHex(' '), expected.toHex(' '));
    }
}

const char* kFc3 = "00 01 00 00 00 06 01 03 00 00 00 02";
const FaultRow kFaultRows[] = {
    {"NoOption", {}, kFc3, "00 01 00 00 00 07 01 03 04 12 34 56 78"},
    {"WrongTI", {"--wrong-ti"}, kFc3, "DE AD 00 00 00 07 01 03 04 12 34 56 78"},
    {"WrongPID", {"--wrong-pid"}, kFc3, "00 01 AB CD 00 07 01 03 04 12 34 56 78"},
    {"WrongLength", {"--wrong-length"}, kFc3, "00 01 00 00 EF 07 01 03 04 12 34 56 78"},
    {"AllHeaderFaults",
     {"--wrong-ti", "--wrong-pid", "--wrong-length"},
     kFc3,
     "DE AD AB CD EF 07 01 03 04 12 34 56 78"},
    {"ForcedException", {"--exception", "11"}, kFc3, "00 01 00 00 00 03 01 83 0B"},
    {"ForcedExceptionOnBadProtocol",
     {"--exception=6"},
     "00 01 00 07 00 06 01 03 00 00 00 02",
     "00 01 00 07 00 03 01 83 06"},
    {"Offset", {"--offset"}, "00 01 00 00 00 06 01 03 00 00 00 01", "00 01 00 00 00 05 01 03 02 56 78"},
    {"UnservedFunction", {"--functions", "4,6"}, kFc3, "00 01 00 00 00 03 01 83 01"},
    {"ServedFunction", {"--functions", "3"}, kFc3, "00 01 00 00 00 07 01 03 04 12 34 56 78"},
    {"OtherUnitIsNotAnswered", {"--uid", "5"}, kFc3, ""},
    {"ItsUnitIsAnswered", {"--uid", "1"}, kFc3, "00 01 00 00 00 07 01 03 04 12 34 56 78"},
};
INSTANTIATE_TEST_SUITE_P(Rows, CommandLineFaults, ::testing::ValuesIn(kFaultRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HeadlessServer, OutOfSynchAnswersOneFrameLate)
{
    auto server = start({"--out-of-synch"});
    RawClient client;
    ASSERT_TRUE(client.connectTo(server->basePort()));
    client.send(Hex("00 0A 00 00 00 06 01 03 00 00 00 01"));
    QTest::qWait(200);
    EXPECT_EQ(client.pending(), 0) << "the first request is held back";
    client.send(Hex("00 0B 00 00 00 06 01 03 00 01 00 01"));
    EXPECT_EQ(client.receive(11).toHex(' '), Hex("00 0A 00 00 00 05 01 03 02 12 34").toHex(' '));
}

// ---- what it tells on standard error ----

// "korvel-server: 2026-12-10T14:13:54.949+01:00 " (or "Z" for UTC) before every event.
const QRegularExpression kEventLine(
    QStringLiteral("^korvel-server: \\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}(Z|[+-]\\d\\d:\\d\\d) (.+)$"));

// The texts after the time, one per line; a line in another form fails the test.
QStringList EventTexts(const QString& errors)
{
    QStringList texts;
    for (const QString& line : errors.split('\n', Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = kEventLine.match(line);
        EXPECT_TRUE(match.hasMatch()) << line.toStdString();
        texts << match.captured(2);
    }
    return texts;
}

TEST_F(HeadlessServer, EventLinesNameThePeerWithItsPortAndTheFailedCheck)
{
    auto server = start({"--bind", "127.0.0.1"});
    uint16_t clientPort = 0;
    {
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, server->basePort());
        ASSERT_TRUE(client.waitForConnected(5000));
        clientPort = client.localPort();
        client.write(Hex("00 01 00 00 00 02 01 41")); // an unknown function code
        ASSERT_TRUE(WaitUntil([&] { return client.waitForReadyRead(50) || client.bytesAvailable() >= 9; }));
        client.disconnectFromHost();
    }
    const QString peer = QStringLiteral("127.0.0.1:%1").arg(clientPort);
    ASSERT_TRUE(WaitUntil([&] { return server->errors().contains("#1 closed: " + peer); }))
        << server->errors().toStdString();
    // A signal before the start-up ends (the D-Bus set-up) ends the program at once, without its
    // last line: stop it once it serves in full.
    if (QDBusConnection::sessionBus().isConnected()) {
        ASSERT_TRUE(WaitUntil([&] { return server->errors().contains("D-Bus control: "); }))
            << server->errors().toStdString();
    }
    ::kill(static_cast<pid_t>(server->pid()), SIGTERM);
    ASSERT_TRUE(server->process().waitForFinished(10000));
    QStringList texts = EventTexts(server->errors());
    texts.removeIf([](const QString& text) { return text.startsWith("D-Bus control: "); }); // with a session bus
    EXPECT_EQ(texts,
              (QStringList{QStringLiteral("listening on 127.0.0.1:%1").arg(server->basePort()), "#1 connected: " + peer,
                           "#1 request failed: Illegal function", "#1 closed: " + peer, "stopped"}))
        << server->errors().toStdString();
}

TEST(HeadlessServerPorts, PortZeroTakesAFreePortJsonEventsAndTheLogFolderIsMade)
{
    QTemporaryDir dir;
    const QString logs = dir.filePath("new/logs"); // neither folder exists
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KORVEL_ATOM_DIR"), dir.filePath("atoms"));
    process.setProcessEnvironment(env);
    process.start(kServer, {"--port", "0", "--bind", "127.0.0.1", "--log", logs, "--json-events"});
    ASSERT_TRUE(process.waitForStarted(10000));
    QStringList events;
    QStringList lines; // standard error
    const auto read = [&] {
        while (process.canReadLine()) {
            const QByteArray line = process.readLine();
            QJsonParseError error{};
            const QJsonObject event = QJsonDocument::fromJson(line, &error).object();
            EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
            EXPECT_TRUE(QDateTime::fromString(event.value("time").toString(), Qt::ISODateWithMs).isValid())
                << line.toStdString();
            events << event.value("event").toString();
        }
    };
    const QRegularExpression listening(QStringLiteral("^listening on 127\\.0\\.0\\.1:(\\d+)$"));
    ASSERT_TRUE(WaitUntil([&] {
        read();
        return !events.isEmpty() || process.state() != QProcess::Running;
    })) << process.readAllStandardError().toStdString();
    const QRegularExpressionMatch match = listening.match(events.value(0));
    ASSERT_TRUE(match.hasMatch()) << events.join('|').toStdString();
    const uint16_t port = static_cast<uint16_t>(match.captured(1).toUInt());
    ASSERT_NE(port, 0);
    EXPECT_TRUE(AtomRegistry(dir.filePath("atoms")).find(PortAtomName(port))) << "the chosen port is reserved";
    {
        RawClient client;
        ASSERT_TRUE(client.connectTo(port));
        client.send(Hex(kFc3));
        EXPECT_EQ(client.receive(13).size(), 13);
    }
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 0);
    read();
    EXPECT_EQ(events.value(events.size() - 1), "stopped") << events.join('|').toStdString();
    EXPECT_TRUE(events.filter(QRegularExpression("^#1 connected: 127\\.0\\.0\\.1:\\d+$")).size() == 1)
        << events.join('|').toStdString();
    // Standard error has the same events, as lines.
    EXPECT_EQ(EventTexts(QString::fromUtf8(process.readAllStandardError())), events);
    EXPECT_EQ(QDir(logs).entryList(QDir::Files).size(), 1);
    EXPECT_FALSE(AtomRegistry(dir.filePath("atoms")).find(PortAtomName(port)));
}

TEST_F(HeadlessServer, QuietSaysNothing)
{
    KorvelProcess quiet({}, 0, {"--quiet"}, kServer);
    quiet.captureErrors();
    ASSERT_TRUE(quiet.start()); // probes the port: a connection that is told nothing either
    KorvelProcess* server = &quiet;
    RawClient client;
    ASSERT_TRUE(client.connectTo(server->basePort()));
    client.send(Hex(kFc3));
    EXPECT_EQ(client.receive(13).size(), 13);
    client.close();
    server->stop();
    EXPECT_EQ(server->errors(), QString());
}

// ---- arguments and ports ----

struct ArgumentRow {
    const char* name;
    QStringList arguments;
    int exitCode;
    const char* error; // the first line of standard error
};

class BadArguments : public ::testing::TestWithParam<ArgumentRow> {};

TEST_P(BadArguments, OneLineErrorThenTheUsage)
{
    QTemporaryDir atoms;
    const ServerRun run = RunServer(GetParam().arguments, atoms.path());
    EXPECT_EQ(run.exitCode, GetParam().exitCode);
    const QStringList lines = run.err.split('\n');
    EXPECT_EQ(lines.value(0), QString::fromUtf8(GetParam().error)) << run.err.toStdString();
    if (GetParam().exitCode == 64) {
        EXPECT_TRUE(lines.value(1).startsWith("usage: korvel-server")) << run.err.toStdString();
    }
    EXPECT_TRUE(QDir(atoms.path()).isEmpty() || !AtomRegistry(atoms.path()).names().size())
        << "no reservation is left behind";
}

const ArgumentRow kArgumentRows[] = {
    {"Unknown", {"--verbose"}, 64, "korvel-server: unknown argument \"--verbose\""},
    {"BadPort",
     {"--port", "70000"},
     64,
     "korvel-server: --port needs a port number 1-65535 (0: any free port), not \"70000\""},
    {"MissingValue", {"--uid"}, 64, "korvel-server: --uid needs a value"},
    {"PublishReversedRange",
     {"--publish", "holding:9-3"},
     64,
     "korvel-server: --publish takes input, holding, all, input:L-H, holding:L-H or both:L-H with 0 <= L <= H <= "
     "65535, not \"holding:9-3\""},
    {"ExceptionAndFault",
     {"--wrong-ti", "--exception", "1"},
     64,
     "korvel-server: --exception cannot be combined with --wrong-ti, --wrong-pid or --wrong-length"},
    {"LoadOtherExtension",
     {"--port", "1", "--load", "values.txt"},
     1,
     "korvel-server: cannot load values.txt: a variable-list file ends in .korvel"},
    {"LoadMissingFile",
     {"--port", "1", "--load", "/nonexistent/values.korvel"},
     1,
     "korvel-server: cannot load /nonexistent/values.korvel: No such file or directory"},
    {"FaultsMissingFile",
     {"--port", "1", "--faults", "/nonexistent/rules.toml"},
     1,
     "korvel-server: cannot read the fault rules /nonexistent/rules.toml: No such file or directory"},
    {"FaultsFolder",
     {"--port", "1", "--faults", "/"},
     1,
     "korvel-server: cannot read the fault rules /: it is a folder"},
    {"FaultsDevice",
     {"--port", "1", "--faults", "/dev/zero"},
     1,
     "korvel-server: cannot read the fault rules /dev/zero: it is not a regular file"},
    {"LogFolderMissing",
     {"--port", "1", "--log", "/dev/null/logs"}, // a folder that cannot be made, even by root
     1,
     "korvel-server: cannot log into /dev/null/logs: not a writable folder"},
    {"BindNotLocal",
     {"--port", "1", "--bind", "192.0.2.1"},
     2,
     "korvel-server: cannot listen on 192.0.2.1: not an address of this machine"},
};
INSTANTIATE_TEST_SUITE_P(Rows, BadArguments, ::testing::ValuesIn(kArgumentRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HeadlessServerUsage, HelpAndVersionGoToStandardOutput)
{
    QTemporaryDir atoms;
    for (const char* option : {"--help", "-h"}) {
        const ServerRun help = RunServer({option}, atoms.path());
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_TRUE(help.out.startsWith("usage: korvel-server")) << help.out.toStdString();
        EXPECT_TRUE(help.out.contains("--out-of-synch")) << help.out.toStdString();
    }
    for (const char* option : {"--version", "-V"}) {
        const ServerRun version = RunServer({option}, atoms.path());
        EXPECT_EQ(version.exitCode, 0);
        EXPECT_TRUE(version.out.startsWith("korvel-server 1.")) << version.out.toStdString();
    }
}

// The window program answers --help and --version without a display: with no platform to open a
// window on, any attempt to open one would end it with an error.
TEST(WindowProgramUsage, HelpAndVersionPrintAndExitWithoutAWindow)
{
    for (const auto& [option, start] : {std::pair("--help", "usage: korvel"), std::pair("-V", "korvel 1.")}) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QString::fromUtf8(name));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(KORVEL_EXECUTABLE), {QString::fromUtf8(option)});
        ASSERT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        EXPECT_TRUE(process.readAllStandardOutput().startsWith(start)) << option;
    }
}

TEST(HeadlessServerPorts, BusyPortIsAnError)
{
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::Any, 0));
    QTemporaryDir atoms;
    const ServerRun run = RunServer({"--port", QString::number(other.serverPort())}, atoms.path());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err.trimmed(), QStringLiteral("korvel-server: cannot listen on port %1: address already in use by "
                                                "another program")
                                     .arg(other.serverPort()));
    EXPECT_FALSE(AtomRegistry(atoms.path()).find(PortAtomName(other.serverPort()))) << "the reservation is given back";
}

TEST(HeadlessServerPorts, PrivilegedPortNeedsTheCapability)
{
    QTemporaryDir atoms;
    // As root the port would be granted: run as nobody then, with a registry folder of its own.
    QString prefix;
    if (::geteuid() == 0) {
        prefix = QStringLiteral("/usr/bin/setpriv");
        if (!QFile::exists(prefix))
            GTEST_SKIP() << "setpriv is not installed";
        ASSERT_EQ(::chmod(QFile::encodeName(atoms.path()).constData(), 0755), 0);
        ASSERT_TRUE(QDir(atoms.path()).mkdir("nobody"));
        ASSERT_EQ(::chown(QFile::encodeName(atoms.filePath("nobody")).constData(), 65534, 65534), 0);
    }
    ServerRun run;
    if (prefix.isEmpty()) {
        run = RunServer({"--port", "502"}, atoms.path());
    } else {
        run = RunServer({"--reuid=65534", "--regid=65534", "--clear-groups", kServer, "--port", "502"},
                        atoms.filePath("nobody"), prefix);
    }
    EXPECT_EQ(run.exitCode, 2) << run.err.toStdString();
    EXPECT_EQ(run.err.trimmed(), "korvel-server: cannot listen on port 502: permission denied: ports below 1024 need "
                                 "cap_net_bind_service, or use --port");
}

TEST(HeadlessServerPorts, ReservedPortIsAnErrorAndTheDefaultPortMovesOn)
{
    KorvelProcess first({}, 0, {}, kServer);
    ASSERT_TRUE(first.start());
    const QString port = QString::number(first.basePort());
    const ServerRun named = RunServer({"--port", port}, first.atomDir());
    EXPECT_EQ(named.exitCode, 2);
    EXPECT_EQ(
        named.err.trimmed(),
        QStringLiteral(
            "korvel-server: port %1 is reserved by another Korvel instance (process %2); choose another with --port")
            .arg(port)
            .arg(first.pid()));

    // Without --port the second instance takes the next free port, as the window does.
    KorvelProcess second(first.atomDir(), first.basePort(), {}, kServer);
    second.waitForErrorText(QStringLiteral("listening on"));
    ASSERT_TRUE(second.start(first.basePort() + 1));
    EXPECT_TRUE(second.errors().contains(
        QStringLiteral("port %1 is reserved by another Korvel instance (process %2), using port %3")
            .arg(first.basePort())
            .arg(first.pid())
            .arg(first.basePort() + 1)))
        << second.errors().toStdString();
}

// ---- a clean stop ----

TEST_F(HeadlessServer, SigtermWithTwoClientsAndALogStopsCleanly)
{
    QTemporaryDir logs;
    auto server = start({"--log", logs.path(), "--plain-log"});
    RawClient one;
    RawClient two;
    ASSERT_TRUE(one.connectTo(server->basePort()));
    ASSERT_TRUE(two.connectTo(server->basePort()));
    constexpr int kRequests = 50;
    for (uint16_t ti = 1; ti <= kRequests; ++ti) {
        RawClient& client = ti % 2 ? one : two;
        client.send(ReadHolding(ti, 0, 2));
        ASSERT_EQ(client.receive(13).size(), 13);
    }
    ASSERT_TRUE(AtomRegistry(server->atomDir()).find(PortAtomName(server->basePort())));

    ::kill(static_cast<pid_t>(server->pid()), SIGTERM);
    ASSERT_TRUE(server->process().waitForFinished(10000));
    EXPECT_EQ(server->process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(server->process().exitCode(), 0);
    EXPECT_TRUE(one.waitClosed());
    EXPECT_TRUE(two.waitClosed());
    EXPECT_FALSE(AtomRegistry(server->atomDir()).find(PortAtomName(server->basePort())));

    const QStringList files = QDir(logs.path()).entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1) << files.join(' ').toStdString();
    QFile log(QDir(logs.path()).filePath(files.first()));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray content = log.readAll();
    // Every request and every reply of both connections, the last ones included.
    EXPECT_EQ(content.count("00 32 00 00 00 06 01 03 00 00 00 02"), 1) << content.toStdString();
    EXPECT_EQ(content.count("00 32 00 00 00 07 01 03 04 12 34 56 78"), 1) << content.toStdString();
    EXPECT_EQ(content.count(" 01 03 00 00 00 02 \r\n"), kRequests) << content.toStdString();
    EXPECT_TRUE(server->errors().contains("log closed: ")) << server->errors().toStdString();
}

} // namespace
} // namespace korvel::testing
