// The bus names: the service name derived from the executable, and the ownership rules on a real
// session bus (run inside dbus-run-session; without a session bus these cases skip).
#include "dde/bus_names.h"
#include "support/param_name.h"
#include "support/test_net.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <gtest/gtest.h>

namespace korvel {
namespace {

struct ServiceNameRow {
    const char* path;
    const char* busName;
};

class ServiceBusNameTest : public ::testing::TestWithParam<ServiceNameRow> {};

TEST_P(ServiceBusNameTest, SanitisesTheExecutableName)
{
    EXPECT_EQ(ServiceBusName(QString::fromUtf8(GetParam().path)), QString::fromUtf8(GetParam().busName));
}

INSTANTIATE_TEST_SUITE_P(Rows, ServiceBusNameTest,
                         ::testing::Values(ServiceNameRow{"/usr/bin/korvel", "org.korvel.korvel"},
                                           ServiceNameRow{"korvel.exe", "org.korvel.korvel"},
                                           ServiceNameRow{"/opt/a.b/Korvel64.tar.gz", "org.korvel.Korvel64"},
                                           ServiceNameRow{"/x/korvel-server", "org.korvel.korvel_server"},
                                           ServiceNameRow{"/x/k\xc3\xb6rvel 2", "org.korvel.k_rvel_2"},
                                           ServiceNameRow{"/x/my_tool", "org.korvel.my_tool"},
                                           // an element may not be empty or start with a digit on the bus
                                           ServiceNameRow{"/x/.hidden", "org.korvel._"},
                                           ServiceNameRow{"/x/64korvel", "org.korvel._64korvel"}),
                         [](const auto& info) { return testing::ParamName(info.param.path); });

TEST(PortBusNameTest, AppendsThePort)
{
    EXPECT_EQ(PortBusName(1502), QStringLiteral("org.korvel.korvel.Port1502"));
    EXPECT_EQ(PortBusName(65535), QStringLiteral("org.korvel.korvel.Port65535"));
}

TEST(ServiceBusNameTest, LongNamesStayWithinTheBusLimit)
{
    EXPECT_EQ(ServiceBusName(QString(400, QLatin1Char('k'))).size(), 255);
}

// Two instances on their own connections to the session bus.
class BusNamesTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        a = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("bus-names-a"));
        b = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("bus-names-b"));
        if (!a.isConnected() || !b.isConnected())
            GTEST_SKIP() << "no session bus (run inside dbus-run-session)";
    }
    void TearDown() override
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("bus-names-a"));
        QDBusConnection::disconnectFromBus(QStringLiteral("bus-names-b"));
    }
    QString ownerOf(const QString& name) const
    {
        const QDBusReply<QString> owner = b.interface()->serviceOwner(name);
        return owner.isValid() ? owner.value() : QString();
    }

    // An executable name no other test or program on the bus uses.
    const QString executable = QStringLiteral("/x/korvelqueue%1").arg(QCoreApplication::applicationPid());
    QDBusConnection a{QString()};
    QDBusConnection b{QString()};
};

TEST_F(BusNamesTest, SecondInstanceQueuesForTheServiceAndOwnsItsPortName)
{
    auto first = std::make_unique<BusNames>(a, executable);
    BusNames second(b, executable);
    ASSERT_TRUE(first->available());
    first->start(40001);
    second.start(40002);

    EXPECT_TRUE(first->ownsServiceName());
    EXPECT_FALSE(second.ownsServiceName());
    EXPECT_EQ(ownerOf(PortBusName(40001)), a.baseService());
    EXPECT_EQ(ownerOf(PortBusName(40002)), b.baseService());
    EXPECT_EQ(second.portName(), PortBusName(40002));

    // The owner ends: the name passes to the instance waiting for it, its port name goes.
    first.reset();
    a = QDBusConnection(QString()); // the last reference goes: the connection closes
    QDBusConnection::disconnectFromBus(QStringLiteral("bus-names-a"));
    EXPECT_TRUE(testing::WaitUntil([&] { return second.ownsServiceName(); }, 5000));
    EXPECT_TRUE(ownerOf(PortBusName(40001)).isEmpty());
}

TEST_F(BusNamesTest, PortNameFollowsThePort)
{
    BusNames names(a, executable);
    names.start(40011);
    names.portChanged(40012);
    EXPECT_TRUE(ownerOf(PortBusName(40011)).isEmpty());
    EXPECT_EQ(ownerOf(PortBusName(40012)), a.baseService());

    // A port whose name another instance holds is not taken; the old one is given back anyway.
    BusNames other(b, executable);
    other.start(40013);
    names.portChanged(40013);
    EXPECT_TRUE(names.portName().isEmpty());
    EXPECT_TRUE(ownerOf(PortBusName(40012)).isEmpty());
    EXPECT_EQ(ownerOf(PortBusName(40013)), b.baseService());
}

TEST(BusNamesInertTest, WithoutABusNothingIsAsked)
{
    BusNames names(QDBusConnection(QStringLiteral("never-connected")), QStringLiteral("/x/korvel"));
    EXPECT_FALSE(names.available());
    names.start(502);
    EXPECT_TRUE(names.portName().isEmpty());
    EXPECT_FALSE(names.ownsServiceName());
}

} // namespace
} // namespace korvel
