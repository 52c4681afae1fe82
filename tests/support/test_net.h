// Loopback helpers for tests that talk to a Korvel server: a free port, a raw Modbus/TCP client
// that waits by serving the event loop (so an in-process server keeps running), and frame bytes.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTcpSocket>
#include <cstdint>
#include <functional>
#include <memory>

namespace korvel::testing {

// The first of `count` consecutive TCP ports on 127.0.0.1 that nothing holds at the moment of the
// call. Taken below the kernel's ephemeral range, so that the outgoing connections of tests running
// beside this one cannot take the port (or its neighbours) between the call and the listen; and
// claimed for this process until it ends, so that no other test process picks it meanwhile.
uint16_t FreeLoopbackPort(int count = 1);

// Modbus/TCP request bytes: TI, PID, length, UID, then the PDU.
QByteArray Frame(uint16_t ti, uint8_t uid, const QByteArray& pdu, uint16_t pid = 0);
QByteArray ReadHolding(uint16_t ti, uint16_t address, uint16_t count);
QByteArray ReadInput(uint16_t ti, uint16_t address, uint16_t count);
QByteArray WriteSingle(uint16_t ti, uint16_t address, uint16_t value);

// Serves the event loop until `done` holds or `timeoutMs` passed; the result of `done`.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000);

class RawClient {
  public:
    RawClient();
    ~RawClient();
    bool connectTo(uint16_t port, int timeoutMs = 5000);
    void send(const QByteArray& bytes);
    // Waits until at least n bytes arrived and takes exactly n; empty on timeout.
    QByteArray receive(int n, int timeoutMs = 5000);
    // Bytes that arrived so far (served event loop once), without waiting.
    qint64 pending();
    // Waits until the peer closed the connection.
    bool waitClosed(int timeoutMs = 5000);
    bool connected() const;
    void close();
    QTcpSocket& socket() { return *socket_; }

  private:
    std::unique_ptr<QTcpSocket> socket_;
    QByteArray buffer_;
    bool closed_ = false;
};

} // namespace korvel::testing
