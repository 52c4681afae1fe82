// The window's side of the server: the TCP menu's "Port" item "Monitor Port", the "Disable Nagle"
// items and the idle-release item, driving the server runtime, and the runtime's events turned
// into the window's refreshes, messages and priority changes.
#pragma once

#include "log/packet_log.h"
#include "net/socket_layer.h"
#include "server/server_runtime.h"
#include "shell/main_window.h"

#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>

class QAction;
class QMenu;

namespace korvel {

class TChatForm;
class QtEventLoop;

class ServerConnections : public QObject, private ServerObserver, private PacketLog {
    Q_OBJECT
  public:
    // Adds its items to `tcpMenu` ("&Port" > "&Monitor Port ...", "Disable &Nagle" > "Connection
    // #&1"/"#&2", "Release Connection if &Unused >1 min").
    ServerConnections(TChatForm& main, ServerEngine& engine, QMenu* tcpMenu);
    ~ServerConnections() override;

    // Marks both slots free and starts listening on main.ServerPort. On failure shows the
    // listening failure message and returns false.
    bool StartListening();

    // Data readable on connection c (1 or 2), or the peer closed it.
    void HandleConnectionMessage(int c, bool peerClosed = false);

    // 1, 2: close that connection; 3: close both and the listener, then listen anew on
    // main.ServerPort (throws EWinSockException when that fails, after everything else is done);
    // 4: close both and the listener and stay deaf.
    void DisconnectSock(int c);

    void mConnection1Click() { mConnectionClick(1); } // "Connection #&1" toggled
    void mConnection2Click() { mConnectionClick(2); }
    void menuFreeSocketClick();                             // "Release Connection if &Unused >1 min" toggled
    void tmrMonitorSock1Timer() { tmrMonitorSockTimer(1); } // one idle second of connection #1
    void tmrMonitorSock2Timer() { tmrMonitorSockTimer(2); }
    void ListenClick(); // "&Monitor Port" toggled

    // Closes everything at shutdown, without any of the refreshes of DisconnectSock.
    void ReleaseSockets();

    bool slotOpen(int c) const;
    // The same, readable from any thread (the priority is also set from worker threads).
    bool slotOpenFlag(int c) const;
    bool listening() const;
    uint16_t listeningPort() const;
    bool ReleaseUnusedActive() const;
    bool idleTimerRunning(int c) const;
    // TCP_NODELAY of connection c as the socket reports it: 0 on success, otherwise the error.
    int readNoDelay(int c, int& value) const;

    // Resets the shown status of connection 1, 2 or both (3).
    void resetConnectionStatus(int c);
    // The runtime's status, for the panel and the tray.
    ServerSnapshot snapshot() const;

    // Menu items.
    QMenu* portMenu() const { return portMenu_; } // "&Port": the port commands join it
    QAction* Listen() const { return listen_; }   // "&Monitor Port 502", Ctrl+P
    QAction* mConnection(int c) const { return nagle_[c == 2 ? 1 : 0]; }
    QAction* menuFreeSocket() const { return menuFreeSocket_; }

  signals:
    // "Monitor Port" switched: the port dialog is usable exactly while listening is on.
    void listeningSwitched(bool on);

  private:
    void mConnectionClick(int c);
    void tmrMonitorSockTimer(int c);

    // ServerObserver
    void connectionOpened(int c) override;
    void connectionClosed(int c, bool allClosed) override;
    void requestExchanged(int c, bool failed) override;
    void requestRejected(int c, const std::string& checkText) override;
    void notConnected() override;

    // PacketLog: the window's traffic log, whichever it is at the moment.
    bool LogRecording() const override { return main_.packetLog && main_.packetLog->LogRecording(); }
    void LogPacket(bool isQuery, int count, bool hasErrors, int connection) override
    {
        main_.packetLog->LogPacket(isQuery, count, hasErrors, connection);
    }
    void connectionAccepted() override {}
    void allConnectionsClosed() override {}

    TChatForm& main_;
    std::unique_ptr<QtEventLoop> loop_;
    std::unique_ptr<ServerRuntime> runtime_;

    QMenu* portMenu_ = nullptr;
    QAction* listen_ = nullptr;
    std::array<QAction*, 2> nagle_{};
    QAction* menuFreeSocket_ = nullptr;
};

} // namespace korvel
