// A desktop-publishing client on a bus connection of its own: its calls go through the bus daemon
// and the test serves its event loop while it waits, so an in-process window answers them too.
#pragma once

#include "dde/dde_texts.h"
#include "support/test_net.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QObject>
#include <QStringList>
#include <memory>
#include <utility>
#include <vector>

namespace korvel::testing {

// Collects the Changed signals one bus client receives.
class ChangedSpy : public QObject {
    Q_OBJECT
  public:
    std::vector<std::pair<QString, QString>> received;
  public slots:
    void changed(const QString& item, const QString& value) { received.emplace_back(item, value); }
};

// Collects the server's ConnectionChanged signals as "<slot> open|closed <peer>".
class ConnectionChangedSpy : public QObject {
    Q_OBJECT
  public:
    QStringList heard;
  public slots:
    void changed(int slot, bool open, const QString& peer)
    {
        heard << QStringLiteral("%1 %2 %3").arg(slot).arg(open ? "open" : "closed", peer);
    }
};

// A client on a connection of its own.
class BusClient {
  public:
    BusClient(const QString& name, const QString& server) : name_(name), server_(server)
    {
        bus_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name));
    }
    ~BusClient() { leave(); }
    bool connected() const { return bus_ && bus_->isConnected(); }
    QString uniqueName() const { return bus_->baseService(); }

    // Calls a topic's method and waits for the answer (the window serves it meanwhile).
    QDBusMessage call(const QString& topic, const QString& method, const QVariantList& args)
    {
        QDBusMessage msg =
            QDBusMessage::createMethodCall(server_, QLatin1Char('/') + topic, texts::kTopicInterface, method);
        msg.setArguments(args);
        QDBusPendingCall pending = bus_->asyncCall(msg, 10000);
        WaitUntil([&] { return pending.isFinished(); }, 12000);
        return pending.reply();
    }
    // The reply's text, or "error:" + the error name.
    QString text(const QString& topic, const QString& method, const QVariantList& args)
    {
        const QDBusMessage reply = call(topic, method, args);
        if (reply.type() == QDBusMessage::ErrorMessage)
            return QStringLiteral("error:") + reply.errorName();
        return reply.arguments().isEmpty() ? QString() : reply.arguments().first().toString();
    }
    QString request(const QString& topic, const QString& item)
    {
        return text(topic, QStringLiteral("Request"), {item});
    }
    QString link(const QString& topic, const QString& item) { return text(topic, QStringLiteral("Link"), {item}); }
    QString poke(const QString& topic, const QString& item, const QString& value)
    {
        return text(topic, QStringLiteral("Poke"), {item, value});
    }
    // Listens to Changed from the server on `topic` (only what is sent to this client arrives).
    void watch(const QString& topic)
    {
        bus_->connect(server_, QLatin1Char('/') + topic, texts::kTopicInterface, QStringLiteral("Changed"), &spy,
                      SLOT(changed(QString, QString)));
    }
    // Leaves the bus.
    void leave()
    {
        if (!bus_)
            return;
        bus_.reset();
        QDBusConnection::disconnectFromBus(name_);
    }

    ChangedSpy spy;

  private:
    QString name_;
    QString server_;
    std::unique_ptr<QDBusConnection> bus_;
};

} // namespace korvel::testing
