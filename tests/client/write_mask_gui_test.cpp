// The one-off windows driven as a user does: the three modes from the client's "M&odbus" menu,
// the frames they send (byte-exact against a scripted server of the test's own, and landing on
// Korvel's own server and the libmodbus server), the field rules, the shared "Use Function 16",
// and Close against the title-bar close box.
#include "client/client_window_fixture.h"
#include "client/write_mask_window.h"
#include "master/one_off_requests.h"
#include "scanner/scanner_window.h"
#include "server_ui/server_connections.h"
#include "support/other_korvel.h"
#include "support/peer_server.h"
#include "support/scripted_server.h"
#include "support/text_constants.h"
#include "ui/flash_platform.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QRadioButton>
#include <QTimer>

namespace korvel::testing {
namespace {

// What a good server answers to a one-off request: the echo of a write or mask write, the first
// 12 bytes (length 6) of a function 16 reply, status `status` for function 7.
QByteArray GoodReply(const QByteArray& request, uint8_t status)
{
    const uint16_t ti = Ti(request);
    const auto uid = uint8_t(request[6]);
    switch (uint8_t(request[7])) {
    case 7:
        return Frame(ti, uid, QByteArray::fromHex("07") + char(status));
    case 16:
        return Frame(ti, uid, request.mid(7, 5));
    default:
        return request;
    }
}

class WriteMaskTest : public ClientWindowTest {
  protected:
    TfrmWriteMask* open(QAction* item)
    {
        const auto before = client->findChildren<TfrmWriteMask*>().size();
        item->trigger();
        const auto windows = client->findChildren<TfrmWriteMask*>();
        EXPECT_EQ(windows.size(), before + 1);
        return windows.isEmpty() ? nullptr : windows.last();
    }
    void type(QLineEdit* field, const QString& text)
    {
        field->clear();
        QTest::keyClicks(field, text);
    }
    void apply(TfrmWriteMask* w)
    {
        w->Timer2Timer(); // Apply's enabling, as its 200 ms tick does
        ASSERT_TRUE(w->Button2->isEnabled());
        QTest::mouseClick(w->Button2, Qt::LeftButton);
    }
    // Apply, then wait for the good reply to this request (its receive text).
    void applyAndWait(TfrmWriteMask* w)
    {
        apply(w);
        const QString received = QStringLiteral("TI: %1/%1 ").arg(client->queryState().TICounter);
        EXPECT_TRUE(WaitUntil([&] { return client->StatusBar->text().startsWith(received); }))
            << client->StatusBar->text().toStdString();
    }
    void connectPaused(uint16_t port)
    {
        QTest::mouseClick(client->pollingPanel().RBPause(), Qt::LeftButton);
        ASSERT_EQ(connectTo(port), nullptr);
    }
    void close(TfrmWriteMask* w)
    {
        QTest::mouseClick(w->Button1, Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // Writes 1234 to register 100, masks register 5 with F0F0/000F and reads the exception status;
    // returns the status text the window showed after the reply (or after `waitMs` without one).
    QString writeMaskAndQuery(int waitMs = 5000)
    {
        TfrmWriteMask* w = open(client->Set1);
        type(w->Edit3, "100");
        type(w->Edit1, "1234");
        applyAndWait(w);
        TfrmWriteMask* m = open(client->Mask1);
        type(m->Edit3, "5");
        type(m->Edit1, "F0F0");
        type(m->Edit2, "000F");
        applyAndWait(m);
        TfrmWriteMask* s = open(client->Readexceptionstatus1);
        apply(s);
        WaitUntil([&] { return client->ReturnedExpStatus() != L(kExceptionStatusWaiting); }, waitMs);
        s->Timer1Timer();
        return s->Edit1->text();
    }
};

TEST_F(WriteMaskTest, ModesSetUpTheirWindows)
{
    struct Row {
        QAction* item;
        const char* caption;
        const char* button;
        const char* group;
        bool address, orField, fc16, readOnly;
    };
    const Row rows[] = {
        {client->Set1, "Write single register [FC6]", "Write", "Value", true, false, true, false},
        {client->Mask1, "Mask write register [FC22]", "Mask", "AND (Hex)", true, true, false, false},
        {client->Readexceptionstatus1, "Read exception status [FC7]", "Query", "Status", false, false, false, true},
    };
    EXPECT_EQ(client->Modbus1->title(), L(writemasktexts::kModbusMenu));
    EXPECT_EQ(client->Set1->shortcut(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S));
    EXPECT_FALSE(client->menuScanner->isVisible()) << "no scanner window was handed over";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.caption);
        client->flashing().dont_flash = false;
        TfrmWriteMask* w = open(row.item);
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(client->flashing().dont_flash) << "opening a window causes no flash";
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(w->windowTitle(), L(row.caption));
        EXPECT_EQ(w->Button2->text(), L(row.button));
        EXPECT_EQ(w->GroupBox2->title(), L(row.group));
        EXPECT_EQ(w->Edit1->accessibleName(), L(row.group));
        EXPECT_EQ(w->GroupBox1->isVisible(), row.address);
        EXPECT_EQ(w->GroupBox3->isVisible(), row.orField);
        EXPECT_EQ(w->Edit2->isEnabled(), row.orField);
        EXPECT_EQ(w->CB_FC16->isVisible(), row.fc16);
        EXPECT_EQ(w->Edit1->isReadOnly(), row.readOnly);
        EXPECT_FALSE(w->CheckBox1->isVisible());
        EXPECT_TRUE(client->flashing().frmWriteMaskHandle.contains(WindowIdOf(w)));
        EXPECT_EQ(client->flashing().frmWriteMaskHandle.at(w->Tag), WindowIdOf(w));
        // Apply waits for an address and a value, except for the status read.
        w->Timer2Timer();
        EXPECT_EQ(w->Button2->isEnabled(), !row.address);
    }
}

TEST_F(WriteMaskTest, FramesAreByteExact)
{
    uint8_t status = 0x5A;
    ScriptedServer server([&](QTcpSocket& s, const QByteArray& r) { s.write(GoodReply(r, status)); });
    connectPaused(server.port());
    struct Row {
        const char* name;
        QAction* item;
        bool offset, fc16;
        const char* address;
        const char* value;
        const char* orText;
        const char* frameAfterTi; // hex
    };
    const Row rows[] = {
        {"1234 to 100 with the offset, FC6", client->Set1, true, false, "100", "1234", "", "000000060106006304d2"},
        {"the same as FC16", client->Set1, true, true, "100", "1234", "", "00000009011000630001 0204d2"},
        {"mask F0F0/000F on 5", client->Mask1, false, false, "5", "F0F0", "000F", "000000080116 0005f0f0000f"},
        {"empty AND with OR 1", client->Mask1, false, false, "5", "", "1", "000000080116 000500000001"},
        {"99999 as 0x869F", client->Set1, false, false, "100", "99999", "", "000000060106 0064869f"},
        {"exception status", client->Readexceptionstatus1, false, false, "", "", "", "000000020107"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        client->pollingPanel().OffsetCBox()->setChecked(row.offset);
        TfrmWriteMask* w = open(row.item);
        w->CB_FC16->setChecked(row.fc16);
        if (w->GroupBox1->isVisible())
            type(w->Edit3, row.address);
        if (!w->Edit1->isReadOnly())
            type(w->Edit1, row.value);
        if (w->Edit2->isEnabled())
            type(w->Edit2, row.orText);
        applyAndWait(w);
        EXPECT_EQ(w->windowTitle().endsWith("[FC6]"), row.item == client->Set1) << "FC16 keeps the caption";
        EXPECT_EQ(server.requests.last().mid(2).toHex(), QByteArray(row.frameAfterTi).replace(' ', ""));
        EXPECT_FALSE(client->singleRequest().pending());
        close(w);
    }

    // The status read shows "Waiting..." until the reply, then the status byte; an exception
    // reply shows "Failed" and its event.
    TfrmWriteMask* s = open(client->Readexceptionstatus1);
    apply(s);
    EXPECT_TRUE(s->Timer1->isActive());
    s->Timer1Timer();
    EXPECT_EQ(s->Edit1->text(), L(kExceptionStatusWaiting));
    ASSERT_TRUE(WaitUntil([&] { return client->ReturnedExpStatus() == QStringLiteral("0x5A"); }));
    s->Timer1Timer();
    EXPECT_EQ(s->Edit1->text(), QStringLiteral("0x5A"));

    ScriptedServer failing(
        [](QTcpSocket& sock, const QByteArray& r) { sock.write(Frame(Ti(r), 1, QByteArray::fromHex("8701"))); });
    QTest::mouseClick(client->btnDisco, Qt::LeftButton);
    ASSERT_EQ(connectTo(failing.port()), nullptr);
    apply(s);
    ASSERT_TRUE(WaitUntil([&] { return client->ReturnedExpStatus() == L(kExceptionStatusFailed); }));
    s->Timer1Timer();
    EXPECT_EQ(s->Edit1->text(), L(kExceptionStatusFailed));
    EXPECT_TRUE(client->eventLines().contains(QStringLiteral("Read exception status from UID 1")));
}

TEST_F(WriteMaskTest, OwnServerTakesTheWriteTheMaskAndReportsItsStatus)
{
    OtherKorvel other(env.port);
    RegisterStore& otherStore = other.store;
    otherStore.setHolding(5, 0x1234);
    otherStore.setHolding(65535, 0x125A);
    connectPaused(other.port());

    EXPECT_EQ(writeMaskAndQuery(), QStringLiteral("0x5A")) << "the low byte of holding register 65535";
    EXPECT_EQ(otherStore.holding(100), 1234);
    EXPECT_EQ(otherStore.holding(5), 0x103F) << "(0x1234 AND F0F0) OR (000F AND NOT F0F0)";
    EXPECT_EQ(store->holding(100), 0) << "a one-off write leaves the local store alone";
}

TEST_F(WriteMaskTest, LibmodbusServerTakesTheWriteAndTheMask)
{
#ifndef KORVEL_LIBMODBUS_SERVER
    GTEST_SKIP() << "libmodbus is not installed";
#else
    PeerServer peer;
    ASSERT_TRUE(peer.start(QStringLiteral(KORVEL_LIBMODBUS_SERVER), {}, {5, 0x1234}));
    const uint16_t port = peer.port();

    connectPaused(port);
    // libmodbus leaves function 7 unanswered: the field keeps saying so.
    EXPECT_EQ(writeMaskAndQuery(500), L(kExceptionStatusWaiting));
    RawClient check;
    ASSERT_TRUE(check.connectTo(port));
    check.send(ReadHolding(2, 100, 1));
    EXPECT_EQ(check.receive(11).mid(9).toHex(), QByteArray("04d2"));
    check.send(ReadHolding(3, 5, 1));
    EXPECT_EQ(check.receive(11).mid(9).toHex(), QByteArray("103f"));
    QTest::mouseClick(client->btnDisco, Qt::LeftButton);
    check.close();
#endif
}

TEST_F(WriteMaskTest, FieldRulesAndApplyRefusals)
{
    TfrmWriteMask* m = open(client->Mask1);
    type(m->Edit1, "G");
    EXPECT_EQ(m->Edit1->text(), QString());
    ASSERT_EQ(messageTexts(), QStringList{L(kOneOffHexOnly)});
    type(m->Edit1, "f0f0f");
    EXPECT_EQ(m->Edit1->text(), QStringLiteral("f0f0")) << "at most 4 characters";
    type(m->Edit3, "70000");
    EXPECT_EQ(m->Edit3->text(), QString()) << "an address beyond 65535 is erased";
    EXPECT_EQ(env.messages.size(), 1u) << "silently";

    TfrmWriteMask* w = open(client->Set1);
    client->flashing().dont_flash = false;
    type(w->Edit1, "1x");
    EXPECT_EQ(w->Edit1->text(), QString());
    EXPECT_EQ(env.messages.back().text, L(kDigitsPleaseText));
    EXPECT_TRUE(client->flashing().dont_flash);

    // Not connected: refused, nothing pending.
    type(w->Edit3, "7");
    type(w->Edit1, "3");
    apply(w);
    EXPECT_EQ(env.messages.back().text, L(kOneOffNotConnected));
    EXPECT_FALSE(client->singleRequest().pending());
    // Enter presses Apply.
    env.messages.clear();
    QTest::keyClick(w->Edit1, Qt::Key_Return);
    EXPECT_EQ(messageTexts(), QStringList{L(kOneOffNotConnected)});
}

TEST_F(WriteMaskTest, UseFunction16IsSharedAndCloseDiffersFromTheCloseBox)
{
    TfrmWriteMask* a = open(client->Set1);
    TfrmWriteMask* b = open(client->Set1);
    QTest::mouseClick(a->CB_FC16, Qt::LeftButton, {}, QPoint(8, a->CB_FC16->height() / 2)); // on the box
    EXPECT_TRUE(client->singleRequest().UseFC16_for_single_write);
    b->Timer2Timer();
    EXPECT_TRUE(b->CB_FC16->isChecked()) << "the other window shows the shared choice";

    // The close box only hides: the window, its slot and the choice stay.
    const int slotA = a->Tag;
    a->close();
    EXPECT_FALSE(a->isVisible());
    EXPECT_EQ(client->findChildren<TfrmWriteMask*>().size(), 2);
    EXPECT_EQ(client->flashing().frmWriteMaskHandle.at(slotA), WindowIdOf(a));
    EXPECT_TRUE(client->singleRequest().UseFC16_for_single_write);

    // Close (here by Escape) destroys the window, frees its slot and turns FC16 off for both.
    const int slotB = b->Tag;
    QTest::keyClick(b->Edit1, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(client->findChildren<TfrmWriteMask*>().size(), 1);
    EXPECT_EQ(client->flashing().frmWriteMaskHandle.at(slotB), kNoWindow);
    EXPECT_FALSE(client->singleRequest().UseFC16_for_single_write);
    // A new window takes the first free slot.
    EXPECT_EQ(open(client->Mask1)->Tag, slotB);
}

TEST_F(WriteMaskTest, ScannerItemsOpenTheScannerAndComeBackWhenItCloses)
{
    Tscanner scanner(*store, form->activity());
    client->setScannerWindow(&scanner);
    QObject::connect(&scanner, &Tscanner::closed, client.get(), &TfrmClient::scannerClosed);
    ASSERT_NE(client->mainScannerItem, nullptr);
    EXPECT_TRUE(client->menuScanner->isVisible());
    EXPECT_TRUE(client->mainScannerItem->isVisible());
    EXPECT_EQ(client->mainScannerItem->text(), L(writemasktexts::kMenuScanner));
    EXPECT_EQ(client->menuScanner->shortcut(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_C));
    EXPECT_TRUE(form->modbusMenu()->actions().contains(client->mainScannerItem));

    // From the main window: the client's command, then the main window's own item goes grey.
    client->flashing().dont_flash = false;
    client->mainScannerItem->trigger();
    EXPECT_TRUE(scanner.isVisible());
    EXPECT_TRUE(client->flashing().dont_flash);
    EXPECT_FALSE(client->menuScanner->isEnabled());
    EXPECT_FALSE(client->mainScannerItem->isEnabled());
    EXPECT_TRUE(client->flashing().frmWriteMaskHandle.contains(WindowIdOf(&scanner)));

    // The scanner closes (it hides itself): both items come back at the client's status tick.
    scanner.hide();
    emit scanner.closed();
    EXPECT_TRUE(client->menuScanner->isEnabled());
    EXPECT_FALSE(client->flashing().frmWriteMaskHandle.contains(WindowIdOf(&scanner)));
    client->Timer2Timer();
    EXPECT_TRUE(client->mainScannerItem->isEnabled());
    client->menuScanner->trigger();
    EXPECT_TRUE(scanner.isVisible());
    client->Timer2Timer();
    EXPECT_FALSE(client->mainScannerItem->isEnabled()) << "the main window's item follows the client's";
}

} // namespace
} // namespace korvel::testing
