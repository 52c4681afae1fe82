#include "server/server_connections.h"

#include "common/message_box.h"
#include "common/time_text.h"
#include "log/packet_log.h"
#include "server/panel_rules.h"
#include "server/server_engine.h"
#include "shell/port_reservation.h"
#include "shell/shell_texts.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QPointer>
#include <QTime>
#include <algorithm>

namespace korvel {

ServerConnections::ServerConnections(QWidget* window, ServerEngine& engine, QMenu* tcpMenu, RefreshRequests& refresh,
                                     StatusSink status)
    : QObject(window), window_(window), engine_(engine), refresh_(refresh), status_(std::move(status)),
      settings_(engine.settings), server_(std::make_unique<ServerThread>(engine, static_cast<ServerObserver&>(*this)))
{
    // The window must see a client before its first request is read (the traffic log may start).
    server_->call([](ServerRuntime& runtime) { runtime.setHoldNewConnections(true); });

    portMenu_ = tcpMenu->addMenu(texts::kPortMenu);
    listen_ = portMenu_->addAction(texts::kMonitorPortDefault.arg(BasePort()));
    listen_->setCheckable(true);
    listen_->setChecked(true);
    listen_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    connect(listen_, &QAction::triggered, this, &ServerConnections::ListenClick);

    QMenu* nagleMenu = tcpMenu->addMenu(texts::kNagleMenu);
    nagle_[0] = nagleMenu->addAction(texts::kConnection1);
    nagle_[1] = nagleMenu->addAction(texts::kConnection2);
    for (QAction* item : nagle_) {
        item->setCheckable(true);
        item->setEnabled(false);
    }
    connect(nagle_[0], &QAction::triggered, this, &ServerConnections::mConnection1Click);
    connect(nagle_[1], &QAction::triggered, this, &ServerConnections::mConnection2Click);

    menuFreeSocket_ = tcpMenu->addAction(texts::kReleaseUnused);
    menuFreeSocket_->setCheckable(true);
    menuFreeSocket_->setChecked(true);
    connect(menuFreeSocket_, &QAction::triggered, this, &ServerConnections::menuFreeSocketClick);
}

ServerConnections::~ServerConnections()
{
    server_.reset(); // ends the thread; its events still queued here are dropped with this object
}

bool ServerConnections::listening() const
{
    return server_->call([](ServerRuntime& r) { return r.listening(); });
}

uint16_t ServerConnections::listeningPort() const
{
    return server_->call([](ServerRuntime& r) { return r.listeningPort(); });
}

bool ServerConnections::ReleaseUnusedActive() const
{
    return server_->call([](ServerRuntime& r) { return r.ReleaseUnusedActive(); });
}

bool ServerConnections::idleTimerRunning(int c) const
{
    return server_->call([c](ServerRuntime& r) { return r.idleTimerRunning(c); });
}

int ServerConnections::readNoDelay(int c, int& value) const
{
    int v = 0;
    const int error = server_->call([c, &v](ServerRuntime& r) {
        StreamSocket* socket = r.slot(c);
        return socket ? socket->readNoDelay(v) : wsa::kENotSock;
    });
    value = v;
    return error;
}

void ServerConnections::changeSettings(const std::function<void(ServerSettings&)>& change)
{
    change(settings_);
    const ServerSettings copy = settings_;
    server_->call([&copy](ServerRuntime& r) { r.SetSettings(copy); });
    emit settingsChanged();
}

void ServerConnections::changeControlSettings(const std::function<void(ServerSettings&)>& change)
{
    changeSettings(change);
    emit settingsChangedElsewhere();
    refresh_.RefreshServerPanel(0);
}

void ServerConnections::disconnectConnection(int slot)
{
    if (slotOpen(slot))
        DisconnectSock(slot);
}

void ServerConnections::resetConnectionStatus(int c)
{
    server_->call([c](ServerRuntime& r) { r.ResetConnectionStatus(c); });
}

int ServerConnections::BasePort()
{
    return korvel::BasePort();
}

void ServerConnections::setPacketLog(PacketLog* log)
{
    packetLog_ = log;
    server_->call([log](ServerRuntime& r) { r.setPacketLog(log); });
}

// ---- listening ----

bool ServerConnections::StartListening()
{
    const auto port = static_cast<uint16_t>(ServerPort);
    const int error = server_->call([port](ServerRuntime& r) { return r.StartListening(port); });
    deliverEvents();
    if (error != 0) {
        ShowMessage(window_, MessageKind::Warning, texts::kApplicationTitle,
                    texts::kSocketInitFailed.arg(BasePort()).arg(error));
        return false;
    }
    return true;
}

void ServerConnections::DisconnectSock(int c)
{
    const auto port = static_cast<uint16_t>(ServerPort);
    const int failure = server_->call([c, port](ServerRuntime& r) {
        r.setPort(port); // the port may have changed since listening started
        return r.DisconnectSock(static_cast<Disconnect>(c));
    });
    deliverEvents();
    if (failure != 0)
        throw EWinSockException(failure);
}

void ServerConnections::ReleaseSockets()
{
    server_->call([](ServerRuntime& r) { r.ReleaseSockets(); });
}

// ---- what the server tells ----

void ServerConnections::deliverEvents()
{
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void ServerConnections::onWindowThread(std::function<void()> call)
{
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void ServerConnections::connectionOpened(int c)
{
    // Taken now: by the time the window handles the event the client may have left again.
    const QString peer = QString::fromStdString(engine_.connection(c).PeerIP);
    peers_[c == 2 ? 1 : 0] = peer.toStdString();
    onWindowThread([this, c, peer] {
        nagle_[c == 2 ? 1 : 0]->setEnabled(true);
        refresh_.RefreshServerPanel(0);
        emit connectionAccepted();
        emit activityChanged();
        emit connectionChanged(c, true, peer);
        // Now the server may read the client's requests.
        server_->post([c](ServerRuntime& r) { r.connectionAcknowledged(c); });
    });
}

void ServerConnections::connectionClosed(int c, bool allClosed)
{
    // The address of the peer that left, not the status's "--" nor a client accepted since.
    const QString peer = QString::fromStdString(peers_[c == 2 ? 1 : 0]);
    onWindowThread([this, c, allClosed, peer] {
        QAction* item = nagle_[c == 2 ? 1 : 0];
        item->setEnabled(false);
        item->setChecked(false);
        refresh_.RefreshServerPanel(c);
        if (allClosed) {
            emit allConnectionsClosed();
            refresh_.RefreshServerPanel(0);
        }
        refresh_.RefreshRegisterViewRW();
        emit activityChanged();
        emit connectionChanged(c, false, peer);
    });
}

void ServerConnections::refreshRow(int c)
{
    rowRefreshQueued_[c == 2 ? 1 : 0] = false;
    refresh_.RefreshServerPanel(c);
    if (packetLog_ && packetLog_->LogRecording())
        refresh_.RefreshServerPanel(4); // "Logged packets:"
}

void ServerConnections::requestExchanged(int c, const std::string& failedCheckText)
{
    if (!failedCheckText.empty()) {
        // A failure is shown at once, with its own text, however many requests follow it.
        onWindowThread([this, c, text = failedCheckText] {
            const std::string time = SystemTimeText(QTime::currentTime()).toStdString();
            status_(QString::fromStdString(FailureStatusText(time, c, text)));
            refreshRow(c);
        });
        return;
    }
    // One refresh at a time waits on the window thread; it shows the latest state when it runs.
    if (!rowRefreshQueued_[c == 2 ? 1 : 0].exchange(true))
        onWindowThread([this, c] { refreshRow(c); });
}

void ServerConnections::requestRejected(int c, const std::string& checkText)
{
    const QString text = texts::kDisconnecting.arg(c) + QString::fromStdString(checkText);
    onWindowThread([this, text] { status_(SystemTimeText(QTime::currentTime()) + text); });
}

void ServerConnections::notConnected()
{
    onWindowThread(
        [this] { ShowMessage(window_, MessageKind::Information, texts::kApplicationTitle, texts::kNotConnected); });
}

void ServerConnections::logFailed(bool closingFailed)
{
    onWindowThread([this, closingFailed] {
        emit logWriteFailed(closingFailed);
        refresh_.RefreshServerPanel(4);
    });
}

// ---- options ----

void ServerConnections::mConnectionClick(int c)
{
    QAction* item = nagle_[c == 2 ? 1 : 0];
    const bool disabled = item->isChecked();
    bool open = false;
    const ServerRuntime::NagleResult result = server_->call([c, disabled, &open](ServerRuntime& r) {
        open = r.slotOpen(c);
        return open ? r.SetNagleDisabled(c, disabled) : ServerRuntime::NagleResult{};
    });
    if (!open)
        return;
    if (result.setError != 0) {
        const QString& text = c == 1 ? texts::kNagleSetError1 : texts::kNagleSetError2;
        ShowMessage(window_, MessageKind::Warning, texts::kApplicationTitle, text.arg(result.setError));
    }
    if (result.readError != 0)
        ShowMessage(window_, MessageKind::Warning, texts::kApplicationTitle,
                    texts::kNagleReadError.arg(result.readError));
    item->setChecked(result.disabled);
    refresh_.RefreshServerPanel(c);
}

void ServerConnections::menuFreeSocketClick()
{
    const bool on = menuFreeSocket_->isChecked();
    server_->call([on](ServerRuntime& r) { r.SetReleaseUnused(on); });
}

void ServerConnections::tmrMonitorSockTimer(int c)
{
    server_->call([c](ServerRuntime& r) { r.tmrMonitorSockTimer(c); });
    deliverEvents();
}

void ServerConnections::ListenClick()
{
    const bool on = listen_->isChecked();
    ListenActive = on;
    emit listeningSwitched(on);
    if (!on) {
        DisconnectSock(4);
        return;
    }
    StartListening();
    refresh_.RefreshServerPanel(0);
}

} // namespace korvel
