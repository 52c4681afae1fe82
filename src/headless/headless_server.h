// korvel-server's server: the same runtime, engine and traffic log the window drives, with the
// options of the command line instead of the menus. Events become one line each on an event sink
// (standard error unless --quiet); the reservation of its port is given back at stop().
#pragma once

#include "common/register_store.h"
#include "instances/atom_registry.h"
#include "log/traffic_log.h"
#include "rules/server_options.h"
#include "server/server_thread.h"
#include "service/server_service.h"

#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace korvel {

namespace texts {
// Event lines (after the time) and start-up failures of korvel-server.
inline constexpr const char* kConnectionOpened = "#%1 connected: %2";
inline constexpr const char* kConnectionClosed = "#%1 closed: %2";
inline constexpr const char* kRequestFailed = "#%1 request failed: %2";
inline constexpr const char* kStreamRejected = "#%1 disconnecting: %2";
inline constexpr const char* kLogStarted = "log started: %1";
inline constexpr const char* kLogStopped = "log closed: %1";
inline constexpr const char* kLogLost = "log lost: %1 was removed while recording";
inline constexpr const char* kLogStartFailed = "log error: cannot create %1";
inline constexpr const char* kLogWriteFailed = "log error: writing the log file failed, recording stopped";
inline constexpr const char* kLogCloseFailed = "log error: closing the log file failed";
inline constexpr const char* kListening = "listening on %1:%2";
inline constexpr const char* kStopped = "stopped";
inline constexpr const char* kBasePortInvalid = "KORVEL_PORT=\"%1\" is not a port 1-65535: using port %2";
inline constexpr const char* kDbusControl = "D-Bus control: %1 /server org.korvel.Server";
inline constexpr const char* kPublishing = "D-Bus publishing: %1 /%2 r%3-r%4";
inline constexpr const char* kPublishingNoBus = "no D-Bus session bus: --publish ignored, serving without publishing";
inline constexpr const char* kPortChangedLine = "port %1 is reserved by another Korvel instance, using port %2";
inline constexpr const char* kPortChangedLineHolder =
    "port %1 is reserved by another Korvel instance (process %2), using port %3";
inline constexpr const char* kPortReserved =
    "port %1 is reserved by another Korvel instance (process %2); choose another with --port";
inline constexpr const char* kPortReservedStale =
    "port %1 is reserved by a Korvel instance of unknown process (the window's \"Purge Port Usage Blocking(s)\" "
    "clears a stale reservation); choose another with --port";
inline constexpr const char* kPortPermission =
    "cannot listen on port %1: permission denied: ports below 1024 need cap_net_bind_service, or use --port";
inline constexpr const char* kPortInUse = "cannot listen on port %1: address already in use by another program";
inline constexpr const char* kAddressNotLocal = "cannot listen on %1: not an address of this machine";
inline constexpr const char* kPortOtherError = "cannot listen on port %1: %2 (error %3)";
inline constexpr const char* kLoadFailed = "cannot load %1: %2";
inline constexpr const char* kLoadExtension = "cannot load %1: a variable-list file ends in .korvel";
inline constexpr const char* kLogFolderUnusable = "cannot log into %1: not a writable folder";
inline constexpr const char* kFaultsUnreadable = "cannot read the fault rules %1: %2";
// A rule file with an error: the file, its line and column, the reason.
inline constexpr const char* kFaultsInvalid = "%1:%2:%3: %4";
} // namespace texts

// A request's check text without the status panel's "--" in front and ". " at the end.
std::string EventCheckText(std::string text);

// Fills %1, %2, ... of `pattern` in order.
std::string FillText(std::string_view pattern, std::initializer_list<std::string> values);

class HeadlessServer : public QObject, private ServerObserver {
    Q_OBJECT
  public:
    // Event texts go to `events` (any thread; one line each, without the time, which the sink adds).
    using EventSink = std::function<void(const std::string& text)>;
    HeadlessServer(ServerOptions options, EventSink events, QObject* parent = nullptr);
    ~HeadlessServer() override;

    // Loads the variable list and the fault rules, chooses and reserves the port, starts
    // listening. kExitOk, or the exit code with the message in `error`.
    int start(std::string& error);
    // Closes the connections and the log, gives the port reservation back. Also at destruction.
    void stop();

    uint16_t port() const { return port_; }
    const ServerOptions& options() const { return options_; }
    ServerThread& thread() { return service_->thread(); }
    // The server itself: its options and commands, shared with the D-Bus control.
    ServerService& service() { return *service_; }
    TrafficLog& trafficLog() { return log_; }
    RegisterStore& store() { return store_; }
    AtomRegistry& atoms() { return atoms_; }

    // The test options now; a change goes to the server at once and is told by the service's
    // settingsChanged.
    const ServerSettings& settings() const { return service_->settings(); }
    void changeSettings(const std::function<void(ServerSettings&)>& change) { service_->changeSettings(change); }

  signals:
    // On this object's thread.
    void connectionChanged(int c, bool open, const QString& peer);

  private:
    void tell(const std::string& line);
    int loadFaultRules(std::string& error); // --faults
    int listen(std::string& error);
    int listenOnFreePort(std::string& error); // --port 0
    int listenFailed(int failure, std::string& error);
    void startLog(); // server thread
    void stopLog();  // closes the log and tells how

    // ServerObserver, on the server thread.
    void connectionOpened(int c) override;
    void connectionClosed(int c, bool allClosed) override;
    void requestExchanged(int c, const std::string& failedCheckText) override;
    void requestRejected(int c, const std::string& checkText) override;
    void logFailed(bool closingFailed) override;

    ServerOptions options_;
    EventSink events_;
    RegisterStore store_;
    ServerEngine engine_;
    TrafficLog log_;
    AtomRegistry atoms_;
    uint16_t port_ = 0;
    bool ownsPortAtom_ = false;
    bool stopped_ = false;
    bool listening_ = false;               // start() succeeded
    std::array<std::string, 2> peers_;     // the peer of each open connection (server thread)
    std::array<std::string, 2> peerTexts_; // the same with the peer's port, for the event lines
    std::unique_ptr<ServerService> service_;
};

} // namespace korvel
