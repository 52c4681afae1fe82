// The server runtime on its own epoll loop, pumped by the test, over loopback with raw sockets and
// no window: framing, the reject path, the two slots and the waiting third client, every way of
// closing, idle release, the one-frame-late replies and a client that half-closes.
#include "faults/fault_rules_file.h"
#include "server/server_runtime.h"
#include "support/hex_bytes.h"
#include "support/loop_pump.h"
#include "support/loopback_client.h"

#include <cerrno>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <string>
#include <vector>

namespace korvel::testing {
namespace {

using testing_hex::Bytes;
using testing_hex::Hex;

struct RecordingObserver : ServerObserver {
    std::vector<std::string> events;
    const ServerEngine* engine = nullptr; // when set, each opened connection's peer goes to `peers`
    std::vector<std::string> peers;
    void connectionOpened(int c) override
    {
        events.push_back("opened " + std::to_string(c));
        if (engine)
            peers.push_back(engine->connection(c).PeerIP);
    }
    void connectionClosed(int c, bool all) override
    {
        events.push_back("closed " + std::to_string(c) + (all ? " all" : ""));
    }
    void requestRejected(int c, const std::string& text) override
    {
        events.push_back("rejected " + std::to_string(c) + " " + text);
    }
    void requestExchanged(int, const std::string& failedCheckText) override
    {
        ++(failedCheckText.empty() ? passedNotices : failedNotices);
    }
    int passedNotices = 0;
    int failedNotices = 0;
};

// A loopback client, read without blocking while the loop is pumped.
class Client {
  public:
    explicit Client(uint16_t port) : socket_(port) {}
    bool connected() const { return socket_.connected(); }
    void send(const std::string& hex) { ASSERT_TRUE(socket_.send(Bytes(hex))); }
    void halfClose() { socket_.halfClose(); }
    // Closes with a reset instead of an orderly close.
    void reset()
    {
        socket_.resetOnClose();
        socket_.close();
    }
    void close() { socket_.close(); }
    // Reads what arrived; sets eof when the server closed.
    void poll()
    {
        const std::vector<uint8_t> chunk = socket_.receiveAvailable();
        got.insert(got.end(), chunk.begin(), chunk.end());
        eof = socket_.peerClosed();
    }
    std::string text() const { return Hex(got.data(), static_cast<int>(got.size())); }
    int error() const { return socket_.error(); }

    std::vector<uint8_t> got;
    bool eof = false;

  private:
    LoopbackClient socket_;
};

class RuntimeTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        store.ascendingInput(); // input register i holds i
        ASSERT_EQ(runtime.StartListening(0, INADDR_LOOPBACK), 0);
        port = runtime.listeningPort();
    }
    bool pump(const std::function<bool()>& done, int timeoutMs = 3000) { return PumpUntil(loop, done, timeoutMs); }
    // Pumps until the client holds `bytes` bytes (or the time is up), then returns all it holds.
    std::string await(Client& client, size_t bytes, int timeoutMs = 3000)
    {
        pump(
            [&] {
                client.poll();
                return client.got.size() >= bytes;
            },
            timeoutMs);
        return client.text();
    }
    void connect(Client& client, int slot)
    {
        ASSERT_TRUE(client.connected());
        ASSERT_TRUE(pump([&] { return runtime.slotOpen(slot); })) << "slot " << slot;
    }

    EpollLoop loop;
    RegisterStore store;
    ServerEngine engine{store};
    RecordingObserver observer;
    ServerRuntime runtime{loop, engine, observer};
    uint16_t port = 0;
};

const char* const kReadInput1 = "00 01 00 00 00 06 01 04 00 05 00 01";
const char* const kReplyInput1 = "00 01 00 00 00 05 01 04 02 00 05";

struct ChunkCase {
    const char* name;
    std::vector<const char*> chunks; // written one after the other, the loop pumped between them
    const char* replies;
};

class RuntimeChunks : public RuntimeTest, public ::testing::WithParamInterface<ChunkCase> {};

TEST_P(RuntimeChunks, AnswersEveryWholeFrameInOrder)
{
    Client client(port);
    connect(client, 1);
    for (const char* chunk : GetParam().chunks) {
        client.send(chunk);
        pump([] { return false; }, 20);
    }
    const std::string expected = GetParam().replies;
    EXPECT_EQ(await(client, Bytes(expected).size()), expected);
    pump([] { return false; }, 30);
    client.poll();
    EXPECT_EQ(client.text(), expected) << "nothing more";
}

INSTANTIATE_TEST_SUITE_P(
    Frames, RuntimeChunks,
    ::testing::Values(ChunkCase{"SplitFiveSeven", {"00 01 00 00 00", "06 01 04 00 05 00 01"}, kReplyInput1},
                      ChunkCase{
                          "HeaderByteByByte", {"00", "01", "00", "00", "00", "06", "01 04 00 05 00 01"}, kReplyInput1},
                      ChunkCase{"ThreePipelined",
                                {"00 01 00 00 00 06 01 04 00 05 00 01 00 02 00 00 00 06 01 04 00 06 00 01 "
                                 "00 03 00 00 00 06 01 04 00 07 00 01"},
                                "00 01 00 00 00 05 01 04 02 00 05 00 02 00 00 00 05 01 04 02 00 06 "
                                "00 03 00 00 00 05 01 04 02 00 07"},
                      ChunkCase{"FrameAndAHalf",
                                {"00 01 00 00 00 06 01 04 00 05 00 01 00 02 00 00", "00 06 01 04 00 06 00 01"},
                                "00 01 00 00 00 05 01 04 02 00 05 00 02 00 00 00 05 01 04 02 00 06"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RuntimeTest, StreamThatIsNoFrameIsProcessedOnceThenClosed)
{
    Client client(port);
    connect(client, 1);
    client.send("00 01 00 01 00 06 01 04 00 05 00 01"); // protocol identifier 1
    ASSERT_TRUE(pump([&] {
        client.poll();
        return client.eof;
    }));
    EXPECT_TRUE(client.got.empty()) << "a header error is not answered";
    EXPECT_FALSE(runtime.slotOpen(1));
    EXPECT_EQ(engine.counters.MessageCount, 1u);
    EXPECT_EQ(observer.events,
              (std::vector<std::string>{"opened 1", "closed 1 all", "rejected 1 Bad protocol identifier. "}));
}

TEST_F(RuntimeTest, ThirdClientWaitsUnansweredUntilASlotFrees)
{
    Client first(port), second(port), third(port);
    connect(first, 1);
    connect(second, 2);
    third.send(kReadInput1);
    EXPECT_EQ(await(third, 1, 200), "") << "nobody answers a waiting client";
    ASSERT_EQ(runtime.DisconnectSock(Disconnect::Connection1), 0);
    EXPECT_EQ(await(third, 11), kReplyInput1);
    EXPECT_TRUE(runtime.slotOpen(1));
}

TEST_F(RuntimeTest, WaitingClientTakesTheSlotAPeerLeavesAndTheOtherKeepsItsOwn)
{
    Client first(port), second(port), third(port);
    connect(first, 1);
    connect(second, 2);
    third.send(kReadInput1);
    EXPECT_EQ(await(third, 1, 200), "");
    first.close();
    EXPECT_EQ(await(third, 11), kReplyInput1);
    EXPECT_TRUE(runtime.slotOpen(1));
    EXPECT_TRUE(runtime.slotOpen(2));
    second.send("00 02 00 00 00 06 01 04 00 06 00 01");
    EXPECT_EQ(await(second, 11), "00 02 00 00 00 05 01 04 02 00 06");
    EXPECT_EQ(observer.events, (std::vector<std::string>{"opened 1", "opened 2", "closed 1", "opened 1"}));
}

struct DisconnectCase {
    const char* name;
    Disconnect kind;
    bool slot1Open, slot2Open, listening;
};

class RuntimeDisconnect : public RuntimeTest, public ::testing::WithParamInterface<DisconnectCase> {};

TEST_P(RuntimeDisconnect, ClosesWhatItSays)
{
    const DisconnectCase& row = GetParam();
    Client first(port), second(port);
    connect(first, 1);
    connect(second, 2);
    EXPECT_EQ(runtime.DisconnectSock(row.kind), 0);
    EXPECT_EQ(runtime.slotOpen(1), row.slot1Open);
    EXPECT_EQ(runtime.slotOpen(2), row.slot2Open);
    EXPECT_EQ(runtime.listening(), row.listening);
    for (Client* c : {&first, &second}) {
        const bool open = c == &first ? row.slot1Open : row.slot2Open;
        pump(
            [&] {
                c->poll();
                return c->eof;
            },
            open ? 50 : 3000);
        EXPECT_EQ(c->eof, !open);
    }
    Client next(port);
    if (row.listening) {
        next.send(kReadInput1);
        EXPECT_EQ(await(next, 11), kReplyInput1) << "a new client is served";
    } else {
        EXPECT_FALSE(next.connected());
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, RuntimeDisconnect,
                         ::testing::Values(DisconnectCase{"One", Disconnect::Connection1, false, true, true},
                                           DisconnectCase{"Two", Disconnect::Connection2, true, false, true},
                                           DisconnectCase{"AllListenAgain", Disconnect::AllListenAgain, false, false,
                                                          true},
                                           DisconnectCase{"AllStayDeaf", Disconnect::AllStayDeaf, false, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RuntimeTest, IdleConnectionIsReleasedOnTheSixtySecondTickWithoutARequest)
{
    Client client(port);
    connect(client, 1);
    for (int tick = 1; tick <= 61; ++tick)
        runtime.tmrMonitorSockTimer(1);
    EXPECT_TRUE(runtime.slotOpen(1)) << "released before the 62nd tick";
    runtime.tmrMonitorSockTimer(1);
    EXPECT_FALSE(runtime.slotOpen(1));

    Client busy(port);
    connect(busy, 1);
    for (int tick = 1; tick <= 62; ++tick) {
        if (tick == 30) {
            busy.send(kReadInput1);
            ASSERT_EQ(await(busy, 11), kReplyInput1);
        }
        runtime.tmrMonitorSockTimer(1);
    }
    EXPECT_TRUE(runtime.slotOpen(1)) << "a request in between starts the count anew";
    runtime.SetReleaseUnused(false);
    EXPECT_FALSE(runtime.idleTimerRunning(1));
}

TEST_F(RuntimeTest, OutOfSynchAnswersOneFrameLateUntilSwitchedOff)
{
    ServerSettings settings = runtime.settings();
    settings.OutOfSynchActive = true;
    runtime.SetSettings(settings);
    Client client(port);
    connect(client, 1);
    const char* const a = "00 0A 00 00 00 06 01 04 00 01 00 01";
    const char* const b = "00 0B 00 00 00 06 01 04 00 02 00 01";
    const char* const c = "00 0C 00 00 00 06 01 04 00 03 00 01";
    const char* const d = "00 0D 00 00 00 06 01 04 00 04 00 01";
    client.send(a);
    EXPECT_EQ(await(client, 1, 100), "") << "A is held back";
    client.send(b);
    EXPECT_EQ(await(client, 11), "00 0A 00 00 00 05 01 04 02 00 01");
    client.send(c);
    EXPECT_EQ(await(client, 22), "00 0A 00 00 00 05 01 04 02 00 01 00 0B 00 00 00 05 01 04 02 00 02");
    settings.OutOfSynchActive = false;
    runtime.SetSettings(settings);
    client.send(d);
    EXPECT_EQ(await(client, 33), "00 0A 00 00 00 05 01 04 02 00 01 00 0B 00 00 00 05 01 04 02 00 02 "
                                 "00 0D 00 00 00 05 01 04 02 00 04")
        << "C is never answered, D at once";
}

TEST_F(RuntimeTest, ClientThatHalfClosesGetsEveryFrameItSentAnswered)
{
    Client client(port);
    connect(client, 1);
    client.send("00 01 00 00 00 06 01 04 00 00 00 01 00 02 00 00 00 06 01 04 00 00 00 01 "
                "00 03 00 00 00 06 01 04 00 00 00 01");
    client.halfClose();
    ASSERT_TRUE(pump([&] {
        client.poll();
        return client.eof;
    }));
    EXPECT_EQ(client.text(), "00 01 00 00 00 05 01 04 02 00 00 00 02 00 00 00 05 01 04 02 00 00 "
                             "00 03 00 00 00 05 01 04 02 00 00");
    EXPECT_FALSE(runtime.slotOpen(1));
}

TEST_F(RuntimeTest, FloodIsToldAFewTimesAFrameAndFailuresEveryTime)
{
    runtime.setExchangeNotice(10000, 3); // a long frame: nothing ends it during the burst
    Client client(port);
    connect(client, 1);
    std::string burst, replies;
    for (int i = 0; i < 50; ++i) {
        burst += kReadInput1;
        burst += " ";
        replies += std::string(kReplyInput1) + " ";
    }
    burst += "00 02 00 00 00 06 01 41 00 00 00 01"; // not a function: fails its check
    client.send(burst);
    await(client, 50 * 11 + 9);
    EXPECT_EQ(observer.passedNotices, 3);
    EXPECT_EQ(observer.failedNotices, 1);
    EXPECT_EQ(runtime.snapshot().shownConnection(1).checkText, "--Illegal function. ");

    // On connection #2 with a short frame: three at once, the fourth at the frame's end.
    runtime.setExchangeNotice(20, 3);
    Client second(port);
    connect(second, 2);
    second.send(std::string(kReadInput1) + " " + kReadInput1 + " " + kReadInput1 + " " + kReadInput1);
    await(second, 4 * 11);
    pump([&] { return observer.passedNotices == 3 + 4; }, 500);
    EXPECT_EQ(observer.passedNotices, 3 + 4);
}

TEST_F(RuntimeTest, HeldConnectionIsReadOnlyOnceAcknowledged)
{
    runtime.setHoldNewConnections(true);
    Client client(port);
    connect(client, 1);
    client.send(kReadInput1);
    EXPECT_EQ(await(client, 1, 100), "");
    runtime.connectionAcknowledged(1);
    EXPECT_EQ(await(client, 11), kReplyInput1);
}

TEST_F(RuntimeTest, ClientThatResetsBeforeItIsAcceptedStillHasItsAddress)
{
    observer.engine = &engine;
    Client client(port);
    ASSERT_TRUE(client.connected());
    client.reset(); // still in the listen queue: nothing was pumped yet
    ASSERT_TRUE(pump([&] { return observer.events.size() >= 2; }));
    EXPECT_EQ(observer.events[0], "opened 1");
    EXPECT_EQ(observer.events[1], "closed 1 all");
    EXPECT_EQ(observer.peers, std::vector<std::string>{"127.0.0.1"});
}

// ---- replies changed on their way out ----

std::vector<FaultSend> Pieces(std::initializer_list<std::pair<uint32_t, const char*>> pieces)
{
    std::vector<FaultSend> out;
    for (const auto& [delayMs, hex] : pieces)
        out.push_back({delayMs, Bytes(hex)});
    return out;
}

class RuntimeOutgoing : public RuntimeTest {
  protected:
    void SetUp() override
    {
        RuntimeTest::SetUp();
        firstClient = std::make_unique<Client>(port);
        secondClient = std::make_unique<Client>(port);
        connect(first(), 1);
        connect(second(), 2);
        start = std::chrono::steady_clock::now();
    }
    // Since the set-up, give or take the millisecond the loop's clock rounds away.
    int64_t elapsedMs() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count() +
               1;
    }
    Client& first() { return *firstClient; }
    Client& second() { return *secondClient; }
    std::unique_ptr<Client> firstClient, secondClient;
    std::chrono::steady_clock::time_point start;
};

TEST_F(RuntimeOutgoing, DelayedReplyHoldsBackLaterRepliesOnItsConnectionOnly)
{
    runtime.sendPlanned(1, Pieces({{80, "00 09"}}), FaultConnectionAction::None);
    first().send(kReadInput1);
    second().send(kReadInput1);
    EXPECT_EQ(await(second(), 11), kReplyInput1);
    EXPECT_LT(elapsedMs(), 70) << "the other connection waits for nothing";
    EXPECT_EQ(first().text(), "");
    EXPECT_EQ(await(first(), 13), std::string("00 09 ") + kReplyInput1) << "the later reply came second";
    EXPECT_GE(elapsedMs(), 80);
}

TEST_F(RuntimeOutgoing, PiecesArriveApartInOrder)
{
    runtime.sendPlanned(1, Pieces({{0, "00"}, {40, "01"}, {80, "02"}}), FaultConnectionAction::None);
    EXPECT_EQ(await(first(), 1), "00");
    EXPECT_LT(elapsedMs(), 35);
    EXPECT_EQ(await(first(), 2), "00 01");
    EXPECT_GE(elapsedMs(), 40);
    EXPECT_LT(elapsedMs(), 75);
    EXPECT_EQ(await(first(), 3), "00 01 02");
    EXPECT_GE(elapsedMs(), 80);
}

TEST_F(RuntimeOutgoing, CloseSendsThenEndsTheConnection)
{
    runtime.sendPlanned(1, Pieces({{0, "00 07"}}), FaultConnectionAction::Close);
    ASSERT_TRUE(pump([&] {
        first().poll();
        return first().eof;
    }));
    EXPECT_EQ(first().text(), "00 07");
    EXPECT_EQ(first().error(), 0) << "an orderly close";
    EXPECT_FALSE(runtime.slotOpen(1));
    EXPECT_TRUE(runtime.slotOpen(2));
}

TEST_F(RuntimeOutgoing, ResetComesAfterWhatWasQueuedBeforeAndSendsNothingOfItsOwn)
{
    runtime.sendPlanned(1, Pieces({{40, "00 0A"}}), FaultConnectionAction::None);
    runtime.sendPlanned(1, Pieces({{0, "FF FF"}}), FaultConnectionAction::Reset);
    ASSERT_TRUE(pump([&] {
        first().poll();
        return first().eof;
    }));
    EXPECT_EQ(first().text(), "00 0A");
    EXPECT_EQ(first().error(), ECONNRESET);
    EXPECT_GE(elapsedMs(), 40);
    EXPECT_FALSE(runtime.slotOpen(1));
    EXPECT_EQ(observer.events.back(), "closed 1");
}

TEST_F(RuntimeOutgoing, StalledConnectionExecutesButAnswersNothingAndIsNotReleasedAsIdle)
{
    runtime.sendPlanned(1, {}, FaultConnectionAction::Stall);
    first().send("00 01 00 00 00 06 01 06 00 05 12 34"); // write single register 5
    EXPECT_EQ(await(first(), 1, 150), "");
    EXPECT_EQ(store.holding(5), 0x1234) << "the write landed";
    for (int i = 0; i < 70; ++i)
        runtime.tmrMonitorSockTimer(1);
    EXPECT_TRUE(runtime.slotOpen(1));
    EXPECT_TRUE(runtime.stalled(1));
    second().send(kReadInput1);
    EXPECT_EQ(await(second(), 11), kReplyInput1);
}

TEST_F(RuntimeOutgoing, PeerThatHalfClosesStillGetsTheDelayedReply)
{
    runtime.sendPlanned(1, Pieces({{50, "00 05"}}), FaultConnectionAction::None);
    first().halfClose();
    ASSERT_TRUE(pump([&] {
        first().poll();
        return first().eof;
    }));
    EXPECT_EQ(first().text(), "00 05");
    EXPECT_GE(elapsedMs(), 50);
}

// ---- fault rules on the runtime ----

// The traffic log's text, as the file would hold it.
struct TextLog : PacketLog {
    bool LogRecording() const override { return true; }
    LogWrite LogPacket(const LogPacketInput& packet) override
    {
        AppendPacketLines(counters, packet, 0, text);
        return {};
    }
    LogCounters counters;
    std::string text;
};

struct FiredRecorder : RecordingObserver {
    void faultFired(int c, const std::string& rule, uint16_t transactionId) override
    {
        fired.push_back(std::to_string(c) + " " + rule + " " + std::to_string(transactionId));
    }
    std::vector<std::string> fired;
};

class RuntimeFaults : public ::testing::Test {
  protected:
    void SetUp() override
    {
        store.ascendingInput();
        ASSERT_EQ(runtime.StartListening(0, INADDR_LOOPBACK), 0);
        runtime.setPacketLog(&log);
    }
    void rules(const char* toml)
    {
        const FaultRulesParse parsed = ParseFaultRules(toml);
        ASSERT_TRUE(parsed.ok()) << parsed.error->text();
        runtime.setFaultRules(parsed.set);
    }
    std::unique_ptr<Client> connect(int slot)
    {
        auto client = std::make_unique<Client>(runtime.listeningPort());
        EXPECT_TRUE(PumpUntil(loop, [&] { return runtime.slotOpen(slot); }));
        return client;
    }
    // Sends FC4 "read input register 5" with transaction id `ti`; the reply, or "" after `waitMs`.
    std::string ask(Client& client, int ti, int waitMs = 300)
    {
        const size_t before = client.got.size();
        client.send(Hex(std::vector<uint8_t>{0, static_cast<uint8_t>(ti), 0, 0, 0, 6, 1, 4, 0, 5, 0, 1}.data(), 12));
        PumpUntil(
            loop,
            [&] {
                client.poll();
                return client.got.size() >= before + 11;
            },
            waitMs);
        const std::vector<uint8_t> reply(client.got.begin() + static_cast<std::ptrdiff_t>(before), client.got.end());
        return Hex(reply.data(), static_cast<int>(reply.size()));
    }

    EpollLoop loop;
    RegisterStore store;
    ServerEngine engine{store};
    FiredRecorder observer;
    TextLog log;
    ServerRuntime runtime{loop, engine, observer};
};

TEST_F(RuntimeFaults, EveryThirdReplyIsLostAndTheLogSaysWhichRule)
{
    rules("[[rule]]\nname = \"lost\"\nfault = \"no-reply\"\nfunction = 4\nevery = 3\n");
    auto client = connect(1);
    std::vector<bool> answered;
    for (int ti = 1; ti <= 6; ++ti)
        answered.push_back(!ask(*client, ti, ti % 3 == 0 ? 100 : 3000).empty());
    EXPECT_EQ(answered, (std::vector<bool>{true, true, false, true, true, false}));
    EXPECT_EQ(observer.fired, (std::vector<std::string>{"1 lost 3", "1 lost 6"}));
    EXPECT_NE(log.text.find("Fault rule \"lost\": no-reply\r\nReply: \r\n\r\n"), std::string::npos) << log.text;
    EXPECT_EQ(runtime.snapshot().faultsFired, 2u);
    EXPECT_EQ(runtime.snapshot().faultRulesEnabled, 1);
}

TEST_F(RuntimeFaults, DelayOnOneConnectionLeavesTheOtherClean)
{
    rules("[[rule]]\nfault = \"delay\"\ndelay_ms = 50\nconnection = 1\n");
    auto first = connect(1);
    auto second = connect(2);
    const auto start = std::chrono::steady_clock::now();
    const auto ms = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    };
    EXPECT_EQ(ask(*second, 1), "00 01 00 00 00 05 01 04 02 00 05");
    EXPECT_LT(ms(), 40);
    EXPECT_EQ(ask(*first, 2), "00 02 00 00 00 05 01 04 02 00 05");
    EXPECT_GE(ms(), 49);
    EXPECT_EQ(observer.fired, std::vector<std::string>{"1 rule 1 2"});
}

TEST_F(RuntimeFaults, WriteLandsUnderNoReplyAndTheChangedBytesAreLogged)
{
    rules("[[rule]]\nname = \"w\"\nfault = \"no-reply\"\nfunction = 6\n"
          "[[rule]]\nname = \"u\"\nfault = \"wrong-unit\"\nvalue = 9\nfunction = 4\n");
    auto client = connect(1);
    client->send("00 07 00 00 00 06 01 06 00 05 12 34");
    EXPECT_TRUE(PumpUntil(loop, [&] { return store.holding(5) == 0x1234; }));
    EXPECT_EQ(ask(*client, 8), "00 08 00 00 00 05 09 04 02 00 05");
    EXPECT_NE(log.text.find("Fault rule \"u\": wrong-unit\r\nReply: \r\n00 08 00 00 00 05 09 04 02 00 05 \r\n"),
              std::string::npos)
        << log.text;
    client->poll();
    EXPECT_EQ(client->got.size(), 11u) << "the write's reply never came";
}

TEST_F(RuntimeFaults, ClearedRulesLeaveRepliesAsTheEngineBuildsThem)
{
    rules("[[rule]]\nfault = \"no-reply\"\n");
    auto client = connect(1);
    EXPECT_EQ(ask(*client, 1, 100), "");
    runtime.setFaultRules({});
    EXPECT_EQ(ask(*client, 2), "00 02 00 00 00 05 01 04 02 00 05");
    EXPECT_FALSE(runtime.snapshot().faultRulesLoaded);
}

} // namespace
} // namespace korvel::testing
