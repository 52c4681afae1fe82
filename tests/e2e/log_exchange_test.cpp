// The traffic log of a real exchange: an in-process main window serving on a loopback port, clients
// talking Modbus/TCP to it (raw frames and mbpoll), the Record button clicked as a user would, and
// the log file read back line by line.
#include "server_ui/logging_group.h"
#include "server_ui/server_connections.h"
#include "shell/main_window.h"
#include "support/file_size_limit.h"
#include "support/test_net.h"
#include "support/window_environment.h"
#include "ui/message_box.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>

inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace korvel {
namespace {

using testing::RawClient;
using testing::WaitUntil;

QByteArray Hex(const char* hex)
{
    return QByteArray::fromHex(QByteArray(hex).replace(' ', ""));
}

class LogExchange : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(env.valid());
        window = std::make_unique<TChatForm>(store, engine, QStringList{});
        log = window->loggingGroup();
        ASSERT_EQ(window->serverConnections().ServerPort, port);
    }
    void TearDown() override { window.reset(); }

    std::unique_ptr<RawClient> connectClient()
    {
        auto client = std::make_unique<RawClient>();
        EXPECT_TRUE(client->connectTo(port));
        EXPECT_TRUE(WaitUntil([this] { return log->RecBitBtn()->isEnabled(); }));
        return client;
    }
    void clickRecord() { QTest::mouseClick(log->RecBitBtn(), Qt::LeftButton); }

    QStringList fileLines(const QString& path) const
    {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        const QByteArray bytes = file.readAll();
        EXPECT_TRUE(bytes.endsWith("\r\n"));
        EXPECT_EQ(bytes.count('\n'), bytes.count("\r\n")) << "every line ends in CR LF";
        QStringList lines = QString::fromUtf8(bytes).split("\r\n");
        lines.removeLast();
        return lines;
    }
    QStringList logFiles() const { return QDir(logDir.path()).entryList({"*.log"}, QDir::Files, QDir::Name); }

    testing::WindowEnvironment env;
    QTemporaryDir& logDir = env.logDir;
    const uint16_t& port = env.port;
    std::vector<ShownMessage>& messages = env.messages;
    RegisterStore store;
    ServerEngine engine{store};
    std::unique_ptr<TChatForm> window;
    LoggingGroup* log = nullptr;
};

const char* kRequest = "00 01 00 00 00 06 01 03 00 00 00 02";
const char* kReply = "00 01 00 00 00 07 01 03 04 00 00 00 00";

TEST_F(LogExchange, ExampleExchangeWithoutAndWithInterpretation)
{
    auto client = connectClient();
    for (bool interpretive : {false, true}) {
        log->CheckBoxInterp()->setChecked(interpretive);
        clickRecord();
        ASSERT_TRUE(log->LogRecording());
        client->send(Hex(kRequest));
        ASSERT_EQ(client->receive(13), Hex(kReply));
        clickRecord();
        ASSERT_FALSE(log->LogRecording());

        const QStringList lines = fileLines(log->LogFileName());
        ASSERT_GE(lines.size(), 2);
        EXPECT_TRUE(QRegularExpression(QString(R"(^\S.* - - Local .* \(.*\) connected to 127\.0\.0\.1 \(#1\) and )"
                                               R"(-- \(#2\) via port %1$)")
                                           .arg(port))
                        .match(lines[0])
                        .hasMatch())
            << lines[0].toStdString();
        QStringList expected{"", "", "", "#1  0 ms  Connection: 1", "Query: ", "00 01 00 00 00 06 01 03 00 00 00 02 "};
        if (interpretive) {
            expected << ""
                     << "Read holding registers"
                     << "Reference: 0. Word count: 2. UID: 1"
                     << "Register(s): 0 1 "
                     << "";
        }
        expected << "Reply: "
                 << "00 01 00 00 00 07 01 03 04 00 00 00 00 ";
        if (interpretive) {
            expected << ""
                     << "Register : Value"
                     << "0 : 0"
                     << "1 : 0"
                     << "";
        }
        EXPECT_EQ(lines.mid(1), expected) << "interpretive " << interpretive;
        QTest::qWait(2); // the next file's name differs by its millisecond
    }
    EXPECT_EQ(logFiles().size(), 2);
    EXPECT_TRUE(messages.empty());
}

TEST_F(LogExchange, RestartNumbersFromOneAndLastCloseStops)
{
    auto client = connectClient();
    log->CheckBoxInterp()->setChecked(false);
    clickRecord();
    EXPECT_THAT(
        QFileInfo(log->LogFileName()).fileName().toStdString(),
        ::testing::MatchesRegex(R"(Korvel 127\.0\.0\.1 --  [0-9][0-9]_[0-9][0-9]_[0-9][0-9]_[0-9][0-9][0-9]\.log)"));
    client->send(Hex(kRequest));
    ASSERT_FALSE(client->receive(13).isEmpty());
    QTest::qWait(20);
    client->send(Hex(kRequest));
    ASSERT_FALSE(client->receive(13).isEmpty());
    EXPECT_EQ(log->LoggedPackets(), 2);
    clickRecord();
    const QStringList first = fileLines(log->LogFileName());
    EXPECT_EQ(first.filter(QRegularExpression("^#")).size(), 2);
    EXPECT_THAT(first.filter(QRegularExpression("^#2 ")).value(0).toStdString(),
                ::testing::MatchesRegex("#2  [0-9]+ ms  Connection: 1"));

    QTest::qWait(2);
    clickRecord();
    client->send(Hex(kRequest));
    ASSERT_FALSE(client->receive(13).isEmpty());
    const QString second = log->LogFileName();
    // The client leaving stops recording and disables the button.
    client->close();
    ASSERT_TRUE(WaitUntil([this] { return !log->RecBitBtn()->isEnabled(); }));
    EXPECT_FALSE(log->LogRecording());
    EXPECT_EQ(log->RecBitBtn()->text(), "Start");
    EXPECT_EQ(fileLines(second).filter(QRegularExpression("^#")), QStringList{"#1  0 ms  Connection: 1"});
    EXPECT_EQ(logFiles().size(), 2);
}

TEST_F(LogExchange, OnlyConnection2InUse)
{
    auto first = connectClient();
    auto second = connectClient();
    ASSERT_TRUE(WaitUntil([this] { return engine.connection(2).open; }));
    first->close();
    ASSERT_TRUE(WaitUntil([this] { return !engine.connection(1).open; }));
    ASSERT_TRUE(log->RecBitBtn()->isEnabled());
    clickRecord();
    EXPECT_TRUE(QFileInfo(log->LogFileName()).fileName().startsWith("Korvel -- 127.0.0.1  "));
    second->send(Hex(kRequest));
    ASSERT_FALSE(second->receive(13).isEmpty());
    clickRecord();
    const QStringList lines = fileLines(log->LogFileName());
    EXPECT_THAT(lines.value(0).toStdString(), ::testing::HasSubstr("connected to -- (#1) and 127.0.0.1 (#2) via port"));
    EXPECT_EQ(lines.value(4), "#1  0 ms  Connection: 2");
}

TEST_F(LogExchange, HeaderErrorRequestAndItsEmptyReply)
{
    auto client = connectClient();
    clickRecord();
    // Protocol identifier 1: logged with the packet-error line, not decoded, answered with nothing,
    // and the connection is closed (which stops recording).
    client->send(Hex("00 09 00 01 00 06 01 03 00 00 00 02"));
    ASSERT_TRUE(client->waitClosed());
    ASSERT_TRUE(WaitUntil([this] { return !log->LogRecording(); }));
    const QStringList lines = fileLines(log->LogFileName());
    const QStringList expected{"",
                               "Connection #1, packet error(s): Bad protocol identifier. ",
                               "",
                               "",
                               "#1  0 ms  Connection: 1",
                               "Query: ",
                               "00 09 00 01 00 06 01 03 00 00 00 02 ",
                               "Reply: ",
                               ""};
    EXPECT_EQ(lines.mid(1), expected);
}

TEST_F(LogExchange, UnwritableLogStopsRecordingWhileTheClientIsServed)
{
    auto client = connectClient();
    clickRecord();
    client->send(Hex(kRequest));
    ASSERT_EQ(client->receive(13), Hex(kReply));
    const qint64 size = QFileInfo(log->LogFileName()).size();
    {
        testing::FileSizeLimit full(static_cast<rlim_t>(size));
        client->send(Hex("00 02 00 00 00 06 01 06 00 05 00 2A"));
        EXPECT_EQ(client->receive(12), Hex("00 02 00 00 00 06 01 06 00 05 00 2A"));
        ASSERT_TRUE(WaitUntil([this] { return !messages.empty(); }));
    }
    EXPECT_FALSE(log->LogRecording());
    EXPECT_EQ(log->RecBitBtn()->text(), "Start");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "Log error");
    EXPECT_EQ(messages[0].text, "Log -file writing error");
    EXPECT_EQ(store.holding(5), 42);
    // Serving goes on.
    client->send(Hex(kRequest));
    EXPECT_EQ(client->receive(13), Hex("00 01 00 00 00 07 01 03 04 00 00 00 00"));
    EXPECT_EQ(QFileInfo(log->LogFileName()).size(), size);
}

TEST_F(LogExchange, UnusableLogFolderRefusesToStart)
{
    auto client = connectClient();
    QFile blocker(logDir.filePath("not-a-folder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("KORVEL_LOG_DIR", blocker.fileName().toUtf8());
    clickRecord();
    EXPECT_FALSE(log->LogRecording());
    EXPECT_EQ(log->RecBitBtn()->text(), "Start");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "File Error");
    EXPECT_EQ(messages[0].text, "Log file creation or writing to log file failed. Check user privileges.");
    client->send(Hex(kRequest));
    EXPECT_EQ(client->receive(13), Hex(kReply));
}

TEST_F(LogExchange, MbpollSessionIsRecordedAndDecoded)
{
    const QString mbpoll = QStandardPaths::findExecutable("mbpoll");
    if (mbpoll.isEmpty()) {
        GTEST_SKIP() << "mbpoll is not installed";
    }
    store.setHolding(9, 321);
    // mbpoll connects and leaves at once; keep a connection open so that recording can start.
    auto holder = connectClient();
    clickRecord();
    QProcess peer;
    QSignalSpy finished(&peer, &QProcess::finished);
    // One read of holding registers 10 and 11 (1-based), i.e. addresses 9 and 10.
    peer.start(mbpoll, {"-m", "tcp", "-p", QString::number(port), "-a", "1", "-t", "4", "-r", "10", "-c", "2", "-1",
                        "127.0.0.1"});
    ASSERT_TRUE(finished.wait(15000));
    clickRecord();
    const QStringList lines = fileLines(log->LogFileName());
    EXPECT_TRUE(lines.contains("#1  0 ms  Connection: 2")) << lines.join("|").toStdString();
    EXPECT_TRUE(lines.contains("Read holding registers"));
    EXPECT_TRUE(lines.contains("Reference: 9. Word count: 2. UID: 1"));
    EXPECT_TRUE(lines.contains("Register(s): 9 10 "));
    EXPECT_TRUE(lines.contains("9 : 321"));
    EXPECT_TRUE(lines.contains("10 : 0"));
}

} // namespace
} // namespace korvel
