#include "dde/server_control.h"

#include "common/modbus_protocol.h"

#include <QDBusMessage>
#include <QDBusMetaType>

namespace korvel {

ServerControl::ServerControl(ServerControlTarget& target, QObject* parent) : QObject(parent), target_(target)
{
    qDBusRegisterMetaType<CounterMap>();
    const CheckSettings& check = target_.controlSettings().check;
    if (!check.uidAny)
        unitIdText_ = check.uidNone ? QString() : QString::number(check.uid);
}

bool ServerControl::registerOn(QDBusConnection bus)
{
    if (!bus.isConnected())
        return false;
    return bus.registerObject(QString::fromLatin1(kObjectPath), this,
                              QDBusConnection::ExportAllProperties | QDBusConnection::ExportAllSlots |
                                  QDBusConnection::ExportAllSignals);
}

bool ServerControl::refuse(const QString& why) const
{
    if (calledFromDBus())
        sendErrorReply(QString::fromLatin1(kInvalidArgs), why);
    return false;
}

QList<int> ServerControl::servedFunctions() const
{
    const CheckSettings& check = target_.controlSettings().check;
    QList<int> codes;
    for (const FunctionInfo& f : kFunctions)
        if (check.servedFlags[f.servedIndex])
            codes.append(f.code);
    std::sort(codes.begin(), codes.end());
    return codes;
}

void ServerControl::setServedFunctions(const QList<int>& codes)
{
    std::array<bool, kFunctionCount> served{};
    for (int code : codes) {
        const FunctionInfo* f = code >= 0 && code <= 255 ? FindFunction(static_cast<uint8_t>(code)) : nullptr;
        if (!f) {
            refuse(QStringLiteral("not a function code the server speaks: %1").arg(code));
            return;
        }
        served[f->servedIndex] = true;
    }
    target_.changeControlSettings([served](ServerSettings& s) { s.check.servedFlags = served; });
}

void ServerControl::setUnitId(const QString& text)
{
    bool ok = false;
    const int uid = text.toInt(&ok);
    if (!ok || uid < 0 || uid > 255 || text.isEmpty() || !text.front().isDigit()) {
        refuse(QStringLiteral("a unit identifier is 0-255 (0: any): %1").arg(text));
        return;
    }
    unitIdText_ = text;
    const std::string selector = text.toStdString();
    target_.changeControlSettings([selector](ServerSettings& s) { s.check.setUidSelectorText(selector); });
}

void ServerControl::setAddressOffset(bool on)
{
    target_.changeControlSettings([on](ServerSettings& s) { s.check.addressOffset = on; });
}

void ServerControl::setOutOfSynch(bool on)
{
    target_.changeControlSettings([on](ServerSettings& s) { s.OutOfSynchActive = on; });
}

void ServerControl::setWrongTI(bool on)
{
    if (on && target_.controlSettings().ReturnExceptionActive) {
        refuse(QStringLiteral("WrongTI cannot be switched on while an exception is forced"));
        return;
    }
    target_.changeControlSettings([on](ServerSettings& s) { s.WrongTIActive = on; });
}

void ServerControl::setWrongPID(bool on)
{
    if (on && target_.controlSettings().ReturnExceptionActive) {
        refuse(QStringLiteral("WrongPID cannot be switched on while an exception is forced"));
        return;
    }
    target_.changeControlSettings([on](ServerSettings& s) { s.WrongPIDActive = on; });
}

void ServerControl::setWrongLength(bool on)
{
    if (on && target_.controlSettings().ReturnExceptionActive) {
        refuse(QStringLiteral("WrongLength cannot be switched on while an exception is forced"));
        return;
    }
    target_.changeControlSettings([on](ServerSettings& s) { s.WrongLengthHBActive = on; });
}

int ServerControl::forcedException() const
{
    const ServerSettings s = target_.controlSettings();
    return s.ReturnExceptionActive ? s.ForcedExceptionCode : 0;
}

void ServerControl::setForcedException(int code)
{
    if (code != 0 && (code < 0 || code > 255 || !ExceptionName(static_cast<uint8_t>(code)))) {
        refuse(QStringLiteral("an exception code is 1-8, 10, 11, or 0 for none: %1").arg(code));
        return;
    }
    const ServerSettings s = target_.controlSettings();
    if (code != 0 && (s.WrongTIActive || s.WrongPIDActive || s.WrongLengthHBActive)) {
        refuse(QStringLiteral("an exception cannot be forced while WrongTI, WrongPID or WrongLength is on"));
        return;
    }
    target_.changeControlSettings([code](ServerSettings& settings) {
        settings.ReturnExceptionActive = code != 0;
        if (code != 0)
            settings.ForcedExceptionCode = static_cast<uint8_t>(code);
    });
}

bool ServerControl::validSlot(int slot) const
{
    if (slot == 1 || slot == 2)
        return true;
    return refuse(QStringLiteral("a connection is 1 or 2: %1").arg(slot));
}

void ServerControl::Disconnect(int slot)
{
    if (validSlot(slot))
        target_.disconnectConnection(slot);
}

CounterMap ServerControl::Counters() const
{
    const ServerSnapshot snapshot = target_.controlSnapshot();
    CounterMap counters;
    counters.insert(QStringLiteral("requests"), snapshot.counters.MessageCount);
    counters.insert(QStringLiteral("exceptions"), snapshot.counters.ExceptionCount);
    counters.insert(QStringLiteral("no-response"), snapshot.counters.NoResponseCount);
    for (int c = 1; c <= 2; ++c) {
        const ConnectionStatus& status = snapshot.connection(c);
        counters.insert(QStringLiteral("bytes-received-%1").arg(c), status.BytesReceived);
        counters.insert(QStringLiteral("bytes-sent-%1").arg(c), status.BytesSent);
    }
    return counters;
}

QVariantMap ServerControl::Connection(int slot) const
{
    if (!validSlot(slot))
        return {};
    const ConnectionStatus status = target_.controlSnapshot().connection(slot);
    const RequestFields fields = status.fields();
    auto text = [](const std::string& s) { return QString::fromStdString(s); };
    return {
        {QStringLiteral("open"), status.open},
        {QStringLiteral("peer"), text(status.PeerIP)},
        {QStringLiteral("check"), text(status.checkText)},
        {QStringLiteral("ti"), text(fields.ti)},
        {QStringLiteral("pid"), text(fields.pid)},
        {QStringLiteral("length"), text(fields.length)},
        {QStringLiteral("uid"), text(fields.uid)},
        {QStringLiteral("fc"), text(fields.fc)},
        {QStringLiteral("start-address"), text(fields.startAddress)},
        {QStringLiteral("word-count"), text(fields.wordCount)},
        {QStringLiteral("bytes-received"), QVariant::fromValue<qulonglong>(status.BytesReceived)},
        {QStringLiteral("bytes-sent"), QVariant::fromValue<qulonglong>(status.BytesSent)},
        {QStringLiteral("packet-size"), status.PacketSize},
        {QStringLiteral("poll-interval-ms"), QVariant::fromValue<uint>(status.ShownInterval)},
        {QStringLiteral("idle-s"), status.IdleTicks},
        {QStringLiteral("nagle-disabled"), status.NagleDisabled},
    };
}

} // namespace korvel
