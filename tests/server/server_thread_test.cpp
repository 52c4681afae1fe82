// The server on its own thread while another thread commands it and reads its snapshot: every
// reply is right, the counters add up, and (in the ThreadSanitizer build) nothing is shared
// without order.
#include "server/server_thread.h"
#include "support/hex_bytes.h"
#include "support/loopback_client.h"

#include <atomic>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <thread>
#include <vector>

namespace korvel::testing {
namespace {

struct CountingObserver : ServerObserver {
    std::atomic<int> opened{0}, exchanged{0}, closed{0};
    void connectionOpened(int) override { ++opened; }
    void requestExchanged(int, const std::string&) override { ++exchanged; }
    void connectionClosed(int, bool) override { ++closed; }
};

TEST(ServerThread, ServesTwoClientsWhileCommandedAndWatchedFromAnotherThread)
{
    RegisterStore store;
    store.ascendingInput();
    ServerEngine engine(store);
    CountingObserver observer;
    ServerThread server(engine, observer);
    server.call([](ServerRuntime& r) { r.setExchangeNotice(0, 0); }); // every request is told
    ASSERT_EQ(server.call([](ServerRuntime& r) { return r.StartListening(0, INADDR_LOOPBACK); }), 0);
    const uint16_t port = server.call([](ServerRuntime& r) { return r.listeningPort(); });

    constexpr int kRequests = 1500;
    std::atomic<int> wrong{0};
    auto client = [&](int offset) {
        LoopbackClient c(port);
        if (!c.connected()) {
            ++wrong;
            return;
        }
        for (int i = 0; i < kRequests; ++i) {
            const uint16_t address = static_cast<uint16_t>((i * 7 + offset) % 60000);
            const uint8_t request[12] = {uint8_t(i >> 8),       uint8_t(i),       0, 0, 0, 6, 1, 4,
                                         uint8_t(address >> 8), uint8_t(address), 0, 1};
            const std::vector<uint8_t> reply = c.send(request) ? c.receive(11, 5000) : std::vector<uint8_t>{};
            if (reply.size() != 11 || reply[0] != request[0] || reply[1] != request[1] || reply[9] != request[8] ||
                reply[10] != request[9])
                ++wrong;
        }
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
