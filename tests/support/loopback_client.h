// A Modbus/TCP client for tests, without Qt: a blocking connect to 127.0.0.1, whole sends, and
// receives that wait at most a given time (0: take only what has arrived). Every wait is bounded,
// so a server that stays silent fails the test instead of hanging it. One thread at a time.
#pragma once

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <span>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace korvel::testing {

class LoopbackClient {
  public:
    struct Options {
        int receiveBuffer = 0; // SO_RCVBUF in bytes before the connect; 0 keeps the kernel's
    };

    explicit LoopbackClient(uint16_t port) : LoopbackClient(port, Options{}) {}
    LoopbackClient(uint16_t port, Options options)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0)
            return;
        if (options.receiveBuffer > 0)
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &options.receiveBuffer, sizeof options.receiveBuffer);
        const int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~LoopbackClient() { close(); }
    LoopbackClient(const LoopbackClient&) = delete;
    LoopbackClient& operator=(const LoopbackClient&) = delete;

    bool connected() const { return connected_; }
    int fd() const { return fd_; }
    // The server ended the connection (an orderly close or a reset), seen by a receive.
    bool peerClosed() const { return peerClosed_; }
    // The connection broke with an error (errno, e.g. ECONNRESET) rather than an orderly close.
    int error() const { return error_; }

    // Sends all of `bytes`, waiting as long as the kernel makes it wait; false when the connection
    // is gone.
    bool send(std::span<const uint8_t> bytes)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }
    // Sends what the kernel takes now, without waiting; the count sent (0 when it takes nothing).
    size_t sendSome(std::span<const uint8_t> bytes)
    {
        const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        return n > 0 ? static_cast<size_t>(n) : 0;
    }

    // Up to `n` bytes, waiting at most `timeoutMs` for them: fewer when the time is up or the server
    // ended the connection (see peerClosed).
    std::vector<uint8_t> receive(size_t n, int timeoutMs)
    {
        std::vector<uint8_t> out;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (out.size() < n && !peerClosed_) {
            uint8_t chunk[4096];
            const size_t want = std::min(sizeof chunk, n - out.size());
            const ssize_t got = ::recv(fd_, chunk, want, MSG_DONTWAIT);
            if (got > 0) {
                out.insert(out.end(), chunk, chunk + got);
                continue;
            }
            if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                peerClosed_ = true;
                error_ = got == 0 ? 0 : errno;
                break;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                break;
            pollfd p{fd_, POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(left));
        }
        return out;
    }
    // Everything that has arrived, without waiting.
    std::vector<uint8_t> receiveAvailable() { return receive(static_cast<size_t>(-1), 0); }
    // True when the server ends the connection within `timeoutMs`; what arrives meanwhile is dropped.
    bool waitClosedByServer(int timeoutMs)
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!peerClosed_) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                return false;
            receive(static_cast<size_t>(-1), static_cast<int>(left));
        }
        return true;
    }

    // No more sends: the server sees the end of its input.
    void halfClose() { ::shutdown(fd_, SHUT_WR); }
    // The close that follows sends a reset instead of an orderly end.
    void resetOnClose()
    {
        const linger now{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &now, sizeof now);
    }
    void close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

  private:
    using Clock = std::chrono::steady_clock;
    int fd_ = -1;
    bool connected_ = false;
    bool peerClosed_ = false;
    int error_ = 0;
};

} // namespace korvel::testing
