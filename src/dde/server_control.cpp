#include "dde/server_control.h"

#include "common/modbus_protocol.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QStringList>
#include <algorithm>

namespace korvel {

namespace {

const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kUnknownProperty = QStringLiteral("org.freedesktop.DBus.Error.UnknownProperty");
const QString kUnknownMethod = QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod");
const QString kUnknownInterface = QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface");

// The interface as the bus describes it (dbus/org.korvel.Server.xml without its comments).
constexpr const char* kIntrospection = R"(  <interface name="org.korvel.Server">
    <property name="ServedFunctions" type="ai" access="readwrite">
      <annotation name="org.qtproject.QtDBus.QtTypeName" value="QList&lt;int&gt;"/>
    </property>
    <property name="UnitId" type="s" access="readwrite"/>
    <property name="AddressOffset" type="b" access="readwrite"/>
    <property name="OutOfSynch" type="b" access="readwrite"/>
    <property name="WrongTI" type="b" access="readwrite"/>
    <property name="WrongPID" type="b" access="readwrite"/>
    <property name="WrongLength" type="b" access="readwrite"/>
    <property name="ForcedException" type="i" access="readwrite"/>
    <signal name="ConnectionChanged">
      <arg name="slot" type="i" direction="out"/>
      <arg name="open" type="b" direction="out"/>
      <arg name="peer" type="s" direction="out"/>
    </signal>
    <method name="Disconnect">
      <arg name="slot" type="i" direction="in"/>
    </method>
    <method name="Counters">
      <arg type="a{st}" direction="out"/>
      <annotation name="org.qtproject.QtDBus.QtTypeName.Out0" value="QMap&lt;QString,qulonglong&gt;"/>
    </method>
    <method name="Connection">
      <arg type="a{sv}" direction="out"/>
      <annotation name="org.qtproject.QtDBus.QtTypeName.Out0" value="QVariantMap"/>
      <arg name="slot" type="i" direction="in"/>
    </method>
  </interface>
)";

// The D-Bus signature a received value had ("i", "s", "ai", ...).
QString SignatureOf(const QVariant& value)
{
    if (value.metaType() == QMetaType::fromType<QDBusArgument>())
        return value.value<QDBusArgument>().currentSignature();
    const char* signature = QDBusMetaType::typeToSignature(value.metaType());
    return signature ? QString::fromLatin1(signature) : QString();
}

// The property's D-Bus type, or null for an unknown name.
const char* PropertySignature(const QString& name)
{
    static const QMap<QString, const char*> types = {
        {QStringLiteral("ServedFunctions"), "ai"}, {QStringLiteral("UnitId"), "s"},
        {QStringLiteral("AddressOffset"), "b"},    {QStringLiteral("OutOfSynch"), "b"},
        {QStringLiteral("WrongTI"), "b"},          {QStringLiteral("WrongPID"), "b"},
        {QStringLiteral("WrongLength"), "b"},      {QStringLiteral("ForcedException"), "i"},
    };
    return types.value(name, nullptr);
}

QString ForcedExceptionCodes()
{
    QStringList codes;
    for (int code = 1; code <= 255; ++code)
        if (ExceptionName(static_cast<uint8_t>(code)))
            codes << QString::number(code);
    return codes.join(QStringLiteral(", "));
}

QString FunctionCodes()
{
    QList<int> codes;
    for (const FunctionInfo& f : kFunctions)
        codes.append(f.code);
    std::sort(codes.begin(), codes.end());
    QStringList texts;
    for (int code : codes)
        texts << QString::number(code);
    return texts.join(QStringLiteral(", "));
}

QDBusVariant Wrapped(const QVariant& value)
{
    return QDBusVariant(value);
}

} // namespace

bool IsUnitIdText(const QString& text)
{
    if (text.isEmpty() || text.size() > 3)
        return false;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return text.toInt() <= 255;
}

ServerControl::ServerControl(ServerControlTarget& target, QObject* parent)
    : QDBusVirtualObject(parent), target_(target), faults_(target, QString::fromLatin1(kObjectPath))
{
    qDBusRegisterMetaType<CounterMap>();
    told_ = properties();
    target_.watchFaultFired(this, [this](const QString& rule, int connection, quint16 transactionId) {
        tellFaultFired(rule, connection, transactionId);
    });
}

bool ServerControl::registerOn(QDBusConnection bus)
{
    if (!bus.isConnected())
        return false;
    if (!bus.registerVirtualObject(QString::fromLatin1(kObjectPath), this, QDBusConnection::SingleNode))
        return false;
    bus_ = bus;
    registered_ = true;
    return true;
}

QVariantMap ServerControl::properties() const
{
    const ServerSettings s = target_.controlSettings();
    QList<int> served;
    for (const FunctionInfo& f : kFunctions)
        if (s.check.servedFlags[f.servedIndex])
            served.append(f.code);
    std::sort(served.begin(), served.end());
    return {
        {QStringLiteral("ServedFunctions"), QVariant::fromValue(served)},
        {QStringLiteral("UnitId"), QString::fromStdString(s.check.uidText)},
        {QStringLiteral("AddressOffset"), s.check.addressOffset},
        {QStringLiteral("OutOfSynch"), s.OutOfSynchActive},
        {QStringLiteral("WrongTI"), s.WrongTIActive},
        {QStringLiteral("WrongPID"), s.WrongPIDActive},
        {QStringLiteral("WrongLength"), s.WrongLengthHBActive},
        {QStringLiteral("ForcedException"), s.ReturnExceptionActive ? int(s.ForcedExceptionCode) : 0},
    };
}

std::optional<QString> ServerControl::writeProperty(const QString& name, const QVariant& value)
{
    const char* signature = PropertySignature(name);
    if (!signature)
        return QStringLiteral("org.korvel.Server has no property %1").arg(name);
    const QString given = SignatureOf(value);
    if (given != QLatin1String(signature))
        return QStringLiteral("%1 takes a value of type %2, not %3")
            .arg(name, QLatin1String(signature), given.isEmpty() ? QStringLiteral("this one") : given);
    const ServerSettings now = target_.controlSettings();
    const bool exceptionForced = now.ReturnExceptionActive;
    const bool headerFault = now.WrongTIActive || now.WrongPIDActive || now.WrongLengthHBActive;

    if (name == QLatin1String("ServedFunctions")) {
        const QList<int> codes = qdbus_cast<QList<int>>(value);
        std::array<bool, kFunctionCount> served{};
        for (int code : codes) {
            const FunctionInfo* f = code >= 0 && code <= 255 ? FindFunction(static_cast<uint8_t>(code)) : nullptr;
            if (!f)
                return QStringLiteral("ServedFunctions takes function codes from %1, not %2")
                    .arg(FunctionCodes())
                    .arg(code);
            served[f->servedIndex] = true;
        }
        target_.changeControlSettings([served](ServerSettings& s) { s.check.servedFlags = served; });
    } else if (name == QLatin1String("UnitId")) {
        const QString text = value.toString();
        if (!IsUnitIdText(text))
            return QStringLiteral("UnitId takes 1 to 3 decimal digits 0-255 (\"0\": any unit, \"00\": unit 0 "
                                  "only), not \"%1\"")
                .arg(text);
        const std::string selector = text.toStdString();
        target_.changeControlSettings([selector](ServerSettings& s) { s.check.setUidSelectorText(selector); });
    } else if (name == QLatin1String("ForcedException")) {
        const int code = value.toInt();
        if (code != 0 && (code < 0 || code > 255 || !ExceptionName(static_cast<uint8_t>(code))))
            return QStringLiteral("ForcedException takes an exception code from %1, or 0 for none, not %2")
                .arg(ForcedExceptionCodes())
                .arg(code);
        if (code != 0 && headerFault)
            return QStringLiteral("ForcedException cannot be set while WrongTI, WrongPID or WrongLength is on");
        target_.changeControlSettings([code](ServerSettings& s) {
            s.ReturnExceptionActive = code != 0;
            if (code != 0)
                s.ForcedExceptionCode = static_cast<uint8_t>(code);
        });
    } else {
        const bool on = value.toBool();
        const bool isHeaderFault = name.startsWith(QLatin1String("Wrong"));
        if (on && isHeaderFault && exceptionForced)
            return QStringLiteral("%1 cannot be switched on while an exception is forced (ForcedException %2)")
                .arg(name)
                .arg(now.ForcedExceptionCode);
        target_.changeControlSettings([&name, on](ServerSettings& s) {
            if (name == QLatin1String("AddressOffset"))
                s.check.addressOffset = on;
            else if (name == QLatin1String("OutOfSynch"))
                s.OutOfSynchActive = on;
            else if (name == QLatin1String("WrongTI"))
                s.WrongTIActive = on;
            else if (name == QLatin1String("WrongPID"))
                s.WrongPIDActive = on;
            else
                s.WrongLengthHBActive = on;
        });
    }
    return std::nullopt;
}

QString ServerControl::introspect(const QString&) const
{
    return QString::fromLatin1(kIntrospection) + FaultControl::introspection();
}

bool ServerControl::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    if (message.type() != QDBusMessage::MethodCallMessage)
        return false;
    const QString interface = message.interface();
    const QString member = message.member();
    const QString signature = message.signature();
    const QVariantList args = message.arguments();
    auto answer = [&](const QDBusMessage& reply) {
        connection.send(reply);
        return true;
    };
    auto wrongInterface = [&](const QString& asked) {
        return answer(message.createErrorReply(
            kUnknownInterface,
            QStringLiteral("%1 has no properties of interface %2").arg(QString::fromLatin1(kObjectPath), asked)));
    };
    const QString ours = QString::fromLatin1(kInterface);
    auto unknownMethod = [&] {
        return answer(message.createErrorReply(kUnknownMethod,
                                               QStringLiteral("No such method '%1' in interface '%2' (signature '%3')")
                                                   .arg(member, interface, signature)));
    };

    if (interface == kPropertiesInterface) {
        // The fault interface has no properties: its set of them is empty.
        if (!args.isEmpty() && args[0].toString() == texts::kFaultsInterface) {
            if (member == QLatin1String("GetAll") && signature == QLatin1String("s"))
                return answer(message.createReply(QVariantMap()));
            if ((member == QLatin1String("Get") && signature == QLatin1String("ss")) ||
                (member == QLatin1String("Set") && signature == QLatin1String("ssv")))
                return answer(message.createErrorReply(
                    kUnknownProperty,
                    QStringLiteral("%1 has no property %2").arg(texts::kFaultsInterface, args[1].toString())));
        }
        if (member == QLatin1String("Get") && signature == QLatin1String("ss")) {
            if (args[0].toString() != ours)
                return wrongInterface(args[0].toString());
            const QVariantMap all = properties();
            const QString name = args[1].toString();
            if (!all.contains(name))
                return answer(message.createErrorReply(
                    kUnknownProperty, QStringLiteral("org.korvel.Server has no property %1").arg(name)));
            return answer(message.createReply(QVariant::fromValue(Wrapped(all.value(name)))));
        }
        if (member == QLatin1String("GetAll") && signature == QLatin1String("s")) {
            if (args[0].toString() != ours)
                return wrongInterface(args[0].toString());
            return answer(message.createReply(properties()));
        }
        if (member == QLatin1String("Set") && signature == QLatin1String("ssv")) {
            if (args[0].toString() != ours)
                return wrongInterface(args[0].toString());
            const QString name = args[1].toString();
            if (!PropertySignature(name))
                return answer(message.createErrorReply(
                    kUnknownProperty, QStringLiteral("org.korvel.Server has no property %1").arg(name)));
            const std::optional<QString> refused = writeProperty(name, args[2].value<QDBusVariant>().variant());
            if (refused)
                return answer(message.createErrorReply(QString::fromLatin1(kInvalidArgs), *refused));
            return answer(message.createReply());
        }
        return unknownMethod();
    }
    if (interface == texts::kFaultsInterface)
        return faults_.handle(message, connection) || unknownMethod();
    if (interface.isEmpty() && FaultControl::ownsUnqualified(member))
        return faults_.handle(message, connection);
    if (!interface.isEmpty() && interface != ours)
        return false; // introspection is Qt's; anything else is its error
    if (member == QLatin1String("Counters") && signature.isEmpty())
        return answer(message.createReply(QVariant::fromValue(counters())));
    if ((member == QLatin1String("Disconnect") || member == QLatin1String("Connection")) &&
        signature == QLatin1String("i")) {
        const int slot = args[0].toInt();
        if (slot != 1 && slot != 2)
            return answer(message.createErrorReply(QString::fromLatin1(kInvalidArgs),
                                                   QStringLiteral("a connection is 1 or 2: %1").arg(slot)));
        if (member == QLatin1String("Disconnect")) {
            target_.disconnectConnection(slot);
            return answer(message.createReply());
        }
        return answer(message.createReply(connectionFields(slot)));
    }
    if (interface.isEmpty())
        return false;
    return unknownMethod();
}

void ServerControl::send(const QDBusMessage& message)
{
    if (registered_)
        bus_.send(message);
}

void ServerControl::tellConnectionChanged(int slot, bool open, const QString& peer)
{
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kObjectPath), QString::fromLatin1(kInterface),
                                                     QStringLiteral("ConnectionChanged"));
    signal << slot << open << peer;
    send(signal);
}

void ServerControl::tellFaultFired(const QString& rule, int connection, quint16 transactionId)
{
    send(faults_.firedSignal(rule, connection, transactionId));
}

void ServerControl::settingsChanged()
{
    const QVariantMap now = properties();
    QVariantMap changed;
    for (auto it = now.constBegin(); it != now.constEnd(); ++it)
        if (told_.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    told_ = now;
    if (changed.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kObjectPath), kPropertiesInterface,
                                                     QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(kInterface) << changed << QStringList();
    send(signal);
}

CounterMap ServerControl::counters() const
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

QVariantMap ServerControl::connectionFields(int slot) const
{
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
