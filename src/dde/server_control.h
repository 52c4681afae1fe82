// D-Bus control of the running server, in the window and in korvel-server alike: the object
// /server with the interface org.korvel.Server. A property per test option (read and write), the
// connections closed one at a time, the counters and one connection's status read, and a signal
// whenever a connection opens or closes. Every change goes through the same settings path the
// window's menus use, so the menus and the panel follow it.
#pragma once

#include "server/server_runtime.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>

namespace korvel {

// What the control needs of the program that runs the server (all on the object's thread).
class ServerControlTarget {
  public:
    virtual ~ServerControlTarget() = default;
    virtual ServerSettings controlSettings() const = 0;
    // Changes the test options as the menus do; the program's views follow.
    virtual void changeControlSettings(const std::function<void(ServerSettings&)>& change) = 0;
    // Closes connection 1 or 2 (nothing when it is not open).
    virtual void disconnectConnection(int slot) = 0;
    virtual ServerSnapshot controlSnapshot() const = 0;
};

using CounterMap = QMap<QString, qulonglong>; // a{st}

class ServerControl : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.korvel.Server")
    // The served function codes ("&Active MB Functions"), ascending.
    Q_PROPERTY(QList<int> ServedFunctions READ servedFunctions WRITE setServedFunctions)
    // The UID selector's text: "0" answers any unit identifier, another number only that one.
    Q_PROPERTY(QString UnitId READ unitId WRITE setUnitId)
    Q_PROPERTY(bool AddressOffset READ addressOffset WRITE setAddressOffset)
    Q_PROPERTY(bool OutOfSynch READ outOfSynch WRITE setOutOfSynch)
    Q_PROPERTY(bool WrongTI READ wrongTI WRITE setWrongTI)
    Q_PROPERTY(bool WrongPID READ wrongPID WRITE setWrongPID)
    Q_PROPERTY(bool WrongLength READ wrongLength WRITE setWrongLength)
    // The forced exception code (1-8, 10, 11), 0 when none is forced.
    Q_PROPERTY(int ForcedException READ forcedException WRITE setForcedException)

  public:
    static constexpr const char* kObjectPath = "/server";
    static constexpr const char* kInterface = "org.korvel.Server";
    static constexpr const char* kInvalidArgs = "org.freedesktop.DBus.Error.InvalidArgs";

    explicit ServerControl(ServerControlTarget& target, QObject* parent = nullptr);
    // Registers /server on `bus`; false when there is no bus or the path is taken.
    bool registerOn(QDBusConnection bus);

    QList<int> servedFunctions() const;
    void setServedFunctions(const QList<int>& codes);
    QString unitId() const { return unitIdText_; }
    void setUnitId(const QString& text);
    bool addressOffset() const { return target_.controlSettings().check.addressOffset; }
    void setAddressOffset(bool on);
    bool outOfSynch() const { return target_.controlSettings().OutOfSynchActive; }
    void setOutOfSynch(bool on);
    bool wrongTI() const { return target_.controlSettings().WrongTIActive; }
    void setWrongTI(bool on);
    bool wrongPID() const { return target_.controlSettings().WrongPIDActive; }
    void setWrongPID(bool on);
    bool wrongLength() const { return target_.controlSettings().WrongLengthHBActive; }
    void setWrongLength(bool on);
    int forcedException() const;
    void setForcedException(int code);

    // The program tells a connection change here (it is sent as ConnectionChanged).
    void tellConnectionChanged(int slot, bool open, const QString& peer) { emit ConnectionChanged(slot, open, peer); }

  public slots:
    // Closes connection 1 or 2.
    void Disconnect(int slot);
    // "requests", "exceptions", "no-response", "bytes-received-1", "bytes-sent-1", "-2" likewise.
    CounterMap Counters() const;
    // The status panel's fields of connection 1 or 2: "open", "peer", "check", "ti", "pid",
    // "length", "uid", "fc", "start-address", "word-count", "bytes-received", "bytes-sent",
    // "packet-size", "poll-interval-ms", "idle-s", "nagle-disabled".
    QVariantMap Connection(int slot) const;

  signals:
    void ConnectionChanged(int slot, bool open, const QString& peer);

  private:
    bool validSlot(int slot) const;
    // A header fault cannot be switched on while an exception is forced, nor the other way round,
    // as in the window's menu.
    bool refuse(const QString& why) const;

    ServerControlTarget& target_;
    QString unitIdText_ = QStringLiteral("0");
};

} // namespace korvel
