#include "server/server_connections.h"

#include "common/message_box.h"
#include "common/frame.h"
#include "server/server_engine.h"
#include "server/status_panel.h"
#include "shell/main_window.h"
#include "shell/shell_texts.h"

#include <QAction>
#include <QLocale>
#include <QMenu>
#include <QTime>
#include <QTimer>

namespace korvel {

namespace {
constexpr int kIdleTickMs = 1000;
}

ServerConnections::ServerConnections(TChatForm& main, ServerEngine& engine, QMenu* tcpMenu)
    : QObject(&main), main_(main), engine_(engine)
{
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

    for (int c = 1; c <= 2; ++c) {
        auto* timer = new QTimer(this);
        timer->setInterval(kIdleTickMs);
        connect(timer, &QTimer::timeout, this, [this, c] { tmrMonitorSockTimer(c); });
        monitorTimers_[index(c)] = timer;
    }
}

ServerConnections::~ServerConnections()
{
    ReleaseSockets();
}

uint32_t ServerConnections::now() const
{
    return main_.TickCount();
}

uint16_t ServerConnections::listeningPort() const
{
    return ListenSocket_ ? ListenSocket_->port() : 0;
}

bool ServerConnections::idleTimerRunning(int c) const
{
    return monitorTimers_[index(c)]->isActive();
}

// ---- listening ----

bool ServerConnections::StartListening()
{
    closeSlot(1);
    closeSlot(2);
    try {
        ListenSocket_.reset();
        auto socket = CreateListenSocket();
        RegisterListenSocket(*socket);
        ListenSocket_ = std::move(socket);
    } catch (const EWinSockException& e) {
        ListenSocket_.reset();
        ShowMessage(&main_, MessageKind::Warning, texts::kApplicationTitle,
                    texts::kSocketInitFailed.arg(TChatForm::BasePort()).arg(e.code()));
        return false;
    }
    return true;
}

std::unique_ptr<ListenSocket> ServerConnections::CreateListenSocket()
{
    return ListenSocket::create(static_cast<uint16_t>(main_.ServerPort));
}

void ServerConnections::RegisterListenSocket(ListenSocket& socket)
{
    socket.registerEvents();
    connect(&socket, &ListenSocket::connectionWaiting, this, &ServerConnections::HandleAcceptMessage);
}

// While both slots are busy the listener reports nothing; a waiting client stays in the listen
// queue, unanswered, until a slot frees.
void ServerConnections::updateAccepting()
{
    if (!ListenSocket_)
        return;
    const bool freeSlot = !slotOpen(1) || !slotOpen(2);
    ListenSocket_->setAccepting(freeSlot);
    if (freeSlot && ListenSocket_->hasWaiting()) {
        QMetaObject::invokeMethod(this, &ServerConnections::HandleAcceptMessage, Qt::QueuedConnection);
    }
}

void ServerConnections::HandleAcceptMessage()
{
    if (!ListenSocket_)
        return;
    if (!slotOpen(1)) {
        acceptInto(1);
    } else if (!slotOpen(2)) {
        acceptInto(2);
    } else {
        updateAccepting();
        return;
    }
    main_.RefreshServerPanel(0);
    if (main_.packetLog)
        main_.packetLog->connectionAccepted();
    main_.SetMyPriority();
    updateAccepting();
}

void ServerConnections::acceptInto(int c)
{
    std::unique_ptr<StreamSocket> socket = ListenSocket_->accept();
    if (!socket)
        return;
    StreamSocket* s = socket.get();
    comm_[index(c)] = std::move(socket);
    openFlags_[index(c)] = true;
    connect(s, &StreamSocket::readable, this, [this, c] { HandleConnectionMessage(c); });
    connect(s, &StreamSocket::peerClosed, this, [this, c] { HandleConnectionMessage(c, true); });
    engine_.connectionAccepted(c, s->peerAddress().toStdString(), now());
    nagle_[index(c)]->setEnabled(true);
    engine_.connection(c).IdleTicks = 0;
    if (releaseUnusedActive_)
        monitorTimers_[index(c)]->start();
    // A client that waited in the queue may have sent its request, or even closed, already.
    if (s->peerHasClosed()) {
        QMetaObject::invokeMethod(
            this,
            [this, c, s] {
                if (slot(c) == s)
                    HandleConnectionMessage(c, true);
            },
            Qt::QueuedConnection);
    } else {
        s->recheckLater();
    }
}

// ---- reading ----

void ServerConnections::HandleConnectionMessage(int c, bool peerClosed)
{
    StreamSocket* socket = slot(c);
    if (!socket)
        return;
    if (peerClosed) {
        DisconnectSock(c);
        return;
    }
    ConnectionState& conn = engine_.connection(c);
    const int count = socket->peek(conn.receive.data(), kAreaSize);
    if (count < 0)
        return;
    conn.PacketSize = count;
    const Extraction extraction = ExtractFrame(conn.receive.data(), count);
    switch (extraction.kind) {
    case ExtractKind::Wait:
        // The bytes stay in the connection's buffer; new bytes report readable again.
        return;
    case ExtractKind::Reject: {
        handleResult(c, engine_.ProcessRequest(c, extraction.length, now()));
        const QString checkText = QString::fromStdString(engine_.connection(c).checkText);
        DisconnectSock(c);
        main_.setStatusMessage(SystemTimeText(QTime::currentTime()) + texts::kDisconnecting.arg(c) + checkText);
        return;
    }
    case ExtractKind::Frame: {
        const int n = socket->take(conn.receive.data(), extraction.length);
        if (n <= 0)
            return;
        conn.PacketSize = n;
        conn.BytesReceived += static_cast<uint64_t>(n);
        if (engine_.settings.OutOfSynchActive)
            handleResult(c, engine_.OutOfSynchExchange(c, n, now()));
        else
            handleResult(c, engine_.ProcessRequest(c, n, now()));
        main_.RefreshServerPanel(c);
        // Pipelined frames: look at what is left without waiting for new bytes.
        if (StreamSocket* still = slot(c))
            still->recheckLater();
        return;
    }
    }
}

void ServerConnections::handleResult(int c, const ProcessResult& result)
{
    if (!result.processed) {
        if (!engine_.connection(1).open && !engine_.connection(2).open)
            ShowMessage(&main_, MessageKind::Information, texts::kApplicationTitle, texts::kNotConnected);
        return; // also: out-of-synch held the first frame back
    }
    PacketLog* log = main_.packetLog;
    if (log && log->LogRecording()) {
        log->LogPacket(true, result.requestLength, result.outcome.headerError, c);
        if (result.replyStep)
            log->LogPacket(false, result.replyLength, false, c);
    }
    if (result.replyStep && result.replyLength > 0) {
        if (StreamSocket* socket = slot(c))
            socket->send(engine_.replyArea(), result.replyLength);
    }
}

// ---- closing ----

void ServerConnections::closeSlot(int c)
{
    if (auto& socket = comm_[index(c)]) {
        disconnect(socket.get(), nullptr, this, nullptr);
        socket->close();
        socket.reset();
    }
    openFlags_[index(c)] = false;
}

void ServerConnections::DisconnectSock(int c)
{
    EWinSockException* failure = nullptr;
    std::unique_ptr<EWinSockException> failureHolder;
    if (c == 1 || c == 2) {
        closeSlot(c);
        QAction* item = nagle_[index(c)];
        item->setEnabled(false);
        item->setChecked(false);
        engine_.connectionClosed(c, false, now());
        main_.RefreshServerPanel(c);
        engine_.ResetConnectionStatus(c, now());
        monitorTimers_[index(c)]->stop();
    } else {
        closeSlot(1);
        closeSlot(2);
        ListenSocket_.reset();
        for (int s = 1; s <= 2; ++s) {
            nagle_[index(s)]->setEnabled(false);
            nagle_[index(s)]->setChecked(false);
            engine_.connectionClosed(s, false, now()); // counters and texts stay
            monitorTimers_[index(s)]->stop();
        }
        if (c == 3) {
            // Listen anew. A failure is reported to the caller once the rest of the close is done,
            // so that no timer or refresh is left behind for the closed connections.
            try {
                auto socket = CreateListenSocket();
                RegisterListenSocket(*socket);
                ListenSocket_ = std::move(socket);
            } catch (const EWinSockException& e) {
                failureHolder = std::make_unique<EWinSockException>(e);
                failure = failureHolder.get();
            }
        }
    }
    if (!slotOpen(1) && !slotOpen(2)) {
        if (main_.packetLog)
            main_.packetLog->allConnectionsClosed();
        main_.RefreshServerPanel(0);
    }
    main_.RefreshRegisterViewRW();
    main_.SetMyPriority();
    updateAccepting();
    if (failure)
        throw *failure;
}

void ServerConnections::ReleaseSockets()
{
    closeSlot(1);
    closeSlot(2);
    ListenSocket_.reset();
    for (QTimer* timer : monitorTimers_)
        timer->stop();
}

// ---- options ----

void ServerConnections::mConnectionClick(int c)
{
    QAction* item = nagle_[index(c)];
    StreamSocket* socket = slot(c);
    if (!socket)
        return;
    const int setError = socket->setNoDelay(item->isChecked());
    if (setError != 0) {
        const QString& text = c == 1 ? texts::kNagleSetError1 : texts::kNagleSetError2;
        ShowMessage(&main_, MessageKind::Warning, texts::kApplicationTitle, text.arg(setError));
    }
    int value = 2;
    const int readError = socket->readNoDelay(value);
    if (readError != 0)
        ShowMessage(&main_, MessageKind::Warning, texts::kApplicationTitle, texts::kNagleReadError.arg(readError));
    engine_.connection(c).NagleDisabled = value == 1;
    item->setChecked(value == 1);
    main_.RefreshServerPanel(c);
}

void ServerConnections::menuFreeSocketClick()
{
    releaseUnusedActive_ = menuFreeSocket_->isChecked();
    for (int c = 1; c <= 2; ++c) {
        if (releaseUnusedActive_) {
            engine_.connection(c).IdleTicks = 0;
            if (slotOpen(c))
                monitorTimers_[index(c)]->start();
        } else {
            monitorTimers_[index(c)]->stop();
        }
    }
}

void ServerConnections::tmrMonitorSockTimer(int c)
{
    if (!slotOpen(c))
        return;
    if (engine_.idleTick(c))
        DisconnectSock(c);
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
