// The names Korvel owns on the D-Bus session bus: the service name, which the first instance
// owns and later instances queue for (so it passes on when the owner ends), and the port name of
// each instance, which follows the server port. Without a session bus everything here is inert.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace korvel {

// Said once in the status bar when there is no session bus.
inline const QString kNoSessionBusText = QStringLiteral("No D-Bus session bus: desktop publishing is not available.");

// "org.korvel." + the executable's file name up to its first ".", every character other than an
// ASCII letter, digit or "_" replaced by "_" ("/usr/bin/korvel" -> "org.korvel.korvel"). A
// service that would make an invalid bus name (empty, or starting with a digit) gets a leading
// "_"; the whole name is cut to the bus's limit of 255 characters.
QString ServiceBusName(const QString& executablePath);

// "org.korvel.korvel.Port" + port ("org.korvel.korvel.Port1502").
QString PortBusName(uint16_t port);

class BusNames : public QObject {
    Q_OBJECT
  public:
    // `bus` may be disconnected (no session bus): the object is then inert.
    BusNames(QDBusConnection bus, QString executablePath, QObject* parent = nullptr);
    ~BusNames() override;

    // A session bus is there; when false the window says kNoSessionBusText once.
    bool available() const;
    // Start-up: asks for the service name (queued behind an earlier instance) and the port name.
    void start(uint16_t port);
    // The server port changed: the old port name is given back and the new one taken.
    void portChanged(uint16_t port);

    QString serviceName() const { return serviceName_; }
    QString portName() const { return portName_; } // empty while none is owned
    // This connection is the current owner of the service name (asks the bus).
    bool ownsServiceName() const;
    // The names this instance owns now: its port name, and the service name while it holds it.
    QStringList ownedNames() const;
    QDBusConnection bus() const { return bus_; }

  signals:
    // The service name came to this instance or left it.
    void ownedNamesChanged();

  private:
    QDBusConnection bus_;
    QString serviceName_;
    QString portName_;
    bool holdsService_ = false; // as the bus last told
};

} // namespace korvel
