// The reply-driven polling modes ("Immediate query", "Wait after response") against a scripted
// server that answers when the test says so: a second query sent while one is awaited (a one-off,
// a monitoring time that passed, a switch of mode) must not leave two in flight for good, a lost
// one-off must not stall the waiting mode, a missing reply is reported only for a query that was
// sent, and the event list stays within its cut whatever writes into it.
#include "client/client_window_fixture.h"
#include "client/series_dialog.h"
#include "client/write_mask_window.h"
#include "master/event_texts.h"
#include "support/scripted_server.h"
#include "support/text_constants.h"

#include <QRadioButton>
#include <QTimer>
#include <functional>
#include <set>

namespace korvel::testing {
namespace {

const QString kNoReplyLine = QStringLiteral("No reply received within monitoring time.");

// A good reply: values 0x0100 + i for a read, the echo of a single write.
QByteArray GoodReply(const QByteArray& request)
{
    if (uint8_t(request[7]) != 3 && uint8_t(request[7]) != 4)
        return request;
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

class ReplyModesTest : public ClientWindowTest {
  public:
    using ClientWindowTest::client; // the rows' steps drive the window
    using ClientWindowTest::store;
    void SetUp() override
    {
        ClientWindowTest::SetUp();
        server = std::make_unique<ScriptedServer>([this](QTcpSocket& s, const QByteArray& r) {
            if (autoAnswer && (answerOneOffs || uint8_t(r[7]) == 3)) {
                s.write(GoodReply(r));
                answered.insert(server->requests.size() - 1);
            }
        });
        // A monitoring time the test never waits for: it passes when the test calls the tick.
        client->pollingPanel().Edit1()->setText("10000");
        client->pollingPanel().Edit1Exit();
    }
    void holdRead(const QString& from, const QString& to)
    {
        TfrmSeries* s = client->listPanel().openSeries(ListKind::HoldingRead);
        s->EditLow->setText(from);
        s->Edithigh->setText(to);
        s->Button1Click();
    }
    void connect(QRadioButton* mode)
    {
        QTest::mouseClick(mode, Qt::LeftButton);
        ASSERT_EQ(connectTo(server->port()), nullptr);
        ASSERT_TRUE(WaitUntil([&] { return server->socket() != nullptr; }));
    }
    void waitRequests(qsizetype n)
    {
        ASSERT_TRUE(WaitUntil([&] { return server->requests.size() >= n; })) << server->requests.size();
    }
    // Answers request i and waits until the client has handled the reply (a new status text or
    // new event lines).
    void answer(qsizetype i)
    {
        const QString status = client->StatusBar->text();
        const int lines = client->EList->count();
        server->socket()->write(GoodReply(server->requests[i]));
        answered.insert(i);
        ASSERT_TRUE(WaitUntil([&] { return client->StatusBar->text() != status || client->EList->count() != lines; }));
    }
    // Sends a single write of 1234 to register 5 through its window, as a user does.
    void applyOneOff()
    {
        TfrmWriteMask* w = client->openWriteMask(OneOffMode::WriteSingle);
        w->Edit3->setText("5");
        w->Edit1->setText("1234");
        w->Button2Click();
    }
    bool hasLine(const QString& line) const { return client->eventLines().contains(line); }
    bool hasLineStarting(const QString& prefix) const
    {
        for (const QString& line : client->eventLines())
            if (line.startsWith(prefix))
                return true;
        return false;
    }

    std::unique_ptr<ScriptedServer> server;
    bool autoAnswer = false;
    bool answerOneOffs = true;
    std::set<qsizetype> answered; // indices of the requests answered
};

// A second query sent while one is awaited, three ways. Afterwards a server that answers every
// query at once (and those still waiting) must see one query at a time again: every reply good,
// its values stored.
struct SecondQueryCase {
    const char* name;
    std::function<void(ReplyModesTest&)> steps;
};

const SecondQueryCase kSecondQueryRows[] = {
    {"OneOffWhileAListQueryIsAwaited",
     [](ReplyModesTest& t) {
         t.connect(t.client->pollingPanel().RBImmediate());
         t.waitRequests(1);
         t.applyOneOff();
         t.waitRequests(2);
         ASSERT_EQ(uint8_t(t.server->requests[1][7]), 6);
         // The list query's reply is judged against the list query, and its values land.
         t.answer(0);
         EXPECT_EQ(t.store->holding(12), 0x0102);
         EXPECT_FALSE(t.hasLineStarting("Incorrect TI"));
         // The one-off's reply against the one-off.
         t.answer(1);
         EXPECT_FALSE(t.hasLineStarting("Incorrect TI"));
     }},
    {"ReplyLaterThanTheMonitoringTime",
     [](ReplyModesTest& t) {
         t.connect(t.client->pollingPanel().RBImmediate());
         t.waitRequests(1);
         t.client->Timer1Timer(); // the monitoring time passes: the next query goes out
         t.waitRequests(2);
         t.answer(0); // the late reply
     }},
    {"SwitchToImmediateWhileAQueryIsInFlight",
     [](ReplyModesTest& t) {
         t.connect(t.client->pollingPanel().RBCyclic());
         t.client->Timer1Timer(); // one cycle
         t.waitRequests(1);
         QTest::mouseClick(t.client->pollingPanel().RBImmediate(), Qt::LeftButton);
         t.waitRequests(2);
         t.answer(0);
     }},
};

class SecondQuery : public ReplyModesTest, public ::testing::WithParamInterface<SecondQueryCase> {};

TEST_P(SecondQuery, PollingGoesBackToOneQueryInFlight)
{
    holdRead("10", "12");
    GetParam().steps(*this);
    if (HasFatalFailure())
        return;
    client->EListDblClick();
    store->setHolding(12, 0);
    autoAnswer = true;
    const qsizetype before = server->requests.size();
    for (qsizetype i = 0; i < before; ++i) {
        if (answered.count(i) == 0) {
            server->socket()->write(GoodReply(server->requests[i]));
            server->socket()->flush();
            answered.insert(i);
        }
    }
    ASSERT_TRUE(WaitUntil([&] { return server->requests.size() >= before + 30; }, 10000))
        << "polling stopped after " << server->requests.size() - before << " queries";
    EXPECT_EQ(client->EList->count(), 0) << client->eventLines().join('|').toStdString();
    EXPECT_EQ(store->holding(12), 0x0102);
    EXPECT_EQ(client->ClientStatus, L(kStatusActive));
}

std::string SecondQueryName(const ::testing::TestParamInfo<SecondQueryCase>& info)
{
    return info.param.name;
}
INSTANTIATE_TEST_SUITE_P(ReplyDriven, SecondQuery, ::testing::ValuesIn(kSecondQueryRows), SecondQueryName);

TEST_F(ReplyModesTest, WaitAfterResponseGoesOnWhenAOneOffSentDuringTheDelayGetsNoReply)
{
    holdRead("10", "12");
    autoAnswer = true;
    answerOneOffs = false;
    QTest::mouseClick(client->pollingPanel().RBWaitAfter(), Qt::LeftButton);
    client->pollingPanel().Edit2()->setText("1000");
    client->pollingPanel().Edit2Exit();
    ASSERT_EQ(connectTo(server->port()), nullptr);
    // The first query after the delay; its reply starts the delay again.
    ASSERT_TRUE(WaitUntil([&] { return store->holding(12) == 0x0102; }));
    ASSERT_TRUE(client->pollingPanel().Timer3()->isActive());
    applyOneOff(); // during the delay; it stops the delay
    waitRequests(2);
    EXPECT_FALSE(client->pollingPanel().Timer3()->isActive());
    ASSERT_TRUE(client->pollingPanel().Timer1()->isActive()) << "the monitoring time must run from the one-off's send";
    client->Timer1Timer(); // it passes without a reply
    EXPECT_EQ(client->eventLines().value(1), kNoReplyLine);
    EXPECT_EQ(client->ClientStatus, L(kStatusMonitorExpired));
    // The next list query, its reply, the delay, and the one after.
    waitRequests(4);
    EXPECT_EQ(uint8_t(server->requests[3][7]), 3);
}

// The event list is cut on every insertion: against a partner that never answers it grows only
// by the newest event.
TEST_F(ReplyModesTest, EventListIsCutAgainstASilentPartnerToo)
{
    add(client->listPanel().ReadCBox(), client->listPanel().AddBtnRead(), "10");
    connect(client->pollingPanel().RBImmediate());
    waitRequests(1);
    QStringList filler;
    for (int i = 0; i < kEventListMaxLines + 20; ++i)
        filler << QStringLiteral("old %1").arg(i);
    client->EList->addItems(filler);
    client->Timer1Timer();
    EXPECT_EQ(client->EList->count(), kEventListMaxLines + 3);
    EXPECT_EQ(client->eventLines()[1], kNoReplyLine);
    client->Timer1Timer();
    EXPECT_EQ(client->EList->count(), kEventListMaxLines + 3);
    QTest::mouseClick(client->btnDisco, Qt::LeftButton);
    EXPECT_EQ(client->EList->count(), kEventListMaxLines + 3);
    EXPECT_TRUE(client->eventLines()[0].endsWith(" by user"));
}

// The first address added while connected: the step that sends its first query reports no
// missing reply; the next monitoring time without a reply does.
struct FirstAddressCase {
    const char* name;
    QRadioButton* (PollingPanel::*mode)() const;
};
class FirstAddress : public ReplyModesTest, public ::testing::WithParamInterface<FirstAddressCase> {};

TEST_P(FirstAddress, NoMissingReplyBeforeAQueryWasSent)
{
    client->pollingPanel().Edit2()->setText("1000"); // the delay of "Wait after response" does not come first
    client->pollingPanel().Edit2Exit();
    connect((client->pollingPanel().*GetParam().mode)());
    add(client->listPanel().ReadCBox(), client->listPanel().AddBtnRead(), "10");
    client->Timer1Timer();
    waitRequests(1);
    EXPECT_FALSE(hasLine(kNoReplyLine)) << client->eventLines().join('|').toStdString();
    client->Timer1Timer();
    EXPECT_TRUE(hasLine(kNoReplyLine));
    waitRequests(2);
}

const FirstAddressCase kFirstAddressRows[] = {
    {"Immediate", &PollingPanel::RBImmediate},
    {"WaitAfter", &PollingPanel::RBWaitAfter},
};
std::string FirstAddressName(const ::testing::TestParamInfo<FirstAddressCase>& info)
{
    return info.param.name;
}
INSTANTIATE_TEST_SUITE_P(ReplyDriven, FirstAddress, ::testing::ValuesIn(kFirstAddressRows), FirstAddressName);

} // namespace
} // namespace korvel::testing
