// korvel-server --publish on the session bus (run inside dbus-run-session; without a bus the
// publishing cases skip): a desktop client on a connection of its own reads, links and pokes the
// published holding registers while a master writes and reads them over Modbus/TCP; without a
// session bus the server says so once and serves on.
#include "dde/bus_names.h"
#include "dde/dde_texts.h"
#include "e2e/korvel_process.h"
#include "headless/headless_server.h"
#include "rules/publishing_rules.h"
#include "support/bus_client.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace korvel::testing {
namespace {

const QString kServer = QStringLiteral(KORVEL_SERVER_EXECUTABLE);
const QString kService = QStringLiteral("org.korvel.korvel_server");

QByteArray Hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// The server's arguments with a port of its own (also its base port).
struct PublishingServer {
    explicit PublishingServer(const QString& publish)
        : port(FreeLoopbackPort(4)),
          process({}, port, {QStringLiteral("--port"), QString::number(port), QStringLiteral("--publish"), publish},
                  kServer)
    {
        process.waitForErrorText(QStringLiteral("listening on"));
    }
    uint16_t port;
    KorvelProcess process;
};

TEST(HeadlessPublishing, DesktopClientAndMasterShareThePublishedRegisters)
{
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no session bus (run inside dbus-run-session)";
    PublishingServer server(QStringLiteral("holding:10-12"));
    ASSERT_TRUE(server.process.start());
    // The line names what this instance owns: its port name, and the service name it holds.
    const QString line = QString::fromStdString(
        FillText(texts::kPublishing,
                 {PortBusName(server.port).toStdString() + ", " + kService.toStdString(), "holding", "10", "12"}));
    ASSERT_TRUE(WaitUntil([&] { return server.process.errors().contains(line); }))
        << server.process.errors().toStdString();
    // The service name is this server's (no other instance runs on this bus).
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    ASSERT_TRUE(WaitUntil([&] { return bus->isServiceRegistered(kService).value(); }));

    BusClient desktop(QStringLiteral("e2e-headless-publishing"), kService);
    ASSERT_TRUE(desktop.connected());
    RawClient master;
    ASSERT_TRUE(master.connectTo(server.port));

    // A master's write to register 10 is what the desktop client reads.
    master.send(Hex("00 01 00 00 00 06 01 06 00 0A 12 34"));
    EXPECT_EQ(master.receive(12).toHex(' '), Hex("00 01 00 00 00 06 01 06 00 0A 12 34").toHex(' '));
    EXPECT_TRUE(WaitUntil([&] { return desktop.request("holding", "r10") == "4660"; }))
        << desktop.request("holding", "r10").toStdString();

    // A linked item tells its client of the master's next write.
    desktop.watch(QStringLiteral("holding"));
    EXPECT_EQ(desktop.link("holding", "r11"), "0");
    master.send(Hex("00 02 00 00 00 06 01 06 00 0B 01 01"));
    EXPECT_EQ(master.receive(12).size(), 12);
    EXPECT_TRUE(WaitUntil([&] {
        return std::count(desktop.spy.received.begin(), desktop.spy.received.end(),
                          std::pair(QStringLiteral("r11"), QStringLiteral("257"))) == 1;
    }));

    // A poked text becomes the register's value for the master.
    EXPECT_EQ(desktop.poke("holding", "r12", "1234"), "");
    const QByteArray read12 = Hex("00 03 00 00 00 06 01 03 00 0C 00 01");
    EXPECT_TRUE(WaitUntil([&] {
        master.send(read12);
        return master.receive(11) == Hex("00 03 00 00 00 05 01 03 02 04 D2");
    }));

    // Only the range is published, and only the holding table.
    const QString unknown = QStringLiteral("error:") + texts::kUnknownItemError;
    EXPECT_EQ(desktop.request("holding", "r13"), unknown);
    EXPECT_EQ(desktop.request("holding", "r9"), unknown);
    EXPECT_EQ(desktop.request("input", "r10"), unknown);

    // SIGTERM ends the passes within the close wait, and the names go.
    desktop.leave();
    QElapsedTimer timer;
    timer.start();
    server.process.stop();
    EXPECT_FALSE(server.process.running());
    EXPECT_EQ(server.process.process().exitCode(), 0);
    EXPECT_LT(timer.elapsed(), static_cast<qint64>(kCloseWaitMs));
    EXPECT_TRUE(WaitUntil([&] { return !bus->isServiceRegistered(kService).value(); }));
}

// A second instance does not own the service name: its line names only its port name, until the
// first one ends and the name passes to it.
TEST(HeadlessPublishing, ASecondInstanceNamesOnlyWhatItOwns)
{
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no session bus (run inside dbus-run-session)";
    auto lineOf = [](const QString& names) { // the event's text after its time
        return QLatin1Char(' ') +
               QString::fromStdString(FillText(texts::kPublishing, {names.toStdString(), "input", "0", "3"})) +
               QLatin1Char('\n');
    };
    PublishingServer first(QStringLiteral("input:0-3"));
    first.process.waitForErrorText(QStringLiteral("D-Bus publishing"));
    ASSERT_TRUE(first.process.start());
    PublishingServer second(QStringLiteral("input:0-3"));
    second.process.waitForErrorText(QStringLiteral("D-Bus publishing"));
    ASSERT_TRUE(second.process.start());
    const QString own = PortBusName(second.port);
    ASSERT_TRUE(WaitUntil([&] { return second.process.errors().contains(lineOf(own)); }))
        << second.process.errors().toStdString();
    EXPECT_FALSE(second.process.errors().contains(kService)) << second.process.errors().toStdString();

    BusClient desktop(QStringLiteral("e2e-headless-second"), own);
    EXPECT_EQ(desktop.request("input", "r3"), "0") << "the printed name reaches this instance";
    desktop.leave();

    first.process.stop();
    EXPECT_TRUE(WaitUntil([&] { return second.process.errors().contains(lineOf(own + ", " + kService)); }))
        << second.process.errors().toStdString();
    second.process.stop();
}

TEST(HeadlessPublishing, WholeTablesAreTornDownWithinTheCloseWait)
{
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no session bus (run inside dbus-run-session)";
    PublishingServer server(QStringLiteral("all"));
    ASSERT_TRUE(server.process.start());
    BusClient desktop(QStringLiteral("e2e-headless-publishing-all"), kService);
    ASSERT_TRUE(WaitUntil([&] { return desktop.request("holding", "r65535") == "0"; }, 30000));
    EXPECT_EQ(desktop.request("input", "r65535"), "0");
    desktop.leave();
    QElapsedTimer timer;
    timer.start();
    server.process.stop();
    EXPECT_FALSE(server.process.running());
    EXPECT_EQ(server.process.process().exitCode(), 0);
    EXPECT_LT(timer.elapsed(), static_cast<qint64>(kCloseWaitMs));
}

TEST(HeadlessPublishingWithoutBus, OneLineThenServesOn)
{
    const QByteArray saved = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/korvel-no-bus");
    PublishingServer server(QStringLiteral("holding:0-9"));
    const bool started = server.process.start();
    if (saved.isNull())
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    else
        qputenv("DBUS_SESSION_BUS_ADDRESS", saved);
    ASSERT_TRUE(started) << server.process.errors().toStdString();
    RawClient master;
    ASSERT_TRUE(master.connectTo(server.port));
    master.send(Hex("00 01 00 00 00 06 01 03 00 00 00 01"));
    EXPECT_EQ(master.receive(11).toHex(' '), Hex("00 01 00 00 00 05 01 03 02 00 00").toHex(' '));
    EXPECT_EQ(server.process.errors().count(QStringLiteral(" ") + QString::fromUtf8(texts::kPublishingNoBus) + "\n"), 1)
        << server.process.errors().toStdString();
    server.process.stop();
    EXPECT_EQ(server.process.process().exitCode(), 0);
}

} // namespace
} // namespace korvel::testing
