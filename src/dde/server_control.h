// D-Bus control of the running server, in the window and in korvel-server alike: the object
// /server with the interface org.korvel.Server. A property per test option (read and write), the
// connections closed one at a time, the counters and one connection's status read, and a signal
// whenever a connection opens or closes. Every change goes through the same settings path the
// window's menus use, so the menus and the panel follow it.
//
// The object answers the bus's messages itself: a property write takes exactly the property's
// type and the values the window's menu and the command line take, and any other write is
// answered with an InvalidArgs error that names the property and what it takes. Every change of
// a property, whoever made it, is sent as PropertiesChanged. The same object answers the fault
// rules' interface org.korvel.Faults, whose calls it hands to its FaultControl.
#pragma once

#include "dde/fault_control.h"
#include "server/server_runtime.h"

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <optional>

class QDBusMessage;

namespace korvel {

// What the control needs of the program that runs the server (all on the object's thread).
class ServerControlTarget : public FaultControlTarget {
  public:
    virtual ~ServerControlTarget() = default;
    virtual ServerSettings controlSettings() const = 0;
    // Changes the test options as the menus do; the program's views follow.
    virtual void changeControlSettings(const std::function<void(ServerSettings&)>& change) = 0;
    // Closes connection 1 or 2 (nothing when it is not open).
    virtual void disconnectConnection(int slot) = 0;
    virtual ServerSnapshot controlSnapshot() const = 0;
    // Calls `tell` on `receiver`'s thread for every firing of a fault rule the program tells,
    // until `receiver` goes.
    using FaultFiredTell = std::function<void(const QString& rule, int connection, quint16 transactionId)>;
    virtual void watchFaultFired(QObject* receiver, FaultFiredTell tell) = 0;
};

using CounterMap = QMap<QString, qulonglong>; // a{st}

// The UID selector's texts that the window's box, the command line and the bus take: one to three
// decimal digits, 0-255 ("0" answers any unit, "00" only unit 0).
bool IsUnitIdText(const QString& text);

class ServerControl : public QDBusVirtualObject {
    Q_OBJECT
  public:
    static constexpr const char* kObjectPath = "/server";
    static constexpr const char* kInterface = "org.korvel.Server";
    static constexpr const char* kInvalidArgs = "org.freedesktop.DBus.Error.InvalidArgs";

    explicit ServerControl(ServerControlTarget& target, QObject* parent = nullptr);
    // Registers /server on `bus`; false when there is no bus or the path is taken.
    bool registerOn(QDBusConnection bus);

    // The properties as the bus reads them: "ServedFunctions" (ai, ascending), "UnitId" (s, the
    // UID selector's text), "AddressOffset", "OutOfSynch", "WrongTI", "WrongPID", "WrongLength" (b),
    // "ForcedException" (i, 0 when none is forced).
    QVariantMap properties() const;
    // A property write as the bus makes it: the error text when it is refused (nothing changed).
    std::optional<QString> writeProperty(const QString& name, const QVariant& value);

    // QDBusVirtualObject
    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

    // The fault interface's part of the object.
    FaultControl& faults() { return faults_; }

  public slots:
    // The program tells a connection change here (it is sent as ConnectionChanged).
    void tellConnectionChanged(int slot, bool open, const QString& peer);
    // The program tells every change of its test options here, whoever made it: the properties
    // that changed are sent as PropertiesChanged.
    void settingsChanged();
    // A fault rule fired (sent as org.korvel.Faults.Fired); the target tells it here by itself.
    void tellFaultFired(const QString& rule, int connection, quint16 transactionId);

  private:
    CounterMap counters() const;
    QVariantMap connectionFields(int slot) const;
    void send(const QDBusMessage& message);

    ServerControlTarget& target_;
    FaultControl faults_;
    QDBusConnection bus_{QString()};
    bool registered_ = false;
    QVariantMap told_; // the properties as last told
};

} // namespace korvel
