// One server for both front-ends: the server thread with its runtime, the copy of the test options
// that the menus, the command line and D-Bus change, and the commands the window and korvel-server
// send it. What the server tells goes to the front-end's own ServerObserver, on the server thread.
#pragma once

#include "dde/server_control.h"
#include "server/server_thread.h"

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>

namespace korvel {

class PacketLog;

class ServerService : public QObject, public ServerControlTarget {
    Q_OBJECT
  public:
    // Starts the server thread over `engine` (its settings become the options' first state);
    // `observer` hears the server on that thread.
    ServerService(ServerEngine& engine, ServerObserver& observer, QObject* parent = nullptr);
    // Ends the server thread (every socket closes without observer calls).
    ~ServerService() override;

    ServerThread& thread() { return *server_; }

    // The test options now; a change goes to the server at once and is told by settingsChanged.
    const ServerSettings& settings() const { return settings_; }
    void changeSettings(const std::function<void(ServerSettings&)>& change);

    // 0 when listening on `port` (0: one the system picks) at `address` (0: every address), else
    // the socket error.
    int startListening(uint16_t port, uint32_t address = 0);
    bool listening() const;
    uint16_t listeningPort() const;
    // Closes connection 1 or 2, or everything (AllListenAgain listens anew on `port`); 0, or the
    // error of the failed re-listen.
    int disconnect(Disconnect kind, uint16_t port);
    // Closes everything at shutdown, without observer calls.
    void releaseSockets();

    // Any thread.
    bool slotOpen(int c) const { return server_->slotOpenFlag(c); }
    ServerSnapshot snapshot() const { return server_->snapshot(); }

    void resetConnectionStatus(Connections which);
    void setReleaseUnused(bool on);
    bool releaseUnused() const;
    bool idleTimerRunning(int c) const;
    // TCP_NODELAY of connection c as the socket reports it: 0 on success, otherwise the error.
    int readNoDelay(int c, int& value) const;
    // The traffic log the server writes (not owned; nullptr: none).
    void setPacketLog(PacketLog* log);

    // ServerControlTarget: D-Bus changes the options as the menus and the command line do.
    ServerSettings controlSettings() const override { return settings_; }
    void changeControlSettings(const std::function<void(ServerSettings&)>& change) override;
    void disconnectConnection(int slot) override;
    ServerSnapshot controlSnapshot() const override { return snapshot(); }

  signals:
    // The options were changed, from anywhere (told after the change reached the server).
    void settingsChanged();
    // The options were changed from outside the front-end (D-Bus): its menus show them anew.
    void settingsChangedElsewhere();
    // A D-Bus disconnect ran on the server: what the server told meanwhile may be handled now.
    void commandDone();

  private:
    ServerSettings settings_;
    std::unique_ptr<ServerThread> server_;
};

} // namespace korvel
