#include "server/server_connections.h"

#include "common/message_box.h"
#include "common/time_text.h"
#include "net/qt_event_loop.h"
#include "server/server_engine.h"
#include "shell/main_window.h"
#include "shell/shell_texts.h"

#include <QAction>
#include <QMenu>
#include <QTime>

namespace korvel {

ServerConnections::ServerConnections(TChatForm& main, ServerEngine& engine, QMenu* tcpMenu)
    : QObject(&main), main_(main), loop_(std::make_unique<QtEventLoop>(this)),
      runtime_(std::make_unique<ServerRuntime>(*loop_, engine, static_cast<ServerObserver&>(*this)))
{
    runtime_->setPacketLog(static_cast<PacketLog*>(this));
    portMenu_ = tcpMenu->addMenu(texts::kPortMenu);
    listen_ = portMenu_->addAction(texts::kMonitorPortDefault.arg(TChatForm::BasePort()));
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
    runtime_.reset();
    loop_.reset();
}

bool ServerConnections::slotOpen(int c) const
{
    return runtime_->slotOpen(c);
}
bool ServerConnections::slotOpenFlag(int c) const
{
    return runtime_->slotOpenFlag(c);
}
bool ServerConnections::listening() const
{
    return runtime_->listening();
}
uint16_t ServerConnections::listeningPort() const
{
    return runtime_->listeningPort();
}
bool ServerConnections::ReleaseUnusedActive() const
{
    return runtime_->ReleaseUnusedActive();
}
bool ServerConnections::idleTimerRunning(int c) const
{
    return runtime_->idleTimerRunning(c);
}
ServerSnapshot ServerConnections::snapshot() const
{
    return runtime_->snapshot();
}

void ServerConnections::resetConnectionStatus(int c)
{
    runtime_->ResetConnectionStatus(c);
}

int ServerConnections::readNoDelay(int c, int& value) const
{
    StreamSocket* socket = runtime_->slot(c);
    return socket ? socket->readNoDelay(value) : wsa::kENotSock;
}

// ---- listening ----

bool ServerConnections::StartListening()
{
    const int error = runtime_->StartListening(static_cast<uint16_t>(main_.ServerPort));
    if (error != 0) {
        ShowMessage(&main_, MessageKind::Warning, texts::kApplicationTitle,
                    texts::kSocketInitFailed.arg(TChatForm::BasePort()).arg(error));
        return false;
    }
    return true;
}

void ServerConnections::HandleConnectionMessage(int c, bool peerClosed)
{
    runtime_->HandleConnectionMessage(c, peerClosed);
}

void ServerConnections::DisconnectSock(int c)
{
    if (c == 3) {
        // The port may have changed since listening started.
        runtime_->setPort(static_cast<uint16_t>(main_.ServerPort));
    }
    const int failure = runtime_->DisconnectSock(static_cast<Disconnect>(c));
    if (failure != 0)
        throw EWinSockException(failure);
}

void ServerConnections::ReleaseSockets()
{
    runtime_->ReleaseSockets();
}

// ---- what the runtime tells ----

void ServerConnections::connectionOpened(int c)
{
    nagle_[c == 2 ? 1 : 0]->setEnabled(true);
    main_.RefreshServerPanel(0);
    if (main_.packetLog)
        main_.packetLog->connectionAccepted();
    main_.SetMyPriority();
}

void ServerConnections::connectionClosed(int c, bool allClosed)
{
    QAction* item = nagle_[c == 2 ? 1 : 0];
    item->setEnabled(false);
    item->setChecked(false);
    main_.RefreshServerPanel(c);
    if (allClosed) {
        if (main_.packetLog)
            main_.packetLog->allConnectionsClosed();
        main_.RefreshServerPanel(0);
    }
    main_.RefreshRegisterViewRW();
    main_.SetMyPriority();
}

void ServerConnections::requestExchanged(int c, bool /*failed*/)
{
    main_.RefreshServerPanel(c);
}

void ServerConnections::requestRejected(int c, const std::string& checkText)
{
    main_.setStatusMessage(SystemTimeText(QTime::currentTime()) + texts::kDisconnecting.arg(c) +
                           QString::fromStdString(checkText));
}

void ServerConnections::notConnected()
{
    ShowMessage(&main_, MessageKind::Information, texts::kApplicationTitle, texts::kNotConnected);
}

// ---- options ----

void ServerConnections::mConnectionClick(int c)
{
    QAction* item = nagle_[c == 2 ? 1 : 0];
    if (!runtime_->slotOpen(c))
        return;
    const ServerRuntime::NagleResult result = runtime_->SetNagleDisabled(c, item->isChecked());
    if (result.setError != 0) {
        const QString& text = c == 1 ? texts::kNagleSetError1 : texts::kNagleSetError2;
        ShowMessage(&main_, MessageKind::Warning, texts::kApplicationTitle, text.arg(result.setError));
    }
    if (result.readError != 0)
        ShowMessage(&main_, MessageKind::Warning, texts::kApplicationTitle,
                    texts::kNagleReadError.arg(result.readError));
    item->setChecked(result.disabled);
    main_.RefreshServerPanel(c);
}

void ServerConnections::menuFreeSocketClick()
{
    runtime_->SetReleaseUnused(menuFreeSocket_->isChecked());
}

void ServerConnections::tmrMonitorSockTimer(int c)
{
    runtime_->tmrMonitorSockTimer(c);
}

void ServerConnections::ListenClick()
{
    const bool on = listen_->isChecked();
    main_.ListenActive = on;
    emit listeningSwitched(on);
    if (!on) {
        DisconnectSock(4);
        return;
    }
    StartListening();
    main_.RefreshServerPanel(0);
}

} // namespace korvel
