#include "service/server_service.h"

#include "log/packet_log.h"

#include <QStringDecoder>

namespace korvel {

ServerService::ServerService(ServerEngine& engine, ServerObserver& observer, QObject* parent)
    : QObject(parent), settings_(engine.settings), relay_(*this, observer),
      server_(std::make_unique<ServerThread>(engine, relay_))
{
}

ServerService::~ServerService() = default;

void ServerService::changeSettings(const std::function<void(ServerSettings&)>& change)
{
    change(settings_);
    const ServerSettings copy = settings_;
    server_->call([&copy](ServerRuntime& r) { r.SetSettings(copy); });
    emit settingsChanged();
}

void ServerService::changeControlSettings(const std::function<void(ServerSettings&)>& change)
{
    changeSettings(change);
    emit settingsChangedElsewhere();
}

int ServerService::startListening(uint16_t port, uint32_t address)
{
    return server_->call([port, address](ServerRuntime& r) { return r.StartListening(port, address); });
}

bool ServerService::listening() const
{
    return server_->call([](ServerRuntime& r) { return r.listening(); });
}

uint16_t ServerService::listeningPort() const
{
    return server_->call([](ServerRuntime& r) { return r.listeningPort(); });
}

int ServerService::disconnect(Disconnect kind, uint16_t port)
{
    return server_->call([kind, port](ServerRuntime& r) {
        r.setPort(port); // the port may have changed since listening started
        return r.DisconnectSock(kind);
    });
}

void ServerService::disconnectConnection(int slot)
{
    server_->call([slot](ServerRuntime& r) {
        if (r.slotOpen(slot))
            r.DisconnectSock(DisconnectOf(slot));
    });
    emit commandDone();
}

void ServerService::releaseSockets()
{
    server_->call([](ServerRuntime& r) { r.ReleaseSockets(); });
}

void ServerService::resetConnectionStatus(Connections which)
{
    server_->call([which](ServerRuntime& r) { r.ResetConnectionStatus(which); });
}

void ServerService::setReleaseUnused(bool on)
{
    server_->call([on](ServerRuntime& r) { r.SetReleaseUnused(on); });
}

bool ServerService::releaseUnused() const
{
    return server_->call([](ServerRuntime& r) { return r.ReleaseUnusedActive(); });
}

bool ServerService::idleTimerRunning(int c) const
{
    return server_->call([c](ServerRuntime& r) { return r.idleTimerRunning(c); });
}

int ServerService::readNoDelay(int c, int& value) const
{
    int v = 0;
    const int error = server_->call([c, &v](ServerRuntime& r) {
        StreamSocket* socket = r.slot(c);
        return socket ? socket->readNoDelay(v) : wsa::kENotSock;
    });
    value = v;
    return error;
}

// ---- fault rules ----

void ServerService::Relay::faultFired(int c, const std::string& rule, uint16_t transactionId)
{
    const auto now = std::chrono::steady_clock::now();
    if (now - secondStart_ >= std::chrono::seconds(1)) {
        secondStart_ = now;
        toldThisSecond_ = 0;
    }
    if (toldThisSecond_ >= kFiredPerSecond) {
        ++untold_;
        return;
    }
    ++toldThisSecond_;
    QMetaObject::invokeMethod(
        &service_,
        [service = &service_, name = QString::fromStdString(rule), c, transactionId] {
            emit service->faultFired(name, c, transactionId);
        },
        Qt::QueuedConnection);
}

std::optional<FaultRulesError> ServerService::loadFaultRules(const QString& text)
{
    FaultRulesParse parsed = ParseFaultRules(text.toStdString());
    if (!parsed.ok())
        return parsed.error;
    faultRulesText_ = parsed.set.rules.empty() ? QString() : text;
    applyFaultRules(std::move(parsed.set));
    return std::nullopt;
}

ServerService::FaultRulesFileLoad ServerService::loadFaultRulesFile(const QString& fileName)
{
    FaultRulesFileLoad out;
    std::string content;
    out.readError = ReadFaultRulesFile(fileName.toStdString(), content);
    if (!out.readError.empty())
        return out;
    // Bytes that are not UTF-8 would reach the rules replaced: the reader names their place instead.
    QStringDecoder decoder(QStringDecoder::Utf8);
    out.text = decoder(QByteArrayView(content.data(), static_cast<qsizetype>(content.size())));
    if (decoder.hasError()) {
        out.error = ParseFaultRules(content).error;
        if (!out.error)
            out.error = FaultRulesError{1, 1, "the file is not UTF-8 text"};
        return out;
    }
    out.error = loadFaultRules(out.text);
    return out;
}

void ServerService::clearFaultRules()
{
    faultRulesText_.clear();
    applyFaultRules({});
}

void ServerService::applyFaultRules(FaultRuleSet set)
{
    server_->call([&set](ServerRuntime& r) { r.setFaultRules(std::move(set)); });
    emit faultRulesChanged();
}

bool ServerService::setFaultRuleEnabled(const QString& name, bool on)
{
    const std::string rule = name.toStdString();
    const bool known = server_->call([&rule, on](ServerRuntime& r) {
        const bool found = r.faultRules().setEnabled(rule, on);
        r.publishFaultCounts();
        return found;
    });
    if (known)
        emit faultRulesChanged();
    return known;
}

void ServerService::resetFaultCounters()
{
    server_->call([](ServerRuntime& r) {
        r.faultRules().resetCounters();
        r.publishFaultCounts();
    });
    emit faultRulesChanged();
}

std::vector<FaultRuleCounters> ServerService::faultCounters() const
{
    return server_->call([](ServerRuntime& r) { return r.faultRules().counters(); });
}

void ServerService::watchFaultFired(QObject* receiver, FaultFiredTell tell)
{
    connect(this, &ServerService::faultFired, receiver, std::move(tell));
}

void ServerService::setPacketLog(PacketLog* log)
{
    server_->call([log](ServerRuntime& r) { r.setPacketLog(log); });
}

} // namespace korvel
