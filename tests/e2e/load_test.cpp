// The real korvel server under load and under misbehaving clients: pipelined traffic on both slots,
// clients that vanish mid-frame or mid-reply or send garbage, and a long flood. Bounded in time by
// deadlines, never timed: the figures live in bench/.
#include "support/loopback_client.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

using korvel::testing::LoopbackClient;

constexpr uint8_t kUnit = 1;

Bytes header(uint16_t ti, int lengthAfter, uint8_t fc)
{
    return {uint8_t(ti >> 8), uint8_t(ti), 0, 0, uint8_t(lengthAfter >> 8), uint8_t(lengthAfter), kUnit, fc};
}

void put16(Bytes& b, int v)
{
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}

Bytes readRequest(uint16_t ti, int address, int quantity)
{
    Bytes b = header(ti, 6, 3);
    put16(b, address);
    put16(b, quantity);
    return b;
}

Bytes readReply(uint16_t ti, const std::vector<uint16_t>& values)
{
    Bytes b = header(ti, 3 + 2 * int(values.size()), 3);
    b.push_back(uint8_t(2 * values.size()));
    for (uint16_t v : values)
        put16(b, v);
    return b;
}

Bytes writeRequest(uint16_t ti, int address, const std::vector<uint16_t>& values)
{
    Bytes b = header(ti, 7 + 2 * int(values.size()), 16);
    put16(b, address);
    put16(b, int(values.size()));
    b.push_back(uint8_t(2 * values.size()));
    for (uint16_t v : values)
        put16(b, v);
    return b;
}

Bytes writeReply(uint16_t ti, int address, int quantity)
{
    Bytes b = header(ti, 6, 16);
    put16(b, address);
    put16(b, quantity);
    return b;
}

// One request and the exact reply it must get.
struct Exchange {
    Bytes request;
    Bytes reply;
};

// Keeps up to `window` requests outstanding on one connection and checks that the replies come
// back byte for byte as expected, in the order the requests were sent.
class Pipeline {
  public:
    Pipeline(LoopbackClient& client, std::function<Exchange()> next) : client_(client), next_(std::move(next)) {}

    // Sends requests until `window` are outstanding (and no more than `limit` in all).
    bool fill(size_t window, long limit)
    {
        Bytes batch;
        while (expected_.size() < window && sent_ < limit) {
            Exchange e = next_();
            batch.insert(batch.end(), e.request.begin(), e.request.end());
            expected_.push_back(std::move(e.reply));
            ++sent_;
        }
        return batch.empty() || client_.send(batch);
    }

    // Takes what has arrived (without waiting) and checks every complete reply. False on a wrong
    // reply or a closed connection; `error` then says what went wrong.
    bool take()
    {
        const Bytes got = client_.receiveAvailable();
        pending_.insert(pending_.end(), got.begin(), got.end());
        if (client_.peerClosed()) {
            error = "connection closed by the server after " + std::to_string(received) + " replies";
            return false;
        }
        size_t used = 0;
        while (!expected_.empty() && pending_.size() - used >= expected_.front().size()) {
            const Bytes& want = expected_.front();
            if (!std::equal(want.begin(), want.end(), pending_.begin() + long(used))) {
                error = "reply " + std::to_string(received + 1) + " differs from the expected reply";
                return false;
            }
            used += want.size();
            expected_.pop_front();
            ++received;
        }
        pending_.erase(pending_.begin(), pending_.begin() + long(used));
        if (expected_.empty() && !pending_.empty()) {
            error = "bytes nobody asked for after reply " + std::to_string(received);
            return false;
        }
        return true;
    }

    size_t outstanding() const { return expected_.size(); }
    int fd() const { return client_.fd(); }
    long sent() const { return sent_; }
    long received = 0;
    std::string error;

  private:
    LoopbackClient& client_;
    std::function<Exchange()> next_;
    std::deque<Bytes> expected_;
    Bytes pending_;
    long sent_ = 0;
};

// Drives pipelines until each has sent `limit` requests (or `until` has passed) and received every
// reply. `deadline` bounds the whole run; returns an empty text or what went wrong.
std::string Drive(std::vector<Pipeline*> pipes, size_t window, long limit, Clock::time_point until,
                  Clock::time_point deadline)
{
    std::vector<pollfd> fds;
    for (;;) {
        bool busy = false;
        for (Pipeline* p : pipes) {
            const long cap = Clock::now() < until ? limit : p->sent();
            if (!p->fill(window, cap))
                return "send failed after " + std::to_string(p->received) + " replies";
            busy = busy || p->outstanding() > 0;
        }
        if (!busy)
            return {};
        if (Clock::now() > deadline)
            return "replies missing at the deadline";
        fds.clear();
        for (Pipeline* p : pipes)
            fds.push_back(pollfd{p->outstanding() ? p->fd() : -1, POLLIN, 0});
        ::poll(fds.data(), fds.size(), 200);
        for (Pipeline* p : pipes)
            if (p->outstanding() && !p->take())
                return p->error;
    }
}

// The real program, offscreen, listening on a port picked at run time, with atoms and messages in a
// private folder.
class KorvelServer {
  public:
    explicit KorvelServer(const QList<QPair<QString, QString>>& extraEnvironment = {})
    {
        QTcpServer probe;
        probe.listen(QHostAddress::Any, 0);
        port = probe.serverPort();
        probe.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("KORVEL_PORT", QString::number(port));
        env.insert("KORVEL_ATOM_DIR", dir.filePath("atoms"));
        env.insert("KORVEL_MESSAGE_LOG", dir.filePath("messages.txt"));
        for (const auto& [name, value] : extraEnvironment)
            env.insert(name, value);
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(KORVEL_EXECUTABLE, {});
    }
    ~KorvelServer()
    {
        process.terminate();
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    // Polls (at most 20 s) until the server answers a request on a fresh connection.
    bool waitServing()
    {
        const auto deadline = Clock::now() + std::chrono::seconds(20);
        while (Clock::now() < deadline && process.state() != QProcess::NotRunning) {
            LoopbackClient c(port);
            if (c.connected() && c.send(readRequest(1, 0, 1)) && c.receive(11, 2000).size() == 11)
                return true;
            QTest::qWait(50);
        }
        return false;
    }

    bool running() const { return process.state() == QProcess::Running; }

    QTemporaryDir dir;
    QProcess process;
    uint16_t port = 0;
};

// One request, one reply, answered within a few seconds: the client's slot is being served.
::testing::AssertionResult Served(LoopbackClient& c, uint16_t ti)
{
    if (!c.connected())
        return ::testing::AssertionFailure() << "not connected";
    if (!c.send(readRequest(ti, 7, 2)))
        return ::testing::AssertionFailure() << "send failed";
    const Bytes want = readReply(ti, {0, 0});
    const Bytes got = c.receive(want.size(), 5000);
    if (got != want)
        return ::testing::AssertionFailure() << "got " << got.size() << " bytes instead of the reply";
    return ::testing::AssertionSuccess();
}

class ServerLoad : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(server.waitServing()) << "korvel does not serve on port " << server.port; }
    void TearDown() override { EXPECT_TRUE(server.running()) << "korvel ended during the test"; }
    KorvelServer server;
};

// Register values that tell every address (and each client's area) apart.
uint16_t Pattern(int address)
{
    return uint16_t(address * 31 + 7);
}

// Writes Pattern into registers [base, base + count) with plain request/reply exchanges.
void WritePattern(LoopbackClient& c, int base, int count)
{
    for (int a = base; a < base + count; a += 100) {
        std::vector<uint16_t> v;
        for (int i = 0; i < 100; ++i)
            v.push_back(Pattern(a + i));
        ASSERT_TRUE(c.send(writeRequest(uint16_t(a), a, v)));
        ASSERT_EQ(c.receive(12, 5000), writeReply(uint16_t(a), a, 100));
    }
}

TEST_F(ServerLoad, TwoPipeliningClientsGetEveryReplyInOrder)
{
    constexpr long kRequests = 10000;
    LoopbackClient a(server.port), b(server.port);
    ASSERT_TRUE(a.connected() && b.connected());
    WritePattern(a, 0, 600);
    WritePattern(b, 20000, 600);
    // Each request reads another window of its client's area, so a reply answered out of order or
    // on the wrong connection differs in its values as well as in its transaction identifier.
    auto reader = [](int base) {
        return [base, i = 0]() mutable {
            ++i;
            const int address = base + (i * 13) % 590;
            std::vector<uint16_t> v;
            for (int k = 0; k < 10; ++k)
                v.push_back(Pattern(address + k));
            return Exchange{readRequest(uint16_t(i), address, 10), readReply(uint16_t(i), v)};
        };
    };
    Pipeline pa(a, reader(0)), pb(b, reader(20000));
    const auto now = Clock::now();
    const std::string error =
        Drive({&pa, &pb}, 32, kRequests, now + std::chrono::hours(1), now + std::chrono::seconds(45));
    EXPECT_EQ(error, "");
    EXPECT_EQ(pa.received, kRequests);
    EXPECT_EQ(pb.received, kRequests);
}

// Ways a client can go wrong while another client is connected.
enum class Fault { CloseMidFrame, ResetMidReply, GarbageBadHeader, GarbageInFrames };

std::string FaultName(const ::testing::TestParamInfo<Fault>& info)
{
    switch (info.param) {
    case Fault::CloseMidFrame:
        return "CloseMidFrame";
    case Fault::ResetMidReply:
        return "ResetMidReply";
    case Fault::GarbageBadHeader:
        return "GarbageBadHeader";
    case Fault::GarbageInFrames:
        return "GarbageInFrames";
    }
    return "Unknown";
}

Bytes Garbage(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& x : b)
        x = uint8_t(rng());
    return b;
}

class ServerFaults : public ServerLoad, public ::testing::WithParamInterface<Fault> {};

TEST_P(ServerFaults, OtherSlotKeepsBeingServedAndTheSlotFrees)
{
    LoopbackClient steady(server.port);
    ASSERT_TRUE(Served(steady, 1));
    {
        LoopbackClient bad(server.port);
        ASSERT_TRUE(Served(bad, 2)); // holds the other slot now
        switch (GetParam()) {
        case Fault::CloseMidFrame: {
            const Bytes frame = readRequest(3, 0, 10);
            ASSERT_TRUE(bad.send(Bytes(frame.begin(), frame.begin() + 5)));
            bad.close();
            break;
        }
        case Fault::ResetMidReply: {
            // Forty large reads in one burst; once the first reply bytes are in, reset the connection
            // while the server still has replies to send.
            Bytes burst;
            for (int i = 0; i < 40; ++i) {
                const Bytes r = readRequest(uint16_t(100 + i), 0, 125);
                burst.insert(burst.end(), r.begin(), r.end());
            }
            ASSERT_TRUE(bad.send(burst));
            ASSERT_EQ(bad.receive(100, 5000).size(), 100u);
            bad.resetOnClose();
            bad.close();
            break;
        }
        case Fault::GarbageBadHeader: {
            Bytes g = Garbage(600, 6);
            g[2] = 0xA5; // no Modbus/TCP protocol identifier
            ASSERT_TRUE(bad.send(g));
            EXPECT_TRUE(bad.waitClosedByServer(5000)) << "a frame that is no Modbus/TCP frame ends its connection";
            break;
        }
        case Fault::GarbageInFrames: {
            // Junk that is framed correctly: each piece is taken as a request and checked; the
            // last frame stays incomplete, then the client leaves.
            Bytes g = Garbage(600, 7);
            for (size_t at = 0; at + 6 <= g.size(); at += 100) {
                g[at + 2] = g[at + 3] = 0;
                g[at + 4] = 0;
                g[at + 5] = 94; // 6 + 94 = 100 bytes per frame
                // Reads and unknown codes only, so that the registers the other client reads stay put.
                static constexpr uint8_t kCodes[] = {3, 4, 7, 0x2B, 0x99, 0};
                g[at + 7] = kCodes[(at / 100) % 6];
            }
            g[596] = g[597] = 0xFF;
            ASSERT_TRUE(bad.send(g));
            ASSERT_TRUE(Served(steady, 4));
            bad.close();
            break;
        }
        }
    }
    EXPECT_TRUE(Served(steady, 5)) << "the other connection is still served";
    LoopbackClient next(server.port);
    EXPECT_TRUE(Served(next, 6)) << "the slot of the faulty client was freed";
    EXPECT_TRUE(Served(steady, 7));
}

INSTANTIATE_TEST_SUITE_P(Clients, ServerFaults,
                         ::testing::Values(Fault::CloseMidFrame, Fault::ResetMidReply, Fault::GarbageBadHeader,
                                           Fault::GarbageInFrames),
                         FaultName);

TEST_F(ServerLoad, BothSlotsFreeAfterAFloodOfTwoClients)
{
    LoopbackClient a(server.port), b(server.port);
    ASSERT_TRUE(a.connected() && b.connected());
    // Each client writes and reads back its own area; the model knows what every read must show,
    // since a connection's requests are executed in the order they were sent.
    auto flooder = [](int base, uint32_t seed) {
        return [base, rng = std::mt19937(seed), model = std::vector<uint16_t>(300), i = 0]() mutable {
            const uint16_t ti = uint16_t(++i);
            const int offset = int(rng() % 200);
            const int quantity = 1 + int(rng() % 100);
            std::vector<uint16_t> v;
            if (i % 2) {
                for (int k = 0; k < quantity; ++k)
                    v.push_back(model[size_t(offset + k)] = uint16_t(rng()));
                return Exchange{writeRequest(ti, base + offset, v), writeReply(ti, base + offset, quantity)};
            }
            for (int k = 0; k < quantity; ++k)
                v.push_back(model[size_t(offset + k)]);
            return Exchange{readRequest(ti, base + offset, quantity), readReply(ti, v)};
        };
    };
    Pipeline pa(a, flooder(1000, 1)), pb(b, flooder(3000, 2));
    const auto now = Clock::now();
    const std::string error =
        Drive({&pa, &pb}, 8, 1L << 40, now + std::chrono::seconds(30), now + std::chrono::seconds(40));
    EXPECT_EQ(error, "");
    EXPECT_GT(pa.received, 0);
    EXPECT_GT(pb.received, 0);
    a.close();
    b.close();
    // Both slots are free at once, not after the idle release.
    LoopbackClient c(server.port), d(server.port);
    EXPECT_TRUE(Served(c, 1));
    EXPECT_TRUE(Served(d, 2));
}

// The benchmark records its logging runs through KORVEL_AUTORECORD=1: recording starts with the
// first client, interpreted, and stops when the last one leaves.
TEST(ServerAutoRecord, FirstClientStartsAnInterpretedLog)
{
    QTemporaryDir logs;
    KorvelServer server({{"KORVEL_AUTORECORD", "1"}, {"KORVEL_LOG_DIR", logs.path()}});
    ASSERT_TRUE(server.waitServing());
    {
        LoopbackClient c(server.port);
        ASSERT_TRUE(Served(c, 0x4242));
    }
    // The log files of the run (the probe of waitServing may share one with the client), read
    // until the client's request shows up; bounded.
    auto allLogs = [&] {
        QByteArray text;
        for (const QString& name : QDir(logs.path()).entryList({"*.log"}, QDir::Files)) {
            QFile f(logs.filePath(name));
            if (f.open(QIODevice::ReadOnly))
                text += f.readAll();
        }
        return text;
    };
    QByteArray text = allLogs();
    for (int i = 0; i < 100 && !text.contains("42 42 00 00 00 06 01 03 00 07 00 02 "); ++i) {
        QTest::qWait(50);
        text = allLogs();
    }
    EXPECT_TRUE(text.contains("42 42 00 00 00 06 01 03 00 07 00 02 ")) << text.toStdString();
    EXPECT_TRUE(text.contains("Read holding registers")) << "Interpretive is on";
    EXPECT_TRUE(server.running());
}

} // namespace
