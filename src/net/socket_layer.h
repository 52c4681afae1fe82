// Korvel's sockets: a listening socket and connected stream sockets over non-blocking
// descriptors watched by an EventLoop (no Qt), with the operations the server relies on (look at bytes
// without consuming them, take exactly n bytes, send a whole frame, close harmlessly twice,
// TCP_NODELAY set and read back), and the platform's error numbers mapped to the Windows Sockets
// numbers the program shows. A request costs one poll, one recv and one send.
#pragma once

#include "common/winsock_texts.h"
#include "net/event_loop.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvel {

// Windows Sockets error numbers shown in messages.
namespace wsa {
constexpr int kEIntr = 10004;
constexpr int kEBadF = 10009;
constexpr int kEAcces = 10013;
constexpr int kEFault = 10014;
constexpr int kEInval = 10022;
constexpr int kEMFile = 10024;
constexpr int kEWouldBlock = kWsaWouldBlock;
constexpr int kEInProgress = 10036;
constexpr int kEAlready = 10037;
constexpr int kENotSock = 10038;
constexpr int kEDestAddrReq = 10039;
constexpr int kEMsgSize = 10040;
constexpr int kEProtoType = 10041;
constexpr int kENoProtoOpt = 10042;
constexpr int kEProtoNoSupport = 10043;
constexpr int kEOpNotSupp = 10045;
constexpr int kEAfNoSupport = 10047;
constexpr int kEAddrInUse = 10048;
constexpr int kEAddrNotAvail = 10049;
constexpr int kENetDown = 10050;
constexpr int kENetUnreach = 10051;
constexpr int kENetReset = 10052;
constexpr int kEConnAborted = 10053;
constexpr int kEConnReset = 10054;
constexpr int kENoBufs = 10055;
constexpr int kEIsConn = 10056;
constexpr int kENotConn = 10057;
constexpr int kEShutdown = 10058;
constexpr int kETimedOut = 10060;
constexpr int kEConnRefused = 10061;
constexpr int kEHostDown = 10064;
constexpr int kEHostUnreach = 10065;
constexpr int kNotInitialised = 10093;
constexpr int kHostNotFound = 11001;
constexpr int kTryAgain = 11002;
constexpr int kNoRecovery = 11003;
constexpr int kNoData = 11004;
} // namespace wsa

// The Windows Sockets number of a platform error number (errno); an error without an equivalent
// keeps its platform number.
int WinSockErrorFromErrno(int err);

// A failed socket set-up of the server; what() is the error number in decimal.
class EWinSockException : public std::runtime_error {
  public:
    explicit EWinSockException(int code);
    int code() const { return code_; }

  private:
    int code_;
};

class StreamSocket;

// The server's listening socket: TCP/IPv4, backlog 2. While accepting is paused, waiting clients
// stay in the listen queue and the socket reports nothing (no busy loop). Lives on its loop's
// thread.
class ListenSocket {
  public:
    // Creates, binds (to `address`, host byte order; all local addresses by default) and listens;
    // throws EWinSockException with the mapped error number.
    static std::unique_ptr<ListenSocket> create(EventLoop& loop, uint16_t port, uint32_t address = 0);
    ~ListenSocket();
    ListenSocket(const ListenSocket&) = delete;
    ListenSocket& operator=(const ListenSocket&) = delete;

    // Calls `connectionWaiting` while a client waits and accepting is on; throws EWinSockException
    // when the socket cannot report events.
    void registerEvents(std::function<void()> connectionWaiting);
    // The next waiting connection, or nullptr. The caller owns the result.
    std::unique_ptr<StreamSocket> accept();
    bool hasWaiting() const;
    void setAccepting(bool on);
    uint16_t port() const;

  private:
    ListenSocket(EventLoop& loop, int descriptor);
    void updateWatch();
    EventLoop& loop_;
    int fd_;
    bool registered_ = false;
    std::function<void()> connectionWaiting_;
    bool accepting_ = true;
};

// One connected TCP stream on its loop's thread. The readable handler is called when new bytes
// arrive and, after recheckLater(), once more when bytes are still waiting; the peer-closed handler
// when the peer closed or the connection broke (never from inside one of this socket's own calls,
// so the owner may destroy the socket there). Arriving bytes are read into the connection's own
// buffer, at most 64 KiB of them; beyond that the peer is slowed down by TCP.
class StreamSocket {
  public:
    // A connected non-blocking descriptor; takes ownership. `peer`: the peer's address as accept()
    // gave it (else it is asked for when wanted).
    StreamSocket(EventLoop& loop, int descriptor, std::string peer = {});
    ~StreamSocket(); // closes
    StreamSocket(const StreamSocket&) = delete;
    StreamSocket& operator=(const StreamSocket&) = delete;

    void setHandlers(std::function<void()> readable, std::function<void()> peerClosed);

    // Copies up to `max` available bytes without consuming them; the count, negative on error.
    int peek(uint8_t* dst, int max);
    // Consumes up to n bytes (exactly n when the peek showed them); the count, negative on error.
    int take(uint8_t* dst, int n);
    // Hands the whole frame over; what the kernel does not take now is sent later, in order.
    void send(const uint8_t* src, int n);
    // Closes the connection; harmless when already closed. Unread bytes are discarded first so
    // that the close is orderly and replies already handed over still reach the peer.
    void close();
    // Resets the connection: the peer sees ECONNRESET, and nothing still waiting to be sent goes.
    void reset();
    bool isOpen() const;
    bool peerHasClosed() const;
    int64_t available() const;

    // TCP_NODELAY: 0 on success, otherwise the Windows Sockets error number.
    int setNoDelay(bool on);
    int readNoDelay(int& value);
    // SO_KEEPALIVE: 0 on success, otherwise the Windows Sockets error number.
    int setKeepAlive(bool on);

    std::string peerAddress() const; // dotted IPv4 text
    uint16_t peerPort() const;       // 0 when unknown

    // Reports readable once more, after the current event, if bytes are still waiting.
    void recheckLater();

  private:
    // Stops watching the descriptor and hands it over (-1 when closed already); unread bytes go.
    int detach();
    void onReady(unsigned ready);
    void readNow();
    void writeNow();
    void failed(); // the connection broke: stop watching it and report the close after this event
    void updateWatch();
    int64_t buffered() const { return static_cast<int64_t>(inEnd_ - inBegin_); }

    EventLoop& loop_;
    int fd_;
    std::string peer_;
    LifeToken life_ = std::make_shared<int>(0);
    std::function<void()> readable_;
    std::function<void()> peerClosedHandler_;
    bool peerClosed_ = false; // the peer sent its end, or the connection broke: nothing more to read
    bool broken_ = false;     // the connection broke: nothing can be sent either
    bool recheckQueued_ = false;
    std::unique_ptr<uint8_t[]> in_; // unread bytes are in_[inBegin_, inEnd_)
    size_t inBegin_ = 0;
    size_t inEnd_ = 0;
    std::vector<uint8_t> out_; // what the kernel has not taken yet, sent in order
    size_t outBegin_ = 0;
};

// The local computer's first IPv4 address, looked up from its host name.
struct LocalHostLookup {
    bool ok = false;
    std::string address;   // dotted decimal when ok
    bool nameRead = false; // the host name itself could be read
    std::string hostName;  // the host name (at most 100 characters) when nameRead
    int error = 0;         // Windows Sockets error number when !ok
};
LocalHostLookup LookUpLocalHost();

} // namespace korvel
