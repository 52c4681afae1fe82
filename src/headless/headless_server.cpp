#include "headless/headless_server.h"

#include "common/text_join.h"
#include "common/variable_list.h"
#include "common/winsock_texts.h"
#include "instances/port_reservation.h"
#include "net/socket_layer.h"
#include "service/log_start.h"

#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QStringDecoder>
#include <QTime>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel {

std::string FillText(std::string_view pattern, std::initializer_list<std::string> values)
{
    std::string out;
    size_t i = 0;
    while (i < pattern.size()) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
            const size_t n = static_cast<size_t>(pattern[i + 1] - '1');
            if (n < values.size())
                out += *(values.begin() + n);
            i += 2;
            continue;
        }
        out += pattern[i++];
    }
    return out;
}

// A check text as an event line says it: without the status panel's leading "--" and the ". "
// after its last sentence.
std::string EventCheckText(std::string text)
{
    if (text.starts_with("--"))
        text.erase(0, 2);
    while (!text.empty() && (text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

namespace {
// One line: the load error's "\nLine 2: ..." follows its reason after a blank.
std::string OneLine(std::string text)
{
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

std::string PeerText(const ConnectionState& connection)
{
    return connection.PeerPort == 0 ? connection.PeerIP
                                    : JoinText({connection.PeerIP, ":", std::to_string(connection.PeerPort)});
}
} // namespace

HeadlessServer::HeadlessServer(ServerOptions options, EventSink events, QObject* parent)
    : QObject(parent), options_(std::move(options)), events_(std::move(events)), engine_(store_),
      atoms_(AtomRegistry::DefaultFolder())
{
    engine_.settings = options_.settings;
    log_.setInterpretive(!options_.plainLog);
    service_ = std::make_unique<ServerService>(engine_, static_cast<ServerObserver&>(*this));
    service_->setReleaseUnused(options_.releaseUnused);
    service_->setPacketLog(&log_); // writes only while recording
}

HeadlessServer::~HeadlessServer()
{
    stop();
    service_.reset();
}

void HeadlessServer::tell(const std::string& line)
{
    if (events_)
        events_(line);
}

int HeadlessServer::start(std::string& error)
{
    if (!options_.loadFile.empty()) {
        const std::string& name = options_.loadFile;
        if (!HasVariableListExtension(name)) {
            error = FillText(texts::kLoadExtension, {name});
            return kExitFailure;
        }
        std::string content;
        if (const std::string why = ReadVariableListFile(name, content); !why.empty()) {
            error = FillText(texts::kLoadFailed, {name, why});
            return kExitFailure;
        }
        const VariableListLoad load = ReadVariableList(content, store_, false);
        if (!load.ok) {
            error = FillText(texts::kLoadFailed, {name, OneLine(load.messageText())});
            return kExitFailure;
        }
    }
    if (!options_.logFolder.empty()) {
        // A missing folder is made, with its parents, as mkdir -p does.
        const QString path = QString::fromStdString(options_.logFolder);
        QDir().mkpath(path);
        const QFileInfo folder(path);
        if (!folder.isDir() || !folder.isWritable()) {
            error = FillText(texts::kLogFolderUnusable, {options_.logFolder});
            return kExitFailure;
        }
    }
    if (const int failed = loadFaultRules(error); failed != kExitOk)
        return failed;
    return listen(error);
}

int HeadlessServer::loadFaultRules(std::string& error)
{
    const std::string& name = options_.faultsFile;
    if (name.empty())
        return kExitOk;
    const ServerService::FaultRulesFileLoad loaded = service_->loadFaultRulesFile(QString::fromStdString(name));
    if (!loaded.readError.empty()) {
        error = FillText(texts::kFaultsUnreadable, {name, loaded.readError});
        return kExitFailure;
    }
    const std::optional<FaultRulesError>& invalid = loaded.error;
    if (invalid) {
        error = FillText(texts::kFaultsInvalid, {name, std::to_string(invalid->line), std::to_string(invalid->column),
                                                 OneLine(invalid->message)});
        return kExitFailure;
    }
    return kExitOk;
}

int HeadlessServer::listen(std::string& error)
{
    if (!options_.port) {
        // An unusable KORVEL_PORT is said once, not taken silently as 502.
        const QString text = qEnvironmentVariable("KORVEL_PORT");
        const QString trimmed = text.trimmed();
        bool ok = false;
        const int value = trimmed.toInt(&ok);
        const bool digits = std::all_of(trimmed.begin(), trimmed.end(), [](QChar ch) { return ch.isDigit(); });
        if (!text.isEmpty() && !(ok && digits && value == BasePort()))
            tell(FillText(texts::kBasePortInvalid, {text.toStdString(), std::to_string(BasePort())}));
    }
    if (!atoms_.usable())
        tell(atoms_.problem().toStdString()); // and serve as the only instance
    if (options_.port == 0)
        return listenOnFreePort(error);
    const int base = options_.port ? *options_.port : BasePort();
    int port = base;
    if (options_.port) {
        // A port asked for by name is this port or none.
        const PortChoice choice = ReservePort(atoms_, port);
        if (!choice.reserved && atoms_.usable()) {
            error = choice.baseHolder
                        ? FillText(texts::kPortReserved, {std::to_string(port), std::to_string(choice.baseHolder)})
                        : FillText(texts::kPortReservedStale, {std::to_string(port)});
            return kExitPortFailure;
        }
        ownsPortAtom_ = choice.reserved;
    } else {
        const PortChoice choice = ChooseAndReservePort(atoms_, base);
        port = choice.port;
        ownsPortAtom_ = choice.reserved;
        if (port != base && choice.baseHolder)
            tell(FillText(texts::kPortChangedLineHolder,
                          {std::to_string(base), std::to_string(choice.baseHolder), std::to_string(port)}));
        else if (port != base)
            tell(FillText(texts::kPortChangedLine, {std::to_string(base), std::to_string(port)}));
    }
    port_ = static_cast<uint16_t>(port);
    const uint32_t address = options_.bindAddress;
    const uint16_t p = port_;
    const int failure = service_->startListening(p, address);
    if (failure == 0) {
        tell(FillText(texts::kListening, {AddressText(address), std::to_string(port)}));
        listening_ = true;
        return kExitOk;
    }
    return listenFailed(failure, error);
}

int HeadlessServer::listenOnFreePort(std::string& error)
{
    // The system picks a port no socket uses; a port another instance has reserved is given back
    // to the system and another one taken (a few tries: reservations of unbound ports are rare).
    const uint32_t address = options_.bindAddress;
    for (int attempt = 0; attempt < 20; ++attempt) {
        const int failure = service_->startListening(0, address);
        if (failure != 0) {
            port_ = 0;
            return listenFailed(failure, error);
        }
        port_ = service_->listeningPort();
        const PortChoice choice = ReservePort(atoms_, port_);
        if (choice.reserved || !atoms_.usable()) {
            ownsPortAtom_ = choice.reserved;
            tell(FillText(texts::kListening, {AddressText(address), std::to_string(port_)}));
            listening_ = true;
            return kExitOk;
        }
        service_->releaseSockets();
    }
    error = FillText(texts::kPortReservedStale, {std::to_string(port_)});
    stop();
    return kExitPortFailure;
}

int HeadlessServer::listenFailed(int failure, std::string& error)
{
    const uint32_t address = options_.bindAddress;
    const std::string portText = std::to_string(port_);
    switch (failure) {
    case wsa::kEAcces:
        error = FillText(texts::kPortPermission, {portText});
        break;
    case wsa::kEAddrInUse:
        error = FillText(texts::kPortInUse, {portText});
        break;
    case wsa::kEAddrNotAvail:
        error = FillText(texts::kAddressNotLocal, {AddressText(address)});
        break;
    default:
        error = FillText(texts::kPortOtherError, {portText, SocketErrorText(failure), std::to_string(failure)});
    }
    stop();
    return kExitPortFailure;
}

void HeadlessServer::stop()
{
    if (stopped_)
        return;
    stopped_ = true;
    // Every request taken so far is answered and logged before the sockets close.
    service_->releaseSockets();
    if (log_.LogRecording())
        stopLog();
    if (ownsPortAtom_)
        atoms_.deleteOne(PortAtomName(port_));
    ownsPortAtom_ = false;
    if (listening_)
        tell(texts::kStopped);
}

// ---- what the server tells (server thread) ----

void HeadlessServer::startLog()
{
    // The peers as the window's status has them.
    const std::string peer1 = engine_.connection(1).PeerIP;
    const std::string peer2 = engine_.connection(2).PeerIP;
    const LogStart started =
        StartTrafficLog(log_, QString::fromStdString(options_.logFolder), peer1, peer2, static_cast<int>(port_));
    if (started.ok) {
        tell(FillText(texts::kLogStarted, {started.path.toStdString()}));
    } else {
        log_.stop();
        tell(FillText(texts::kLogStartFailed, {started.path.toStdString()}));
    }
}

void HeadlessServer::stopLog()
{
    const std::string path = log_.path();
    const bool closed = log_.stop();
    if (!closed)
        tell(texts::kLogCloseFailed);
    if (log_.lost())
        tell(FillText(texts::kLogLost, {path}));
    else if (closed)
        tell(FillText(texts::kLogStopped, {path}));
}

void HeadlessServer::connectionOpened(int c)
{
    const std::string peer = engine_.connection(c).PeerIP;
    const std::string peerText = PeerText(engine_.connection(c));
    peers_[SlotIndex(c)] = peer;
    peerTexts_[SlotIndex(c)] = peerText;
    if (options_.nagleOff)
        service_->thread().call([c](ServerRuntime& r) { r.SetNagleDisabled(c, true); });
    tell(FillText(texts::kConnectionOpened, {std::to_string(c), peerText}));
    if (!options_.logFolder.empty() && !log_.LogRecording())
        startLog();
    QMetaObject::invokeMethod(
        this, [this, c, peer] { emit connectionChanged(c, true, QString::fromStdString(peer)); }, Qt::QueuedConnection);
}

void HeadlessServer::connectionClosed(int c, bool allClosed)
{
    const std::string peer = peers_[SlotIndex(c)];
    tell(FillText(texts::kConnectionClosed, {std::to_string(c), peerTexts_[SlotIndex(c)]}));
    // A session's log ends when both connections are closed, as in the window.
    if (allClosed && log_.LogRecording())
        stopLog();
    QMetaObject::invokeMethod(
        this, [this, c, peer] { emit connectionChanged(c, false, QString::fromStdString(peer)); },
        Qt::QueuedConnection);
}

void HeadlessServer::requestExchanged(int c, const std::string& failedCheckText)
{
    if (!failedCheckText.empty())
        tell(FillText(texts::kRequestFailed, {std::to_string(c), EventCheckText(failedCheckText)}));
}

void HeadlessServer::requestRejected(int c, const std::string& checkText)
{
    tell(FillText(texts::kStreamRejected, {std::to_string(c), EventCheckText(checkText)}));
}

void HeadlessServer::logFailed(bool closingFailed)
{
    if (closingFailed)
        tell(texts::kLogCloseFailed);
    tell(texts::kLogWriteFailed);
}

} // namespace korvel
