// The server connections of an in-process main window, driven by raw clients over loopback.
#include "log/packet_log.h"
#include "server_ui/logging_group.h"
#include "server_ui/server_connections.h"
#include "shell/port_control.h"
#include "shell/process_priority.h"
#include "shell/shell_fixture.h"
#include "shell/shell_texts.h"

#include <QAction>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTcpServer>
#include <mutex>

namespace korvel::testing {
namespace {

const QByteArray kRead2 = ReadHolding(1, 0, 2); // 12 bytes, answered with 13
constexpr int kRead2Reply = 13;

class ServerConnectionsTest : public ShellFixture {
  protected:
    void SetUp() override
    {
        ShellFixture::SetUp();
        start();
        server = &form().serverConnections();
        ASSERT_TRUE(server->service().listening());
        port = server->service().listeningPort();
        ASSERT_EQ(port, basePort);
    }
    // Connects and waits until the server has taken the client into a slot.
    void connectInto(RawClient& client, int slot)
    {
        ASSERT_TRUE(client.connectTo(port));
        // Taken in by the server, and the window has heard of it (its Nagle item is usable).
        ASSERT_TRUE(WaitUntil([&] { return server->slotOpen(slot) && server->mConnection(slot)->isEnabled(); }))
            << "slot " << slot;
    }
    QByteArray ask(RawClient& client, const QByteArray& request, int replyLength)
    {
        client.send(request);
        return client.receive(replyLength);
    }

    ServerConnections* server = nullptr;
    uint16_t port = 0;
};

TEST_F(ServerConnectionsTest, ServesReadAndWriteAndCountsBytes)
{
    RawClient client;
    connectInto(client, 1);
    EXPECT_EQ(ask(client, WriteSingle(7, 1, 0x1234), 12).toHex(), "000700000006010600011234");
    EXPECT_EQ(ask(client, kRead2, kRead2Reply).toHex(), "00010000000701030400001234");
    EXPECT_EQ(server->snapshot().connection(1).BytesReceived, 24u);
    EXPECT_EQ(server->snapshot().connection(1).PeerIP, "127.0.0.1");
    EXPECT_TRUE(form().serverConnections().mConnection(1)->isEnabled());
    EXPECT_FALSE(form().serverConnections().mConnection(2)->isEnabled());
}

TEST_F(ServerConnectionsTest, WrongProtocolIdentifierClosesWithStatusText)
{
    RawClient client;
    connectInto(client, 1);
    client.send(Frame(5, 1, QByteArray::fromHex("0300000001"), 1));
    EXPECT_TRUE(client.waitClosed());
    EXPECT_EQ(client.pending(), 0); // no normal reply
    EXPECT_FALSE(server->slotOpen(1));
    EXPECT_TRUE(form().statusMessage().contains(" #1: Disconnecting: Bad protocol identifier"))
        << form().statusMessage().toStdString();
    EXPECT_EQ(server->snapshot().counters.MessageCount, 1u); // examined once
}

TEST_F(ServerConnectionsTest, DisconnectSockFreesTheSlotForTheNextClient)
{
    RawClient first, second;
    connectInto(first, 1);
    connectInto(second, 2);
    server->DisconnectSock(Disconnect::Connection1);
    EXPECT_TRUE(first.waitClosed());
    EXPECT_FALSE(server->slotOpen(1));
    EXPECT_FALSE(server->mConnection(1)->isEnabled());
    EXPECT_EQ(server->snapshot().connection(1).PeerIP, "--");
    EXPECT_EQ(server->snapshot().connection(1).BytesReceived, 0u);

    RawClient next;
    connectInto(next, 1);
    EXPECT_EQ(ask(next, ReadHolding(9, 0, 1), 11).size(), 11);
    EXPECT_EQ(server->snapshot().connection(1).BytesReceived, 12u);
}

TEST_F(ServerConnectionsTest, PeerCloseFreesTheSlot)
{
    RawClient client;
    connectInto(client, 1);
    client.close();
    EXPECT_TRUE(WaitUntil([&] { return !server->slotOpen(1); }));
    EXPECT_FALSE(server->service().idleTimerRunning(1));
}

TEST_F(ServerConnectionsTest, IdleConnectionIsReleasedOnTheSixtySecondTick)
{
    RawClient client;
    connectInto(client, 1);
    EXPECT_TRUE(server->service().idleTimerRunning(1));
    for (int tick = 1; tick <= 61; ++tick)
        server->tmrMonitorSock1Timer();
    EXPECT_TRUE(server->slotOpen(1)) << "released before the 62nd tick";
    server->tmrMonitorSock1Timer();
    EXPECT_FALSE(server->slotOpen(1));
    EXPECT_TRUE(client.waitClosed());
}

TEST_F(ServerConnectionsTest, RequestEveryThirtyTicksKeepsTheConnection)
{
    RawClient client;
    connectInto(client, 1);
    for (int round = 0; round < 4; ++round) {
        for (int tick = 0; tick < 30; ++tick)
            server->tmrMonitorSock1Timer();
        ASSERT_EQ(ask(client, ReadHolding(static_cast<uint16_t>(round), 0, 1), 11).size(), 11);
    }
    EXPECT_TRUE(server->slotOpen(1));
}

TEST_F(ServerConnectionsTest, IdleReleaseOptionStopsAndRestartsTheTimers)
{
    RawClient client;
    connectInto(client, 1);
    server->menuFreeSocket()->trigger(); // off
    EXPECT_FALSE(server->service().releaseUnused());
    EXPECT_FALSE(server->service().idleTimerRunning(1));
    server->menuFreeSocket()->trigger(); // on again: counting starts from 0
    EXPECT_TRUE(server->service().idleTimerRunning(1));
    EXPECT_EQ(server->snapshot().connection(1).IdleTicks, 0);
}

TEST_F(ServerConnectionsTest, NagleToggleShowsTheValueReadBack)
{
    RawClient client;
    connectInto(client, 1);
    QSignalSpy refreshes(&form().refreshRequests(), &RefreshRequests::serverPanelRefreshRequested);
    server->mConnection(1)->trigger();
    EXPECT_TRUE(server->snapshot().connection(1).NagleDisabled);
    EXPECT_TRUE(server->mConnection(1)->isChecked());
    int value = 0;
    ASSERT_EQ(server->service().readNoDelay(1, value), 0);
    EXPECT_EQ(value, 1);
    ASSERT_FALSE(refreshes.isEmpty());
    EXPECT_EQ(refreshes.last().at(0).value<PanelPart>(), PanelPart::Connection1);

    server->mConnection(1)->trigger();
    EXPECT_FALSE(server->snapshot().connection(1).NagleDisabled);
    ASSERT_EQ(server->service().readNoDelay(1, value), 0);
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(messages.empty());

    server->DisconnectSock(Disconnect::Connection1); // the item is unchecked and disabled with its connection
    EXPECT_FALSE(server->mConnection(1)->isChecked());
    EXPECT_FALSE(server->mConnection(1)->isEnabled());
}

TEST_F(ServerConnectionsTest, MonitorPortOffClosesAndRefusesOnListensAgain)
{
    RawClient first, second;
    connectInto(first, 1);
    connectInto(second, 2);
    QAction* listen = server->Listen();
    EXPECT_EQ(listen->text(), texts::kMonitorPortDefault.arg(basePort));
    EXPECT_EQ(listen->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));

    listen->trigger(); // off
    EXPECT_TRUE(first.waitClosed());
    EXPECT_TRUE(second.waitClosed());
    EXPECT_FALSE(form().serverConnections().ListenActive);
    EXPECT_FALSE(server->service().listening());
    EXPECT_FALSE(form().portControl().ChangePort()->isEnabled());
    RawClient refused;
    EXPECT_FALSE(refused.connectTo(port));

    listen->trigger(); // on
    EXPECT_TRUE(form().serverConnections().ListenActive);
    EXPECT_TRUE(form().portControl().ChangePort()->isEnabled());
    RawClient again;
    connectInto(again, 1);
    EXPECT_EQ(ask(again, ReadHolding(1, 0, 1), 11).size(), 11);
}

TEST_F(ServerConnectionsTest, ListeningOnATakenPortShowsTheFailure)
{
    server->Listen()->trigger(); // off
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::Any, port));
    server->Listen()->trigger(); // on: the port is taken
    EXPECT_FALSE(server->service().listening());
    EXPECT_TRUE(server->Listen()->isChecked()); // the menu still shows listening as on
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, texts::kSocketInitFailed.arg(basePort).arg(10048));
}

// The traffic log is written for every packet, the Record button and the priority follow every
// accept and close, in the server's order.
class RecordingLog : public PacketLog {
  public:
    bool LogRecording() const override { return true; }
    int LoggedPackets() const override { return 0; }
    LogWrite LogPacket(const LogPacketInput& p) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        calls.push_back(
            QStringLiteral("%1 %2 %3 %4").arg(p.isQuery ? "Q" : "R").arg(p.count).arg(p.hasErrors).arg(p.connection));
        return {};
    }
    QStringList taken()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return calls;
    }
    std::mutex mutex;
    QStringList calls;
};

TEST_F(ServerConnectionsTest, LogAndPriorityFollowEveryConnection)
{
    RecordingLog log;
    server->setPacketLog(&log);
    const auto restore = qScopeGuard([&] { server->setPacketLog(&form().trafficLog()); });
    QPushButton* record = form().loggingGroup()->RecBitBtn();
    EXPECT_EQ(form().priority().lastRequested(), PriorityClass::BelowNormal);
    EXPECT_FALSE(record->isEnabled());

    RawClient first, second;
    connectInto(first, 1);
    ASSERT_TRUE(WaitUntil([&] { return record->isEnabled(); }));
    EXPECT_EQ(form().priority().lastRequested(), PriorityClass::Normal);
    connectInto(second, 2);
    ASSERT_TRUE(WaitUntil([&] { return form().priority().lastRequested() == PriorityClass::AboveNormal; }));

    ASSERT_EQ(ask(second, kRead2, kRead2Reply).size(), kRead2Reply);
    // A request for another unit identifier is logged but not answered.
    form().changeServerSettings([](ServerSettings& s) { s.check.setUidSelectorText("7"); });
    second.send(ReadHolding(2, 0, 1));
    ASSERT_TRUE(WaitUntil([&] { return log.taken().size() == 3; }));
    first.close();
    ASSERT_TRUE(WaitUntil([&] { return form().priority().lastRequested() == PriorityClass::Normal; }));
    EXPECT_TRUE(record->isEnabled());
    second.close();
    ASSERT_TRUE(WaitUntil([&] { return form().priority().lastRequested() == PriorityClass::BelowNormal; }));
    EXPECT_FALSE(record->isEnabled());

    EXPECT_EQ(log.taken(), (QStringList{"Q 12 0 2", "R 13 0 2", "Q 12 1 2"}));
}

} // namespace
} // namespace korvel::testing
