// Both programs given a .korvel name that is no register file: a FIFO, a link to /dev/zero, a
// folder, a file too large. Each is refused at once, korvel-server with exit code 1, the window
// with its "Opening file" message while it serves on.
#include "support/test_net.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace korvel {
namespace {

struct HostileFile {
    const char* name;
    const char* why; // the reason both programs give
};

const HostileFile kHostileFiles[] = {
    {"Fifo", "it is not a regular file"},
    {"DevZeroLink", "it is not a regular file"},
    {"Folder", "it is a folder"},
    {"Oversized", "it is larger than a variable-list file can be (4194305 bytes; at most 4194304)"},
};

class LoadHostileFile : public ::testing::TestWithParam<HostileFile> {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("x.korvel"));
        const QByteArray native = QFile::encodeName(path);
        const std::string kind = GetParam().name;
        if (kind == "Fifo") {
            ASSERT_EQ(::mkfifo(native.constData(), 0600), 0);
        } else if (kind == "DevZeroLink") {
            ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path));
        } else if (kind == "Folder") {
            ASSERT_TRUE(QDir().mkdir(path));
        } else {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            ASSERT_TRUE(file.resize(4 * 1024 * 1024 + 1));
        }
        env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("KORVEL_ATOM_DIR", dir.filePath("atoms"));
        env.insert("KORVEL_MESSAGE_LOG", dir.filePath("messages.txt"));
        program.setProcessEnvironment(env);
    }
    void TearDown() override
    {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(5000);
        }
    }
    QString messages()
    {
        QFile file(dir.filePath("messages.txt"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir dir;
    QString path;
    QProcessEnvironment env;
    QProcess program;
};

TEST_P(LoadHostileFile, ServerRefusesWithExitCode1)
{
    const uint16_t port = testing::FreeLoopbackPort();
    program.start(KORVEL_SERVER_EXECUTABLE, {"--port", QString::number(port), "--load", path});
    ASSERT_TRUE(program.waitForFinished(5000)) << "korvel-server still runs (or hangs) after 5 s";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 1);
    EXPECT_EQ(QString::fromUtf8(program.readAllStandardError()).trimmed(),
              QStringLiteral("korvel-server: cannot load %1: %2").arg(path, GetParam().why));
}

TEST_P(LoadHostileFile, WindowSaysSoInItsOpeningFileMessageAndServes)
{
    const uint16_t port = testing::FreeLoopbackPort();
    env.insert("KORVEL_PORT", QString::number(port));
    program.setProcessEnvironment(env);
    program.start(KORVEL_EXECUTABLE, {path});
    ASSERT_TRUE(program.waitForStarted(10000));
    const QString want = QStringLiteral("Opening file\tCannot open file \"%1\": %2\n").arg(path, GetParam().why);
    EXPECT_TRUE(testing::WaitUntil([&] { return messages() == want; }, 15000)) << messages().toStdString();
    EXPECT_TRUE(testing::WaitUntil([&] { return testing::RawClient().connectTo(port, 500); }, 10000))
        << "the window does not serve";
    EXPECT_EQ(program.state(), QProcess::Running);
}

INSTANTIATE_TEST_SUITE_P(Kinds, LoadHostileFile, ::testing::ValuesIn(kHostileFiles),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace korvel
