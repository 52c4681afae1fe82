// The window's side of the server: the TCP menu's "Port" item "Monitor Port", the "Disable Nagle"
// items and the idle-release item. The server itself runs on its own thread (ServerThread); this
// class sends it the menu's commands and the window's options, and turns its events into the
// window's refreshes, messages and priority changes on the window thread.
#pragma once

#include "net/socket_layer.h"
#include "server/server_thread.h"
#include "service/server_service.h"
#include "ui/refresh_requests.h"

#include <QObject>
#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QMenu;
class QWidget;

namespace korvel {

class PacketLog;

class ServerConnections : public QObject, private ServerObserver {
    Q_OBJECT
  public:
    // Adds its items to `tcpMenu` ("&Port" > "&Monitor Port ...", "Disable &Nagle" > "Connection
    // #&1"/"#&2", "Release Connection if &Unused >1 min") and starts the server thread. Its
    // messages belong to `window` (the main window, which also owns it); what the server tells
    // goes to `refresh`'s requests, to `status` (the status bar) and to the signals below.
    ServerConnections(QWidget* window, ServerEngine& engine, QMenu* tcpMenu, RefreshRequests& refresh,
                      StatusSink status);
    ~ServerConnections() override;

    // The port the server starts from: 502, or KORVEL_PORT when it holds 1..65535.
    static int BasePort();

    int ServerPort = 502;     // the port the server listens on (the port control chooses it)
    bool ListenActive = true; // "Monitor Port" checked: listening is on

    // Marks both slots free and starts listening on ServerPort. On failure shows the
    // listening failure message and returns false.
    bool StartListening();

    // Closes one connection, or both and the listener; AllListenAgain then listens anew on
    // ServerPort. Returns 0, or the socket error number when that listen failed (after
    // everything else is done).
    int DisconnectSock(Disconnect kind);

    void mConnection1Click() { mConnectionClick(1); } // "Connection #&1" toggled
    void mConnection2Click() { mConnectionClick(2); }
    void menuFreeSocketClick();                             // "Release Connection if &Unused >1 min" toggled
    void tmrMonitorSock1Timer() { tmrMonitorSockTimer(1); } // one idle second of connection #1
    void tmrMonitorSock2Timer() { tmrMonitorSockTimer(2); }
    void ListenClick(); // "&Monitor Port" toggled

    // Closes everything at shutdown, without any of the refreshes of DisconnectSock.
    void ReleaseSockets();

    // The server itself: its options, commands and status, shared with the D-Bus control. Any
    // thread for slotOpen and snapshot.
    ServerService& service() { return *service_; }
    const ServerService& service() const { return *service_; }
    bool slotOpen(int c) const { return service_->slotOpen(c); }
    ServerSnapshot snapshot() const { return service_->snapshot(); }

    // The server's options as the menus set them; a change goes to the server at once.
    const ServerSettings& settings() const { return service_->settings(); }
    void changeSettings(const std::function<void(ServerSettings&)>& change) { service_->changeSettings(change); }
    // The traffic log the server writes and the status panel counts (not owned; nullptr: none).
    void setPacketLog(PacketLog* log);
    PacketLog* packetLog() const { return packetLog_; }

    // Menu items.
    QMenu* portMenu() const { return portMenu_; } // "&Port": the port commands join it
    QAction* Listen() const { return listen_; }   // "&Monitor Port 502", Ctrl+P
    QAction* mConnection(int c) const { return nagle_[SlotIndex(c)]; }
    QAction* menuFreeSocket() const { return menuFreeSocket_; }

  signals:
    // "Monitor Port" switched: the port dialog is usable exactly while listening is on.
    void listeningSwitched(bool on);
    // A connection was accepted; both connections are closed; writing the traffic log failed and
    // it stopped itself (the logging group follows these).
    void connectionAccepted();
    void allConnectionsClosed();
    void logWriteFailed(bool closingFailed);
    // A connection opened or closed: what the process priority follows changed.
    void activityChanged();
    // Connection c opened or closed (its peer), told after the window's own refreshes.
    void connectionChanged(int c, bool open, const QString& peer);
    // The options were changed from outside the menus (D-Bus): the menus show them anew (after
    // the panel's refresh).
    void settingsChangedElsewhere();
    // The options were changed, from anywhere (told after the change reached the server).
    void settingsChanged();

  private:
    void mConnectionClick(int c);
    void tmrMonitorSockTimer(int c);
    // Runs `call` on the window thread after the current event (from the server thread).
    void onWindowThread(std::function<void()> call);
    void refreshRow(int c);
    // After a command of the window: what the server told meanwhile is handled now, as if the
    // command had run on this thread.
    void deliverEvents();

    // ServerObserver, on the server thread.
    void connectionOpened(int c) override;
    void connectionClosed(int c, bool allClosed) override;
    void requestExchanged(int c, const std::string& failedCheckText) override;
    void requestRejected(int c, const std::string& checkText) override;
    void notConnected() override;
    void logFailed(bool closingFailed) override;

    QWidget* window_;
    ServerEngine& engine_; // read on the server thread only, in the observer calls
    // The peer address of each connection as it was accepted (server thread): what the connection
    // signals carry, also on close, when the status already shows "--".
    std::array<std::string, 2> peers_;
    RefreshRequests& refresh_;
    StatusSink status_;
    PacketLog* packetLog_ = nullptr;
    std::array<std::atomic<bool>, 2> rowRefreshQueued_{}; // a row refresh waits on the window thread
    std::unique_ptr<ServerService> service_;

    QMenu* portMenu_ = nullptr;
    QAction* listen_ = nullptr;
    std::array<QAction*, 2> nagle_{};
    QAction* menuFreeSocket_ = nullptr;
};

} // namespace korvel
