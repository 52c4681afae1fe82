#include "server_ui/server_connections.h"

#include "instances/port_reservation.h"
#include "log/packet_log.h"
#include "server/panel_rules.h"
#include "server/server_engine.h"
#include "server_ui/connection_texts.h"
#include "service/time_text.h"
#include "ui/message_box.h"
#include "ui/window_texts.h"

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
      service_(std::make_unique<ServerService>(engine, static_cast<ServerObserver&>(*this)))
{
    // The window must see a client before its first request is read (the traffic log may start).
    service_->thread().call([](ServerRuntime& runtime) { runtime.setHoldNewConnections(true); });
    connect(service_.get(), &ServerService::settingsChanged, this, &ServerConnections::settingsChanged);
    connect(service_.get(), &ServerService::settingsChangedElsewhere, this, [this] {
        emit settingsChangedElsewhere();
        refresh_.RefreshServerPanel(PanelPart::Everything);
    });
    connect(service_.get(), &ServerService::commandDone, this, &ServerConnections::deliverEvents);

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
    service_.reset(); // ends the thread; its events still queued here are dropped with this object
}

int ServerConnections::BasePort()
{
    return korvel::BasePort();
}

void ServerConnections::setPacketLog(PacketLog* log)
{
    packetLog_ = log;
    service_->setPacketLog(log);
}

// ---- listening ----

bool ServerConnections::StartListening()
{
    const int error = service_->startListening(static_cast<uint16_t>(ServerPort));
    deliverEvents();
    if (error != 0) {
        ShowMessage(window_, MessageKind::Warning, texts::kApplicationTitle,
                    texts::kSocketInitFailed.arg(BasePort()).arg(error));
        return false;
    }
    return true;
}

int ServerConnections::DisconnectSock(Disconnect kind)
{
    const int failure = service_->disconnect(kind, static_cast<uint16_t>(ServerPort));
    deliverEvents();
    return failure;
}

void ServerConnections::ReleaseSockets()
{
    service_->releaseSockets();
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
    peers_[SlotIndex(c)] = peer.toStdString();
    onWindowThread([this, c, peer] {
        nagle_[SlotIndex(c)]->setEnabled(true);
        refresh_.RefreshServerPanel(PanelPart::Everything);
        emit connectionAccepted();
        emit activityChanged();
        emit connectionChanged(c, true, peer);
        // Now the server may read the client's requests.
        service_->thread().post([c](ServerRuntime& r) { r.connectionAcknowledged(c); });
    });
}

void ServerConnections::connectionClosed(int c, bool allClosed)
{
    // The address of the peer that left, not the status's "--" nor a client accepted since.
    const QString peer = QString::fromStdString(peers_[SlotIndex(c)]);
    onWindowThread([this, c, allClosed, peer] {
        QAction* item = nagle_[SlotIndex(c)];
        item->setEnabled(false);
        item->setChecked(false);
        refresh_.RefreshServerPanel(ConnectionRow(c));
        if (allClosed) {
            emit allConnectionsClosed();
            refresh_.RefreshServerPanel(PanelPart::Everything);
        }
        refresh_.RefreshRegisterViewRW();
        emit activityChanged();
        emit connectionChanged(c, false, peer);
    });
}

void ServerConnections::refreshRow(int c)
{
    rowRefreshQueued_[SlotIndex(c)] = false;
    refresh_.RefreshServerPanel(ConnectionRow(c));
    if (packetLog_ && packetLog_->LogRecording())
        refresh_.RefreshServerPanel(PanelPart::Options); // "Logged packets:"
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
    if (!rowRefreshQueued_[SlotIndex(c)].exchange(true))
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
        refresh_.RefreshServerPanel(PanelPart::Options);
    });
}

// ---- options ----

void ServerConnections::mConnectionClick(int c)
{
    QAction* item = nagle_[SlotIndex(c)];
    const bool disabled = item->isChecked();
    bool open = false;
    const ServerRuntime::NagleResult result = service_->thread().call([c, disabled, &open](ServerRuntime& r) {
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
    refresh_.RefreshServerPanel(ConnectionRow(c));
}

void ServerConnections::menuFreeSocketClick()
{
    const bool on = menuFreeSocket_->isChecked();
    service_->setReleaseUnused(on);
}

void ServerConnections::tmrMonitorSockTimer(int c)
{
    service_->thread().call([c](ServerRuntime& r) { r.tmrMonitorSockTimer(c); });
    deliverEvents();
}

void ServerConnections::ListenClick()
{
    const bool on = listen_->isChecked();
    ListenActive = on;
    emit listeningSwitched(on);
    if (!on) {
        DisconnectSock(Disconnect::AllStayDeaf);
        return;
    }
    StartListening();
    refresh_.RefreshServerPanel(PanelPart::Everything);
}

} // namespace korvel
