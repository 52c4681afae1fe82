#include "net/connect_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fstream>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace korvel {

int SystemConnectTimeoutMs()
{
    int retries = 6;
    std::ifstream in("/proc/sys/net/ipv4/tcp_syn_retries");
    if (!(in >> retries) || retries < 1 || retries > 30)
        retries = 6;
    // One second for the first SYN, doubling with every retry: 2^(retries+1) - 1 seconds in all.
    return static_cast<int>(((1LL << (retries + 1)) - 1) * 1000);
}

std::optional<uint32_t> ParseIPv4(std::string_view text)
{
    in_addr addr{};
    if (::inet_aton(std::string(text).c_str(), &addr) == 0)
        return std::nullopt;
    return ntohl(addr.s_addr);
}

PendingConnect::~PendingConnect()
{
    stopWatching();
    if (fd_ >= 0)
        ::close(fd_);
}

void PendingConnect::stopWatching()
{
    if (watching_) {
        loop_.unwatch(fd_);
        watching_ = false;
    }
    if (timer_ != 0) {
        loop_.stopTimer(timer_);
        timer_ = 0;
    }
}

void PendingConnect::finish(int wsaError)
{
    if (!done_)
        return;
    stopWatching();
    ConnectDone done = std::move(done_);
    done_ = nullptr;
    std::unique_ptr<StreamSocket> socket;
    if (wsaError == 0) {
        socket = std::make_unique<StreamSocket>(loop_, fd_);
        fd_ = -1;
    } else if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    // The caller may destroy this object from inside `done`: nothing of it is touched afterwards.
    done(wsaError, std::move(socket));
}

std::unique_ptr<PendingConnect> ConnectSocket(EventLoop& loop, uint32_t address, uint16_t port, bool keepAlive,
                                              ConnectDone done, int timeoutMs)
{
    std::unique_ptr<PendingConnect> pending(new PendingConnect(loop, std::move(done)));
    PendingConnect* p = pending.get();
    WeakLife life = p->life_;
    // Every outcome reaches the caller through the loop, never from inside this call.
    auto finishLater = [&loop, p, life](int error) {
        loop.post([p, life, error] {
            if (!life.expired())
                p->finish(error);
        });
    };

    p->fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
    if (p->fd_ < 0) {
        finishLater(WinSockErrorFromErrno(errno));
        return pending;
    }
    const int value = keepAlive ? 1 : 0;
    if (::setsockopt(p->fd_, SOL_SOCKET, SO_KEEPALIVE, &value, sizeof value) != 0)
        p->keepAliveError_ = WinSockErrorFromErrno(errno);

    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(address);
    if (::connect(p->fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
        finishLater(0);
        return pending;
    }
    if (errno != EINPROGRESS) {
        finishLater(WinSockErrorFromErrno(errno));
        return pending;
    }
    // Writable means the connect has ended; SO_ERROR tells how.
    p->watching_ = true;
    loop.watch(p->fd_, EventLoop::kWrite, [p](unsigned) {
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(p->fd_, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
            error = errno;
        p->finish(error == 0 ? 0 : WinSockErrorFromErrno(error));
    });
    p->timer_ = loop.startTimer(timeoutMs, false, [p, life] {
        if (life.expired())
            return;
        p->timer_ = 0; // fired once: nothing to stop
        p->finish(wsa::kETimedOut);
    });
    return pending;
}

} // namespace korvel
