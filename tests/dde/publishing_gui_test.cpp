// Desktop publishing as a user switches it on and off in the main window, and as desktop clients
// see it on the session bus: items, links, pokes, Modbus writes reaching linked clients, the
// teardown, and what bad input a client can send.
#include "dde/publishing_fixture.h"
#include "support/accessible_text.h"
#include "ui/message_box.h"

#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSemaphore>
#include <memory>

namespace korvel::testing {
namespace {

using Publishing = PublishingFixture;

TEST_F(Publishing, AllInputRegistersAfterAnAscendingInitialisation)
{
    store.ascendingInput();
    choose(kInputRegisters);
    EXPECT_TRUE(dde->DDEServer1()->isChecked());
    ASSERT_TRUE(created());
    BusClient& c = client();
    EXPECT_EQ(c.request(QStringLiteral("input"), QStringLiteral("r0")), QStringLiteral("0"));
    EXPECT_EQ(c.request(QStringLiteral("input"), QStringLiteral("r933")), QStringLiteral("933"));
    EXPECT_EQ(c.request(QStringLiteral("input"), QStringLiteral("r65535")), QStringLiteral("65535"));
    EXPECT_EQ(c.request(QStringLiteral("holding"), QStringLiteral("r0")),
              QStringLiteral("error:") + texts::kUnknownItemError);
    EXPECT_EQ(form->publishing().DDEJobInputDonePerCent.load(), 100);
    EXPECT_EQ(input->items().count(), 65536u);
    int marked = 0;
    for (int n = 0; n < kRegisterCount; ++n)
        marked += (store.flags(static_cast<uint16_t>(n)) & kFlagInputPublished) ? 1 : 0;
    EXPECT_EQ(marked, kRegisterCount);
    EXPECT_TRUE(form->activity().InputDDEThreadRunning);
    EXPECT_FALSE(form->activity().HoldDDEThreadRunning);
}

TEST_F(Publishing, HoldingRangeLinkPokeAndModbus)
{
    choose(kHoldingRange, QStringLiteral("10"), QStringLiteral("12"));
    ASSERT_TRUE(created());
    BusClient& linked = client();
    BusClient& other = client();
    const QString topic = QStringLiteral("holding");
    EXPECT_EQ(linked.request(topic, QStringLiteral("r13")), QStringLiteral("error:") + texts::kUnknownItemError);
    EXPECT_EQ(linked.request(topic, QStringLiteral("r9")), QStringLiteral("error:") + texts::kUnknownItemError);
    linked.watch(topic);
    other.watch(topic); // listens but never links: it must hear nothing
    EXPECT_EQ(linked.link(topic, QStringLiteral("r11")), QStringLiteral("0"));

    // A Modbus master writes register 11: the linked client hears it within one pass.
    RawClient master;
    ASSERT_TRUE(master.connectTo(modbusPort()));
    master.send(WriteSingle(1, 11, 77));
    EXPECT_EQ(master.receive(12).size(), 12);
    ASSERT_TRUE(WaitUntil([&] { return !linked.spy.received.empty(); }, 2000));
    EXPECT_EQ(linked.spy.received.front(), std::make_pair(QStringLiteral("r11"), QStringLiteral("77")));

    // A poke lands in the register at the next pass; a Modbus master reads it back.
    EXPECT_EQ(other.poke(topic, QStringLiteral("r11"), QStringLiteral("1234")), QString());
    EXPECT_TRUE(WaitUntil([&] { return store.holding(11) == 1234; }, 2000));
    EXPECT_EQ(linked.spy.received.back(), std::make_pair(QStringLiteral("r11"), QStringLiteral("1234")));
    master.send(ReadHolding(2, 11, 1));
    EXPECT_EQ(master.receive(11).right(2), QByteArray::fromHex("04D2"));

    // "xyz" is ignored; "70000" becomes 4464 while the item keeps the text.
    other.poke(topic, QStringLiteral("r10"), QStringLiteral("xyz"));
    other.poke(topic, QStringLiteral("r12"), QStringLiteral("70000"));
    EXPECT_TRUE(WaitUntil([&] { return store.holding(12) == 4464; }, 2000));
    EXPECT_EQ(store.holding(10), 0);
    EXPECT_EQ(other.request(topic, QStringLiteral("r10")), QStringLiteral("xyz"));
    EXPECT_EQ(other.request(topic, QStringLiteral("r12")), QStringLiteral("70000"));
    QTest::qWait(120); // two more passes: nothing is published again
    EXPECT_EQ(other.request(topic, QStringLiteral("r12")), QStringLiteral("70000"));
    EXPECT_TRUE(other.spy.received.empty());
    EXPECT_EQ(linked.spy.received.size(), 2u);
}

TEST_F(Publishing, SingleAddressRangeLeavesThePercentageAlone)
{
    choose(kHoldingRange, QStringLiteral("10"), QStringLiteral("10"));
    ASSERT_TRUE(created());
    EXPECT_EQ(client().request(QStringLiteral("holding"), QStringLiteral("r10")), QStringLiteral("0"));
    EXPECT_EQ(form->publishing().DDEJobHoldDonePerCent.load(), 0);
    EXPECT_EQ(holding->items().count(), 1u);
}

TEST_F(Publishing, InputItemsAreAllCreatedBeforeTheFirstHoldingItem)
{
    choose(kInputAndHoldingRange, QStringLiteral("0"), QStringLiteral("100"));
    bool holdingBeforeInput = false;
    WaitUntil(
        [&] {
            holdingBeforeInput |= holding->items().count() > 0 && input->items().count() < 101;
            return !dde->flags().StartInputDDEReq && !dde->flags().StartHoldDDEReq;
        },
        20000);
    EXPECT_FALSE(holdingBeforeInput);
    EXPECT_EQ(input->items().count(), 101u);
    EXPECT_EQ(holding->items().count(), 101u);
}

TEST_F(Publishing, SwitchingOffRemovesEverythingAndEnablesTheItemAgain)
{
    choose(kAllInputAndHolding);
    ASSERT_TRUE(created());
    BusClient& c = client();
    EXPECT_EQ(c.request(QStringLiteral("holding"), QStringLiteral("r5")), QStringLiteral("0"));

    dde->DDEServer1()->trigger(); // checked: switches off
    EXPECT_FALSE(dde->DDEServer1()->isChecked());
    // The item is disabled for the teardown and enabled after it: both may come between two looks.
    bool disabledSeen = !dde->DDEServer1()->isEnabled();
    QObject::connect(dde->DDEServer1(), &QAction::enabledChanged, form.get(),
                     [&](bool enabled) { disabledSeen |= !enabled; });
    int lastPercent = 100;
    bool percentRose = false;
    ASSERT_TRUE(WaitUntil(
        [&] {
            const int p = form->publishing().DDEJobInputDonePerCent;
            percentRose |= p > lastPercent;
            lastPercent = p;
            return !form->activity().InputDDEThreadRunning && !form->activity().HoldDDEThreadRunning;
        },
        60000));
    EXPECT_TRUE(disabledSeen);
    EXPECT_FALSE(percentRose);
    EXPECT_TRUE(WaitUntil([&] { return dde->DDEServer1()->isEnabled(); }, 2000));
    EXPECT_EQ(form->publishing().DDEJobInputDonePerCent.load(), 0);
    EXPECT_EQ(form->publishing().DDEJobHoldDonePerCent.load(), 0);
    EXPECT_EQ(input->items().count(), 0u);
    EXPECT_EQ(holding->items().count(), 0u);
    for (int n = 0; n < kRegisterCount; ++n)
        ASSERT_EQ(store.flags(static_cast<uint16_t>(n)) & (kFlagInputPublished | kFlagHoldingPublished), 0) << n;
    EXPECT_EQ(c.request(QStringLiteral("holding"), QStringLiteral("r5")),
              QStringLiteral("error:") + texts::kUnknownItemError);

    // Publishing can be switched on again.
    choose(kHoldingRegisters);
    ASSERT_TRUE(created());
    EXPECT_EQ(c.request(QStringLiteral("holding"), QStringLiteral("r5")), QStringLiteral("0"));
}

TEST_F(Publishing, SwitchingOffDuringTheCreationPass)
{
    // The holding thread's creation pass is held after its item 1000 until the switch-off came.
    auto held = std::make_shared<QSemaphore>(); // shared: the thread may outlive a failed test
    auto goOn = std::make_shared<QSemaphore>();
    dde->flags().itemCreated = [held, goOn](TopicKind kind, int address) {
        if (kind == TopicKind::Holding && address == 1000) {
            held->release();
            goOn->tryAcquire(1, 60000);
        }
    };
    const auto letGo = qScopeGuard([goOn] { goOn->release(); });
    choose(kAllInputAndHolding);
    ASSERT_TRUE(WaitUntil([&] { return held->available() > 0; }, 60000));
    // Counted before the switch-off: from then on the input thread may be tearing its items down.
    EXPECT_EQ(input->items().count(), 65536u);
    EXPECT_EQ(holding->items().count(), 1001u);
    dde->DDEServer1()->trigger();
    EXPECT_TRUE(dde->flags().StartHoldDDEReq.load()); // still creating: the hook holds it
    goOn->release();
    ASSERT_TRUE(threadsEnded());
    EXPECT_EQ(input->items().count(), 0u);
    EXPECT_EQ(holding->items().count(), 0u);
    EXPECT_LT(dde->holdingThread()->IGotThisFar(), 0); // every item it made is gone
    for (int n = 0; n < kRegisterCount; ++n)
        ASSERT_EQ(store.flags(static_cast<uint16_t>(n)) & (kFlagInputPublished | kFlagHoldingPublished), 0) << n;
    EXPECT_FALSE(dde->flags().StartHoldDDEReq);
    EXPECT_TRUE(WaitUntil([&] { return dde->DDEServer1()->isEnabled(); }, 2000));
}

TEST_F(Publishing, AClientThatLeavesLeavesNoLinkBehind)
{
    choose(kInputRange, QStringLiteral("0"), QStringLiteral("9"));
    ASSERT_TRUE(created());
    BusClient& c = client();
    EXPECT_EQ(c.link(QStringLiteral("input"), QStringLiteral("r3")), QStringLiteral("0"));
    EXPECT_EQ(input->items().linkCount(3), 1u);
    c.leave();
    EXPECT_TRUE(WaitUntil([&] { return input->items().linkCount(3) == 0; }, 5000));
}

TEST_F(Publishing, UnlinkStopsTheSignals)
{
    choose(kInputRange, QStringLiteral("0"), QStringLiteral("9"));
    ASSERT_TRUE(created());
    BusClient& c = client();
    c.watch(QStringLiteral("input"));
    c.link(QStringLiteral("input"), QStringLiteral("r4"));
    EXPECT_EQ(c.text(QStringLiteral("input"), QStringLiteral("Unlink"), {QStringLiteral("r4")}), QString());
    store.setInput(4, 9);
    QTest::qWait(150);
    EXPECT_TRUE(c.spy.received.empty());
    EXPECT_EQ(c.request(QStringLiteral("input"), QStringLiteral("r4")), QStringLiteral("9"));
}

TEST_F(Publishing, ManyClientsLinkingTheSameItemAreEachTold)
{
    choose(kHoldingRange, QStringLiteral("0"), QStringLiteral("0"));
    ASSERT_TRUE(created());
    constexpr int kClients = 20;
    for (int i = 0; i < kClients; ++i) {
        BusClient& c = client();
        c.watch(QStringLiteral("holding"));
        ASSERT_EQ(c.link(QStringLiteral("holding"), QStringLiteral("r0")), QStringLiteral("0"));
        c.link(QStringLiteral("holding"), QStringLiteral("r0")); // twice: still one link
    }
    EXPECT_EQ(holding->items().linkCount(0), static_cast<size_t>(kClients));
    store.setHolding(0, 42);
    EXPECT_TRUE(WaitUntil(
        [&] {
            for (const auto& c : clients) {
                if (c->spy.received.empty())
                    return false;
            }
            return true;
        },
        5000));
    for (const auto& c : clients)
        EXPECT_EQ(c->spy.received.size(), 1u);
}

TEST_F(Publishing, BadItemsAndOversizedPokes)
{
    choose(kInputRange, QStringLiteral("5"), QStringLiteral("6"));
    ASSERT_TRUE(created());
    BusClient& c = client();
    const QString topic = QStringLiteral("input");
    for (const char* item : {"r05", "r005", "r+5", "r-5", "r 5", "R5", "r5 ", "r", "", "5", "r65536", "r7", "input"}) {
        const QDBusMessage reply = c.call(topic, QStringLiteral("Request"), {QString::fromLatin1(item)});
        EXPECT_EQ(reply.errorName(), texts::kUnknownItemError) << item;
        EXPECT_EQ(reply.errorMessage(), texts::kUnknownItemText.arg(QString::fromLatin1(item), topic));
        for (const char* method : {"Poke", "Link", "Unlink"}) {
            QVariantList args{QString::fromLatin1(item)};
            if (QLatin1String(method) == QLatin1String("Poke"))
                args << QStringLiteral("1");
            EXPECT_EQ(c.call(topic, QLatin1String(method), args).errorName(), texts::kUnknownItemError)
                << item << method;
        }
    }
    // 1 KiB is taken (the first line is kept), one byte more is refused.
    EXPECT_EQ(c.poke(topic, QStringLiteral("r5"), QString(1024, QLatin1Char('7'))), QString());
    EXPECT_EQ(c.poke(topic, QStringLiteral("r6"), QString(1025, QLatin1Char('7'))),
              QStringLiteral("error:org.freedesktop.DBus.Error.InvalidArgs"));
    EXPECT_EQ(c.request(topic, QStringLiteral("r6")), QStringLiteral("0"));
    EXPECT_EQ(c.poke(topic, QStringLiteral("r6"), QStringLiteral("12\nsecond line")), QString());
    EXPECT_EQ(c.request(topic, QStringLiteral("r6")), QStringLiteral("12"));
    // A wrong signature is the bus's error, and nothing is published.
    EXPECT_EQ(c.call(topic, QStringLiteral("Request"), {5}).type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(input->items().count(), 2u);
}

TEST_F(Publishing, TheLiveInterfaceIsTheShippedIntrospectionFile)
{
    QDBusMessage msg = QDBusMessage::createMethodCall(server, QStringLiteral("/holding"),
                                                      QStringLiteral("org.freedesktop.DBus.Introspectable"),
                                                      QStringLiteral("Introspect"));
    QFile file(QStringLiteral(KORVEL_SOURCE_DIR "/dbus/org.korvel.Topic.xml"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    auto interfaceOf = [](QString xml) {
        xml.remove(QRegularExpression(QStringLiteral("<!--.*?-->"), QRegularExpression::DotMatchesEverythingOption));
        const qsizetype from = xml.indexOf(QStringLiteral("<interface name=\"org.korvel.Topic\">"));
        const qsizetype to = xml.indexOf(QStringLiteral("</interface>"), from);
        return xml.mid(from, to - from).simplified().remove(QLatin1Char(' '));
    };
    QDBusConnection probe = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("introspect"));
    QDBusPendingCall pending = probe.asyncCall(msg);
    ASSERT_TRUE(WaitUntil([&] { return pending.isFinished(); }));
    const QString live = pending.reply().arguments().value(0).toString();
    EXPECT_EQ(interfaceOf(live), interfaceOf(QString::fromUtf8(file.readAll())));
    EXPECT_FALSE(interfaceOf(live).isEmpty());
    QDBusConnection::disconnectFromBus(QStringLiteral("introspect"));
}

TEST_F(Publishing, CloseWaitsForTheThreadsAndEndsThem)
{
    choose(kAllInputAndHolding); // the creation pass is still running when the close comes
    ASSERT_TRUE(WaitUntil([&] { return input->items().count() > 0; }, 10000));
    QElapsedTimer timer;
    timer.start();
    form->close();
    EXPECT_LT(timer.elapsed(), static_cast<qint64>(kCloseWaitMs));
    EXPECT_FALSE(form->activity().InputDDEThreadRunning);
    EXPECT_FALSE(form->activity().HoldDDEThreadRunning);
    EXPECT_GT(input->items().count(), 0u); // a terminated thread leaves its items to the window
}

// The dialog as a user sees it.
class DdeDialog : public PublishingFixture {};

TEST_F(DdeDialog, ChoicesEditsAndRangeErrors)
{
    std::vector<ShownMessage> shown;
    SetMessageHook([&](const ShownMessage& m) {
        shown.push_back(m);
        return QMessageBox::Ok;
    });
    TfrmDDESelections* dialog = dde->createDialog();
    dialog->show();
    EXPECT_EQ(dialog->windowTitle(), texts::kDdeDialogTitle);
    EXPECT_TRUE(dialog->choice(kHoldingRange)->isChecked());
    EXPECT_TRUE(dialog->EditLow->isVisible());
    EXPECT_TRUE(dialog->EditLow->text().isEmpty());
    EXPECT_EQ(dialog->EditLow->maxLength(), 5);
    for (int i = 0; i < 6; ++i) {
        dialog->choice(i)->setChecked(true); // any change of state counts, not only clicks
        EXPECT_EQ(dialog->EditLow->isVisible(), IsRangeChoice(i)) << i;
        EXPECT_EQ(dialog->Edithigh->isEnabled(), IsRangeChoice(i)) << i;
    }
    dialog->choice(kHoldingRange)->setChecked(true);
    for (auto [from, to] : {std::pair{"200", "100"}, std::pair{"0", "70000"}, std::pair{"abc", "5"}}) {
        dialog->EditLow->setText(QString::fromLatin1(from));
        dialog->Edithigh->setText(QString::fromLatin1(to));
        QTest::mouseClick(dialog->OKBtn, Qt::LeftButton);
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back().text, texts::kDdeRangeError);
        EXPECT_TRUE(dialog->isVisible());
    }
    EXPECT_FALSE(form->activity().HoldDDEThreadRunning);
    EXPECT_FALSE(dde->DDEServer1()->isChecked());

    QTest::mouseClick(dialog->HelpBtn, Qt::LeftButton);
    EXPECT_TRUE(shown.back().caption == texts::kDdeHelpTitle || shown.back().caption == texts::kDdeHelpRareTitle);
    const QStringList lines = shown.back().text.split(QLatin1Char('\r'));
    ASSERT_EQ(lines.size(), 12); // eleven lines, each ended by a CR
    EXPECT_EQ(
        lines[9],
        QStringLiteral("\"%1 /input r933\" points to the input register 933. ").arg(form->busNames().serviceName()));
    EXPECT_EQ(lines[10], QStringLiteral("\"%1 /holding r8862\" points to the holding register 8862.")
                             .arg(form->busNames().serviceName()));
    EXPECT_FALSE(shown.back().text.contains(QLatin1Char('\n')));

    QTest::keyClick(dialog, Qt::Key_Escape); // Cancel: nothing changes
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(dde->DDEServer1()->isChecked());
    SetMessageHook(nullptr);
}

TEST_F(DdeDialog, TheMenuItemSitsAboveShowTooltips)
{
    const QList<QAction*> actions = form->optionsMenu()->actions();
    const qsizetype at = actions.indexOf(dde->DDEServer1());
    ASSERT_GE(at, 0);
    EXPECT_EQ(actions.value(at + 1), form->ShowTooltips());
    EXPECT_EQ(dde->DDEServer1()->text(), texts::kDdeServer);
}

TEST_F(DdeDialog, ChoicesAndButtonsAreNamedWithoutTheirMarkers)
{
    TfrmDDESelections* dialog = dde->createDialog();
    dialog->show();
    EXPECT_EQ(AccessibleText(dialog->choice(kAllInputAndHolding), QAccessible::Name).toStdString(),
              (QStringLiteral("All Input and Holding registers")).toStdString());
    EXPECT_EQ(AccessibleText(dialog->choice(kInputAndHoldingRange), QAccessible::Name).toStdString(),
              (QStringLiteral("Range of Input and Holding registers")).toStdString());
    EXPECT_EQ(AccessibleText(dialog->OKBtn, QAccessible::Name).toStdString(), (QStringLiteral("OK")).toStdString());
    EXPECT_EQ(AccessibleNameFaults(dialog), "");
    dialog->close();
}

} // namespace
} // namespace korvel::testing
