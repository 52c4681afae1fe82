#include "shell/socket_layer.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvel {

namespace {
// A connection never holds more than this many unread bytes in the program; a peer that sends
// faster than it is answered is slowed down by TCP instead of filling memory.
constexpr qint64 kReadBufferLimit = 64 * 1024;
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

ListenSocket::ListenSocket(QTcpServer* server, int descriptor) : server_(server), pendingDescriptor_(descriptor)
{
    server_->setParent(this);
    // One accepted-but-unserved connection at most; the rest wait in the listen queue.
    server_->setMaxPendingConnections(1);
}

ListenSocket::~ListenSocket()
{
    if (pendingDescriptor_ >= 0)
        ::close(pendingDescriptor_);
    server_->close();
}

std::unique_ptr<ListenSocket> ListenSocket::create(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
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
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
        fail();
    if (::listen(fd, 2) != 0)
        fail();
    auto* server = new QTcpServer;
    return std::unique_ptr<ListenSocket>(new ListenSocket(server, fd));
}

void ListenSocket::registerEvents()
{
    const int fd = pendingDescriptor_;
    pendingDescriptor_ = -1;
    if (fd < 0 || !server_->setSocketDescriptor(fd)) {
        if (fd >= 0)
            ::close(fd);
        throw EWinSockException(wsa::kENotSock);
    }
    connect(server_, &QTcpServer::newConnection, this, &ListenSocket::connectionWaiting);
}

std::unique_ptr<StreamSocket> ListenSocket::accept()
{
    QTcpSocket* socket = server_->nextPendingConnection();
    if (!socket)
        return nullptr;
    return std::make_unique<StreamSocket>(socket);
}

bool ListenSocket::hasWaiting() const
{
    return server_->hasPendingConnections();
}

void ListenSocket::setAccepting(bool on)
{
    if (on)
        server_->resumeAccepting();
    else
        server_->pauseAccepting();
}

uint16_t ListenSocket::port() const
{
    return server_->serverPort();
}

// ---- StreamSocket ----

StreamSocket::StreamSocket(QTcpSocket* socket) : socket_(socket)
{
    socket->setParent(this);
    socket->setReadBufferSize(kReadBufferLimit);
    connect(socket, &QTcpSocket::readyRead, this, &StreamSocket::readable);
    connect(socket, &QTcpSocket::disconnected, this, &StreamSocket::peerClosed);
}

StreamSocket::~StreamSocket()
{
    close();
}

int StreamSocket::peek(uint8_t* dst, int max)
{
    if (!socket_)
        return -1;
    return static_cast<int>(socket_->peek(reinterpret_cast<char*>(dst), max));
}

int StreamSocket::take(uint8_t* dst, int n)
{
    if (!socket_)
        return -1;
    return static_cast<int>(socket_->read(reinterpret_cast<char*>(dst), n));
}

void StreamSocket::send(const uint8_t* src, int n)
{
    if (!socket_ || n <= 0)
        return;
    // Straight to the kernel while nothing waits in Qt's buffer (the usual case: a reply fits the
    // send buffer). This spares a copy and the write notifier Qt would arm and disarm for every
    // reply. What the kernel does not take now, or a failure, goes the usual way through Qt, in
    // order behind it.
    const qintptr fd = socket_->socketDescriptor();
    if (fd >= 0 && socket_->bytesToWrite() == 0 && socket_->state() == QAbstractSocket::ConnectedState) {
        const ssize_t sent = ::send(static_cast<int>(fd), src, static_cast<size_t>(n), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent == n)
            return;
        if (sent > 0) {
            src += sent;
            n -= static_cast<int>(sent);
        }
    }
    socket_->write(reinterpret_cast<const char*>(src), n);
    socket_->flush();
}

void StreamSocket::close()
{
    QTcpSocket* socket = socket_;
    socket_ = nullptr;
    if (!socket)
        return;
    disconnect(socket, nullptr, this, nullptr);
    socket->setParent(nullptr);
    // Unread bytes would make the close a reset, which may destroy a reply still on its way.
    socket->readAll();
    const qintptr fd = socket->socketDescriptor();
    if (fd >= 0) {
        char sink[4096];
        for (int i = 0; i < 64 && ::recv(static_cast<int>(fd), sink, sizeof sink, MSG_DONTWAIT) > 0; ++i) {
        }
    }
    if (socket->state() != QAbstractSocket::UnconnectedState) {
        connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(kLingerMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        socket->disconnectFromHost();
    }
    if (socket->state() == QAbstractSocket::UnconnectedState)
        socket->deleteLater();
}

bool StreamSocket::isOpen() const
{
    return socket_ && socket_->state() == QAbstractSocket::ConnectedState;
}

bool StreamSocket::peerHasClosed() const
{
    return !socket_ || socket_->state() == QAbstractSocket::UnconnectedState;
}

int64_t StreamSocket::available() const
{
    return socket_ ? socket_->bytesAvailable() : 0;
}

int StreamSocket::setNoDelay(bool on)
{
    const qintptr fd = socket_ ? socket_->socketDescriptor() : -1;
    if (fd < 0)
        return wsa::kENotSock;
    const int value = on ? 1 : 0;
    if (::setsockopt(static_cast<int>(fd), IPPROTO_TCP, TCP_NODELAY, &value, sizeof value) != 0)
        return WinSockErrorFromErrno(errno);
    return 0;
}

int StreamSocket::readNoDelay(int& value)
{
    const qintptr fd = socket_ ? socket_->socketDescriptor() : -1;
    if (fd < 0)
        return wsa::kENotSock;
    int v = 0;
    socklen_t len = sizeof v;
    if (::getsockopt(static_cast<int>(fd), IPPROTO_TCP, TCP_NODELAY, &v, &len) != 0)
        return WinSockErrorFromErrno(errno);
    value = v != 0 ? 1 : 0;
    return 0;
}

int StreamSocket::setKeepAlive(bool on)
{
    const qintptr fd = socket_ ? socket_->socketDescriptor() : -1;
    if (fd < 0)
        return wsa::kENotSock;
    const int value = on ? 1 : 0;
    if (::setsockopt(static_cast<int>(fd), SOL_SOCKET, SO_KEEPALIVE, &value, sizeof value) != 0)
        return WinSockErrorFromErrno(errno);
    return 0;
}

QString StreamSocket::peerAddress() const
{
    if (!socket_)
        return {};
    const QHostAddress peer = socket_->peerAddress();
    bool isV4 = false;
    const quint32 v4 = peer.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : peer.toString();
}

void StreamSocket::recheckLater()
{
    // Bytes still in the kernel announce themselves; only bytes Qt already holds need the re-check.
    if (recheckQueued_ || !socket_ || socket_->bytesAvailable() == 0)
        return;
    recheckQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            recheckQueued_ = false;
            if (socket_ && socket_->bytesAvailable() > 0)
                emit readable();
        },
        Qt::QueuedConnection);
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
    result.address =
        QStringLiteral("%1.%2.%3.%4").arg(a >> 24).arg((a >> 16) & 0xFF).arg((a >> 8) & 0xFF).arg(a & 0xFF);
    result.ok = true;
    ::freeaddrinfo(list);
    return result;
}

} // namespace korvel
