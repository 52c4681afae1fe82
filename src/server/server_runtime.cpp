#include "server/server_runtime.h"

#include "server/framing.h"

namespace korvel {

namespace {
constexpr int kIdleTickMs = 1000;

// The framing loop reads the connection's own receive buffer.
class SocketSource : public FrameSource {
  public:
    explicit SocketSource(StreamSocket& socket) : socket_(socket) {}
    int peek(uint8_t* dst, int max) override { return socket_.peek(dst, max); }
    int take(uint8_t* dst, int n) override { return socket_.take(dst, n); }

  private:
    StreamSocket& socket_;
};
} // namespace

ServerRuntime::ServerRuntime(EventLoop& loop, ServerEngine& engine, ServerObserver& observer)
    : loop_(loop), engine_(engine), observer_(observer)
{
    publish(Connections::Both);
}

ServerRuntime::~ServerRuntime()
{
    ReleaseSockets();
}

ServerSnapshot ServerRuntime::snapshot() const
{
    std::lock_guard<std::mutex> lock(snapshotMutex_);
    return snapshot_;
}

void ServerRuntime::publish(Connections shown)
{
    std::lock_guard<std::mutex> lock(snapshotMutex_);
    for (int c = 1; c <= 2; ++c) {
        const ConnectionStatus& status = engine_.connection(c);
        snapshot_.connections[SlotIndex(c)] = status;
        if (Covers(shown, c))
            snapshot_.shown[SlotIndex(c)] = status;
    }
    publishShared();
}

void ServerRuntime::publishRequest(int c)
{
    std::lock_guard<std::mutex> lock(snapshotMutex_);
    const ConnectionStatus& status = engine_.connection(c);
    snapshot_.connections[SlotIndex(c)] = status;
    snapshot_.shown[SlotIndex(c)] = status;
    publishShared();
}

void ServerRuntime::publishShared()
{
    snapshot_.counters = engine_.counters;
    snapshot_.lastRequestFailed = engine_.lastRequestFailed;
    snapshot_.processedRequests = engine_.processedRequests;
    snapshot_.faultRulesLoaded = !faults_.empty();
    snapshot_.faultRulesEnabled = faultsEnabled_;
    snapshot_.faultsFired = faultsFired_;
}

// ---- listening ----

int ServerRuntime::listenOn(uint16_t port, uint32_t address)
{
    try {
        auto socket = ListenSocket::create(loop_, port, address);
        socket->registerEvents([this] { HandleAcceptMessage(); });
        listener_ = std::move(socket);
    } catch (const EWinSockException& e) {
        listener_.reset();
        return e.code();
    }
    updateAccepting();
    return 0;
}

int ServerRuntime::StartListening(uint16_t port, uint32_t address)
{
    closeSlot(1);
    closeSlot(2);
    listener_.reset();
    port_ = port;
    address_ = address;
    const int error = listenOn(port, address);
    if (error == 0)
        port_ = listener_->port(); // listening anew takes the same port, also when the system chose it
    observer_.listeningChanged(listener_ != nullptr);
    return error;
}

// While both slots are busy the listener reports nothing; a waiting client stays in the listen
// queue, unanswered, until a slot frees.
void ServerRuntime::updateAccepting()
{
    if (!listener_)
        return;
    const bool freeSlot = !slotOpen(1) || !slotOpen(2);
    listener_->setAccepting(freeSlot);
    if (freeSlot && !acceptQueued_ && listener_->hasWaiting()) {
        acceptQueued_ = true;
        loop_.post([this, alive = WeakLife(life_)] {
            if (alive.expired())
                return;
            acceptQueued_ = false;
            HandleAcceptMessage();
        });
    }
}

void ServerRuntime::HandleAcceptMessage()
{
    if (!listener_)
        return;
    int c = 0;
    if (!slotOpen(1))
        c = 1;
    else if (!slotOpen(2))
        c = 2;
    if (c == 0) {
        updateAccepting();
        return;
    }
    acceptInto(c);
    updateAccepting();
}

void ServerRuntime::acceptInto(int c)
{
    std::unique_ptr<StreamSocket> socket = listener_->accept();
    if (!socket)
        return;
    StreamSocket* s = socket.get();
    comm_[SlotIndex(c)] = std::move(socket);
    openFlags_[SlotIndex(c)] = true;
    s->setHandlers([this, c] { HandleConnectionMessage(c); }, [this, c] { HandleConnectionMessage(c, true); });
    engine_.connectionAccepted(c, s->peerAddress(), loop_.now(), s->peerPort());
    peerAddress_[SlotIndex(c)] = ParseIpv4(engine_.connection(c).PeerIP).value_or(0);
    engine_.connection(c).IdleTicks = 0;
    if (releaseUnused_)
        startIdleTimer(c);
    held_[SlotIndex(c)] = holdNew_;
    publish(Connections::Both);
    observer_.connectionOpened(c);
    if (!held_[SlotIndex(c)])
        connectionAcknowledged(c);
}

void ServerRuntime::connectionAcknowledged(int c)
{
    StreamSocket* s = slot(c);
    held_[SlotIndex(c)] = false;
    if (!s)
        return;
    // A client that waited in the queue may have sent its request, or even closed, already.
    if (s->peerHasClosed()) {
        loop_.post([this, c, s, alive = WeakLife(life_)] {
            if (!alive.expired() && slot(c) == s)
                HandleConnectionMessage(c, true);
        });
    } else {
        s->recheckLater();
    }
}

// ---- reading ----

void ServerRuntime::HandleConnectionMessage(int c, bool peerClosed)
{
    StreamSocket* socket = slot(c);
    if (!socket || held_[SlotIndex(c)])
        return;
    SocketSource source(*socket);
    // On the peer's close, the whole frames it sent before are answered first, in order.
    for (;;) {
        const FramingResult r = ServeNextFrame(engine_, c, source, scratch_.data(), loop_.now());
        if (r.step == FramingStep::Wait)
            break;
        if (r.step == FramingStep::Rejected) {
            handleResult(c, r.result, false);
            const std::string checkText = engine_.connection(c).checkText;
            DisconnectSock(DisconnectOf(c));
            observer_.requestRejected(c, checkText);
            return;
        }
        handleResult(c, r.result, true);
        if (!peerClosed) {
            // Pipelined frames: look at what is left after the current event.
            if (StreamSocket* still = slot(c))
                still->recheckLater();
            return;
        }
        if (slot(c) != socket)
            return;
    }
    if (peerClosed && slot(c) == socket)
        closeWhenSent(c);
}

void ServerRuntime::handleResult(int c, const ProcessResult& result, bool answered)
{
    if (!result.processed) {
        if (!engine_.connection(1).open && !engine_.connection(2).open)
            observer_.notConnected();
        return; // also: out-of-synch held the first frame back
    }
    const FaultPlan plan = planReply(c, result);
    faultsFired_ += plan.fired.size();
    const LogWrite logged = logResult(c, result, plan);
    if (answered) {
        // The panel hears of the request before the client can: whoever reads the reply finds
        // the window told already.
        publishRequest(c);
        noticeExchanged(c);
    }
    if (plan.faulted()) {
        sendPlanned(c, plan.sends, plan.action);
        const uint16_t transactionId = result.request.size() >= 2 ? Word(result.request.data()) : 0;
        for (const FiredFault& fired : plan.fired)
            observer_.faultFired(c, fired.name, transactionId);
    } else if (result.replyStep && result.replyLength > 0) {
        sendReply(c, result.reply);
    }
    if (logged.failed)
        observer_.logFailed(logged.closingFailed);
}

void ServerRuntime::noticeExchanged(int c)
{
    const ConnectionState& conn = engine_.connection(c);
    if (conn.failed) {
        observer_.requestExchanged(c, conn.checkText);
        return;
    }
    NoticeFrame& f = notice_[SlotIndex(c)];
    const uint32_t now = loop_.now();
    if (noticeFrameMs_ == 0 || now - f.start >= noticeFrameMs_) {
        f.start = now;
        f.told = 0;
    }
    if (f.told < noticeImmediate_ || noticeFrameMs_ == 0) {
        ++f.told;
        observer_.requestExchanged(c, std::string());
        return;
    }
    if (f.trailingTimer != 0)
        return; // the frame's end tells the latest state
    const int wait = static_cast<int>(noticeFrameMs_ - (now - f.start));
    f.trailingTimer = loop_.startTimer(wait, false, [this, c] {
        notice_[SlotIndex(c)].trailingTimer = 0;
        observer_.requestExchanged(c, std::string());
    });
}

FaultPlan ServerRuntime::planReply(int c, const ProcessResult& result)
{
    // A stalled connection sends nothing more: its rules need not be asked again.
    if (!result.replyStep || faults_.empty() || stalled_[SlotIndex(c)])
        return {};
    const uint32_t since = loop_.now() - faultsSince_;
    const FaultRequest request = FaultRequestOf(result.request, c, peerAddress_[SlotIndex(c)], since,
                                                engine_.settings.check.addressOffset ? 1 : 0);
    return faults_.evaluate(request, result.reply);
}

void ServerRuntime::publishFaultCounts()
{
    faultsEnabled_ = faults_.enabledCount();
    faultsFired_ = faults_.firedTotal();
    publish(Connections::None);
}

void ServerRuntime::setFaultRules(FaultRuleSet set)
{
    faults_.apply(std::move(set));
    faultsSince_ = loop_.now();
    publishFaultCounts();
}

// The request, then its reply (as the fault rules left it), each written before the reply is sent.
LogWrite ServerRuntime::logResult(int c, const ProcessResult& result, const FaultPlan& plan)
{
    if (!log_ || !log_->LogRecording())
        return {};
    LogPacketInput packet;
    packet.isQuery = true;
    packet.count = result.requestLength;
    packet.hasErrors = result.outcome.headerError;
    packet.connection = c;
    packet.checkText = engine_.connection(c).checkText;
    packet.source = DecodeSource{result.request, result.reply, engine_.settings.check.addressOffset, &engine_.store()};
    LogWrite written = log_->LogPacket(packet);
    if (!written.failed && result.replyStep && log_->LogRecording()) {
        packet.isQuery = false;
        packet.count = result.replyLength;
        packet.hasErrors = false;
        if (!plan.faulted()) {
            written = log_->LogPacket(packet);
            return written;
        }
        // The rules' lines, then the bytes that really leave (none when the reply was dropped).
        std::vector<std::string> notes;
        for (const FiredFault& fired : plan.fired)
            notes.push_back(FaultLogLine(fired));
        std::vector<uint8_t> sent;
        for (const FaultSend& piece : plan.sends)
            sent.insert(sent.end(), piece.bytes.begin(), piece.bytes.end());
        packet.notes = notes;
        packet.source.reply = sent;
        packet.count = static_cast<int>(sent.size());
        written = log_->LogPacket(packet);
    }
    return written;
}

// ---- sending ----

namespace {

// a is later than b on the wrapping millisecond clock.
bool Later(uint32_t a, uint32_t b)
{
    return static_cast<int32_t>(a - b) > 0;
}

} // namespace

void ServerRuntime::sendReply(int c, std::span<const uint8_t> reply)
{
    const int i = SlotIndex(c);
    if (stalled_[i])
        return;
    if (outgoing_[i].empty()) {
        if (StreamSocket* socket = slot(c))
            socket->send(reply.data(), static_cast<int>(reply.size()));
        return;
    }
    outgoing_[i].push_back({outgoing_[i].back().due, {reply.begin(), reply.end()}, FaultConnectionAction::None});
}

void ServerRuntime::sendPlanned(int c, std::span<const FaultSend> sends, FaultConnectionAction after)
{
    const int i = SlotIndex(c);
    if (stalled_[i] || !slot(c))
        return;
    if (after == FaultConnectionAction::Stall) {
        stalled_[i] = true; // what was queued before still leaves
        return;
    }
    const uint32_t now = loop_.now();
    uint32_t due = outgoing_[i].empty() ? now : outgoing_[i].back().due;
    if (after == FaultConnectionAction::Reset) {
        outgoing_[i].push_back({due, {}, FaultConnectionAction::Reset});
    } else {
        for (const FaultSend& piece : sends) {
            if (Later(now + piece.delayMs, due))
                due = now + piece.delayMs;
            outgoing_[i].push_back({due, piece.bytes, FaultConnectionAction::None});
        }
        if (after == FaultConnectionAction::Close)
            outgoing_[i].push_back({due, {}, FaultConnectionAction::Close});
    }
    if (outgoingTimers_[i] == 0)
        sendDue(c);
}

void ServerRuntime::sendDue(int c)
{
    const int i = SlotIndex(c);
    std::deque<Outgoing>& queue = outgoing_[i];
    while (!queue.empty()) {
        const uint32_t now = loop_.now();
        if (Later(queue.front().due, now)) {
            const int wait = static_cast<int>(queue.front().due - now);
            outgoingTimers_[i] = loop_.startTimer(wait, false, [this, c] {
                outgoingTimers_[SlotIndex(c)] = 0;
                sendDue(c);
            });
            return;
        }
        const Outgoing next = std::move(queue.front());
        queue.pop_front();
        StreamSocket* socket = slot(c);
        if (!socket)
            return;
        if (!next.bytes.empty())
            socket->send(next.bytes.data(), static_cast<int>(next.bytes.size()));
        if (next.after == FaultConnectionAction::Reset)
            resetOnClose_[i] = true;
        if (next.after != FaultConnectionAction::None) {
            DisconnectSock(DisconnectOf(c)); // empties the queue
            return;
        }
    }
}

void ServerRuntime::closeWhenSent(int c)
{
    std::deque<Outgoing>& queue = outgoing_[SlotIndex(c)];
    if (queue.empty()) {
        DisconnectSock(DisconnectOf(c));
        return;
    }
    queue.push_back({queue.back().due, {}, FaultConnectionAction::Close});
}

// ---- closing ----

void ServerRuntime::closeSlot(int c)
{
    const int i = SlotIndex(c);
    if (auto& socket = comm_[i]) {
        socket->setHandlers(nullptr, nullptr);
        if (resetOnClose_[i])
            socket->reset();
        else
            socket->close();
        socket.reset();
    }
    openFlags_[i] = false;
    held_[i] = false;
    outgoing_[i].clear();
    if (outgoingTimers_[i] != 0)
        loop_.stopTimer(outgoingTimers_[i]);
    outgoingTimers_[i] = 0;
    stalled_[i] = false;
    resetOnClose_[i] = false;
}

void ServerRuntime::closeConnection(int c)
{
    closeSlot(c);
    engine_.connectionClosed(c, false, loop_.now()); // counters and texts stay
    stopIdleTimer(c);
}

int ServerRuntime::DisconnectSock(Disconnect kind)
{
    int failure = 0;
    if (kind == Disconnect::Connection1 || kind == Disconnect::Connection2) {
        const int c = static_cast<int>(kind);
        closeConnection(c);
        publish(ConnectionOf(c));
        engine_.ResetConnectionStatus(ConnectionOf(c), loop_.now());
    } else {
        closeConnection(1);
        closeConnection(2);
        listener_.reset();
        if (kind == Disconnect::AllListenAgain) {
            // A failure is reported once the rest of the close is done, so that no timer or
            // refresh is left behind for the closed connections.
            failure = listenOn(port_, address_);
        }
    }
    const bool allClosed = !slotOpen(1) && !slotOpen(2);
    publish(allClosed ? Connections::Both : Connections::None);
    if (kind == Disconnect::Connection1 || kind == Disconnect::Connection2) {
        observer_.connectionClosed(static_cast<int>(kind), allClosed);
    } else {
        observer_.connectionClosed(1, false);
        observer_.connectionClosed(2, true);
        observer_.listeningChanged(listener_ != nullptr);
    }
    updateAccepting();
    return failure;
}

void ServerRuntime::ReleaseSockets()
{
    for (NoticeFrame& f : notice_) {
        if (f.trailingTimer != 0)
            loop_.stopTimer(f.trailingTimer);
        f.trailingTimer = 0;
    }
    closeSlot(1);
    closeSlot(2);
    listener_.reset();
    stopIdleTimer(1);
    stopIdleTimer(2);
}

// ---- options ----

ServerRuntime::NagleResult ServerRuntime::SetNagleDisabled(int c, bool disabled)
{
    NagleResult out;
    StreamSocket* socket = slot(c);
    if (!socket)
        return out;
    out.setError = socket->setNoDelay(disabled);
    int value = 2;
    out.readError = socket->readNoDelay(value);
    out.disabled = value == 1;
    engine_.connection(c).NagleDisabled = out.disabled;
    publish(ConnectionOf(c));
    return out;
}

void ServerRuntime::startIdleTimer(int c)
{
    if (idleTimers_[SlotIndex(c)] == 0)
        idleTimers_[SlotIndex(c)] = loop_.startTimer(kIdleTickMs, true, [this, c] { tmrMonitorSockTimer(c); });
}

void ServerRuntime::stopIdleTimer(int c)
{
    if (idleTimers_[SlotIndex(c)] != 0) {
        loop_.stopTimer(idleTimers_[SlotIndex(c)]);
        idleTimers_[SlotIndex(c)] = 0;
    }
}

void ServerRuntime::SetReleaseUnused(bool on)
{
    releaseUnused_ = on;
    for (int c = 1; c <= 2; ++c) {
        if (on) {
            engine_.connection(c).IdleTicks = 0;
            if (slotOpen(c))
                startIdleTimer(c);
        } else {
            stopIdleTimer(c);
        }
    }
    publish(Connections::None);
}

void ServerRuntime::tmrMonitorSockTimer(int c)
{
    if (!slotOpen(c) || stalled_[SlotIndex(c)])
        return; // a stalled connection stays, however long it is idle
    if (engine_.idleTick(c))
        DisconnectSock(DisconnectOf(c));
    else
        publish(Connections::None);
}

void ServerRuntime::SetSettings(const ServerSettings& settings)
{
    const bool synchSwitched = settings.OutOfSynchActive != engine_.settings.OutOfSynchActive;
    engine_.settings = settings;
    if (synchSwitched)
        engine_.setOutOfSynch(settings.OutOfSynchActive);
}

void ServerRuntime::ResetConnectionStatus(Connections which)
{
    engine_.ResetConnectionStatus(which, loop_.now());
    publish(which);
}

} // namespace korvel
