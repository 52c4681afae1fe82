#include "dde/dde_topic.h"

#include "dde/dde_texts.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>

namespace korvel {

DdeTopic::DdeTopic(TopicKind kind, ItemTable& items, QDBusConnection bus, QObject* parent)
    : QObject(parent), kind_(kind), items_(items), bus_(std::move(bus)),
      path_(QLatin1Char('/') + QLatin1String(TopicName(kind)))
{
    if (!bus_.isConnected())
        return;
    registered_ = bus_.registerObject(
        path_, this, QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportScriptableSignals);
    watcher_ = new QDBusServiceWatcher(this);
    watcher_->setConnection(bus_);
    watcher_->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(watcher_, &QDBusServiceWatcher::serviceUnregistered, this, &DdeTopic::clientLeft);
}

DdeTopic::~DdeTopic()
{
    if (registered_)
        bus_.unregisterObject(path_);
}

void DdeTopic::sendUnknownItem(const QString& item)
{
    sendErrorReply(texts::kUnknownItemError, texts::kUnknownItemText.arg(item, QLatin1String(TopicName(kind_))));
}

std::optional<uint16_t> DdeTopic::knownItem(const QString& item)
{
    const std::optional<uint16_t> n = ItemRegister(item.toStdString());
    if (!n || !items_.exists(*n)) {
        sendUnknownItem(item);
        return std::nullopt;
    }
    return n;
}

QString DdeTopic::Request(const QString& item)
{
    const std::optional<uint16_t> n = knownItem(item);
    if (!n)
        return {};
    const std::optional<std::string> text = items_.text(*n);
    if (!text) { // destroyed in between by the publishing thread
        sendUnknownItem(item);
        return {};
    }
    return QString::fromStdString(*text);
}

void DdeTopic::Poke(const QString& item, const QString& value)
{
    const QByteArray bytes = value.toUtf8();
    if (static_cast<size_t>(bytes.size()) > kMaxPokeBytes) {
        sendErrorReply(QDBusError::InvalidArgs, texts::kPokeTooLongText.arg(bytes.size()).arg(kMaxPokeBytes));
        return;
    }
    const std::optional<uint16_t> n = knownItem(item);
    if (!n)
        return;
    const std::optional<ItemNotification> poked = items_.poke(*n, std::string_view(bytes.constData(), bytes.size()));
    if (!poked) {
        sendUnknownItem(item);
        return;
    }
    notify({*poked});
}

QString DdeTopic::Link(const QString& item)
{
    const std::optional<uint16_t> n = knownItem(item);
    if (!n)
        return {};
    const QString client = message().service();
    const std::optional<std::string> text = items_.link(*n, client.toStdString());
    if (!text) {
        sendUnknownItem(item);
        return {};
    }
    if (!watcher_->watchedServices().contains(client)) {
        watcher_->addWatchedService(client);
        // A client that left before its link was made is not reported leaving again.
        if (!bus_.interface()->isServiceRegistered(client).value())
            clientLeft(client);
    }
    return QString::fromStdString(*text);
}

void DdeTopic::Unlink(const QString& item)
{
    const std::optional<uint16_t> n = knownItem(item);
    if (n && !items_.unlink(*n, message().service().toStdString()))
        sendUnknownItem(item);
}

void DdeTopic::clientLeft(const QString& client)
{
    items_.dropClient(client.toStdString());
    watcher_->removeWatchedService(client);
}

void DdeTopic::notify(const std::vector<ItemNotification>& notifications)
{
    if (!bus_.isConnected())
        return;
    for (const ItemNotification& note : notifications) {
        const QString item = QString::fromStdString(ItemName(note.n));
        const QString value = QString::fromStdString(note.text);
        for (const std::string& client : note.clients) {
            QDBusMessage signal = QDBusMessage::createTargetedSignal(QString::fromStdString(client), path_,
                                                                     texts::kTopicInterface, QStringLiteral("Changed"));
            signal << item << value;
            bus_.send(signal);
        }
    }
}

} // namespace korvel
