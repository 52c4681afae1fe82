// The real korvel program started with a variable-list file as its argument: the file's values are
// served at once; a file of another extension only earns the extension message. Beside it a fault
// rule file applies from the first request; a broken one is told and applies nothing.
#include "support/test_net.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace korvel {
namespace {

using testing::RawClient;
using testing::WaitUntil;

class StartWithFile : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        port = testing::FreeLoopbackPort();
        ASSERT_NE(port, 0);
    }
    void TearDown() override
    {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(5000);
        }
    }

    void startProgram(const QString& argument) { startProgram(QStringList{argument}); }
    void startProgram(const QStringList& arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("KORVEL_PORT", QString::number(port));
        env.insert("KORVEL_ATOM_DIR", dir.filePath("atoms"));
        env.insert("KORVEL_MESSAGE_LOG", dir.filePath("messages.txt"));
        env.insert("KORVEL_LOG_DIR", dir.path());
        program.setProcessEnvironment(env);
        program.start(KORVEL_EXECUTABLE, arguments);
        ASSERT_TRUE(program.waitForStarted(10000));
    }

    // Connects once the program listens (start-up, file load included, is over by then).
    std::unique_ptr<RawClient> connectWhenListening()
    {
        std::unique_ptr<RawClient> client;
        const bool ok = WaitUntil(
            [&] {
                client = std::make_unique<RawClient>();
                if (client->connectTo(port, 500)) {
                    return true;
                }
                QTest::qWait(50);
                return false;
            },
            15000);
        EXPECT_TRUE(ok);
        return ok ? std::move(client) : nullptr;
    }

    QByteArray readHolding(RawClient& client, uint16_t address, uint16_t count)
    {
        client.send(testing::ReadHolding(7, address, count));
        return client.receive(9 + 2 * count);
    }

    QString messages()
    {
        QFile file(dir.filePath("messages.txt"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QString writeFile(const QString& name, const QByteArray& content)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(content);
        return path;
    }

    QTemporaryDir dir;
    uint16_t port = 0;
    QProcess program;
};

TEST_F(StartWithFile, UpperCaseExtensionLoadsAtStart)
{
    const QString path = dir.filePath("Bench Setup.KORVEL");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        "#Korvel 1.8.2\r\n//\r\n2000005|1234\r\n2000006|-1\r\n1000007|1\r\n#EOR\r\n#EOVLI\r\n#EOVLH\r\n#EOF\r\n");
    file.close();
    startProgram(path);
    auto client = connectWhenListening();
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(readHolding(*client, 4, 3).toHex(' '), "00 07 00 00 00 09 01 03 06 00 00 04 d2 ff ff");
    client->send(testing::ReadInput(8, 7, 1));
    EXPECT_EQ(client->receive(11).toHex(' '), "00 08 00 00 00 05 01 04 02 00 01");
    EXPECT_EQ(messages(), QString());
}

TEST_F(StartWithFile, OtherExtensionShowsTheMessageAndLoadsNothing)
{
    const QString path = dir.filePath("values.txt");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("2000005|1234\r\n");
    file.close();
    startProgram(path);
    auto client = connectWhenListening();
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(readHolding(*client, 5, 1).toHex(' '), "00 07 00 00 00 05 01 03 02 00 00");
    ASSERT_TRUE(WaitUntil([this] { return !messages().isEmpty(); }));
    EXPECT_TRUE(messages().contains("\tInvalid file extension: " + path)) << messages().toStdString();
}

TEST_F(StartWithFile, FaultRulesFileAppliesBesideTheRegisterFile)
{
    const QString registers =
        writeFile("plant.korvel", "#Korvel 1.8.2\r\n//\r\n2000005|1234\r\n#EOR\r\n#EOVLI\r\n#EOVLH\r\n#EOF\r\n");
    const QString rules = writeFile("rules.toml", "[[rule]]\nname = \"busy at 9\"\nfault = \"exception\"\ncode = 6\n"
                                                  "address = 9\n");
    startProgram(QStringList{QStringLiteral("--faults"), rules, registers});
    auto client = connectWhenListening();
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(readHolding(*client, 5, 1).toHex(' '), "00 07 00 00 00 05 01 03 02 04 d2");
    client->send(testing::ReadHolding(8, 9, 1));
    EXPECT_EQ(client->receive(9).toHex(' '), "00 08 00 00 00 03 01 83 06");
    EXPECT_EQ(messages(), QString());
}

TEST_F(StartWithFile, BrokenFaultRulesFileIsToldAndAppliesNothing)
{
    const QString rules = writeFile("rules.toml", "[[rule]]\nfault = \"exception\"\ncode = 0\n");
    startProgram(QStringList{QStringLiteral("--faults=") + rules});
    auto client = connectWhenListening();
    ASSERT_NE(client, nullptr);
    ASSERT_TRUE(WaitUntil([this] { return !messages().isEmpty(); }));
    EXPECT_TRUE(messages().startsWith("Fault Rules\tFault rules in \"" + rules + "\": line 3, column "))
        << messages().toStdString();
    EXPECT_EQ(readHolding(*client, 9, 1).toHex(' '), "00 07 00 00 00 05 01 03 02 00 00");
}

} // namespace
} // namespace korvel
