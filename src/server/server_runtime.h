// The server's whole life on the network, without Qt: the listening socket, the two connection
// slots, accepting (paused while both slots are busy: a third client waits unanswered), the framing
// loop, the reject path, closing connections, per-connection Nagle switches, the release of idle
// connections and listening on and off. It runs on one EventLoop's thread (the server thread's
// epoll loop, or a test's) and every call below belongs to that thread. What front-ends need to
// know arrives through ServerObserver (also on that thread); the panel's values are published as
// a snapshot that any thread may read.
#pragma once

#include "faults/fault_rules.h"
#include "log/packet_log.h"
#include "net/event_loop.h"
#include "net/socket_layer.h"
#include "server/server_engine.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace korvel {

// DisconnectSock's four ways.
enum class Disconnect {
    Connection1 = 1,    // close connection #1
    Connection2 = 2,    // close connection #2
    AllListenAgain = 3, // close both and the listener, then listen anew on the port
    AllStayDeaf = 4,    // close both and the listener and stay deaf
};

// Closing connection c alone (1 or 2).
constexpr Disconnect DisconnectOf(int c)
{
    return c == 2 ? Disconnect::Connection2 : Disconnect::Connection1;
}

// What a front-end hears from the runtime, on the runtime's thread. Keep the handlers short: the
// next request waits for them.
class ServerObserver {
  public:
    virtual ~ServerObserver() = default;
    // A client was accepted into slot c. When the runtime holds new connections (holdNewConnections),
    // nothing of it is read until the front-end calls connectionAcknowledged(c).
    virtual void connectionOpened(int /*c*/) {}
    // Slot c was closed (its status is reset). allClosed: no slot is open any more.
    virtual void connectionClosed(int /*c*/, bool /*allClosed*/) {}
    // A request on connection c was processed; checkText is its check text when it failed its
    // checks, empty when it passed. A failed request is told at once; passing ones at most a few
    // times a frame (then once more at the frame's end), so that a flood of requests does not
    // wake the front-end for each one.
    virtual void requestExchanged(int /*c*/, const std::string& /*failedCheckText*/) {}
    // Writing the traffic log failed: it stopped itself (closingFailed: closing it failed too).
    // Called after the reply of the packet went out.
    virtual void logFailed(bool /*closingFailed*/) {}
    // A stream that is no frame was processed once and its connection closed.
    virtual void requestRejected(int /*c*/, const std::string& /*checkText*/) {}
    // A request was to be processed while no connection was open.
    virtual void notConnected() {}
    // The listener stopped or started (kind 3 and 4 of DisconnectSock, listening on and off).
    virtual void listeningChanged(bool /*on*/) {}
    // A fault rule fired on the reply to the request with `transactionId` on connection c.
    virtual void faultFired(int /*c*/, const std::string& /*rule*/, uint16_t /*transactionId*/) {}
};

// The server's status as one consistent copy. `connections` is the live state; `shown` is what
// the status panel was last asked to show of each connection (a closed connection keeps showing
// its last values until the panel is refreshed as a whole).
struct ServerSnapshot {
    std::array<ConnectionStatus, 2> connections;
    std::array<ConnectionStatus, 2> shown;
    ServerCounters counters;
    bool lastRequestFailed = false; // the last request processed failed its checks
    uint64_t processedRequests = 0; // grows with every processed request
    bool faultRulesLoaded = false;  // a rule set with at least one rule is in force
    int faultRulesEnabled = 0;      // its rules that are switched on
    uint64_t faultsFired = 0;       // since it was applied or its counters were reset
    const ConnectionStatus& connection(int c) const { return connections[SlotIndex(c)]; }
    const ConnectionStatus& shownConnection(int c) const { return shown[SlotIndex(c)]; }
};

class ServerRuntime {
  public:
    ServerRuntime(EventLoop& loop, ServerEngine& engine, ServerObserver& observer);
    ~ServerRuntime(); // closes everything, without observer calls

    ServerRuntime(const ServerRuntime&) = delete;
    ServerRuntime& operator=(const ServerRuntime&) = delete;

    // Marks both slots free and listens on `port` (`address` in host byte order, 0: all local
    // addresses). 0 on success, otherwise the Windows Sockets error number.
    int StartListening(uint16_t port, uint32_t address = 0);
    // The port (and address) the next listen of DisconnectSock(AllListenAgain) uses.
    void setPort(uint16_t port) { port_ = port; }
    // DisconnectSock: 0, or (kind 3) the error number of the failed re-listen, reported after
    // everything else is done.
    int DisconnectSock(Disconnect kind);
    // Closes everything at shutdown, without any observer calls.
    void ReleaseSockets();

    // Listener events and connection events (the sockets call these; tests may too).
    void HandleAcceptMessage();
    void HandleConnectionMessage(int c, bool peerClosed = false);

    // Nagle on connection c: sets TCP_NODELAY to `disabled`, reads it back.
    struct NagleResult {
        int setError = 0;      // Windows Sockets error number of the set, 0 on success
        int readError = 0;     // of the read-back
        bool disabled = false; // what the read-back says
    };
    NagleResult SetNagleDisabled(int c, bool disabled);

    // "Release Connection if Unused >1 min": one idle tick a second per open connection.
    void SetReleaseUnused(bool on);
    bool ReleaseUnusedActive() const { return releaseUnused_; }
    // One idle second of connection c: releases it after more than 60 ticks without a request.
    void tmrMonitorSockTimer(int c);
    bool idleTimerRunning(int c) const { return idleTimers_[SlotIndex(c)] != 0; }

    // The engine's options; switching "Reply Out of Synch" restarts the held frames.
    void SetSettings(const ServerSettings& settings);
    const ServerSettings& settings() const { return engine_.settings; }
    // Resets the shown status of `which` connections.
    void ResetConnectionStatus(Connections which);

    // Front-ends that must see a connection before its first request (to start the traffic log,
    // say) hold new connections and acknowledge each one.
    void setHoldNewConnections(bool on) { holdNew_ = on; }
    void connectionAcknowledged(int c);

    // How often passing requests are told: up to `immediate` times within `frameMs`, then once at
    // the frame's end. frameMs 0: every request.
    void setExchangeNotice(uint32_t frameMs, int immediate)
    {
        noticeFrameMs_ = frameMs;
        noticeImmediate_ = immediate;
    }

    // Sends a reply as the fault rules changed it. Sends leave in order, each no earlier than its
    // delay after now and never before what the connection queued earlier, so that later replies
    // on the connection wait behind a delayed one; the other connection is not held up. Then the
    // action: Close after the sends; Reset once what was queued before is out (its own sends do
    // not go); Stall drops this and every later reply and keeps the connection from the idle
    // release.
    void sendPlanned(int c, std::span<const FaultSend> sends, FaultConnectionAction action);
    bool stalled(int c) const { return stalled_[SlotIndex(c)]; }

    // The fault rules every reply passes after the menu's test options; their clock starts now.
    void setFaultRules(FaultRuleSet set);
    // Switching, counters and resets; publishFaultCounts() afterwards shows them in the snapshot.
    FaultRules& faultRules() { return faults_; }
    void publishFaultCounts();

    // The traffic log written before each reply is sent; nullptr: none. Not owned.
    void setPacketLog(PacketLog* log) { log_ = log; }

    bool slotOpen(int c) const { return comm_[SlotIndex(c)] != nullptr; }
    // The same, readable from any thread (the priority is computed on other threads).
    bool slotOpenFlag(int c) const { return openFlags_[SlotIndex(c)].load(); }
    bool listening() const { return listener_ != nullptr; }
    uint16_t listeningPort() const { return listener_ ? listener_->port() : 0; }
    uint16_t port() const { return port_; }
    StreamSocket* slot(int c) const { return comm_[SlotIndex(c)].get(); }
    ServerEngine& engine() { return engine_; }
    EventLoop& loop() { return loop_; }

    // The latest published status; any thread.
    ServerSnapshot snapshot() const;

  private:
    int listenOn(uint16_t port, uint32_t address);
    void acceptInto(int c);
    void closeSlot(int c);
    void closeConnection(int c);
    // A reply as the engine built it: at once, unless earlier replies still wait to leave.
    void sendReply(int c, std::span<const uint8_t> reply);
    // Sends what is due on connection c and sets a timer for the rest.
    void sendDue(int c);
    // Closes connection c once everything queued on it is out.
    void closeWhenSent(int c);
    // Logs, tells the observer (answered frames) and sends.
    void handleResult(int c, const ProcessResult& result, bool answered);
    LogWrite logResult(int c, const ProcessResult& result, const FaultPlan& plan);
    // The fault rules' plan for the reply the engine built (empty when none fires).
    FaultPlan planReply(int c, const ProcessResult& result);
    void updateAccepting();
    void startIdleTimer(int c);
    void stopIdleTimer(int c);
    void noticeExchanged(int c);
    // Publishes the live state, and as shown the status of `shown` connections.
    void publish(Connections shown);
    // The same after a request on connection c, which changed nothing of the other connection.
    void publishRequest(int c);
    void publishShared(); // the counters and the fault rules' figures; the snapshot's lock held

    EventLoop& loop_;
    ServerEngine& engine_;
    ServerObserver& observer_;
    PacketLog* log_ = nullptr;
    LifeToken life_ = std::make_shared<int>(0);
    std::unique_ptr<ListenSocket> listener_;
    uint16_t port_ = 0;
    uint32_t address_ = 0;
    std::array<std::unique_ptr<StreamSocket>, 2> comm_; // CommSocket1, CommSocket2
    std::array<std::atomic<bool>, 2> openFlags_{};
    std::array<bool, 2> held_{};      // accepted, not acknowledged yet: not read
    std::array<int, 2> idleTimers_{}; // tmrMonitorSock1/2, 1000 ms; 0 when stopped
    bool releaseUnused_ = true;
    bool holdNew_ = false;
    bool acceptQueued_ = false;
    struct NoticeFrame {
        uint32_t start = 0;    // when the current frame began
        int told = 0;          // passing requests told within it
        int trailingTimer = 0; // the end-of-frame notice, 0 when none is due
    };
    std::array<NoticeFrame, 2> notice_{};
    uint32_t noticeFrameMs_ = 40; // the window paints at most 25 times a second
    int noticeImmediate_ = 8;
    std::array<uint8_t, kAreaSize> scratch_{};
    struct Outgoing {
        uint32_t due = 0; // loop clock
        std::vector<uint8_t> bytes;
        FaultConnectionAction after = FaultConnectionAction::None;
    };
    std::array<std::deque<Outgoing>, 2> outgoing_;
    std::array<int, 2> outgoingTimers_{}; // 0 when none is set
    std::array<bool, 2> stalled_{};
    std::array<bool, 2> resetOnClose_{};
    std::array<uint32_t, 2> peerAddress_{}; // of the open connections, host byte order
    FaultRules faults_;
    uint32_t faultsSince_ = 0; // loop clock when the rule set was applied
    int faultsEnabled_ = 0;    // as the snapshot shows them, counted only when they change
    uint64_t faultsFired_ = 0;

    mutable std::mutex snapshotMutex_;
    ServerSnapshot snapshot_;
};

} // namespace korvel
