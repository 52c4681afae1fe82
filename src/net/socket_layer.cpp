#include "net/socket_layer.h"

#include "common/text_join.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvel {

namespace {
// A connection never holds more than this many unread bytes in the program; a peer that sends
// faster than it is answered is slowed down by TCP instead of filling memory.
constexpr int64_t kReadBufferLimit = 64 * 1024;
// Replies the peer does not take pile up to this much before the connection stops reading.
constexpr int64_t kWriteBacklogLimit = 256 * 1024;
// How long a closed connection may take to hand over what was already sent.
constexpr int kLingerMs = 5000;
} // namespace

int WinSockErrorFromErrno(int err)
{
    switch (err) {
    case EINTR:
        return wsa::kEIntr;
    case EBADF:
        return wsa::kEBadF;
    case EPERM:
    case EACCES:
        return wsa::kEAcces;
    case EFAULT:
        return wsa::kEFault;
    case EINVAL:
        return wsa::kEInval;
    case ENFILE:
    case EMFILE:
        return wsa::kEMFile;
    case EAGAIN:
        return wsa::kEWouldBlock;
    case EINPROGRESS:
        return wsa::kEInProgress;
    case EALREADY:
        return wsa::kEAlready;
    case ENOTSOCK:
        return wsa::kENotSock;
    case EDESTADDRREQ:
        return wsa::kEDestAddrReq;
    case EMSGSIZE:
        return wsa::kEMsgSize;
    case EPROTOTYPE:
        return wsa::kEProtoType;
    case ENOPROTOOPT:
        return wsa::kENoProtoOpt;
    case EPROTONOSUPPORT:
        return wsa::kEProtoNoSupport;
    case EOPNOTSUPP:
        return wsa::kEOpNotSupp;
    case EAFNOSUPPORT:
        return wsa::kEAfNoSupport;
    case EADDRINUSE:
        return wsa::kEAddrInUse;
    case EADDRNOTAVAIL:
        return wsa::kEAddrNotAvail;
    case ENETDOWN:
        return wsa::kENetDown;
    case ENETUNREACH:
        return wsa::kENetUnreach;
    case ENETRESET:
        return wsa::kENetReset;
    case ECONNABORTED:
        return wsa::kEConnAborted;
    case EPIPE:
    case ECONNRESET:
        return wsa::kEConnReset;
    case ENOBUFS:
        return wsa::kENoBufs;
    case EISCONN:
        return wsa::kEIsConn;
    case ENOTCONN:
        return wsa::kENotConn;
    case ESHUTDOWN:
        return wsa::kEShutdown;
    case ETIMEDOUT:
        return wsa::kETimedOut;
    case ECONNREFUSED:
        return wsa::kEConnRefused;
    case EHOSTDOWN:
        return wsa::kEHostDown;
    case EHOSTUNREACH:
        return wsa::kEHostUnreach;
    default:
        return err;
    }
}

EWinSockException::EWinSockException(int code) : std::runtime_error(std::to_string(code)), code_(code) {}

// ---- ListenSocket ----

ListenSocket::ListenSocket(EventLoop& loop, int descriptor) : loop_(loop), fd_(descriptor) {}

ListenSocket::~ListenSocket()
{
    if (registered_)
        loop_.unwatch(fd_); // before the descriptor goes
    if (fd_ >= 0)
        ::close(fd_);
}

std::unique_ptr<ListenSocket> ListenSocket::create(EventLoop& loop, uint16_t port, uint32_t address)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
    if (fd < 0)
        throw EWinSockException(WinSockErrorFromErrno(errno));
    auto fail = [fd] {
        const int err = errno;
        ::close(fd);
        throw EWinSockException(WinSockErrorFromErrno(err));
    };
    // Lets a new listener take the port while old connections of it still linger in TIME_WAIT;
    // a port another program listens on is still refused.
    const int one = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0)
        fail();
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(address);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
        fail();
    if (::listen(fd, 2) != 0)
        fail();
    return std::unique_ptr<ListenSocket>(new ListenSocket(loop, fd));
}

void ListenSocket::registerEvents(std::function<void()> connectionWaiting)
{
    if (fd_ < 0 || registered_)
        throw EWinSockException(wsa::kENotSock);
    // Waiting clients stay in the kernel's queue until accept() takes one; while accepting is
    // paused nothing is watched, so a waiting client costs nothing.
    connectionWaiting_ = std::move(connectionWaiting);
    registered_ = true;
    loop_.watch(fd_, accepting_ ? EventLoop::kRead : 0u, [this](unsigned) {
        if (connectionWaiting_)
            connectionWaiting_();
    });
}

namespace {

// Dotted IPv4 text (an IPv4-mapped IPv6 address as IPv4); empty for other families.
std::string PeerText(const sockaddr_storage& addr)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (addr.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&addr);
        ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    } else if (addr.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&addr);
        if (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr))
            ::inet_ntop(AF_INET, reinterpret_cast<const uint8_t*>(&in6->sin6_addr) + 12, text, sizeof text);
        else
            ::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
    }
    return text;
}

} // namespace

std::unique_ptr<StreamSocket> ListenSocket::accept()
{
    if (fd_ < 0)
        return nullptr;
    // A client that gave up while it waited is skipped; the next one may be there.
    for (int attempt = 0; attempt < 8; ++attempt) {
        // The peer's address comes with the connection: a client that resets at once has none
        // to ask for afterwards.
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(fd_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            return std::make_unique<StreamSocket>(loop_, fd, PeerText(peer));
        }
        if (errno != ECONNABORTED && errno != EINTR)
            return nullptr;
    }
    return nullptr;
}

bool ListenSocket::hasWaiting() const
{
    if (fd_ < 0)
        return false;
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0;
}

void ListenSocket::setAccepting(bool on)
{
    accepting_ = on;
    if (registered_)
        loop_.setInterest(fd_, on ? EventLoop::kRead : 0u);
}

uint16_t ListenSocket::port() const
{
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return 0;
    return ntohs(addr.sin_port);
}

// ---- StreamSocket ----

namespace {

// Finishes sending what a closed connection had not handed to the kernel yet, then closes its
// descriptor; gives up after kLingerMs or when the peer breaks the connection.
class LingeringClose {
  public:
    // Takes the descriptor; deletes itself when done.
    static void start(EventLoop& loop, int fd, std::vector<uint8_t> rest)
    {
        auto* self = new LingeringClose(loop, fd, std::move(rest));
        loop.watch(fd, EventLoop::kWrite, [self](unsigned) { self->writeNow(); });
        self->timer_ = loop.startTimer(kLingerMs, false, [self] { self->finish(); });
    }

  private:
    LingeringClose(EventLoop& loop, int fd, std::vector<uint8_t> rest) : loop_(loop), fd_(fd), rest_(std::move(rest)) {}
    ~LingeringClose() { ::close(fd_); }
    void writeNow()
    {
        while (done_ < rest_.size()) {
            const ssize_t sent = ::send(fd_, rest_.data() + done_, rest_.size() - done_, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent > 0) {
                done_ += static_cast<size_t>(sent);
                continue;
            }
            if (sent < 0 && (errno == EAGAIN || errno == EINTR))
                return; // the loop calls again
            break;
        }
        finish();
    }
    void finish()
    {
        if (finished_)
            return;
        finished_ = true;
        loop_.unwatch(fd_);
        loop_.stopTimer(timer_);
        EventLoop& loop = loop_;
        loop.post([this] { delete this; });
    }

    EventLoop& loop_;
    int fd_;
    std::vector<uint8_t> rest_;
    size_t done_ = 0;
    int timer_ = 0;
    bool finished_ = false;
};

} // namespace

StreamSocket::StreamSocket(EventLoop& loop, int descriptor, std::string peer)
    : loop_(loop), fd_(descriptor), peer_(std::move(peer)), in_(new uint8_t[kReadBufferLimit])
{
    loop_.watch(fd_, EventLoop::kRead, [this](unsigned ready) { onReady(ready); });
}

void StreamSocket::setHandlers(std::function<void()> readable, std::function<void()> peerClosed)
{
    readable_ = std::move(readable);
    peerClosedHandler_ = std::move(peerClosed);
}

void StreamSocket::onReady(unsigned ready)
{
    // Writing first: a reply waiting for room goes out before more requests are read.
    WeakLife alive = life_;
    if (ready & EventLoop::kWrite)
        writeNow();
    if (!alive.expired() && (ready & EventLoop::kRead))
        readNow();
}

StreamSocket::~StreamSocket()
{
    close();
}

void StreamSocket::updateWatch()
{
    if (fd_ < 0)
        return;
    // Read while there is room for more and the peer takes its replies; what the kernel holds
    // meanwhile reports itself again once reading resumes. Write while replies wait.
    const bool read = !peerClosed_ && buffered() < kReadBufferLimit &&
                      out_.size() - outBegin_ < static_cast<size_t>(kWriteBacklogLimit);
    const bool write = !broken_ && outBegin_ < out_.size();
    loop_.setInterest(fd_, (read ? EventLoop::kRead : 0u) | (write ? EventLoop::kWrite : 0u));
}

void StreamSocket::readNow()
{
    if (fd_ < 0 || peerClosed_)
        return;
    if (inBegin_ == inEnd_) {
        inBegin_ = inEnd_ = 0;
    } else if (inBegin_ > 0 && inEnd_ + 1024 > static_cast<size_t>(kReadBufferLimit)) {
        std::memmove(in_.get(), in_.get() + inBegin_, inEnd_ - inBegin_);
        inEnd_ -= inBegin_;
        inBegin_ = 0;
    }
    const size_t room = static_cast<size_t>(kReadBufferLimit) - inEnd_;
    if (room == 0) {
        updateWatch();
        return;
    }
    // One recv of what is there; more bytes in the kernel report themselves again.
    const ssize_t got = ::recv(fd_, in_.get() + inEnd_, room, MSG_DONTWAIT);
    if (got > 0) {
        inEnd_ += static_cast<size_t>(got);
        updateWatch();
        if (readable_)
            readable_();
        return;
    }
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    // 0: the peer closed its side (it may still take replies); otherwise the connection broke.
    peerClosed_ = true;
    broken_ = got < 0;
    updateWatch();
    if (peerClosedHandler_)
        peerClosedHandler_();
}

void StreamSocket::writeNow()
{
    while (fd_ >= 0 && outBegin_ < out_.size()) {
        const ssize_t sent = ::send(fd_, out_.data() + outBegin_, out_.size() - outBegin_, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            outBegin_ += static_cast<size_t>(sent);
            continue;
        }
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            break;
        failed();
        return;
    }
    if (outBegin_ >= out_.size()) {
        out_.clear();
        outBegin_ = 0;
    }
    updateWatch();
}

void StreamSocket::failed()
{
    if (broken_)
        return;
    const bool toldAlready = peerClosed_;
    peerClosed_ = true;
    broken_ = true;
    out_.clear();
    outBegin_ = 0;
    updateWatch();
    if (toldAlready)
        return;
    // Not from inside send(): the owner may destroy this socket when told.
    loop_.post([this, alive = WeakLife(life_)] {
        if (!alive.expired() && fd_ >= 0 && peerClosedHandler_)
            peerClosedHandler_();
    });
}

int StreamSocket::peek(uint8_t* dst, int max)
{
    if (fd_ < 0)
        return -1;
    const int n = static_cast<int>(std::min<int64_t>(max, buffered()));
    if (n > 0)
        std::memcpy(dst, in_.get() + inBegin_, static_cast<size_t>(n));
    return n;
}

int StreamSocket::take(uint8_t* dst, int n)
{
    if (fd_ < 0)
        return -1;
    n = static_cast<int>(std::min<int64_t>(n, buffered()));
    if (n > 0) {
        std::memcpy(dst, in_.get() + inBegin_, static_cast<size_t>(n));
        inBegin_ += static_cast<size_t>(n);
    }
    if (inBegin_ == inEnd_)
        inBegin_ = inEnd_ = 0;
    updateWatch();
    return n;
}

void StreamSocket::send(const uint8_t* src, int n)
{
    if (fd_ < 0 || broken_ || n <= 0)
        return;
    // Straight to the kernel while nothing waits before it (the usual case: a reply fits the send
    // buffer). What the kernel does not take now waits here, in order, for the write notifier.
    if (outBegin_ >= out_.size()) {
        const ssize_t sent = ::send(fd_, src, static_cast<size_t>(n), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent == n)
            return;
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            failed();
            return;
        }
        if (sent > 0) {
            src += sent;
            n -= static_cast<int>(sent);
        }
    }
    out_.insert(out_.end(), src, src + n);
    updateWatch();
}

int StreamSocket::detach()
{
    const int fd = fd_;
    if (fd < 0)
        return -1;
    fd_ = -1;
    // The watch goes before the descriptor it watches.
    loop_.unwatch(fd);
    inBegin_ = inEnd_ = 0;
    return fd;
}

void StreamSocket::close()
{
    const int fd = detach();
    if (fd < 0)
        return;
    // Unread bytes would make the close a reset, which may destroy a reply still on its way.
    if (!peerClosed_) {
        char sink[4096];
        for (int i = 0; i < 64 && ::recv(fd, sink, sizeof sink, MSG_DONTWAIT) > 0; ++i) {
        }
    }
    if (!broken_ && outBegin_ < out_.size()) {
        std::vector<uint8_t> rest(out_.begin() + static_cast<std::ptrdiff_t>(outBegin_), out_.end());
        LingeringClose::start(loop_, fd, std::move(rest)); // deletes itself
    } else {
        ::close(fd);
    }
    out_.clear();
    outBegin_ = 0;
}

void StreamSocket::reset()
{
    const int fd = detach();
    if (fd < 0)
        return;
    out_.clear();
    outBegin_ = 0;
    // A zero linger time makes the close an abort: the kernel sends RST instead of FIN.
    const linger abort{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(fd);
}

bool StreamSocket::isOpen() const
{
    return fd_ >= 0 && !peerClosed_;
}

bool StreamSocket::peerHasClosed() const
{
    return fd_ < 0 || peerClosed_;
}

int64_t StreamSocket::available() const
{
    return fd_ >= 0 ? buffered() : 0;
}

int StreamSocket::setNoDelay(bool on)
{
    if (fd_ < 0)
        return wsa::kENotSock;
    const int value = on ? 1 : 0;
    if (::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &value, sizeof value) != 0)
        return WinSockErrorFromErrno(errno);
    return 0;
}

int StreamSocket::readNoDelay(int& value)
{
    if (fd_ < 0)
        return wsa::kENotSock;
    int v = 0;
    socklen_t len = sizeof v;
    if (::getsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &v, &len) != 0)
        return WinSockErrorFromErrno(errno);
    value = v != 0 ? 1 : 0;
    return 0;
}

int StreamSocket::setKeepAlive(bool on)
{
    if (fd_ < 0)
        return wsa::kENotSock;
    const int value = on ? 1 : 0;
    if (::setsockopt(fd_, SOL_SOCKET, SO_KEEPALIVE, &value, sizeof value) != 0)
        return WinSockErrorFromErrno(errno);
    return 0;
}

std::string StreamSocket::peerAddress() const
{
    if (!peer_.empty())
        return peer_;
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (fd_ < 0 || ::getpeername(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return {};
    return PeerText(addr);
}

uint16_t StreamSocket::peerPort() const
{
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (fd_ < 0 || ::getpeername(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return 0;
    if (addr.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in*>(&addr)->sin_port);
    if (addr.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&addr)->sin6_port);
    return 0;
}

void StreamSocket::recheckLater()
{
    // Bytes still in the kernel announce themselves; only bytes already read need the re-check.
    if (recheckQueued_ || fd_ < 0 || buffered() == 0)
        return;
    recheckQueued_ = true;
    loop_.post([this, alive = WeakLife(life_)] {
        if (alive.expired())
            return;
        recheckQueued_ = false;
        if (fd_ >= 0 && buffered() > 0 && readable_)
            readable_();
    });
}

// ---- local address ----

LocalHostLookup LookUpLocalHost()
{
    LocalHostLookup result;
    char name[101] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        result.error = WinSockErrorFromErrno(errno);
        return result;
    }
    result.nameRead = true;
    result.hostName = name;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const int rc = ::getaddrinfo(name, nullptr, &hints, &list);
    if (rc != 0 || !list) {
        switch (rc) {
        case EAI_AGAIN:
            result.error = wsa::kTryAgain;
            break;
        case EAI_FAIL:
            result.error = wsa::kNoRecovery;
            break;
#ifdef EAI_NODATA
        case EAI_NODATA:
            result.error = wsa::kNoData;
            break;
#endif
        default:
            result.error = wsa::kHostNotFound;
            break;
        }
        if (list)
            ::freeaddrinfo(list);
        return result;
    }
    const auto* in = reinterpret_cast<const sockaddr_in*>(list->ai_addr);
    const uint32_t a = ntohl(in->sin_addr.s_addr);
    result.address = JoinText({std::to_string(a >> 24), ".", std::to_string((a >> 16) & 0xFF), ".",
                               std::to_string((a >> 8) & 0xFF), ".", std::to_string(a & 0xFF)});
    result.ok = true;
    ::freeaddrinfo(list);
    return result;
}

} // namespace korvel
