// The real program under awkward clients: a stalled frame, random bytes, many short connections,
// and the process priority it asks for.
#include "e2e/korvel_process.h"

#include <QFile>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <sys/resource.h>
#include <unistd.h>

namespace korvel::testing {
namespace {

// user + system CPU time of a process, in clock ticks.
long CpuTicks(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // The fields after the command name, which is in parentheses and may hold blanks.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return fields.value(11).toLong() + fields.value(12).toLong(); // utime, stime
}

int Nice(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 99;
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2).split(' ').value(16).toInt();
}

class ServerRobustnessTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(korvel.start()); }
    uint16_t port() const { return korvel.basePort(); }
    bool served(RawClient& client, uint16_t ti)
    {
        client.send(ReadHolding(ti, 0, 1));
        const QByteArray reply = client.receive(11);
        return reply.size() == 11 && reply.left(2) == ReadHolding(ti, 0, 1).left(2);
    }
    KorvelProcess korvel;
};

TEST_F(ServerRobustnessTest, OneByteThenSilenceCostsNoCpu)
{
    RawClient client;
    ASSERT_TRUE(client.connectTo(port()));
    ASSERT_TRUE(served(client, 1)); // the connection is in its slot
    client.send(QByteArray(1, '\0'));
    // A loop that spins on the pending byte burns CPU in every second; the window's own work after
    // its start (painting, the first refreshes) lands in one of two seconds at most on a busy
    // machine, so the quieter second counts.
    long used = std::numeric_limits<long>::max();
    for (int second = 0; second < 2; ++second) {
        const long before = CpuTicks(korvel.pid());
        QTest::qWait(1000);
        used = std::min(used, CpuTicks(korvel.pid()) - before);
    }
    const double share = static_cast<double>(used) / static_cast<double>(::sysconf(_SC_CLK_TCK));
    EXPECT_LT(share, 0.05) << used << " ticks in the quieter second";
    EXPECT_EQ(client.pending(), 0);
}

TEST_F(ServerRobustnessTest, RandomFramesFromTwoClientsLeaveTheServerServing)
{
    std::mt19937 random(20261209);
    std::unique_ptr<RawClient> clients[2];
    int sent = 0;
    while (sent < 1000) {
        for (auto& slot : clients) {
            if (!slot || !slot->connected()) {
                slot = std::make_unique<RawClient>();
                ASSERT_TRUE(slot->connectTo(port()));
            }
            RawClient& client = *slot;
            // Mostly well-formed headers with random function codes, lengths and data.
            QByteArray frame;
            const int length = static_cast<int>(random() % 40);
            const bool wellFormed = random() % 4 != 0;
            frame.append(static_cast<char>(random()));
            frame.append(static_cast<char>(random()));
            frame.append(wellFormed ? '\0' : static_cast<char>(random()));
            frame.append(wellFormed ? '\0' : static_cast<char>(random()));
            frame.append(wellFormed ? '\0' : static_cast<char>(random()));
            frame.append(static_cast<char>(length));
            for (int i = 0; i < length; ++i)
                frame.append(static_cast<char>(random()));
            client.send(frame);
            client.pending(); // drain replies
            ++sent;
        }
    }
    EXPECT_TRUE(korvel.running());
    for (auto& slot : clients)
        slot.reset();
    RawClient first, second;
    ASSERT_TRUE(first.connectTo(port()));
    ASSERT_TRUE(second.connectTo(port()));
    EXPECT_TRUE(served(first, 0x101));
    EXPECT_TRUE(served(second, 0x202));
}

TEST_F(ServerRobustnessTest, HundredConnectCloseCyclesLeaveBothSlotsFree)
{
    for (int cycle = 0; cycle < 100; ++cycle) {
        RawClient client;
        ASSERT_TRUE(client.connectTo(port())) << cycle;
        if (cycle % 10 == 0) {
            ASSERT_TRUE(served(client, static_cast<uint16_t>(cycle))) << cycle;
        }
        client.close();
    }
    RawClient first, second;
    ASSERT_TRUE(first.connectTo(port()));
    ASSERT_TRUE(second.connectTo(port()));
    EXPECT_TRUE(served(first, 1));
    EXPECT_TRUE(served(second, 2));
}

TEST_F(ServerRobustnessTest, PriorityFollowsTheConnections)
{
    // What this user may do decides what the program can do: go below normal only when it can
    // come back to normal, go above normal only when allowed (root with CAP_SYS_NICE: both).
    const int own = ::getpriority(PRIO_PROCESS, 0);
    ::setpriority(PRIO_PROCESS, 0, 10);
    const bool mayReturnToNormal = ::setpriority(PRIO_PROCESS, 0, 0) == 0;
    const bool mayRiseAbove = ::setpriority(PRIO_PROCESS, 0, -5) == 0;
    ::setpriority(PRIO_PROCESS, 0, own);
    const int idle = mayReturnToNormal ? 10 : 0;
    const int both = mayRiseAbove ? -5 : 0;
    const qint64 pid = korvel.pid();
    EXPECT_TRUE(WaitUntil([&] { return Nice(pid) == idle; })) << Nice(pid);
    RawClient first, second;
    ASSERT_TRUE(first.connectTo(port()));
    ASSERT_TRUE(served(first, 1));
    // The window hears of connections from the server's thread: the priority follows within moments.
    EXPECT_TRUE(WaitUntil([&] { return Nice(pid) == 0; })) << Nice(pid);
    ASSERT_TRUE(second.connectTo(port()));
    ASSERT_TRUE(served(second, 2));
    EXPECT_TRUE(WaitUntil([&] { return Nice(pid) == both; })) << Nice(pid);
    first.close();
    EXPECT_TRUE(WaitUntil([&] { return Nice(pid) == 0; })) << Nice(pid);
    second.close();
    EXPECT_TRUE(WaitUntil([&] { return Nice(pid) == idle; })) << Nice(pid);
}

} // namespace
} // namespace korvel::testing
