// The fault rules of the running server on D-Bus: the interface org.korvel.Faults of the object
// /server, beside org.korvel.Server (a path has one virtual object: ServerControl hands this part
// the messages of this interface). A rule set is loaded whole or not at all, read back, cleared, a
// rule switched by name, the counters read and reset; every firing the program tells is sent as
// the signal Fired.
#pragma once

#include "faults/fault_rules_file.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QList>
#include <QMetaType>
#include <QString>
#include <optional>
#include <vector>

class QDBusMessage;

namespace korvel {

namespace texts {
// The interface, its errors and their messages.
inline const QString kFaultsInterface = QStringLiteral("org.korvel.Faults");
inline const QString kFaultsInvalidError = QStringLiteral("org.korvel.Faults.Error.Invalid");
inline const QString kFaultsUnknownRuleError = QStringLiteral("org.korvel.Faults.Error.UnknownRule");
inline const QString kFaultsUnknownRuleText = QStringLiteral("no rule of the rule set in force is named \"%1\"");
inline const QString kFaultsFiredSignal = QStringLiteral("Fired");
} // namespace texts

// What the fault interface needs of the program that runs the server (on the object's thread).
class FaultControlTarget {
  public:
    virtual ~FaultControlTarget() = default;
    // Applies the rule set whole, or nothing: then the error names its line, column and reason.
    virtual std::optional<FaultRulesError> loadFaultRules(const QString& text) = 0;
    // The text of the rule set in force; empty when none is.
    virtual const QString& faultRulesText() const = 0;
    virtual void clearFaultRules() = 0;
    // false when no rule has that name.
    virtual bool setFaultRuleEnabled(const QString& name, bool on) = 0;
    virtual void resetFaultCounters() = 0;
    virtual std::vector<FaultRuleCounters> faultCounters() const = 0; // in file order
};

// One row of Counters(): (s name, s kind, t matched, t fired).
struct FaultCounterRow {
    QString name;
    QString kind; // as in rule files: "delay", "no-reply" ...
    qulonglong matched = 0;
    qulonglong fired = 0;
    bool operator==(const FaultCounterRow&) const = default;
};
QDBusArgument& operator<<(QDBusArgument& out, const FaultCounterRow& row);
const QDBusArgument& operator>>(const QDBusArgument& in, FaultCounterRow& row);
using FaultCounterRows = QList<FaultCounterRow>; // a(sstt)

class FaultControl {
  public:
    // `path`: the object the interface is on (its signals are sent from there).
    FaultControl(FaultControlTarget& target, QString path);

    // Answers a method call of org.korvel.Faults (`member` with the message's signature); false
    // when the interface has no such method, so that the caller answers with its error.
    bool handle(const QDBusMessage& message, const QDBusConnection& connection);
    // Whether a call without an interface name is one of this interface's methods: those it
    // shares with no other interface of the object.
    static bool ownsUnqualified(const QString& member);

    // The interface as the bus describes it (dbus/org.korvel.Faults.xml without its comments).
    static QString introspection();

    // The signal Fired(s name, i connection, q transaction_id).
    QDBusMessage firedSignal(const QString& rule, int connection, quint16 transactionId) const;

    // Counters() as the bus sends it.
    FaultCounterRows counters() const;

  private:
    FaultControlTarget& target_;
    QString path_;
};

} // namespace korvel

Q_DECLARE_METATYPE(korvel::FaultCounterRow)
