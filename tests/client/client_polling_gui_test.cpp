// The client window polling real servers over loopback, connected through the dialog as a user
// does: Korvel's own server (the main window's), a pymodbus server, and a scripted server of this
// test for what real servers will not do (wrong identifiers, split and joined replies,
// exceptions, silence, closing, refusing).
#include "client/client_texts.h"
#include "client/client_window_fixture.h"
#include "client/series_dialog.h"
#include "master/event_texts.h"
#include "master/reply_handling.h"
#include "net/socket_layer.h"
#include "server_ui/server_connections.h"
#include "support/other_korvel.h"
#include "support/peer_server.h"
#include "support/scripted_server.h"
#include "support/text_constants.h"

#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>
#include <functional>

namespace korvel::testing {
namespace {

// A good reply to a read request: values 0x0100 + i.
QByteArray ReadReply(const QByteArray& request)
{
    const int count = uint8_t(request[11]);
    QByteArray pdu;
    pdu += request[7];
    pdu += char(count * 2);
    for (int i = 0; i < count; ++i) {
        pdu += char(1);
        pdu += char(i);
    }
    return Frame(Ti(request), uint8_t(request[6]), pdu);
}

class ClientPollingTest : public ClientWindowTest {
  protected:
    void holdRead(const QString& from, const QString& to)
    {
        TfrmSeries* s = client->listPanel().openSeries(ListKind::HoldingRead);
        s->EditLow->setText(from);
        s->Edithigh->setText(to);
        s->Button1Click();
    }
    bool hasLine(const QString& prefix) const
    {
        for (const QString& line : client->eventLines())
            if (line.startsWith(prefix))
                return true;
        return false;
    }
    // Connects to a scripted server with the holding read list 10..12 in Pause mode, so that the
    // test sends each query itself.
    void connectPaused(ScriptedServer& server)
    {
        holdRead("10", "12");
        QTest::mouseClick(client->pollingPanel().RBPause(), Qt::LeftButton);
        ASSERT_EQ(connectTo(server.port()), nullptr);
        ASSERT_TRUE(WaitUntil([&] { return server.socket() != nullptr; }));
    }
    void pollOnce(ScriptedServer& server)
    {
        const auto before = server.requests.size();
        client->CheckAndSendData();
        ASSERT_TRUE(WaitUntil([&] { return server.requests.size() > before; }));
    }
};

TEST_F(ClientPollingTest, OwnServerCyclicReadsLandInTheStoreAndWritesCarryTheStore)
{
    // The partner is a second Korvel: its store is the served one.
    OtherKorvel other(env.port);
    RegisterStore& otherStore = other.store;
    const uint16_t port = other.port();
    for (int i = 0; i < 3; ++i)
        otherStore.setHolding(static_cast<uint16_t>(10 + i), static_cast<uint16_t>(0x1110 + i));
    otherStore.setInput(20, 0x2222);
    store->setHolding(30, 0xBEEF);

    holdRead("10", "12");
    QTest::mouseClick(client->listPanel().RBInput(), Qt::LeftButton);
    add(client->listPanel().ReadCBox(), client->listPanel().AddBtnRead(), "20");
    add(client->listPanel().WriteCBox(), client->listPanel().AddBtnWrite(), "30");
    client->pollingPanel().Edit1()->setText("100");
    client->pollingPanel().Edit1Exit();
    ASSERT_EQ(connectTo(port), nullptr) << "the dialog closed on success";
    EXPECT_TRUE(client->connected());
    EXPECT_TRUE(form->activity().ClientConnected);
    EXPECT_EQ(client->Label3->text(), QStringLiteral("IP: 127.0.0.1  Port: %1").arg(port));
    EXPECT_TRUE(client->eventLines().first().startsWith("Connection established at "));

    ASSERT_TRUE(WaitUntil([&] {
        return store->holding(12) == 0x1112 && store->input(20) == 0x2222 && otherStore.holding(30) == 0xBEEF;
    }));
    EXPECT_EQ(store->holding(10), 0x1110);
    EXPECT_EQ(client->ClientStatus, L(kStatusActive));
    EXPECT_TRUE(client->StatusBar->text().contains(
        QRegularExpression("^(TI \\d+\\. Read|TI: \\d+/\\d+  \\d+ bytes|Write query)")))
        << client->StatusBar->text().toStdString();

    // The values the client polled are now served by this window's own server too.
    RawClient reader;
    ASSERT_TRUE(reader.connectTo(static_cast<uint16_t>(form->serverConnections().ServerPort)));
    reader.send(ReadHolding(1, 10, 3));
    const QByteArray reply = reader.receive(15);
    ASSERT_EQ(reply.size(), 15);
    EXPECT_EQ(reply.mid(9).toHex(), QByteArray("111011111112"));

    QTest::mouseClick(client->btnDisco, Qt::LeftButton);
    EXPECT_FALSE(client->connected());
    EXPECT_FALSE(form->activity().ClientConnected);
    EXPECT_TRUE(client->eventLines().first().endsWith(" by user"));
    EXPECT_EQ(client->ClientStatus, L(kStatusDisconnected));
}

TEST_F(ClientPollingTest, ImmediateAndWaitAfterModesFollowReplies)
{
    ScriptedServer server([](QTcpSocket& s, const QByteArray& r) { s.write(ReadReply(r)); });
    holdRead("1", "2");
    QTest::mouseClick(client->pollingPanel().RBImmediate(), Qt::LeftButton);
    ASSERT_EQ(connectTo(server.port()), nullptr);
    // Each reply brings the next query at once, far faster than the monitoring time.
    ASSERT_TRUE(WaitUntil([&] { return server.requests.size() >= 50; }, 3000));
    EXPECT_EQ(store->holding(2), 0x0101);
    EXPECT_FALSE(hasLine("Event #"));

    QTest::mouseClick(client->pollingPanel().RBWaitAfter(), Qt::LeftButton);
    client->pollingPanel().Edit2()->setText("200");
    client->pollingPanel().Edit2Exit();
    QCoreApplication::processEvents();
    const auto before = server.requests.size();
    QTest::qWait(700);
    const auto sent = server.requests.size() - before;
    EXPECT_GE(sent, 1);
    EXPECT_LE(sent, 5) << "one query per delay after each reply";

    QTest::mouseClick(client->pollingPanel().RBPause(), Qt::LeftButton);
    EXPECT_EQ(client->ClientStatus, L(kStatusPaused));
    QTest::qWait(50);
    const auto paused = server.requests.size();
    QTest::qWait(400);
    EXPECT_EQ(server.requests.size(), paused);
}

TEST_F(ClientPollingTest, PymodbusServerIsPolledCyclically)
{
    if (!QFile::exists(QStringLiteral("/usr/bin/python3")))
        GTEST_SKIP() << "no /usr/bin/python3";
    PeerServer peer;
    ASSERT_TRUE(peer.start(QStringLiteral("/usr/bin/python3"),
                           {QStringLiteral(KORVEL_SOURCE_DIR "/bench/peers/pymodbus_server.py")}, {40, 0x4321}, 15000))
        << "pymodbus did not come up";
    const uint16_t port = peer.port();

    store->setHolding(41, 0x0777);
    add(client->listPanel().ReadCBox(), client->listPanel().AddBtnRead(), "40");
    add(client->listPanel().WriteCBox(), client->listPanel().AddBtnWrite(), "41");
    client->pollingPanel().Edit1()->setText("100");
    client->pollingPanel().Edit1Exit();
    ASSERT_EQ(connectTo(port), nullptr);
    ASSERT_TRUE(WaitUntil([&] { return store->holding(40) == 0x4321; }));
    // The write reached pymodbus: read it back there.
    RawClient check;
    ASSERT_TRUE(check.connectTo(port));
    ASSERT_TRUE(WaitUntil(
        [&] {
            check.send(ReadHolding(2, 41, 1));
            return check.receive(11).right(2) == QByteArray::fromHex("0777");
        },
        5000));
}

TEST_F(ClientPollingTest, LibmodbusServerIsPolledImmediately)
{
#ifndef KORVEL_LIBMODBUS_SERVER
    GTEST_SKIP() << "libmodbus is not installed";
#else
    PeerServer peer;
    ASSERT_TRUE(peer.start(QStringLiteral(KORVEL_LIBMODBUS_SERVER), {}, {100, 0x5A5A}));
    const uint16_t port = peer.port();

    store->setHolding(200, 0x1234);
    store->setHolding(201, 0x00FF);
    holdRead("99", "101");
    add(client->listPanel().WriteCBox(), client->listPanel().AddBtnWrite(), "200");
    add(client->listPanel().WriteCBox(), client->listPanel().AddBtnWrite(), "201");
    QTest::mouseClick(client->pollingPanel().RBImmediate(), Qt::LeftButton);
    ASSERT_EQ(connectTo(port), nullptr);
    ASSERT_TRUE(WaitUntil([&] { return store->holding(100) == 0x5A5A; }));
    RawClient check;
    ASSERT_TRUE(check.connectTo(port));
    EXPECT_TRUE(WaitUntil([&] {
        check.send(ReadHolding(2, 200, 2));
        return check.receive(13).mid(9).toHex() == QByteArray("123400ff");
    })) << "the write carried the store's values";
    QTest::mouseClick(client->btnDisco, Qt::LeftButton);
    check.close();
#endif
}

TEST_F(ClientPollingTest, FaultyRepliesWriteTheirEvents)
{
    QByteArray next; // what the scripted server sends for the coming request; "" answers well
    ScriptedServer server([&](QTcpSocket& s, const QByteArray& r) { s.write(next.isEmpty() ? ReadReply(r) : next); });
    connectPaused(server);
    struct Row {
        const char* name;
        std::function<QByteArray(uint16_t ti)> reply;
        std::function<QString(uint16_t ti)> line; // the line after the event header
        const char* status;
    };
    const Row rows[] = {
        {"wrong TI", [](uint16_t ti) { return Frame(ti - 1, 1, QByteArray::fromHex("0306000100020003")); },
         [](uint16_t ti) { return QStringLiteral("Incorrect TI. Expected: %1. Received: %2").arg(ti).arg(ti - 1); },
         kStatusErrorDetected},
        {"protocol id 1", [](uint16_t ti) { return Frame(ti, 1, QByteArray::fromHex("0306000100020003"), 1); },
         [](uint16_t) { return QStringLiteral("Header error. Received: 0/1/0"); }, kStatusErrorDetected},
        {"exception 0x83 code 2", [](uint16_t ti) { return Frame(ti, 1, QByteArray::fromHex("8302")); },
         [](uint16_t) { return QStringLiteral("Exception. FC: 0x83 Code: 2"); }, kStatusExceptionDetected},
        {"unknown function 5", [](uint16_t ti) { return Frame(ti, 1, QByteArray::fromHex("05000a0000")); },
         [](uint16_t) { return QStringLiteral("Data discarded. Unknown function. 5"); }, kStatusErrorDetected},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const uint16_t ti = static_cast<uint16_t>(client->queryState().TICounter + 1);
        next = row.reply(ti);
        const auto lines = client->EList->count();
        pollOnce(server);
        ASSERT_TRUE(WaitUntil([&] { return client->EList->count() > lines; }));
        const QStringList ev = client->eventLines();
        EXPECT_TRUE(ev[0].startsWith("Event #")) << ev[0].toStdString();
        EXPECT_EQ(ev[1], row.line(ti));
        EXPECT_EQ(client->ClientStatus, L(row.status));
    }
    EXPECT_TRUE(client->eventLines().contains("ILLEGAL DATA ADDRESS"));
    EXPECT_TRUE(client->eventLines().contains("Reference: 10, word count: 3"));
    EXPECT_EQ(store->holding(10), 0) << "no faulty reply is stored";
}

TEST_F(ClientPollingTest, SplitAndJoinedReplies)
{
    QTcpSocket* peer = nullptr;
    ScriptedServer server([&](QTcpSocket& s, const QByteArray&) { peer = &s; });
    connectPaused(server);

    // A reply in two pieces is handled once it is whole.
    pollOnce(server);
    const QByteArray reply = ReadReply(server.requests.last());
    peer->write(reply.left(4));
    peer->flush();
    QTest::qWait(100);
    EXPECT_EQ(store->holding(10), 0);
    peer->write(reply.mid(4));
    ASSERT_TRUE(WaitUntil([&] { return store->holding(12) == 0x0102; }));
    EXPECT_EQ(client->StatusBar->text(), QStringLiteral("TI: %1/%1  15 bytes received").arg(Ti(reply)));

    // Two replies in one read are one length error.
    store->setHolding(10, 0);
    pollOnce(server);
    const QByteArray again = ReadReply(server.requests.last());
    peer->write(again + again);
    ASSERT_TRUE(WaitUntil([&] { return client->ClientStatus == L(kStatusErrorDetected); }));
    EXPECT_EQ(client->eventLines()[1], QStringLiteral("Packet length error. Received: 30. Defined: 15"));
    EXPECT_EQ(store->holding(10), 0);
}

TEST_F(ClientPollingTest, UidOffsetAndForcedTiShapeTheQueries)
{
    ScriptedServer server([](QTcpSocket& s, const QByteArray& r) { s.write(ReadReply(r)); });
    connectPaused(server);
    client->CBoxUID->setCurrentIndex(17);
    client->pollingPanel().OffsetCBox()->setChecked(true);
    client->pollingPanel().ForceTI()->setChecked(true);
    pollOnce(server);
    EXPECT_EQ(server.requests.last().toHex(), QByteArray("000000000006110300090003"));
    // Replies are judged against UID 17 and land at the list addresses, not the sent ones.
    ASSERT_TRUE(WaitUntil([&] { return store->holding(12) == 0x0102; }));
    EXPECT_EQ(store->holding(9), 0);
    EXPECT_EQ(client->StatusBar->text(), QStringLiteral("TI: 0/0  15 bytes received"));

    client->pollingPanel().ForceTI()->setChecked(false);
    pollOnce(server);
    EXPECT_EQ(Ti(server.requests.last()), 1);
}

TEST_F(ClientPollingTest, EventListIsCutToItsLimitOnEveryReceive)
{
    ScriptedServer server([](QTcpSocket& s, const QByteArray& r) {
        s.write(Frame(Ti(r), 1, QByteArray::fromHex("8304"))); // every reply an exception
    });
    connectPaused(server);
    QStringList filler;
    for (int i = 0; i < kEventListMaxLines + 20; ++i)
        filler << QStringLiteral("old %1").arg(i);
    client->EList->addItems(filler);
    pollOnce(server);
    ASSERT_TRUE(WaitUntil([&] { return client->ClientStatus == L(kStatusExceptionDetected); }));
    EXPECT_EQ(client->EList->count(), kEventListMaxLines + 5) << "cut first, then the event's five lines";
    EXPECT_EQ(client->eventLines()[2], "SLAVE DEVICE FAILURE");
    EXPECT_TRUE(client->eventLines().last().startsWith("old "));
}

TEST_F(ClientPollingTest, SilentServerGivesOneNoReplyEventPerMonitoringTime)
{
    ScriptedServer server;
    add(client->listPanel().ReadCBox(), client->listPanel().AddBtnRead(), "10");
    QTest::mouseClick(client->pollingPanel().RBImmediate(), Qt::LeftButton);
    ASSERT_EQ(connectTo(server.port()), nullptr);
    ASSERT_TRUE(WaitUntil([&] { return server.requests.size() == 1; }));
    // The monitoring time passing, three times.
    for (int i = 0; i < 3; ++i)
        client->Timer1Timer();
    ASSERT_TRUE(WaitUntil([&] { return server.requests.size() == 4; }));
    EXPECT_EQ(client->eventLines().count(QStringLiteral("No reply received within monitoring time.")), 3);
    EXPECT_EQ(client->ClientStatus, L(kStatusMonitorExpired));
    EXPECT_EQ(Ti(server.requests.last()), 4);
}

TEST_F(ClientPollingTest, ServerClosingEndsTheConnectionAndNothingMoreIsSent)
{
    ScriptedServer server(ScriptedServer::closing());
    add(client->listPanel().ReadCBox(), client->listPanel().AddBtnRead(), "10");
    QTest::mouseClick(client->pollingPanel().RBImmediate(), Qt::LeftButton);
    ASSERT_EQ(connectTo(server.port()), nullptr);
    ASSERT_TRUE(WaitUntil([&] { return !client->connected(); }));
    const QStringList ev = client->eventLines();
    EXPECT_TRUE(ev[0].endsWith(" by external reason")) << ev[0].toStdString();
    EXPECT_EQ(ev[1], "---");
    EXPECT_FALSE(hasLine("Event #"));
    client->Timer1Timer();
    client->CheckAndSendData();
    QTest::qWait(100);
    EXPECT_EQ(server.requests.size(), 1);
    EXPECT_EQ(client->Label3->text(), L(kNoPartnerText));
}

TEST_F(ClientPollingTest, OkWaitsForARunningConnectAndCancelAbandonsIt)
{
    // A listener whose queue is full leaves further connects unanswered.
    QTcpServer busy;
    busy.setMaxPendingConnections(0);
    ASSERT_TRUE(busy.listen(QHostAddress::LocalHost, 0));
    busy.pauseAccepting();
    std::vector<std::unique_ptr<QTcpSocket>> fillers;
    for (int i = 0; i < 64; ++i) {
        fillers.push_back(std::make_unique<QTcpSocket>());
        fillers.back()->connectToHost(QHostAddress::LocalHost, busy.serverPort());
    }
    QTest::qWait(200);

    QTest::mouseClick(client->btnConn, Qt::LeftButton);
    TSetServerIP* dialog = client->serverDialog();
    dialog->Edit1->setText("127");
    dialog->Edit2->setText("0");
    dialog->Edit3->setText("0");
    dialog->Edit4->setText("1");
    dialog->Edit5->setText(QString::number(busy.serverPort()));
    const auto lines = client->EList->count();
    QTest::keyClick(dialog->Edit5, Qt::Key_Return); // Enter presses OK
    QTest::qWait(300);
    if (!dialog->connecting())
        GTEST_SKIP() << "the system answered the connect at once";
    EXPECT_FALSE(dialog->Button3->isEnabled());
    dialog->Edit1->setText("10"); // a field change does not enable OK while the connect runs
    EXPECT_FALSE(dialog->Button3->isEnabled());

    QTest::mouseClick(dialog->Button2, Qt::LeftButton);
    QTest::qWait(100);
    EXPECT_EQ(client->EList->count(), lines) << "an abandoned attempt writes no event";
    EXPECT_FALSE(client->connected());
}

TEST_F(ClientPollingTest, RefusedConnectKeepsTheDialogOpen)
{
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    const uint16_t port = closed.serverPort();
    closed.close();
    TSetServerIP* dialog = connectTo(port);
    ASSERT_NE(dialog, nullptr) << "the dialog stays open";
    EXPECT_EQ(dialog->statusLine(), L(kConnectionFailedText));
    EXPECT_TRUE(dialog->Button3->isEnabled());
    EXPECT_TRUE(client->eventLines()[0].startsWith("Failed connection attempt at "));
    EXPECT_EQ(client->eventLines()[1], "---");
    EXPECT_EQ(client->Label3->text(), L(kNoPartnerText));
    EXPECT_FALSE(client->connected());
    EXPECT_EQ(client->connection().partner.octets, (std::array<int32_t, 4>{127, 0, 0, 1}));
    EXPECT_EQ(client->connection().partner.PrevPort, port);

    // An address with an empty part fails the same way.
    dialog->Edit2->clear();
    dialog->Edit5->setText(QString::number(port));
    dialog->Button3Click();
    ASSERT_TRUE(WaitUntil([&] { return !dialog->connecting(); }));
    EXPECT_EQ(client->connection().serverIP, "127..0.1");
    EXPECT_EQ(client->eventLines().filter(QRegularExpression("^Failed connection attempt at ")).size(), 2);
}

} // namespace
} // namespace korvel::testing
