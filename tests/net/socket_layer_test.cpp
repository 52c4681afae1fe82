// The stream sockets on Korvel's own epoll loop against a plain loopback peer: what the kernel does
// not take at once still arrives whole and in order, unread input stays bounded without being
// lost, and a close hands over what was queued before the connection ends in an orderly way.
#include "net/socket_layer.h"
#include "support/loop_pump.h"
#include "support/loopback_client.h"

#include <cerrno>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <vector>

namespace korvel::testing {
namespace {

class StreamSocketTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        listener = ListenSocket::create(loop, 0, INADDR_LOOPBACK);
        listener->registerEvents([] {});
        // Small kernel buffers on the peer's side, so that the server's sends fill them quickly.
        peer = std::make_unique<LoopbackClient>(listener->port(), LoopbackClient::Options{4096});
        ASSERT_TRUE(peer->connected());
        ASSERT_TRUE(WaitUntil_([&] {
            server = listener->accept();
            return server != nullptr;
        }));
    }
    // Reads what the peer has, until `n` bytes or EOF; false on a reset or timeout.
    bool peerRead(std::vector<uint8_t>& into, size_t n, bool* eof = nullptr)
    {
        bool broken = false;
        WaitUntil_([&] {
            const std::vector<uint8_t> got = peer->receiveAvailable();
            into.insert(into.end(), got.begin(), got.end());
            if (peer->peerClosed() && peer->error() == 0 && eof)
                *eof = true;
            broken = peer->error() != 0;
            return broken || into.size() >= n || (eof && *eof);
        });
        return !broken && into.size() >= n;
    }

    bool WaitUntil_(const std::function<bool()>& done, int timeoutMs = 5000)
    {
        return PumpUntil(loop, done, timeoutMs);
    }

    EpollLoop loop;
    std::unique_ptr<ListenSocket> listener;
    std::unique_ptr<StreamSocket> server;
    std::unique_ptr<LoopbackClient> peer;
};

// 20000 numbered replies of 500 bytes: far more than the kernel buffers take while the peer reads
// nothing.
std::vector<uint8_t> SendNumberedReplies(StreamSocket& socket)
{
    std::vector<uint8_t> expected;
    for (int i = 0; i < 20000; ++i) {
        std::vector<uint8_t> reply(500, static_cast<uint8_t>(i * 7));
        reply[0] = static_cast<uint8_t>(i >> 8);
        reply[1] = static_cast<uint8_t>(i);
        socket.send(reply.data(), static_cast<int>(reply.size()));
        expected.insert(expected.end(), reply.begin(), reply.end());
    }
    return expected;
}

TEST_F(StreamSocketTest, RepliesTheKernelCannotTakeYetArriveWholeAndInOrder)
{
    const std::vector<uint8_t> expected = SendNumberedReplies(*server);
    std::vector<uint8_t> got;
    ASSERT_TRUE(peerRead(got, expected.size()));
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
    EXPECT_TRUE(server->isOpen());
}

TEST_F(StreamSocketTest, CloseHandsOverQueuedRepliesThenEndsOrderly)
{
    // Unread input at the close must not turn it into a reset.
    const uint8_t request[12] = {0, 1, 0, 0, 0, 6, 1, 3, 0, 0, 0, 1};
    ASSERT_TRUE(peer->send(request));
    ASSERT_TRUE(WaitUntil_([&] { return server->available() == 12; }));
    const std::vector<uint8_t> expected = SendNumberedReplies(*server);
    server->close();
    server->close(); // harmless twice
    EXPECT_FALSE(server->isOpen());
    bool eof = false;
    std::vector<uint8_t> got;
    peerRead(got, expected.size() + 1, &eof);
    EXPECT_TRUE(eof) << "the connection ended with an error instead of its end";
    EXPECT_TRUE(got == expected) << got.size() << " of " << expected.size() << " bytes";
}

TEST_F(StreamSocketTest, UnreadInputStaysBoundedAndNothingIsLost)
{
    // 1 MiB arrives while the server takes nothing: at most 64 KiB are held, TCP slows the rest.
    std::vector<uint8_t> sent(1 << 20);
    for (size_t i = 0; i < sent.size(); ++i)
        sent[i] = static_cast<uint8_t>(i * 31 + (i >> 12));
    size_t offset = 0;
    std::vector<uint8_t> received;
    int readableCount = 0;
    server->setHandlers([&] { ++readableCount; }, nullptr);
    int64_t mostHeld = 0;
    const bool done = WaitUntil_(
        [&] {
            if (offset < sent.size()) {
                offset += peer->sendSome(std::span(sent).subspan(offset));
            }
            mostHeld = std::max(mostHeld, server->available());
            // Take only once the buffer is full, to make the peer wait on TCP.
            if (server->available() >= 64 * 1024 || offset == sent.size()) {
                uint8_t chunk[513];
                int n;
                while ((n = server->take(chunk, sizeof chunk)) > 0)
                    received.insert(received.end(), chunk, chunk + n);
            }
            return received.size() == sent.size();
        },
        20000);
    ASSERT_TRUE(done) << received.size() << " of " << sent.size();
    EXPECT_LE(mostHeld, 64 * 1024);
    EXPECT_EQ(mostHeld, 64 * 1024);
    EXPECT_TRUE(received == sent);
    EXPECT_GT(readableCount, 0);
}

TEST_F(StreamSocketTest, PeerCloseAndResetAreReportedOnce)
{
    int closedCount = 0;
    server->setHandlers(nullptr, [&] { ++closedCount; });
    // A reset: linger 0 and close.
    peer->resetOnClose();
    peer.reset();
    ASSERT_TRUE(WaitUntil_([&] { return closedCount > 0; }));
    EXPECT_TRUE(server->peerHasClosed());
    // Sending to the broken connection neither raises SIGPIPE nor reports a second time.
    const uint8_t reply[9] = {};
    server->send(reply, sizeof reply);
    WaitUntil_([] { return false; }, 100);
    EXPECT_EQ(closedCount, 1);
}

TEST(SocketErrorTest, PlatformErrorsBecomeWindowsSocketsNumbers)
{
    EXPECT_EQ(WinSockErrorFromErrno(EACCES), 10013);
    EXPECT_EQ(WinSockErrorFromErrno(EADDRINUSE), 10048);
    EXPECT_EQ(WinSockErrorFromErrno(ECONNRESET), 10054);
    EXPECT_EQ(WinSockErrorFromErrno(ETIMEDOUT), 10060);
    EXPECT_EQ(WinSockErrorFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(WinSockErrorFromErrno(EHOSTUNREACH), 10065);
    EXPECT_EQ(WinSockErrorFromErrno(ENOENT), ENOENT); // no equivalent: the platform's number
    EXPECT_STREQ(EWinSockException(10048).what(), "10048");
}

TEST(SocketErrorTest, ListeningOnAPortInUseRaisesAddressInUse)
{
    EpollLoop loop;
    auto first = ListenSocket::create(loop, 0);
    first->registerEvents([] {});
    try {
        ListenSocket::create(loop, first->port());
        FAIL() << "second listener on the same port";
    } catch (const EWinSockException& e) {
        EXPECT_EQ(e.code(), 10048);
    }
}

} // namespace
} // namespace korvel::testing
