// The "Server" group under a flood of requests: rows refreshed faster than a frame still end up
// showing the last request, and a failed request reaches the status bar however busy the server is.
#include "common/register_store.h"
#include "server/server_engine.h"
#include "server_ui/server_connections.h"
#include "shell/main_window.h"
#include "support/test_net.h"
#include "ui/message_box.h"

#include <QLabel>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace korvel {
namespace {

using testing::RawClient;

class PanelFlood : public ::testing::Test {
  protected:
    void SetUp() override
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        qputenv("KORVEL_ATOM_DIR", atoms_.path().toLocal8Bit());
        qputenv("KORVEL_PORT", QByteArray::number(probe.serverPort()));
        probe.close();
        SetMessageHook([](const ShownMessage&) { return QMessageBox::Ok; });
        store_ = std::make_unique<RegisterStore>();
        engine_ = std::make_unique<ServerEngine>(*store_);
        form_ = std::make_unique<TChatForm>(*store_, *engine_, QStringList{});
        ASSERT_TRUE(client_.connectTo(form_->serverConnections().service().listeningPort()));
        ASSERT_TRUE(testing::WaitUntil([&] { return form_->serverConnections().slotOpen(1); }));
    }
    void TearDown() override
    {
        form_.reset();
        SetMessageHook(nullptr);
    }

    // One request from the client; the server refreshes the connection's row after each.
    void request(uint16_t ti, uint8_t fc)
    {
        const char frame[12] = {char(ti >> 8), char(ti), 0, 0, 0, 6, 1, char(fc), 0, 0, 0, 1};
        client_.send(QByteArray(frame, 12));
    }
    // Waits for `count` replies of read-one-register (11 bytes) and `exceptions` exceptions (9).
    void awaitReplies(int count, int exceptions = 0)
    {
        ASSERT_EQ(client_.receive(11 * count + 9 * exceptions).size(), 11 * count + 9 * exceptions);
    }

    QString label(const char* name) { return form_->findChild<QLabel*>(QString::fromLatin1(name))->text(); }

    QTemporaryDir atoms_;
    std::unique_ptr<RegisterStore> store_;
    std::unique_ptr<ServerEngine> engine_;
    std::unique_ptr<TChatForm> form_;
    RawClient client_;
};

TEST_F(PanelFlood, RowShowsTheLastRequestOnceTheBurstIsOver)
{
    request(1, 3);
    awaitReplies(1);
    QTRY_COMPARE_WITH_TIMEOUT(label("lblTI1"), QStringLiteral("00 01  (1)"), 100); // within a few frames
    for (uint16_t ti = 2; ti <= 300; ++ti)
        request(ti, 3);
    awaitReplies(299);
    QTRY_COMPARE_WITH_TIMEOUT(label("lblTI1"), QStringLiteral("01 2C  (300)"), 2000);
    EXPECT_EQ(label("lblDataRecv1"), QString::number(300 * 12));
    EXPECT_EQ(label("lblDataSent1"), QString::number(300 * 11));
}

TEST_F(PanelFlood, FailedRequestInABurstReachesTheStatusBar)
{
    for (uint16_t ti = 1; ti <= 100; ++ti)
        request(ti, 3);
    request(101, 0x41); // not a function the server knows
    awaitReplies(100, 1);
    QTRY_VERIFY_WITH_TIMEOUT(form_->statusMessage().contains("Illegal function"), 100);
    EXPECT_EQ(label("lblHeaderCheck1"), "Failed");
    for (uint16_t ti = 102; ti <= 200; ++ti)
        request(ti, 3);
    awaitReplies(99);
    QTRY_COMPARE_WITH_TIMEOUT(label("lblTI1"), QStringLiteral("00 C8  (200)"), 2000);
    EXPECT_TRUE(form_->statusMessage().contains("Illegal function")) << "the failure stays on the status bar";
}

} // namespace
} // namespace korvel
