// An outgoing TCP connection that does not block the loop's thread: the connect runs in the
// background and its outcome arrives as a call on the loop's thread, with the Windows Sockets
// number of a failure or the connected stream. Used by the client's and the scanner's connections.
#pragma once

#include "net/event_loop.h"
#include "net/socket_layer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

namespace korvel {

// The outcome of a connect: error 0 and the stream, or a Windows Sockets error number and nullptr.
using ConnectDone = std::function<void(int wsaError, std::unique_ptr<StreamSocket> socket)>;

// How long the system lets a connect try before it gives up (its SYN retries, each waiting twice
// as long as the one before, from one second), in milliseconds; 127 s with the usual 6 retries.
int SystemConnectTimeoutMs();

// A connect under way. Destroying it abandons the attempt silently: the socket is closed and
// `done` is never called.
class PendingConnect {
  public:
    ~PendingConnect();
    PendingConnect(const PendingConnect&) = delete;
    PendingConnect& operator=(const PendingConnect&) = delete;

    // The result of switching keepalive on or off before the connect: 0, or the Windows Sockets
    // error number (the connect goes on either way). 0 also when the socket could not be made.
    int keepAliveError() const { return keepAliveError_; }

  private:
    friend std::unique_ptr<PendingConnect> ConnectSocket(EventLoop&, uint32_t, uint16_t, bool, ConnectDone, int);
    PendingConnect(EventLoop& loop, ConnectDone done) : loop_(loop), done_(std::move(done)) {}
    void finish(int wsaError);
    void stopWatching();

    EventLoop& loop_;
    ConnectDone done_;
    int fd_ = -1;
    bool watching_ = false;
    int timer_ = 0;
    int keepAliveError_ = 0;
    LifeToken life_ = std::make_shared<int>(0);
};

// Starts connecting to `address`:`port` (host byte order) with keepalive set as `keepAlive` says.
// `done` is called once, later on the loop's thread (never from inside this call), unless the
// returned object is destroyed first. A connect still unanswered after `timeoutMs` fails with
// 10060 (timed out).
std::unique_ptr<PendingConnect> ConnectSocket(EventLoop& loop, uint32_t address, uint16_t port, bool keepAlive,
                                              ConnectDone done, int timeoutMs = SystemConnectTimeoutMs());

// A dotted IPv4 address as the connect takes it (host byte order); nothing for a text that names
// no address ("10..0.1", "", "300.1.1.1"). The short forms the system accepts ("127.1") pass.
std::optional<uint32_t> ParseIPv4(std::string_view text);

} // namespace korvel
