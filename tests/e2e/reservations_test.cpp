// Both programs and the instance registry under stress: a killed owner's reservation, the ending
// signals at any moment of a run, and a registry folder someone else prepared.
#include "e2e/korvel_process.h"
#include "instances/atom_registry.h"
#include "instances/port_reservation.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel::testing {
namespace {

const QString kWindow = QStringLiteral(KORVEL_EXECUTABLE);
const QString kServer = QStringLiteral(KORVEL_SERVER_EXECUTABLE);

QByteArray RegistryFile(const QString& folder)
{
    QFile f(QDir(folder).filePath("atoms"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Waits for the program's end; its exit code, -1 after a crash, -2 when it did not end in time.
int Ended(KorvelProcess& program, int timeoutMs)
{
    if (program.process().state() != QProcess::NotRunning && !program.process().waitForFinished(timeoutMs))
        return -2;
    return program.process().exitStatus() == QProcess::NormalExit ? program.process().exitCode() : -1;
}

class BothPrograms : public ::testing::TestWithParam<std::string> {
  protected:
    QString program() const { return QString::fromStdString(GetParam()); }
    bool server() const { return program() == kServer; }
    std::unique_ptr<KorvelProcess> make(const QString& atoms, uint16_t base, QStringList arguments = {})
    {
        auto p = std::make_unique<KorvelProcess>(atoms, base, arguments, program());
        if (server())
            p->waitForErrorText(QStringLiteral("listening on"));
        return p;
    }
};

TEST_P(BothPrograms, AKilledOwnersPortIsFreeAgain)
{
    QTemporaryDir atoms;
    auto killed = make(atoms.path(), 0);
    ASSERT_TRUE(killed->start());
    const uint16_t port = killed->basePort();
    ASSERT_TRUE(RegistryFile(atoms.path()).contains(QStringLiteral("KORVEL_PORT_%1").arg(port).toUtf8()));
    killed->killHard();

    auto next = make(atoms.path(), port, server() ? QStringList{"--port", QString::number(port)} : QStringList{});
    ASSERT_TRUE(next->start(port)) << next->errors().toStdString();
    EXPECT_TRUE(next->messages().isEmpty()) << next->messages().join('\n').toStdString();
    // Held for real, the port is refused and the holder named.
    if (server()) {
        auto third = make(atoms.path(), port, {"--port", QString::number(port)});
        EXPECT_FALSE(third->start());
        EXPECT_EQ(Ended(*third, 10000), 2);
        EXPECT_TRUE(third->errors().contains(QStringLiteral("(process %1)").arg(next->pid())))
            << third->errors().toStdString();
    }
}

TEST_P(BothPrograms, SighupEndsCleanlyAndGivesThePortBack)
{
    QTemporaryDir atoms;
    auto program = make(atoms.path(), 0);
    ASSERT_TRUE(program->start());
    ::kill(static_cast<pid_t>(program->pid()), SIGHUP);
    EXPECT_EQ(Ended(*program, 10000), 0);
    EXPECT_FALSE(RegistryFile(atoms.path()).contains("KORVEL_PORT_")) << RegistryFile(atoms.path()).toStdString();
}

// A session bus that never answers holds the start-up of either program.
TEST_P(BothPrograms, SigtermEndsABlockedStartUp)
{
    QTemporaryDir dir;
    QLocalServer silent;
    ASSERT_TRUE(silent.listen(dir.filePath("bus")));
    qputenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + dir.filePath("bus")).toUtf8());
    auto program = make(dir.filePath("atoms"), 0);
    program->captureErrors();
    const bool launched = server() ? program->start() : program->launch();
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    ASSERT_TRUE(launched);
    QTest::qWait(1000); // inside the bus's start-up now
    ASSERT_EQ(program->process().state(), QProcess::Running);
    QElapsedTimer clock;
    clock.start();
    ::kill(static_cast<pid_t>(program->pid()), SIGTERM);
    EXPECT_EQ(Ended(*program, 6000), 0);
    EXPECT_LT(clock.elapsed(), 6000);
    EXPECT_FALSE(RegistryFile(dir.filePath("atoms")).contains("KORVEL_PORT_"));
}

INSTANTIATE_TEST_SUITE_P(Programs, BothPrograms,
                         ::testing::Values(std::string(KORVEL_EXECUTABLE), std::string(KORVEL_SERVER_EXECUTABLE)),
                         [](const auto& info) { return info.param == KORVEL_SERVER_EXECUTABLE ? "Server" : "Window"; });

TEST(StartUpBox, SigtermWhileItIsOpenEndsTheWindowCleanly)
{
    QTemporaryDir atoms;
    KorvelProcess window(atoms.path(), 0, {"values.txt"}); // "Invalid file extension: values.txt"
    qputenv("KORVEL_MESSAGE_ANSWER", "show");
    const bool listening = window.start();
    qunsetenv("KORVEL_MESSAGE_ANSWER");
    ASSERT_TRUE(listening);
    ASSERT_TRUE(WaitUntil([&] { return !window.messages().isEmpty(); }, 10000));
    QTest::qWait(300);
    ASSERT_TRUE(window.running());
    ::kill(static_cast<pid_t>(window.pid()), SIGTERM);
    EXPECT_EQ(Ended(window, 6000), 0);
    EXPECT_FALSE(RegistryFile(atoms.path()).contains("KORVEL_PORT_"));
}

// Planted in the registry folder: a link to a file that must not be touched, or a FIFO.
struct PlantRow {
    const char* name;
    bool otherOwner; // the folder belongs to uid 65534 (needs root)
    bool fifo;
    const char* why;
};

void PrintTo(const PlantRow& row, std::ostream* out)
{
    *out << row.name;
}

class PlantedRegistry : public ::testing::TestWithParam<std::tuple<std::string, PlantRow>> {};

TEST_P(PlantedRegistry, IsNotUsedAndSaidOnce)
{
    const QString program = QString::fromStdString(std::get<0>(GetParam()));
    const PlantRow& row = std::get<1>(GetParam());
    if (row.otherOwner && ::geteuid() != 0)
        GTEST_SKIP() << "needs root to give a folder to another user";
    QTemporaryDir dir;
    QFile precious(dir.filePath("precious"));
    ASSERT_TRUE(precious.open(QIODevice::WriteOnly));
    precious.write("keep me\n");
    precious.close();
    const QString folder = dir.filePath("korvel-0");
    ASSERT_EQ(::mkdir(QFile::encodeName(folder).constData(), 0700), 0);
    const QByteArray atoms = QFile::encodeName(folder + "/atoms");
    if (row.fifo)
        ASSERT_EQ(::mkfifo(atoms.constData(), 0600), 0);
    else
        ASSERT_EQ(::symlink(QFile::encodeName(precious.fileName()).constData(), atoms.constData()), 0);
    if (row.otherOwner) {
        ASSERT_EQ(::lchown(atoms.constData(), 65534, 65534), 0);
        ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);
    }
    KorvelProcess korvel(folder, 0, {}, program);
    if (program == kServer)
        korvel.waitForErrorText(QStringLiteral("listening on"));
    ASSERT_TRUE(korvel.start()) << "serves on its base port as the only instance";
    const QString where = row.otherOwner ? folder : folder + "/atoms";
    const QString text = QStringLiteral("nstance registry %1 not used: %2").arg(where, QString::fromUtf8(row.why));
    if (program == kServer)
        EXPECT_EQ(korvel.errors().count(text), 1) << korvel.errors().toStdString();
    else
        EXPECT_EQ(korvel.messages().join('\n').count(text), 1) << korvel.messages().join('\n').toStdString();
    korvel.stop();
    EXPECT_EQ(korvel.process().exitCode(), 0);
    QFile check(precious.fileName());
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_EQ(check.readAll(), "keep me\n");
}

const PlantRow kPlantRows[] = {
    {"LinkInOwnFolder", false, false, "a symbolic link"},
    {"FifoInOwnFolder", false, true, "not a regular file"},
    {"LinkInFolderOfAnotherUser", true, false, "owned by uid 65534"},
};
INSTANTIATE_TEST_SUITE_P(Rows, PlantedRegistry,
                         ::testing::Combine(::testing::Values(std::string(KORVEL_EXECUTABLE),
                                                              std::string(KORVEL_SERVER_EXECUTABLE)),
                                            ::testing::ValuesIn(kPlantRows)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) == KORVEL_SERVER_EXECUTABLE ? "Server"
                                                                                                    : "Window") +
                                    std::get<1>(info.param).name;
                         });

} // namespace
} // namespace korvel::testing
