// The "Logging" group: the Record button's states, the file it creates, what each packet adds and
// how failures stop recording. Packets come from the real engine, handed to the log the way the
// server connections do.
#include "server_ui/logging_group.h"
#include "server_ui/server_connections.h"
#include "shell/main_window.h"
#include "support/file_size_limit.h"
#include "support/window_environment.h"
#include "ui/message_box.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>

// Readable failure messages for texts and lists of lines.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace korvel {
namespace {

QByteArray Bytes(const char* hex)
{
    return QByteArray::fromHex(QByteArray(hex).replace(' ', ""));
}

class LoggingGroupTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(env.valid());
        window = std::make_unique<TChatForm>(store, engine, QStringList{});
        log = window->loggingGroup();
        ASSERT_NE(log, nullptr);
        log->setTickSource([this] { return tick; });
        log->setPeerSource([this] { return std::make_pair(peers[0], peers[1]); });
    }
    void TearDown() override { window.reset(); }

    void accept(int c, const std::string& peer)
    {
        served.connectionAccepted(c, peer, 0);
        peers[c - 1] = peer;
        log->connectionAccepted();
    }

    // One frame on connection c, processed by an engine of the test's own and logged as the
    // server logs it.
    void serve(int c, const QByteArray& frame)
    {
        const auto* bytes = reinterpret_cast<const uint8_t*>(frame.constData());
        const ProcessResult r =
            served.process(c, std::span<const uint8_t>(bytes, static_cast<size_t>(frame.size())), 0);
        LogPacketInput packet;
        packet.isQuery = true;
        packet.count = r.requestLength;
        packet.hasErrors = r.outcome.headerError;
        packet.connection = c;
        packet.checkText = served.connection(c).checkText;
        packet.source = DecodeSource{r.request, r.reply, false, &store};
        TrafficLog& traffic = window->trafficLog();
        bool failed = false;
        if (traffic.LogRecording()) {
            failed = traffic.LogPacket(packet).failed;
        }
        if (!failed && r.replyStep && traffic.LogRecording()) {
            packet.isQuery = false;
            packet.count = r.replyLength;
            packet.hasErrors = false;
            failed = traffic.LogPacket(packet).failed;
        }
        if (failed) {
            // As the server tells the window: after the reply went out.
            QMetaObject::invokeMethod(
                log, [this] { log->recordingFailed(false); }, Qt::QueuedConnection);
        }
    }

    QStringList logFiles() const
    {
        return QDir(logDir.path()).entryList(QStringList{"*.log"}, QDir::Files, QDir::Name);
    }

    QStringList lines(const QString& path) const
    {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        EXPECT_TRUE(text.endsWith("\r\n"));
        EXPECT_FALSE(text.contains(QRegularExpression("[^\r]\n")));
        QStringList result = text.split("\r\n");
        result.removeLast();
        return result;
    }

    testing::WindowEnvironment env;
    QTemporaryDir& logDir = env.logDir;
    std::vector<ShownMessage>& messages = env.messages;
    RegisterStore store;
    ServerEngine engine{store}; // the window's server
    ServerEngine served{store}; // what the test serves and logs itself
    std::string peers[2] = {"--", "--"};
    std::unique_ptr<TChatForm> window;
    LoggingGroup* log = nullptr;
    uint32_t tick = 1000;
};

TEST_F(LoggingGroupTest, ButtonFollowsTheConnections)
{
    EXPECT_EQ(log->title(), "Logging");
    EXPECT_FALSE(log->RecBitBtn()->isEnabled());
    EXPECT_EQ(log->RecBitBtn()->text(), "Start");
    EXPECT_TRUE(log->CheckBoxInterp()->isChecked());
    EXPECT_EQ(log->CheckBoxInterp()->text(), "Interpretive");
    EXPECT_EQ(window->serverConnections().packetLog(), &window->trafficLog());

    accept(1, "127.0.0.1");
    ASSERT_TRUE(log->RecBitBtn()->isEnabled());
    QTest::mouseClick(log->RecBitBtn(), Qt::LeftButton);
    EXPECT_TRUE(log->LogRecording());
    EXPECT_EQ(log->RecBitBtn()->text(), "Stop");
    serve(1, Bytes("00 01 00 00 00 06 01 03 00 00 00 02"));
    EXPECT_EQ(log->LoggedPackets(), 1);

    // The last connection closing stops recording and disables the button.
    log->allConnectionsClosed();
    EXPECT_FALSE(log->LogRecording());
    EXPECT_EQ(log->LoggedPackets(), 0);
    EXPECT_FALSE(log->RecBitBtn()->isEnabled());
    EXPECT_EQ(log->RecBitBtn()->text(), "Start");
    EXPECT_TRUE(messages.empty());
}

TEST_F(LoggingGroupTest, FileNameHeaderAndBlocks)
{
    accept(1, "127.0.0.1");
    log->CheckBoxInterp()->setChecked(false);
    log->RecBitBtnClick();
    ASSERT_EQ(logFiles().size(), 1);
    const QString name = logFiles().first();
    EXPECT_TRUE(QRegularExpression(R"(^Korvel 127\.0\.0\.1 --  \d\d_\d\d_\d\d_\d\d\d\.log$)").match(name).hasMatch())
        << name.toStdString();
    EXPECT_EQ(QFileInfo(log->LogFileName()).fileName(), name);

    serve(1, Bytes("00 01 00 00 00 06 01 03 00 00 00 02"));
    tick += 3045;
    // Interpretive switched on during recording counts from the next packet.
    log->CheckBoxInterp()->setChecked(true);
    serve(1, Bytes("00 02 00 00 00 06 01 06 00 05 00 2A"));
    log->RecBitBtnClick();

    const QStringList got = lines(logDir.filePath(name));
    ASSERT_GE(got.size(), 2);
    EXPECT_TRUE(
        QRegularExpression(
            QString(R"(^\S.* \d{1,2}[:.]\d\d[:.]\d\d - - Local .* \(.*\) connected to 127\.0\.0\.1 \(#1\) and -- )"
                    R"(\(#2\) via port %1$)")
                .arg(window->serverConnections().ServerPort))
            .match(got[0])
            .hasMatch())
        << got[0].toStdString();
    const QStringList expected{"",
                               "",
                               "",
                               "#1  0 ms  Connection: 1",
                               "Query: ",
                               "00 01 00 00 00 06 01 03 00 00 00 02 ",
                               "Reply: ",
                               "00 01 00 00 00 07 01 03 04 00 00 00 00 ",
                               "",
                               "",
                               "#2  3045 ms  Connection: 1",
                               "Query: ",
                               "00 02 00 00 00 06 01 06 00 05 00 2A ",
                               "",
                               "Write single register",
                               "Reference: 5. UID: 1",
                               "5 <- 42",
                               "",
                               "Reply: ",
                               "00 02 00 00 00 06 01 06 00 05 00 2A ",
                               "",
                               "Reference: 5  Value: 42",
                               ""};
    EXPECT_EQ(got.mid(1), expected);
}

TEST_F(LoggingGroupTest, OnlyConnection2PutsDashesFirst)
{
    accept(2, "127.0.0.1");
    log->RecBitBtnClick();
    ASSERT_EQ(logFiles().size(), 1);
    EXPECT_TRUE(logFiles().first().startsWith("Korvel -- 127.0.0.1  "));
    EXPECT_THAT(lines(log->LogFileName()).first().toStdString(),
                ::testing::HasSubstr("connected to -- (#1) and 127.0.0.1 (#2) via port"));
}

TEST_F(LoggingGroupTest, RestartGivesANewFileFromNumberOne)
{
    accept(1, "127.0.0.1");
    log->CheckBoxInterp()->setChecked(false);
    log->RecBitBtnClick();
    const QString first = log->LogFileName();
    serve(1, Bytes("00 01 00 00 00 06 01 03 00 00 00 01"));
    tick += 10;
    serve(1, Bytes("00 02 00 00 00 06 01 03 00 00 00 01"));
    log->RecBitBtnClick();
    QTest::qWait(2); // the next file's name differs by its millisecond
    tick += 500;
    log->RecBitBtnClick();
    ASSERT_NE(log->LogFileName(), first);
    tick += 7;
    serve(1, Bytes("00 03 00 00 00 06 01 03 00 00 00 01"));
    log->RecBitBtnClick();
    EXPECT_EQ(logFiles().size(), 2);
    EXPECT_EQ(lines(first).filter(QRegularExpression("^#")).size(), 2);
    EXPECT_EQ(lines(log->LogFileName()).filter(QRegularExpression("^#")), QStringList{"#1  0 ms  Connection: 1"});
}

TEST_F(LoggingGroupTest, HeaderErrorAndZeroLengthReply)
{
    accept(1, "127.0.0.1");
    log->RecBitBtnClick();
    // Protocol identifier 1: a header error, logged without decoding; the reply step sends nothing.
    serve(1, Bytes("00 07 00 01 00 06 01 03 00 00 00 02"));
    log->RecBitBtnClick();
    const QStringList got = lines(log->LogFileName());
    const QStringList expected{"Connection #1, packet error(s): " +
                                   QString::fromStdString(served.connection(1).checkText),
                               "",
                               "",
                               "#1  0 ms  Connection: 1",
                               "Query: ",
                               "00 07 00 01 00 06 01 03 00 00 00 02 ",
                               "Reply: ",
                               ""};
    EXPECT_EQ(got.mid(2), expected);
    EXPECT_THAT(served.connection(1).checkText, ::testing::HasSubstr("Bad protocol identifier"));
}

TEST_F(LoggingGroupTest, UnusableFolderFailsTheStart)
{
    accept(1, "127.0.0.1");
    qputenv("KORVEL_LOG_DIR", logDir.filePath("missing/folder").toUtf8());
    log->RecBitBtnClick();
    EXPECT_FALSE(log->LogRecording());
    EXPECT_EQ(log->RecBitBtn()->text(), "Start");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "File Error");
    EXPECT_EQ(messages[0].text, "Log file creation or writing to log file failed. Check user privileges.");
    // Packets are not logged and nothing breaks.
    serve(1, Bytes("00 01 00 00 00 06 01 03 00 00 00 01"));
    EXPECT_EQ(log->LoggedPackets(), 0);
}

TEST_F(LoggingGroupTest, WriteFailureStopsRecordingWithLogError)
{
    accept(1, "127.0.0.1");
    log->RecBitBtnClick();
    serve(1, Bytes("00 01 00 00 00 06 01 03 00 00 00 01"));
    const qint64 sizeBefore = QFileInfo(log->LogFileName()).size();
    {
        testing::FileSizeLimit full(static_cast<rlim_t>(sizeBefore));
        serve(1, Bytes("00 02 00 00 00 06 01 03 00 00 00 01"));
    }
    EXPECT_FALSE(log->LogRecording());
    EXPECT_EQ(log->LoggedPackets(), 0);
    // The box comes after the current request was answered.
    EXPECT_TRUE(messages.empty());
    for (int i = 0; i < 100 && messages.empty(); ++i) {
        QTest::qWait(10);
    }
    EXPECT_EQ(log->RecBitBtn()->text(), "Start");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "Log error");
    EXPECT_EQ(messages[0].text, "Log -file writing error");
    EXPECT_EQ(QFileInfo(log->LogFileName()).size(), sizeBefore);
    // The button still works: a new recording starts in a new file.
    EXPECT_TRUE(log->RecBitBtn()->isEnabled());
}

} // namespace
} // namespace korvel
