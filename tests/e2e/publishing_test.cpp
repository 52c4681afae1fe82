// The real korvel program on the session bus (run inside dbus-run-session; without a session bus
// these cases skip): its names, its topics from start-up, and a second program queued for the
// service name. Asked from this process's own bus connection and from gdbus, as a user would.
#include "dde/bus_names.h"
#include "dde/dde_texts.h"
#include "e2e/korvel_process.h"
#include "rules/publishing_rules.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace korvel::testing {
namespace {

const QString kService = QStringLiteral("org.korvel.korvel");

class PublishingProgram : public ::testing::Test {
  protected:
    void SetUp() override
    {
        bus = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("e2e-publishing")));
        if (!bus->isConnected())
            GTEST_SKIP() << "no session bus (run inside dbus-run-session)";
    }
    void TearDown() override
    {
        bus.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("e2e-publishing"));
    }
    QString ownerOf(const QString& name) const
    {
        const QDBusReply<QString> owner = bus->interface()->serviceOwner(name);
        return owner.isValid() ? owner.value() : QString();
    }
    // The service name's owner first, then the instances waiting for it.
    QStringList queue() const
    {
        QDBusMessage msg = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListQueuedOwners"));
        msg << kService;
        const QDBusMessage reply = bus->call(msg);
        return reply.arguments().value(0).toStringList();
    }
    QDBusMessage call(const QString& dest, const QString& path, const QString& method, const QVariantList& args)
    {
        QDBusMessage msg = QDBusMessage::createMethodCall(dest, path, texts::kTopicInterface, method);
        msg.setArguments(args);
        return bus->call(msg, QDBus::Block, 10000); // the program serves it: no loop needed here
    }
    bool waitOwner(const QString& name, int timeoutMs = 10000)
    {
        return WaitUntil([&] { return !ownerOf(name).isEmpty(); }, timeoutMs);
    }

    std::unique_ptr<QDBusConnection> bus;
};

TEST_F(PublishingProgram, NamesAndTopicsFromStartUp)
{
    KorvelProcess program;
    ASSERT_TRUE(program.start());
    const QString portName = PortBusName(program.basePort());
    ASSERT_TRUE(waitOwner(portName));
    EXPECT_TRUE(queue().contains(ownerOf(portName))); // owner of, or queued for, the service name

    // The topics exist before publishing: every item is unknown, and says which.
    for (const QString& topic : {QStringLiteral("input"), QStringLiteral("holding")}) {
        const QDBusMessage reply =
            call(portName, QLatin1Char('/') + topic, QStringLiteral("Request"), {QStringLiteral("r0")});
        EXPECT_EQ(reply.errorName(), texts::kUnknownItemError) << topic.toStdString();
        EXPECT_EQ(reply.errorMessage(), texts::kUnknownItemText.arg(QStringLiteral("r0"), topic));
    }
    EXPECT_EQ(call(portName, QStringLiteral("/input"), QStringLiteral("Poke"),
                   {QStringLiteral("r0"), QString(70000, QLatin1Char('1'))})
                  .errorName(),
              QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));

    // The same from a shell.
    const ToolRun gdbus =
        RunTool(QStringLiteral("gdbus"),
                {QStringLiteral("call"), QStringLiteral("--session"), QStringLiteral("--dest"), portName,
                 QStringLiteral("--object-path"), QStringLiteral("/holding"), QStringLiteral("--method"),
                 QStringLiteral("org.korvel.Topic.Request"), QStringLiteral("r13")});
    EXPECT_NE(gdbus.exitCode, 0);
    EXPECT_TRUE(gdbus.output.contains(texts::kUnknownItemError)) << gdbus.output.toStdString();

    // The close request ends the program at once when nothing is published.
    QElapsedTimer timer;
    timer.start();
    program.stop();
    EXPECT_FALSE(program.running());
    EXPECT_LT(timer.elapsed(), static_cast<qint64>(kCloseWaitMs));
    EXPECT_TRUE(WaitUntil([&] { return ownerOf(portName).isEmpty(); }));
}

TEST_F(PublishingProgram, SecondProgramQueuesForTheServiceAndOwnsItsPortName)
{
    QTemporaryDir atoms;
    KorvelProcess first(atoms.path());
    ASSERT_TRUE(first.start());
    const uint16_t base = first.basePort();
    KorvelProcess second(atoms.path(), base);
    ASSERT_TRUE(second.start(static_cast<uint16_t>(base + 1)));
    ASSERT_TRUE(waitOwner(PortBusName(base)));
    ASSERT_TRUE(waitOwner(PortBusName(base + 1)));
    const QString one = ownerOf(PortBusName(base));
    const QString two = ownerOf(PortBusName(base + 1));
    EXPECT_NE(one, two);
    const QStringList before = queue();
    ASSERT_TRUE(before.contains(one));
    ASSERT_TRUE(before.contains(two));
    EXPECT_LT(before.indexOf(one), before.indexOf(two)); // in the order they started
    EXPECT_NE(before.first(), two);                      // the second one waits

    // The first program ends: its names go, the second moves up (and owns the service name
    // when the first was its owner).
    const bool firstOwned = before.first() == one;
    first.stop();
    ASSERT_TRUE(WaitUntil([&] { return !queue().contains(one); }));
    EXPECT_TRUE(ownerOf(PortBusName(base)).isEmpty());
    EXPECT_TRUE(queue().contains(two));
    if (firstOwned && before.indexOf(two) == 1) {
        EXPECT_EQ(ownerOf(kService), two);
    }
    EXPECT_EQ(ownerOf(PortBusName(base + 1)), two);
}

TEST(PublishingWithoutBusTest, ProgramRunsNormallyWithoutASessionBus)
{
    const QByteArray saved = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/korvel-no-bus");
    KorvelProcess program;
    const bool started = program.start();
    if (saved.isNull())
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    else
        qputenv("DBUS_SESSION_BUS_ADDRESS", saved);
    ASSERT_TRUE(started);
    RawClient client;
    ASSERT_TRUE(client.connectTo(program.basePort()));
    client.send(ReadHolding(1, 0, 1));
    EXPECT_EQ(client.receive(11).size(), 11);
    EXPECT_TRUE(program.messages().isEmpty()) << program.messages().join('\n').toStdString();
    program.stop();
    EXPECT_FALSE(program.running());
}

} // namespace
} // namespace korvel::testing
