// The server on its own thread while another thread commands it and reads its snapshot: every
// reply is right, the counters add up, and (in the ThreadSanitizer build) nothing is shared
// without order.
#include "server/server_thread.h"
#include "support/hex_bytes.h"

#include <arpa/inet.h>
#include <atomic>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace korvel::testing {
namespace {

struct CountingObserver : ServerObserver {
    std::atomic<int> opened{0}, exchanged{0}, closed{0};
    void connectionOpened(int) override { ++opened; }
    void requestExchanged(int, const std::string&) override { ++exchanged; }
    void connectionClosed(int, bool) override { ++closed; }
};

int ConnectLoopback(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    timeval timeout{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    return fd;
}

bool ReadExactly(int fd, uint8_t* into, size_t n)
{
    size_t done = 0;
    while (done < n) {
        const ssize_t got = ::recv(fd, into + done, n - done, 0);
        if (got <= 0)
            return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

TEST(ServerThread, ServesTwoClientsWhileCommandedAndWatchedFromAnotherThread)
{
    RegisterStore store;
    store.Ascendingvalue2Click();
    ServerEngine engine(store);
    CountingObserver observer;
    ServerThread server(engine, observer);
    server.call([](ServerRuntime& r) { r.setExchangeNotice(0, 0); }); // every request is told
    ASSERT_EQ(server.call([](ServerRuntime& r) { return r.StartListening(0, INADDR_LOOPBACK); }), 0);
    const uint16_t port = server.call([](ServerRuntime& r) { return r.listeningPort(); });

    constexpr int kRequests = 1500;
    std::atomic<int> wrong{0};
    auto client = [&](int offset) {
        const int fd = ConnectLoopback(port);
        if (fd < 0) {
            ++wrong;
            return;
        }
        for (int i = 0; i < kRequests; ++i) {
            const uint16_t address = static_cast<uint16_t>((i * 7 + offset) % 60000);
            const uint8_t request[12] = {uint8_t(i >> 8),       uint8_t(i),       0, 0, 0, 6, 1, 4,
                                         uint8_t(address >> 8), uint8_t(address), 0, 1};
            uint8_t reply[11] = {};
            if (::send(fd, request, sizeof request, MSG_NOSIGNAL) != 12 || !ReadExactly(fd, reply, sizeof reply) ||
                reply[0] != request[0] || reply[1] != request[1] || reply[9] != request[8] || reply[10] != request[9])
                ++wrong;
        }
        ::close(fd);
    };
    std::thread first(client, 0), second(client, 30000);

    // Meanwhile: read the snapshot, flip an option that changes no reply, ask questions.
    std::thread watcher([&] {
        for (int i = 0; i < 300; ++i) {
            const ServerSnapshot status = server.snapshot();
            if (status.counters.MessageCount > 2u * kRequests)
                ++wrong;
            server.call([i](ServerRuntime& r) {
                ServerSettings s = r.settings();
                s.WrongLengthHBActive = false;
                s.check.addressOffset = false;
                s.check.setServed(kFcMaskWrite, i % 2 == 0);
                r.SetSettings(s);
            });
            (void)server.slotOpenFlag(1);
        }
    });
    first.join();
    second.join();
    watcher.join();

    EXPECT_EQ(wrong.load(), 0);
    for (int i = 0; i < 500 && server.snapshot().counters.MessageCount < 2u * kRequests; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(server.snapshot().counters.MessageCount, 2u * kRequests);
    EXPECT_EQ(observer.opened.load(), 2);
    EXPECT_EQ(observer.exchanged.load(), 2 * kRequests);
}

} // namespace
} // namespace korvel::testing
