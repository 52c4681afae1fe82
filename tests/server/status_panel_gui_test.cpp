// The "Server" group, the status bar, the tray timer and the Options > Modbus test options, driven
// as a user would: a real client on loopback talks to the window's server, menu items are
// triggered, labels are read, the tray timer's handler is called instead of waiting for it.
#include "common/register_store.h"
#include "log/packet_log.h"
#include "server/server_engine.h"
#include "server_ui/server_connections.h"
#include "server_ui/status_panel.h"
#include "shell/main_window.h"
#include "ui/message_box.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace korvel {
namespace {

QByteArray Hex(const char* text)
{
    return QByteArray::fromHex(text);
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 3000)
{
    for (int waited = 0; !condition(); waited += 5) {
        if (waited >= timeoutMs)
            return false;
        QTest::qWait(5);
    }
    return true;
}

int FreePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

class ServerWindow : public ::testing::Test {
  protected:
    void SetUp() override
    {
        qputenv("KORVEL_ATOM_DIR", atoms_.path().toLocal8Bit());
        qputenv("KORVEL_PORT", QByteArray::number(FreePort()));
        SetMessageHook([this](const ShownMessage& m) {
            messages_.push_back(m.text);
            return QMessageBox::Ok;
        });
        store_ = std::make_unique<RegisterStore>();
        engine_ = std::make_unique<ServerEngine>(*store_);
        form_ = std::make_unique<TChatForm>(*store_, *engine_, QStringList{});
        panel_ = form_->findChild<ServerStatusPanel*>();
        ASSERT_NE(panel_, nullptr);
    }
    void TearDown() override
    {
        for (auto& client : clients_)
            client->abort();
        clients_.clear();
        form_.reset();
        SetMessageHook(nullptr);
    }

    QString label(const char* name)
    {
        auto* l = form_->findChild<QLabel*>(QString::fromLatin1(name));
        return l ? l->text() : QStringLiteral("<no label %1>").arg(QLatin1String(name));
    }
    QAction* action(const char* name) { return form_->findChild<QAction*>(QString::fromLatin1(name)); }
    QMenu* menu(const char* name) { return form_->findChild<QMenu*>(QString::fromLatin1(name)); }

    // A client connected to the window's server, accepted into the next free slot.
    QTcpSocket* connectClient()
    {
        auto client = std::make_unique<QTcpSocket>();
        client->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(form_->serverConnections().ServerPort));
        if (!client->waitForConnected(3000))
            return nullptr;
        const int slot = static_cast<int>(clients_.size()) + 1;
        // The window has taken the client in once its Nagle item is usable.
        if (!WaitFor([&] { return form_->serverConnections().mConnection(slot)->isEnabled(); }))
            return nullptr;
        clients_.push_back(std::move(client));
        return clients_.back().get();
    }

    // Sends one frame and returns what comes back within `timeoutMs` (empty when nothing does).
    QByteArray exchange(QTcpSocket* client, const QByteArray& request, int timeoutMs = 3000)
    {
        client->write(request);
        client->flush();
        QSignalSpy ready(client, &QIODevice::readyRead);
        if (client->bytesAvailable() == 0)
            ready.wait(timeoutMs);
        return client->readAll();
    }

    QTemporaryDir atoms_;
    std::vector<QString> messages_;
    std::unique_ptr<RegisterStore> store_;
    std::unique_ptr<ServerEngine> engine_;
    std::unique_ptr<TChatForm> form_;
    ServerStatusPanel* panel_ = nullptr;
    std::vector<std::unique_ptr<QTcpSocket>> clients_;
};

TEST_F(ServerWindow, IdlePanelShowsResetValuesAndTheOptions)
{
    EXPECT_EQ(label("lblIP1"), "--");
    EXPECT_EQ(label("lblNagle2"), "--");
    EXPECT_EQ(label("lblPoll1"), "0 ms");
    EXPECT_EQ(label("lblHeaderCheck1"), "--");
    EXPECT_EQ(label("lblTI1"), "00 00  (0)");
    EXPECT_EQ(label("lblPID2"), "00 00");
    EXPECT_EQ(label("lblUID1"), "00     (0)");
    EXPECT_EQ(label("lblFC2"), "00     (0)");
    EXPECT_EQ(label("lblWordCount2"), "00 00  (0)");
    EXPECT_EQ(label("lblPort"), QString::number(form_->serverConnections().ServerPort));
    EXPECT_EQ(label("lblRecords"), "--");
    EXPECT_EQ(label("lblRetExc"), "Off");
    EXPECT_EQ(label("lblOutOfSynchStatus"), "Off");
    EXPECT_EQ(panel_->title(), "Server");
    EXPECT_EQ(panel_->Timer1()->interval(), 3040);
    EXPECT_TRUE(panel_->Timer1()->isActive());
}

TEST_F(ServerWindow, ExampleRequestFieldsAndTheAddressOffset)
{
    QTcpSocket* client = connectClient();
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(label("lblIP1"), "127.0.0.1");
    EXPECT_EQ(label("lblNagle1"), "Enabled");

    const QByteArray request = Hex("010200000006010300100002");
    EXPECT_EQ(exchange(client, request), Hex("01020000000701030400000000"));
    EXPECT_EQ(label("lblTI1"), "01 02  (258)");
    EXPECT_EQ(label("lblPID1"), "00 00");
    EXPECT_EQ(label("lblMsgLen1"), "00 06  (6)");
    EXPECT_EQ(label("lblUID1"), "01     (1)");
    EXPECT_EQ(label("lblFC1"), "03     (3)");
    EXPECT_EQ(label("lblStartAdd1"), "00 10  (16)");
    EXPECT_EQ(label("lblWordCount1"), "00 02  (2)");
    EXPECT_EQ(label("lblHeaderCheck1"), "Passed");
    EXPECT_EQ(label("lblPacketSize1"), "12");
    EXPECT_EQ(label("lblDataRecv1"), "12");
    EXPECT_EQ(label("lblDataSent1"), "13");
    EXPECT_EQ(label("lblTI2"), "00 00  (0)"); // the other connection is untouched

    // With the offset on, register 17 answers and the field shows the register used.
    store_->setHolding(17, 0xABCD);
    action("Useaddressoffset1")->trigger();
    EXPECT_EQ(label("lblAddrOffset"), "On");
    QTest::qWait(80);
    EXPECT_EQ(exchange(client, request), Hex("010200000007010304ABCD0000"));
    EXPECT_EQ(label("lblStartAdd1"), "00 10  (17)");
    EXPECT_EQ(label("lblDataSent1"), "26");
    // The poll interval shows the longer of the last two gaps.
    const QString poll = label("lblPoll1");
    ASSERT_TRUE(poll.endsWith(" ms"));
    EXPECT_GE(poll.chopped(3).toInt(), 80);
    EXPECT_LT(poll.chopped(3).toInt(), 3000);

    action("Useaddressoffset1")->trigger();
    EXPECT_EQ(label("lblAddrOffset"), "Off");
    EXPECT_EQ(exchange(client, request), Hex("0102000000070103040000ABCD"));
}

// A log that records and has counted some packets.
struct CountingLog : PacketLog {
    bool LogRecording() const override { return true; }
    int LoggedPackets() const override { return 42; }
    LogWrite LogPacket(const LogPacketInput&) override { return {}; }
};

TEST_F(ServerWindow, PortNagleAndLogLabelsFollowTheirSwitches)
{
    auto* connections = form_->findChild<ServerConnections*>();
    ASSERT_NE(connections, nullptr);
    const QString port = QString::number(form_->serverConnections().ServerPort);
    connections->Listen()->trigger();
    EXPECT_EQ(label("lblPort"), port + "    DEACTIVE");
    connections->Listen()->trigger();
    EXPECT_EQ(label("lblPort"), port);

    QTcpSocket* client = connectClient();
    ASSERT_NE(client, nullptr);
    connections->mConnection(1)->trigger();
    EXPECT_EQ(label("lblNagle1"), connections->mConnection(1)->isChecked() ? "Disabled" : "Enabled");
    EXPECT_EQ(label("lblNagle2"), "--");

    CountingLog log;
    PacketLog* real = connections->packetLog();
    connections->setPacketLog(&log);
    form_->refreshRequests().RefreshServerPanel(PanelPart::Options);
    EXPECT_EQ(label("lblRecords"), "42");
    connections->setPacketLog(real);
    form_->refreshRequests().RefreshServerPanel(PanelPart::Options);
    EXPECT_EQ(label("lblRecords"), "--");
}

TEST_F(ServerWindow, WriteSingleAndMaskWriteAlwaysShowOneWord)
{
    QTcpSocket* client = connectClient();
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(exchange(client, Hex("000500000006010600201234")), Hex("000500000006010600201234"));
    EXPECT_EQ(label("lblWordCount1"), "00 01  (1)");
    EXPECT_EQ(label("lblFC1"), "06     (6)");
    EXPECT_EQ(exchange(client, Hex("0006000000080116002000F20025")), Hex("0006000000080116002000F20025"));
    EXPECT_EQ(label("lblWordCount1"), "00 01  (1)");
    EXPECT_EQ(label("lblFC1"), "16     (22)");
    EXPECT_EQ(exchange(client, Hex("000700000006010300200003")).size(), 15);
    EXPECT_EQ(label("lblWordCount1"), "00 03  (3)");
}

TEST_F(ServerWindow, WrongUnitIdFailsInPanelStatusBarAndTray)
{
    form_->changeServerSettings([](ServerSettings& s) { s.check.setUidSelectorText("5"); });
    QTcpSocket* client = connectClient();
    ASSERT_NE(client, nullptr);
    client->write(Hex("010200000006010300100002"));
    ASSERT_TRUE(WaitFor([&] { return label("lblHeaderCheck1") == "Failed"; }));
    EXPECT_EQ(client->bytesAvailable(), 0); // no reply for another unit
    const QRegularExpression status(QStringLiteral("^\\d{1,2}:\\d{2}:\\d{2}( [AP]M)? #1: Illegal UID\\. $"));
    EXPECT_TRUE(status.match(form_->statusMessage()).hasMatch()) << form_->statusMessage().toStdString();

    panel_->Timer1Timer();
    EXPECT_EQ(form_->trayPicture(), 13);
    ASSERT_NE(form_->trayIcon(), nullptr);
    EXPECT_EQ(form_->trayIcon()->toolTip(), "--Illegal UID.  | --");

    // The failure mark lasts one tick; a passing request clears "Failed".
    panel_->Timer1Timer();
    EXPECT_EQ(form_->trayPicture(), 1);
    EXPECT_TRUE(form_->trayIcon()->toolTip().startsWith("Korvel - Client #1:[127.0.0.1]  Client #2:[--]. Sent 0"));
    form_->changeServerSettings([](ServerSettings& s) { s.check.setUidSelectorText("1"); });
    EXPECT_EQ(exchange(client, Hex("010300000006010300100002")).size(), 13);
    EXPECT_EQ(label("lblHeaderCheck1"), "Passed");

    // A double click on the status bar clears the message.
    QTest::mouseDClick(form_->statusBar(), Qt::LeftButton);
    EXPECT_EQ(form_->statusMessage(), "");
}

TEST_F(ServerWindow, TrayPicturesCycleOnlyWhileRepliesGoOut)
{
    QTcpSocket* client = connectClient();
    ASSERT_NE(client, nullptr);
    std::vector<int> pictures;
    for (int tick = 0; tick < 13; ++tick) {
        ASSERT_EQ(exchange(client, Hex("000100000006000300000001")).size(), 11);
        panel_->Timer1Timer();
        pictures.push_back(form_->trayPicture());
    }
    EXPECT_EQ(pictures, (std::vector<int>{2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 1, 2}));
    panel_->Timer1Timer();
    EXPECT_EQ(form_->trayPicture(), 1);
    panel_->Timer1Timer();
    EXPECT_EQ(form_->trayPicture(), 1);
}

TEST_F(ServerWindow, ForcedExceptionAndHeaderFaultsExcludeEachOther)
{
    QTcpSocket* client = connectClient();
    ASSERT_NE(client, nullptr);
    QAction* busy = action("exp6");
    ASSERT_NE(busy, nullptr);
    EXPECT_EQ(busy->text(), "Slave Device &Busy");

    busy->trigger();
    EXPECT_EQ(label("lblRetExc"), "On 06  (6)");
    EXPECT_FALSE(action("UsewrongTI1")->isEnabled());
    EXPECT_FALSE(action("ReturnIncorrectProtocolID1")->isEnabled());
    EXPECT_FALSE(action("ReturnIncorrectLengthHB1")->isEnabled());
    EXPECT_EQ(exchange(client, Hex("000900000006010300000001")), Hex("000900000003018306"));

    // Choosing another exception replaces it; choosing the checked one switches it off.
    action("exp10")->trigger();
    EXPECT_FALSE(busy->isChecked());
    EXPECT_EQ(label("lblRetExc"), "On 0A  (10)");
    EXPECT_EQ(exchange(client, Hex("000A00000006010600050007")), Hex("000A0000000301860A"));
    EXPECT_EQ(store_->holding(5), 7); // executed before the reply was replaced
    action("exp10")->trigger();
    EXPECT_EQ(label("lblRetExc"), "Off");
    EXPECT_TRUE(action("UsewrongTI1")->isEnabled());
    EXPECT_TRUE(action("ReturnIncorrectLengthHB1")->isEnabled());
    EXPECT_EQ(exchange(client, Hex("000B00000006010300050001")), Hex("000B000000050103020007"));

    QMenu* exceptions = menu("ReturnException1");
    ASSERT_NE(exceptions, nullptr);
    action("UsewrongTI1")->trigger();
    EXPECT_EQ(label("lblIncorrTI"), "On");
    EXPECT_FALSE(exceptions->menuAction()->isEnabled());
    EXPECT_EQ(exchange(client, Hex("000C00000006010300050001")).left(2), Hex("DEAD"));
    EXPECT_EQ(exchange(client, Hex("12AD00000006010300050001")).left(2), Hex("BABE"));
    action("ReturnIncorrectProtocolID1")->trigger();
    action("UsewrongTI1")->trigger();
    EXPECT_FALSE(exceptions->menuAction()->isEnabled()); // the PID fault still holds it
    EXPECT_EQ(label("lblIncorrPID"), "On");
    EXPECT_EQ(exchange(client, Hex("000D00000006010300050001")), Hex("000DABCD00050103020007"));
    action("ReturnIncorrectProtocolID1")->trigger();
    action("ReturnIncorrectLengthHB1")->trigger();
    EXPECT_EQ(label("lblIncorrLength"), "On");
    EXPECT_EQ(exchange(client, Hex("000E00000006010300050001")), Hex("000E0000EF050103020007"));
    action("ReturnIncorrectLengthHB1")->trigger();
    EXPECT_TRUE(exceptions->menuAction()->isEnabled());
}

TEST_F(ServerWindow, ServedFunctionsAndTheirMessages)
{
    QTcpSocket* client = connectClient();
    ASSERT_NE(client, nullptr);
    action("FC31")->trigger();
    EXPECT_EQ(exchange(client, Hex("000100000006010300000001")), Hex("000100000003018301"));
    action("FC31")->trigger();
    EXPECT_EQ(exchange(client, Hex("000200000006010300000001")).size(), 11);

    // Unchecking FC7 says nothing; checking it again tells where the status comes from and opens
    // a set-value dialog on that register.
    store_->setHolding(0xFFFF, 0x12AB);
    action("FC71")->trigger();
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(exchange(client, Hex("0003000000020107")), Hex("000300000003018701"));
    action("FC71")->trigger();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_.back(), "Exception status returned by this function is low byte of holding register 65535.");
    EXPECT_EQ(form_->viewOptions().VLEPointedRegister, "65535");
    EXPECT_TRUE(WaitFor([&] { return form_->viewOptions().amount_of_setval_windows == 1; }));
    EXPECT_EQ(exchange(client, Hex("0004000000020107")), Hex("0004000000030107AB"));

    form_->viewOptions().setShowregistersathex(true);
    action("FC71")->trigger();
    action("FC71")->trigger();
    EXPECT_EQ(messages_.back(), "Exception status returned by this function is low byte of holding register 0xFFFF.");
    EXPECT_EQ(form_->viewOptions().VLEPointedRegister, "FFFF");
    action("FC81")->trigger();
    action("FC81")->trigger();
    EXPECT_EQ(messages_.back(), "\"Diagnostic register\" used by sub-functions 2 and 10 is holding register 0xFFFE.");
}

TEST_F(ServerWindow, OutOfSynchAnswersOneRequestLate)
{
    QTcpSocket* client = connectClient();
    ASSERT_NE(client, nullptr);
    action("PostponeReply1")->trigger();
    EXPECT_EQ(label("lblOutOfSynchStatus"), "On");
    EXPECT_EQ(exchange(client, Hex("00A100000006010300000001"), 300), QByteArray());
    EXPECT_EQ(exchange(client, Hex("00A200000006010300000001")).left(2), Hex("00A1"));
    action("PostponeReply1")->trigger();
    EXPECT_EQ(label("lblOutOfSynchStatus"), "Off");
    EXPECT_EQ(exchange(client, Hex("00A300000006010300000001")).left(2), Hex("00A3"));
}

TEST_F(ServerWindow, OptionShortcutsWorkWithTheMenuClosed)
{
    form_->show();
    form_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
    QTest::keyClick(form_.get(), Qt::Key_O, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_TRUE(form_->serverSettings().check.addressOffset);
    EXPECT_EQ(label("lblAddrOffset"), "On");
    QTest::keyClick(form_.get(), Qt::Key_S, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_TRUE(form_->serverSettings().OutOfSynchActive);
    EXPECT_EQ(label("lblOutOfSynchStatus"), "On");
}

TEST_F(ServerWindow, DdeProgressSuffixAppearsOnceAndGoesAway)
{
    const QString title = form_->windowTitle();
    form_->publishing().DDEJobInputDonePerCent = 40;
    panel_->Timer1Timer();
    panel_->Timer1Timer();
    EXPECT_EQ(form_->windowTitle(), title + " ** DDE: 40|0%");
    EXPECT_EQ(panel_->Timer1()->interval(), 1000);
    EXPECT_TRUE(form_->trayIcon()->toolTip().endsWith(". DDE: Input 40% / Holding 0%"));
    form_->publishing().DDEJobInputDonePerCent = 100;
    panel_->Timer1Timer();
    EXPECT_EQ(form_->windowTitle(), title);
    EXPECT_EQ(panel_->Timer1()->interval(), 3000);
}

TEST_F(ServerWindow, DisconnectShowsTheResetValues)
{
    QTcpSocket* client = connectClient();
    ASSERT_NE(client, nullptr);
    ASSERT_EQ(exchange(client, Hex("010200000006010300100002")).size(), 13);
    client->disconnectFromHost();
    ASSERT_TRUE(WaitFor([&] { return label("lblIP1") == "--"; }));
    EXPECT_EQ(label("lblTI1"), "00 00  (0)");
    EXPECT_EQ(label("lblUID1"), "00     (0)");
    EXPECT_EQ(label("lblDataSent1"), "0");
    EXPECT_EQ(label("lblNagle1"), "--");
}

TEST_F(ServerWindow, InitializeMenuSetsValuesOnly)
{
    QTcpSocket* client = connectClient();
    ASSERT_NE(client, nullptr);
    store_->orFlags(0xFFFF, kFlagHoldingRead | kFlagHoldingPublished);
    store_->setInput(7, 99);
    action("Ascendingvalue1")->trigger();
    EXPECT_EQ(exchange(client, Hex("0001000000020107")), Hex("0001000000030107FF"));
    EXPECT_EQ(exchange(client, Hex("000200000006010800020000")), Hex("00020000000601080002FFFE"));
    EXPECT_EQ(store_->input(7), 99);
    EXPECT_EQ(store_->flags(0xFFFF), kFlagHoldingRead | kFlagHoldingPublished);

    action("Ascendingvalue2")->trigger();
    EXPECT_EQ(exchange(client, Hex("000300000006010400070002")), Hex("00030000000701040400070008"));
    action("Allto02")->trigger();
    EXPECT_EQ(store_->input(65535), 0);
    EXPECT_EQ(store_->holding(65535), 65535);
    action("Allto01")->trigger();
    EXPECT_EQ(exchange(client, Hex("0004000000020107")), Hex("000400000003010700"));
    EXPECT_EQ(store_->flags(0xFFFF), kFlagHoldingRead | kFlagHoldingPublished);
}

TEST_F(ServerWindow, ValuesTellTheirRowToAssistiveTechnology)
{
    auto accessible = [&](const char* name) {
        return QAccessible::queryAccessibleInterface(form_->findChild<QLabel*>(QString::fromLatin1(name)));
    };
    ASSERT_NE(accessible("lblIP1"), nullptr);
    EXPECT_EQ(accessible("lblIP1")->text(QAccessible::Description), "Connection IP #1");
    EXPECT_EQ(accessible("lblDataSent2")->text(QAccessible::Description), "Data sent #2");
    EXPECT_EQ(accessible("lblPort")->text(QAccessible::Description), "Local port");
    EXPECT_EQ(accessible("lblRetExc")->text(QAccessible::Description), "Return exception");
    // The value itself stays what is read out.
    EXPECT_EQ(accessible("lblTI1")->text(QAccessible::Name), label("lblTI1"));

    // A test option pressed through the menu's accessibility interface acts as a click does.
    QAccessibleInterface* modbus = QAccessible::queryAccessibleInterface(form_->modbusMenu());
    ASSERT_NE(modbus, nullptr);
    QAccessibleInterface* wrongTi = nullptr;
    for (int i = 0; i < modbus->childCount(); ++i) {
        if (modbus->child(i)->text(QAccessible::Name) == "Return Incorrect TI")
            wrongTi = modbus->child(i);
    }
    ASSERT_NE(wrongTi, nullptr);
    wrongTi->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(engine_->settings.WrongTIActive);
    EXPECT_TRUE(action("UsewrongTI1")->isChecked());
    EXPECT_FALSE(menu("ReturnException1")->menuAction()->isEnabled());
}

TEST(StatusBarClock, DateAndTimeWithoutTimeZone)
{
    const QDateTime at(QDate(2026, 3, 4), QTime(7, 8, 9));
    const QString text = StatusClockText(at);
    EXPECT_TRUE(text.endsWith(SystemTimeText(QTime(7, 8, 9))));
    EXPECT_TRUE(SystemTimeText(QTime(7, 8, 9)).contains(QStringLiteral("8:09"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QRegularExpression(QStringLiteral("[A-Z]{3,}|UTC|GMT")))) << text.toStdString();
}

} // namespace
} // namespace korvel
