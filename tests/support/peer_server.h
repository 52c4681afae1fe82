// Another program's Modbus/TCP server (the libmodbus or pymodbus peer of the benchmarks) on a free
// loopback port, for tests that poll, scan or write to a real server. Started by the test, ended
// by its own process id when the test is done.
#pragma once

#include "support/test_net.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace korvel::testing {

class PeerServer {
  public:
    PeerServer() : port_(FreeLoopbackPort()) {}
    ~PeerServer() { stop(); }
    PeerServer(const PeerServer&) = delete;
    PeerServer& operator=(const PeerServer&) = delete;

    // Runs `program args... port`, waits up to `upMs` until it accepts a connection, and over that
    // first connection writes `seed.value` to holding register `seed.address` (function 6), then
    // closes it; true once the write was answered.
    struct Seed {
        uint16_t address;
        uint16_t value;
    };
    bool start(const QString& program, QStringList args, Seed seed, int upMs = 10000)
    {
        args << QString::number(port_);
        process_.start(program, args);
        if (!process_.waitForStarted())
            return false;
        RawClient probe;
        if (!WaitUntil([&] { return probe.connectTo(port_, 200); }, upMs))
            return false;
        probe.send(WriteSingle(1, seed.address, seed.value));
        const bool answered = probe.receive(12).size() == 12;
        probe.close();
        return answered;
    }

    void stop()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        process_.waitForFinished(5000);
    }

    uint16_t port() const { return port_; }

  private:
    uint16_t port_;
    QProcess process_;
};

} // namespace korvel::testing
