#include "dde/bus_names.h"

#include <QDBusConnectionInterface>
#include <QFileInfo>

namespace korvel {

namespace {
constexpr int kMaxBusNameLength = 255;
const QString kBusNamePrefix = QStringLiteral("org.korvel.");
const QString kPortNamePrefix = QStringLiteral("org.korvel.korvel.Port");

bool IsNameCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'_';
}
} // namespace

QString ServiceBusName(const QString& executablePath)
{
    const QString fileName = QFileInfo(executablePath).fileName();
    QString service = fileName.left(fileName.indexOf(QLatin1Char('.'))); // all of it without a "."
    for (QChar& c : service) {
        if (!IsNameCharacter(c))
            c = QLatin1Char('_');
    }
    // An element of a bus name must not be empty nor start with a digit.
    if (service.isEmpty() || service.front().isDigit())
        service.prepend(QLatin1Char('_'));
    return (kBusNamePrefix + service).left(kMaxBusNameLength);
}

QString PortBusName(uint16_t port)
{
    return kPortNamePrefix + QString::number(port);
}

BusNames::BusNames(QDBusConnection bus, QString executablePath, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), serviceName_(ServiceBusName(executablePath))
{
}

BusNames::~BusNames()
{
    if (available() && !portName_.isEmpty())
        bus_.interface()->unregisterService(portName_);
}

bool BusNames::available() const
{
    return bus_.isConnected() && bus_.interface() != nullptr;
}

void BusNames::start(uint16_t port)
{
    if (!available())
        return;
    // Queued: a later instance waits in line and becomes the owner when this one ends.
    // The bus tells when the name comes to this instance later (or leaves it).
    connect(bus_.interface(), &QDBusConnectionInterface::serviceRegistered, this, [this](const QString& name) {
        if (name == serviceName_ && !holdsService_) {
            holdsService_ = true;
            emit ownedNamesChanged();
        }
    });
    connect(bus_.interface(), &QDBusConnectionInterface::serviceUnregistered, this, [this](const QString& name) {
        if (name == serviceName_ && holdsService_) {
            holdsService_ = false;
            emit ownedNamesChanged();
        }
    });
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus_.interface()->registerService(
        serviceName_, QDBusConnectionInterface::QueueService, QDBusConnectionInterface::DontAllowReplacement);
    holdsService_ = reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered;
    portChanged(port);
}

void BusNames::portChanged(uint16_t port)
{
    if (!available())
        return;
    const QString name = PortBusName(port);
    if (name == portName_)
        return;
    if (!portName_.isEmpty())
        bus_.interface()->unregisterService(portName_);
    portName_.clear();
    // Not queued: a port name belongs to the instance on that port, or to none.
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus_.interface()->registerService(
        name, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered)
        portName_ = name;
}

QStringList BusNames::ownedNames() const
{
    QStringList names;
    if (!portName_.isEmpty())
        names << portName_;
    if (holdsService_)
        names << serviceName_;
    return names;
}

bool BusNames::ownsServiceName() const
{
    if (!available())
        return false;
    const QDBusReply<QString> owner = bus_.interface()->serviceOwner(serviceName_);
    return owner.isValid() && owner.value() == bus_.baseService();
}

} // namespace korvel
