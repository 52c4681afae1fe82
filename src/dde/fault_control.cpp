#include "dde/fault_control.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QVariant>

namespace korvel {

namespace {

// The interface as the bus describes it (dbus/org.korvel.Faults.xml without its comments).
constexpr const char* kIntrospection = R"xml(  <interface name="org.korvel.Faults">
    <method name="Load">
      <arg name="toml" type="s" direction="in"/>
    </method>
    <method name="Rules">
      <arg type="s" direction="out"/>
    </method>
    <method name="Clear"/>
    <method name="Enable">
      <arg name="name" type="s" direction="in"/>
      <arg name="on" type="b" direction="in"/>
    </method>
    <method name="ResetCounters"/>
    <method name="Counters">
      <arg type="a(sstt)" direction="out"/>
      <annotation name="org.qtproject.QtDBus.QtTypeName.Out0" value="QList&lt;korvel::FaultCounterRow&gt;"/>
    </method>
    <signal name="Fired">
      <arg name="name" type="s" direction="out"/>
      <arg name="connection" type="i" direction="out"/>
      <arg name="transaction_id" type="q" direction="out"/>
    </signal>
  </interface>
)xml";

} // namespace

QDBusArgument& operator<<(QDBusArgument& out, const FaultCounterRow& row)
{
    out.beginStructure();
    out << row.name << row.kind << row.matched << row.fired;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, FaultCounterRow& row)
{
    in.beginStructure();
    in >> row.name >> row.kind >> row.matched >> row.fired;
    in.endStructure();
    return in;
}

FaultControl::FaultControl(FaultControlTarget& target, QString path) : target_(target), path_(std::move(path))
{
    qDBusRegisterMetaType<FaultCounterRow>();
    qDBusRegisterMetaType<FaultCounterRows>();
}

bool FaultControl::ownsUnqualified(const QString& member)
{
    // Counters is org.korvel.Server's too: without an interface name it stays that one's.
    return member == QLatin1String("Load") || member == QLatin1String("Rules") || member == QLatin1String("Clear") ||
           member == QLatin1String("Enable") || member == QLatin1String("ResetCounters");
}

QString FaultControl::introspection()
{
    return QString::fromLatin1(kIntrospection);
}

FaultCounterRows FaultControl::counters() const
{
    FaultCounterRows rows;
    for (const FaultRuleCounters& c : target_.faultCounters()) {
        const std::string_view kind = FaultKindName(c.kind);
        rows.append({QString::fromStdString(c.name),
                     QString::fromUtf8(kind.data(), static_cast<qsizetype>(kind.size())), c.matched, c.fired});
    }
    return rows;
}

bool FaultControl::handle(const QDBusMessage& message, const QDBusConnection& connection)
{
    const QString member = message.member();
    const QString signature = message.signature();
    const QVariantList args = message.arguments();
    auto answer = [&](const QDBusMessage& reply) {
        connection.send(reply);
        return true;
    };
    if (member == QLatin1String("Load") && signature == QLatin1String("s")) {
        const std::optional<FaultRulesError> error = target_.loadFaultRules(args[0].toString());
        if (error)
            return answer(message.createErrorReply(texts::kFaultsInvalidError, QString::fromStdString(error->text())));
        return answer(message.createReply());
    }
    if (member == QLatin1String("Rules") && signature.isEmpty())
        return answer(message.createReply(target_.faultRulesText()));
    if (member == QLatin1String("Clear") && signature.isEmpty()) {
        target_.clearFaultRules();
        return answer(message.createReply());
    }
    if (member == QLatin1String("Enable") && signature == QLatin1String("sb")) {
        const QString name = args[0].toString();
        if (!target_.setFaultRuleEnabled(name, args[1].toBool()))
            return answer(
                message.createErrorReply(texts::kFaultsUnknownRuleError, texts::kFaultsUnknownRuleText.arg(name)));
        return answer(message.createReply());
    }
    if (member == QLatin1String("ResetCounters") && signature.isEmpty()) {
        target_.resetFaultCounters();
        return answer(message.createReply());
    }
    if (member == QLatin1String("Counters") && signature.isEmpty())
        return answer(message.createReply(QVariant::fromValue(counters())));
    return false;
}

QDBusMessage FaultControl::firedSignal(const QString& rule, int connection, quint16 transactionId) const
{
    QDBusMessage signal = QDBusMessage::createSignal(path_, texts::kFaultsInterface, texts::kFaultsFiredSignal);
    signal << rule << connection << QVariant::fromValue<ushort>(transactionId);
    return signal;
}

} // namespace korvel
