// One server for both front-ends: the server thread with its runtime, the copy of the test options
// that the menus, the command line and D-Bus change, and the commands the window and korvel-server
// send it. What the server tells goes to the front-end's own ServerObserver, on the server thread.
#pragma once

#include "dde/server_control.h"
#include "faults/fault_rules_file.h"
#include "server/server_thread.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

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

    // Fault rules, applied after the test options to every reply. A text with an error applies
    // nothing: the rules in force stay, and the error names its line, column and reason.
    // (These are also the D-Bus control's: org.korvel.Faults.)
    std::optional<FaultRulesError> loadFaultRules(const QString& text) override;
    // Reads the rule file `fileName` and loads it. `readError` says why it could not be read;
    // otherwise `text` is its text and `error` the rule set's error, if any (then nothing applied).
    // Bytes that are not UTF-8 are an error with their place.
    struct FaultRulesFileLoad {
        std::string readError;
        QString text;
        std::optional<FaultRulesError> error;
        bool ok() const { return readError.empty() && !error; }
    };
    FaultRulesFileLoad loadFaultRulesFile(const QString& fileName);
    // The text of the rule set in force; empty when none is.
    const QString& faultRulesText() const override { return faultRulesText_; }
    void clearFaultRules() override;
    // false when no rule has that name.
    bool setFaultRuleEnabled(const QString& name, bool on) override;
    void resetFaultCounters() override;
    std::vector<FaultRuleCounters> faultCounters() const override;
    // Fired events beyond kFiredPerSecond in one second are counted here instead of told.
    uint64_t faultFiredUntold() const { return relay_.untold(); }
    static constexpr int kFiredPerSecond = 100;

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
    // faultFired, to the D-Bus control.
    void watchFaultFired(QObject* receiver, FaultFiredTell tell) override;

  signals:
    // The options were changed, from anywhere (told after the change reached the server).
    void settingsChanged();
    // The options were changed from outside the front-end (D-Bus): its menus show them anew.
    void settingsChangedElsewhere();
    // A D-Bus disconnect ran on the server: what the server told meanwhile may be handled now.
    void commandDone();
    // The rule set was loaded or cleared, a rule switched or the counters reset.
    void faultRulesChanged();
    // A rule fired on the reply to `transactionId` on `connection`; at most kFiredPerSecond a
    // second, on the service's thread.
    void faultFired(const QString& rule, int connection, quint16 transactionId);

  private:
    // Hands the server's events to the front-end's observer and bounces the fired rules onto the
    // service's thread (on the server thread).
    class Relay : public ServerObserver {
      public:
        Relay(ServerService& service, ServerObserver& frontEnd) : service_(service), frontEnd_(frontEnd) {}
        void connectionOpened(int c) override { frontEnd_.connectionOpened(c); }
        void connectionClosed(int c, bool allClosed) override { frontEnd_.connectionClosed(c, allClosed); }
        void requestExchanged(int c, const std::string& failed) override { frontEnd_.requestExchanged(c, failed); }
        void logFailed(bool closingFailed) override { frontEnd_.logFailed(closingFailed); }
        void requestRejected(int c, const std::string& text) override { frontEnd_.requestRejected(c, text); }
        void notConnected() override { frontEnd_.notConnected(); }
        void listeningChanged(bool on) override { frontEnd_.listeningChanged(on); }
        void faultFired(int c, const std::string& rule, uint16_t transactionId) override;
        uint64_t untold() const { return untold_.load(); }

      private:
        ServerService& service_;
        ServerObserver& frontEnd_;
        std::chrono::steady_clock::time_point secondStart_{};
        int toldThisSecond_ = 0;
        std::atomic<uint64_t> untold_{0};
    };

    void applyFaultRules(FaultRuleSet set);

    ServerSettings settings_;
    Relay relay_;
    QString faultRulesText_;
    std::unique_ptr<ServerThread> server_;
};

} // namespace korvel
