// The program side of the server: the listening socket, the two connection slots, reading whole
// frames off each connection into the engine and sending its replies, closing connections, the
// per-connection Nagle switches, the release of idle connections and listening on/off. It owns
// the TCP menu's "Port" item "Monitor Port", the "Disable Nagle" items and the idle-release item.
#pragma once

#include "shell/socket_layer.h"

#include <QObject>
#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

class QAction;
class QMenu;
class QTimer;

namespace korvel {

class TChatForm;
class ServerEngine;
struct ProcessResult;

class ServerConnections : public QObject {
    Q_OBJECT
  public:
    // Adds its items to `tcpMenu` ("&Port" > "&Monitor Port ...", "Disable &Nagle" > "Connection
    // #&1"/"#&2", "Release Connection if &Unused >1 min").
    ServerConnections(TChatForm& main, ServerEngine& engine, QMenu* tcpMenu);
    ~ServerConnections() override;

    // Marks both slots free and starts listening on main.ServerPort. On failure shows the
    // listening failure message and returns false.
    bool StartListening();
    // A TCP/IPv4 socket on all local addresses and main.ServerPort, backlog 2. Throws
    // EWinSockException.
    std::unique_ptr<ListenSocket> CreateListenSocket();
    void RegisterListenSocket(ListenSocket& socket);

    void HandleAcceptMessage();
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

    bool slotOpen(int c) const { return slot(c) != nullptr; } // CommSocket1/2 is not "none"
    // The same, readable from any thread (the priority is also set from worker threads).
    bool slotOpenFlag(int c) const { return openFlags_[index(c)].load(); }
    bool listening() const { return ListenSocket_ != nullptr; }
    uint16_t listeningPort() const;
    bool ReleaseUnusedActive() const { return releaseUnusedActive_; }
    bool idleTimerRunning(int c) const;
    StreamSocket* slot(int c) const { return comm_[index(c)].get(); }

    // Menu items.
    QMenu* portMenu() const { return portMenu_; } // "&Port": the port commands join it
    QAction* Listen() const { return listen_; }   // "&Monitor Port 502", Ctrl+P
    QAction* mConnection(int c) const { return nagle_[index(c)]; }
    QAction* menuFreeSocket() const { return menuFreeSocket_; }

  signals:
    // "Monitor Port" switched: the port dialog is usable exactly while listening is on.
    void listeningSwitched(bool on);

  private:
    static int index(int c) { return c == 2 ? 1 : 0; }
    void mConnectionClick(int c);
    void tmrMonitorSockTimer(int c);
    void acceptInto(int c);
    void closeSlot(int c);
    void handleResult(int c, const ProcessResult& result);
    void updateAccepting();
    uint32_t now() const;

    TChatForm& main_;
    ServerEngine& engine_;
    std::unique_ptr<ListenSocket> ListenSocket_;
    std::array<std::unique_ptr<StreamSocket>, 2> comm_; // CommSocket1, CommSocket2
    std::array<std::atomic<bool>, 2> openFlags_{};
    bool releaseUnusedActive_ = true;

    QMenu* portMenu_ = nullptr;
    QAction* listen_ = nullptr;
    std::array<QAction*, 2> nagle_{};
    QAction* menuFreeSocket_ = nullptr;
    std::array<QTimer*, 2> monitorTimers_{}; // tmrMonitorSock1/2: idle seconds, 1000 ms
};

} // namespace korvel
