// The "Server" group under a flood of requests: rows refreshed faster than a frame still end up
// showing the last request, and a failed request reaches the status bar however busy the server is.
#include <QLabel>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

#include "common/message_box.h"
#include "common/register_store.h"
#include "server/server_engine.h"
#include "shell/main_window.h"

namespace korvel {
namespace {

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
        engine_->connectionAccepted(1, "127.0.0.1", 0);
    }
    void TearDown() override
    {
        form_.reset();
        SetMessageHook(nullptr);
    }

    // What the server does per frame: process it, then refresh the connection's row.
    void request(uint16_t ti, uint8_t fc)
    {
        const uint8_t frame[12] = {uint8_t(ti >> 8), uint8_t(ti), 0, 0, 0, 6, 1, fc, 0, 0, 0, 1};
        std::copy(std::begin(frame), std::end(frame), engine_->connection(1).receive.begin());
        engine_->ProcessRequest(1, 12, 0);
        form_->RefreshServerPanel(1);
    }

    QString label(const char* name) { return form_->findChild<QLabel*>(QString::fromLatin1(name))->text(); }

    QTemporaryDir atoms_;
    std::unique_ptr<RegisterStore> store_;
    std::unique_ptr<ServerEngine> engine_;
    std::unique_ptr<TChatForm> form_;
};

TEST_F(PanelFlood, RowShowsTheLastRequestOnceTheBurstIsOver)
{
    request(1, 3);
    EXPECT_EQ(label("lblTI1"), "00 01  (1)") << "a single request is shown at once";
    for (uint16_t ti = 2; ti <= 300; ++ti)
        request(ti, 3);
    QTRY_COMPARE_WITH_TIMEOUT(label("lblTI1"), QStringLiteral("01 2C  (300)"), 2000);
    EXPECT_EQ(label("lblDataRecv1"), QString::number(engine_->connection(1).BytesReceived));
    EXPECT_EQ(label("lblDataSent1"), QString::number(engine_->connection(1).BytesSent));
}

TEST_F(PanelFlood, FailedRequestInABurstReachesTheStatusBar)
{
    for (uint16_t ti = 1; ti <= 100; ++ti)
        request(ti, 3);
    request(101, 0x41); // not a function the server knows
    EXPECT_TRUE(form_->statusMessage().contains("Illegal function")) << form_->statusMessage().toStdString();
    EXPECT_EQ(label("lblHeaderCheck1"), "Failed");
    for (uint16_t ti = 102; ti <= 200; ++ti)
        request(ti, 3);
    QTRY_COMPARE_WITH_TIMEOUT(label("lblTI1"), QStringLiteral("00 C8  (200)"), 2000);
    EXPECT_TRUE(form_->statusMessage().contains("Illegal function")) << "the failure stays on the status bar";
}

} // namespace
} // namespace korvel
