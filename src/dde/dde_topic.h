// One publishing topic on the session bus: the object /input or /holding with the interface
// org.korvel.Topic (Request, Poke, Link, Unlink and the signal Changed, sent only to the clients
// linked to the item). Served on the thread the object lives on (the window thread); the items
// themselves are in an ItemTable that the publishing thread fills and empties.
#pragma once

#include "rules/publishing_rules.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QString>
#include <vector>

class QDBusServiceWatcher;

namespace korvel {

class DdeTopic : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.korvel.Topic")
    // The interface as dbus/org.korvel.Topic.xml describes it (a test compares the two).
    Q_CLASSINFO("D-Bus Introspection", "  <interface name=\"org.korvel.Topic\">\n"
                                       "    <method name=\"Request\">\n"
                                       "      <arg name=\"item\" type=\"s\" direction=\"in\"/>\n"
                                       "      <arg name=\"value\" type=\"s\" direction=\"out\"/>\n"
                                       "    </method>\n"
                                       "    <method name=\"Poke\">\n"
                                       "      <arg name=\"item\" type=\"s\" direction=\"in\"/>\n"
                                       "      <arg name=\"value\" type=\"s\" direction=\"in\"/>\n"
                                       "    </method>\n"
                                       "    <method name=\"Link\">\n"
                                       "      <arg name=\"item\" type=\"s\" direction=\"in\"/>\n"
                                       "      <arg name=\"value\" type=\"s\" direction=\"out\"/>\n"
                                       "    </method>\n"
                                       "    <method name=\"Unlink\">\n"
                                       "      <arg name=\"item\" type=\"s\" direction=\"in\"/>\n"
                                       "    </method>\n"
                                       "    <signal name=\"Changed\">\n"
                                       "      <arg name=\"item\" type=\"s\"/>\n"
                                       "      <arg name=\"value\" type=\"s\"/>\n"
                                       "    </signal>\n"
                                       "  </interface>\n")
  public:
    // Registers the object "/" + the topic name on `bus` (when it is connected).
    DdeTopic(TopicKind kind, ItemTable& items, QDBusConnection bus, QObject* parent = nullptr);
    ~DdeTopic() override;

    bool registered() const { return registered_; }
    TopicKind kind() const { return kind_; }
    // Sends Changed to the clients of each notification.
    void notify(const std::vector<ItemNotification>& notifications);

  public slots:
    Q_SCRIPTABLE QString Request(const QString& item);
    Q_SCRIPTABLE void Poke(const QString& item, const QString& value);
    Q_SCRIPTABLE QString Link(const QString& item);
    Q_SCRIPTABLE void Unlink(const QString& item);

  signals:
    // Declared for the bus's introspection only: Korvel sends it to each linked client itself.
    Q_SCRIPTABLE void Changed(const QString& item, const QString& value);

  private:
    // The register of an item the table has, or none after an UnknownItem error reply.
    std::optional<uint16_t> knownItem(const QString& item);
    void sendUnknownItem(const QString& item);
    void clientLeft(const QString& client);

    TopicKind kind_;
    ItemTable& items_;
    QDBusConnection bus_;
    QString path_;
    bool registered_ = false;
    QDBusServiceWatcher* watcher_ = nullptr; // the clients that linked, to drop their links
};

} // namespace korvel
