// Several korvel programs sharing one atom folder: port choice and stale reservations.
#include "common/register_store.h"
#include "e2e/korvel_process.h"
#include "instances/atom_registry.h"
#include "instances/port_reservation.h"
#include "server/server_engine.h"
#include "server_ui/server_connections.h"
#include "shell/main_window.h"
#include "shell/port_control.h"
#include "ui/message_box.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace korvel::testing {
namespace {

QString PortChanged(int port, int base)
{
    return QStringLiteral("Korvel Modbus/TCP server - client\tPort changed to %1. Default port %2 is currently "
                          "used by other instance of Korvel.")
        .arg(port)
        .arg(base);
}

TEST(InstancesTest, SecondProgramTakesTheNextPortAndBothServe)
{
    QTemporaryDir atoms;
    KorvelProcess first(atoms.path());
    ASSERT_TRUE(first.start());
    const uint16_t base = first.basePort();
    KorvelProcess second(atoms.path(), base);
    ASSERT_TRUE(second.start(static_cast<uint16_t>(base + 1)));
    EXPECT_TRUE(first.messages().isEmpty()) << first.messages().join('\n').toStdString();
    EXPECT_EQ(second.messages(), QStringList{PortChanged(base + 1, base)})
        << second.messages().join('\n').toStdString();

    for (uint16_t port : {base, static_cast<uint16_t>(base + 1)}) {
        RawClient client;
        ASSERT_TRUE(client.connectTo(port));
        client.send(ReadHolding(port, 0, 1));
        EXPECT_EQ(client.receive(11).size(), 11) << port;
    }

    // A program that is ended gives its port back.
    first.stop();
    KorvelProcess third(atoms.path(), base);
    ASSERT_TRUE(third.start());
    EXPECT_TRUE(third.messages().isEmpty()) << third.messages().join('\n').toStdString();
}

TEST(InstancesTest, KilledProgramsPortIsFreeAndPurgeClearsAnOlderVersionsReservation)
{
    QTemporaryDir atoms;
    KorvelProcess killed(atoms.path());
    ASSERT_TRUE(killed.start());
    const uint16_t base = killed.basePort();
    killed.killHard();

    KorvelProcess next(atoms.path(), base);
    ASSERT_TRUE(next.start(base));
    EXPECT_TRUE(next.messages().isEmpty()) << next.messages().join('\n').toStdString();
    next.stop();

    // A reservation without an owner (an older version's) stays until purged.
    AtomRegistry(atoms.path()).add(PortAtomName(base));
    // Purge from an instance in this process: the stale reservation goes.
    qputenv("KORVEL_ATOM_DIR", atoms.path().toUtf8());
    qputenv("KORVEL_PORT", QByteArray::number(base));
    std::vector<ShownMessage> shown;
    SetMessageHook([&](const ShownMessage& m) {
        shown.push_back(m);
        return m.kind == MessageKind::Question ? QMessageBox::Yes : QMessageBox::Ok;
    });
    {
        RegisterStore store;
        ServerEngine engine(store);
        TChatForm form(store, engine, {});
        EXPECT_EQ(form.serverConnections().ServerPort, base + 1);
        form.portControl().PurgeClick();
    }
    SetMessageHook(nullptr);
    qunsetenv("KORVEL_ATOM_DIR");
    qunsetenv("KORVEL_PORT");
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().text, QStringLiteral("2 ports used by Korvel found. 2 blocking(s) succesfully removed"));

    KorvelProcess after(atoms.path(), base);
    ASSERT_TRUE(after.start());
    EXPECT_TRUE(after.messages().isEmpty()) << after.messages().join('\n').toStdString();
}

} // namespace
} // namespace korvel::testing
