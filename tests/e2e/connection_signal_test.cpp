// ConnectionChanged as another program on the bus hears it, from the window and from
// korvel-server alike: the client's address when the connection opens and the same address when
// it closes, for a client that leaves by itself and for one that Disconnect drops.
#include "dde/bus_names.h"
#include "e2e/korvel_process.h"
#include "support/bus_client.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <gtest/gtest.h>

namespace korvel::testing {
namespace {

class ConnectionSignal : public ::testing::TestWithParam<const char*> {};

TEST_P(ConnectionSignal, CarriesThePeerAddressOnOpenAndOnClose)
{
    const QString connectionName = QStringLiteral("connection-signal-listener");
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName);
        if (!bus.isConnected())
            GTEST_SKIP() << "no session bus (run inside dbus-run-session)";
        KorvelProcess program({}, 0, {}, QString::fromLatin1(GetParam()));
        // Started without the probe connection start() makes: the port name on the bus says it
        // listens, and no connection but the test's own comes.
        ASSERT_TRUE(program.launch());
        const QString portName = PortBusName(program.basePort());
        ASSERT_TRUE(WaitUntil([&] { return bus.interface()->isServiceRegistered(portName).value(); }, 15000));
        ConnectionChangedSpy signals_;
        ASSERT_TRUE(bus.connect(portName, QStringLiteral("/server"), QStringLiteral("org.korvel.Server"),
                                QStringLiteral("ConnectionChanged"), &signals_, SLOT(changed(int, bool, QString))));

        // A client that sends a request and leaves.
        {
            RawClient client;
            ASSERT_TRUE(client.connectTo(program.basePort()));
            client.send(ReadHolding(1, 0, 1));
            ASSERT_EQ(client.receive(11).size(), 11);
        }
        ASSERT_TRUE(WaitUntil([&] { return signals_.heard.size() >= 2; }, 10000))
            << signals_.heard.join(", ").toStdString();
        EXPECT_EQ(signals_.heard.join(", ").toStdString(), "1 open 127.0.0.1, 1 closed 127.0.0.1");

        // One that Disconnect drops while a second client stays: the first slot frees again.
        signals_.heard.clear();
        RawClient first;
        RawClient second;
        ASSERT_TRUE(first.connectTo(program.basePort()));
        first.send(ReadHolding(2, 0, 1));
        ASSERT_EQ(first.receive(11).size(), 11);
        ASSERT_TRUE(second.connectTo(program.basePort()));
        second.send(ReadHolding(3, 0, 1));
        ASSERT_EQ(second.receive(11).size(), 11);
        QDBusMessage drop = QDBusMessage::createMethodCall(
            portName, QStringLiteral("/server"), QStringLiteral("org.korvel.Server"), QStringLiteral("Disconnect"));
        drop << 2;
        ASSERT_EQ(bus.call(drop, QDBus::Block, 5000).type(), QDBusMessage::ReplyMessage);
        EXPECT_TRUE(second.waitClosed());
        ASSERT_TRUE(WaitUntil([&] { return signals_.heard.size() >= 3; }, 10000))
            << signals_.heard.join(", ").toStdString();
        EXPECT_EQ(signals_.heard.join(", ").toStdString(), "1 open 127.0.0.1, 2 open 127.0.0.1, 2 closed 127.0.0.1");
    }
    QDBusConnection::disconnectFromBus(connectionName);
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, ConnectionSignal, ::testing::Values(KORVEL_EXECUTABLE, KORVEL_SERVER_EXECUTABLE),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return info.index == 0 ? std::string("Window") : std::string("KorvelServer");
                         });

} // namespace
} // namespace korvel::testing
