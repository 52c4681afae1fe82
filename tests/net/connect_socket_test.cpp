// The background connect on Korvel's own epoll loop: a listener that answers, a port nobody
// listens on, a listener too busy to answer in time, an abandoned attempt, and address texts.
#include "net/connect_socket.h"
#include "net/epoll_loop.h"
#include "support/loop_pump.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace korvel::testing {
namespace {

struct Outcome {
    bool called = false;
    int error = -1;
    std::unique_ptr<StreamSocket> socket;
};

// A loopback port that nothing listens on (bound but never listening, so no one else takes it).
class UnusedPort {
  public:
    UnusedPort()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t size = sizeof addr;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &size);
        port = ntohs(addr.sin_port);
    }
    ~UnusedPort() { ::close(fd_); }
    uint16_t port = 0;

  private:
    int fd_ = -1;
};

class ConnectSocketTest : public ::testing::Test {
  protected:
    std::unique_ptr<PendingConnect> start(uint16_t port, int timeoutMs = 5000, bool keepAlive = false)
    {
        return ConnectSocket(
            loop, INADDR_LOOPBACK, port, keepAlive,
            [this](int error, std::unique_ptr<StreamSocket> s) {
                outcome.called = true;
                outcome.error = error;
                outcome.socket = std::move(s);
            },
            timeoutMs);
    }
    EpollLoop loop;
    Outcome outcome;
};

TEST_F(ConnectSocketTest, ConnectsToALocalListenerAndCarriesBytes)
{
    auto listener = ListenSocket::create(loop, 0, INADDR_LOOPBACK);
    listener->registerEvents([] {});
    auto pending = start(listener->port(), 5000, true);
    EXPECT_FALSE(outcome.called) << "the outcome arrives through the loop, not from inside the call";
    EXPECT_EQ(pending->keepAliveError(), 0);
    ASSERT_TRUE(PumpUntil(loop, [&] { return outcome.called; }));
    EXPECT_EQ(outcome.error, 0);
    ASSERT_NE(outcome.socket, nullptr);

    std::unique_ptr<StreamSocket> server;
    ASSERT_TRUE(PumpUntil(loop, [&] { return (server = listener->accept()) != nullptr; }));
    const uint8_t hello[] = {1, 2, 3};
    outcome.socket->send(hello, 3);
    ASSERT_TRUE(PumpUntil(loop, [&] { return server->available() == 3; }));
    uint8_t got[3] = {};
    EXPECT_EQ(server->take(got, 3), 3);
    EXPECT_EQ(got[2], 3);
}

TEST_F(ConnectSocketTest, RefusedPortFailsWith10061)
{
    UnusedPort unused;
    auto pending = start(unused.port);
    ASSERT_TRUE(PumpUntil(loop, [&] { return outcome.called; }));
    EXPECT_EQ(outcome.error, wsa::kEConnRefused);
    EXPECT_EQ(outcome.socket, nullptr);
}

TEST_F(ConnectSocketTest, UnansweredConnectTimesOutWith10060)
{
    // A listener whose queue is full drops further connection requests unanswered.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(fd, 0), 0);
    socklen_t size = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &size);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int c = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ::connect(c, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        fillers.push_back(c);
    }
    auto pending = start(ntohs(addr.sin_port), 300);
    ASSERT_TRUE(PumpUntil(
        loop, [&] { return outcome.called; }, 5000));
    EXPECT_EQ(outcome.error, wsa::kETimedOut);
    for (int c : fillers)
        ::close(c);
    ::close(fd);
}

TEST_F(ConnectSocketTest, AbandonedAttemptNeverReports)
{
    auto listener = ListenSocket::create(loop, 0, INADDR_LOOPBACK);
    listener->registerEvents([] {});
    auto pending = start(listener->port());
    pending.reset();
    PumpUntil(
        loop, [] { return false; }, 100);
    EXPECT_FALSE(outcome.called);
}

TEST(ParseIPv4Test, DottedTextsAndTheirFaults)
{
    EXPECT_EQ(ParseIPv4("127.0.0.1"), 0x7F000001u);
    EXPECT_EQ(ParseIPv4("192.168.1.255"), 0xC0A801FFu);
    EXPECT_EQ(ParseIPv4("127..0.1"), std::nullopt);
    EXPECT_EQ(ParseIPv4("1.2.3."), std::nullopt);
    EXPECT_EQ(ParseIPv4(""), std::nullopt);
    EXPECT_EQ(ParseIPv4("300.1.1.1"), std::nullopt);
}

TEST(SystemConnectTimeoutTest, FollowsTheSynRetries)
{
    const int ms = SystemConnectTimeoutMs();
    EXPECT_GE(ms, 3000);
    EXPECT_EQ((ms / 1000 + 1) & (ms / 1000), 0) << "2^(n+1)-1 seconds";
}

} // namespace
} // namespace korvel::testing
