#include "support/test_net.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QThread>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace korvel::testing {

namespace {
// Claims `port` for this process among the test processes of this user: a lock on a file named
// after the port, held until the process ends (the kernel lets go of it then, also after a crash).
// A port another test process claimed is free to the kernel between that process's probe and its
// listen, so without the claim two tests side by side could pick the same one.
bool ClaimPort(int port)
{
    static const std::string folder = "/tmp/korvel-test-ports-" + std::to_string(::getuid());
    static const bool made = ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
    if (!made)
        return true; // no folder to claim in: the probe alone decides, as before
    const std::string path = folder + "/" + std::to_string(port);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return true;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false; // held by another test process, or already by this one
    }
    static std::vector<int> held; // kept open: the claim lasts as long as the process
    held.push_back(fd);
    return true;
}
} // namespace

uint16_t FreeLoopbackPort(int count)
{
    constexpr int kLow = 20000, kHigh = 32000; // below 32768, where Linux's ephemeral ports begin
    // Seeded from the system: tests that ctest starts side by side have neighbouring process ids and
    // the same millisecond, and a seed made of those two picked the same ports in both.
    static QRandomGenerator random = QRandomGenerator::securelySeeded();
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int base = random.bounded(kLow, kHigh - count);
        bool free = true;
        for (int i = 0; i < count && free; ++i)
            free = ClaimPort(base + i);
        for (int i = 0; i < count && free; ++i) {
            QTcpServer probe;
            free = probe.listen(QHostAddress::LocalHost, static_cast<quint16>(base + i));
        }
        if (free)
            return static_cast<uint16_t>(base);
    }
    return 0;
}

static void PutWord(QByteArray& out, uint16_t v)
{
    out.append(static_cast<char>(v >> 8));
    out.append(static_cast<char>(v & 0xFF));
}

QByteArray Frame(uint16_t ti, uint8_t uid, const QByteArray& pdu, uint16_t pid)
{
    QByteArray out;
    PutWord(out, ti);
    PutWord(out, pid);
    PutWord(out, static_cast<uint16_t>(pdu.size() + 1));
    out.append(static_cast<char>(uid));
    out.append(pdu);
    return out;
}

static QByteArray Pdu(uint8_t fc, uint16_t a, uint16_t b)
{
    QByteArray pdu(1, static_cast<char>(fc));
    PutWord(pdu, a);
    PutWord(pdu, b);
    return pdu;
}

QByteArray ReadHolding(uint16_t ti, uint16_t address, uint16_t count)
{
    return Frame(ti, 1, Pdu(3, address, count));
}
QByteArray ReadInput(uint16_t ti, uint16_t address, uint16_t count)
{
    return Frame(ti, 1, Pdu(4, address, count));
}
QByteArray WriteSingle(uint16_t ti, uint16_t address, uint16_t value)
{
    return Frame(ti, 1, Pdu(6, address, value));
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

RawClient::RawClient() : socket_(std::make_unique<QTcpSocket>()) {}
RawClient::~RawClient()
{
    close();
}

bool RawClient::connectTo(uint16_t port, int timeoutMs)
{
    socket_->connectToHost(QHostAddress::LocalHost, port);
    return WaitUntil(
               [this] {
                   return socket_->state() == QAbstractSocket::ConnectedState ||
                          socket_->state() == QAbstractSocket::UnconnectedState;
               },
               timeoutMs) &&
           socket_->state() == QAbstractSocket::ConnectedState;
}

void RawClient::send(const QByteArray& bytes)
{
    socket_->write(bytes);
    socket_->flush();
}

qint64 RawClient::pending()
{
    QCoreApplication::processEvents();
    if (socket_->isOpen())
        buffer_.append(socket_->readAll());
    return buffer_.size();
}

QByteArray RawClient::receive(int n, int timeoutMs)
{
    WaitUntil(
        [&] {
            if (socket_->isOpen())
                buffer_.append(socket_->readAll());
            return buffer_.size() >= n;
        },
        timeoutMs);
    if (buffer_.size() < n)
        return {};
    QByteArray out = buffer_.left(n);
    buffer_.remove(0, n);
    return out;
}

bool RawClient::waitClosed(int timeoutMs)
{
    return WaitUntil(
        [&] {
            if (socket_->isOpen())
                buffer_.append(socket_->readAll());
            return socket_->state() == QAbstractSocket::UnconnectedState;
        },
        timeoutMs);
}

bool RawClient::connected() const
{
    return socket_->state() == QAbstractSocket::ConnectedState;
}

void RawClient::close()
{
    if (socket_ && socket_->state() != QAbstractSocket::UnconnectedState) {
        socket_->disconnectFromHost();
        if (socket_->state() != QAbstractSocket::UnconnectedState)
            socket_->abort();
    }
}

} // namespace korvel::testing
