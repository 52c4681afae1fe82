// The client window's controls as a user drives them: the connection dialog's fields, the list
// combos with Add/Remove, the series dialog, the clear questions, the cycle and delay fields, the
// event list, and the main window's client row.
#include "client/client_texts.h"
#include "client/client_window_fixture.h"
#include "client/series_dialog.h"
#include "client/up_down.h"
#include "master/poll_lists.h"
#include "master/query_building.h"
#include "server_ui/server_connections.h"
#include "support/accessible_text.h"
#include "support/text_constants.h"
#include "view/register_list_view.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QRadioButton>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

namespace korvel::testing {
namespace {

TEST_F(ClientWindowTest, DialogFirstOpeningShowsLocalAddressAndPort502)
{
    form->LocalHostAddress = QStringLiteral("10.1.2.3");
    QTest::mouseClick(client->btnConn, Qt::LeftButton);
    TSetServerIP* d = client->serverDialog();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->windowTitle(), L(kServerConnectionCaption));
    EXPECT_EQ(QStringList({d->Edit1->text(), d->Edit2->text(), d->Edit3->text(), d->Edit4->text()}),
              QStringList({"10", "1", "2", "3"}));
    EXPECT_EQ(d->Edit5->text(), "502");
    EXPECT_FALSE(d->CBoxKA->isChecked());
    d->Timer1Timer();
    EXPECT_TRUE(d->statusLine().isEmpty());
    EXPECT_FALSE(d->Timer1->isActive());
}

TEST_F(ClientWindowTest, DialogFieldsClampAndDecideOk)
{
    QTest::mouseClick(client->btnConn, Qt::LeftButton);
    TSetServerIP* d = client->serverDialog();
    ASSERT_NE(d, nullptr);
    struct Row {
        QLineEdit* field;
        const char* typed;
        const char* shown;
        bool ok;
    };
    const Row rows[] = {
        {d->Edit1, "300", "255", true},     {d->Edit2, "-5", "0", true},  {d->Edit3, "007", "7", true},
        {d->Edit5, "70000", "65535", true}, {d->Edit5, "0", "1", true},   {d->Edit4, "", "", false},
        {d->Edit4, "1a", "1a", false},      {d->Edit1, "12", "12", true},
    };
    for (const Row& r : rows) {
        r.field->clear();
        QTest::keyClicks(r.field, QString::fromLatin1(r.typed));
        EXPECT_EQ(r.field->text(), QString::fromLatin1(r.shown)) << r.typed;
        EXPECT_EQ(d->Button3->isEnabled(), r.ok) << r.typed;
    }
}

TEST_F(ClientWindowTest, CancelKeepsRememberedValuesAndKeepaliveFlagOutlivesTheBox)
{
    QTest::mouseClick(client->btnConn, Qt::LeftButton);
    TSetServerIP* d = client->serverDialog();
    d->Edit1->setText(QStringLiteral("9"));
    QTest::mouseClick(d->CBoxKA, Qt::LeftButton);
    EXPECT_TRUE(client->connection().Use_keepalive);
    QTest::mouseClick(d->Button2, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(client->connection().partner.octets[0], -1);
    EXPECT_EQ(client->connection().partner.PrevPort, 0);
    EXPECT_TRUE(client->connection().serverIP.isEmpty());

    QTest::mouseClick(client->btnConn, Qt::LeftButton);
    EXPECT_FALSE(client->serverDialog()->CBoxKA->isChecked());
    EXPECT_TRUE(client->connection().Use_keepalive);
}

TEST_F(ClientWindowTest, ComboAddRemoveKeepOrderFlagsAndTypedText)
{
    add(client->listPanel().ReadCBox(), client->listPanel().AddBtnRead(), "15");
    add(client->listPanel().ReadCBox(), client->listPanel().AddBtnRead(), "10");
    add(client->listPanel().ReadCBox(), client->listPanel().AddBtnRead(), "12");
    add(client->listPanel().ReadCBox(), client->listPanel().AddBtnRead(), "007");
    EXPECT_EQ(items(client->listPanel().ReadCBox()), QStringList({"007", "10", "12", "15"}));
    EXPECT_EQ(client->lists().ReadHoldRegAddr.addresses(), (std::vector<int32_t>{7, 10, 12, 15}));
    EXPECT_EQ(store->flags(12), kFlagHoldingRead);
    EXPECT_TRUE(client->listPanel().ReadCBox()->currentText().isEmpty());

    add(client->listPanel().ReadCBox(), client->listPanel().AddBtnRead(), "12"); // already listed: nothing added
    EXPECT_EQ(client->listPanel().ReadCBox()->count(), 4);
    EXPECT_FALSE(client->listPanel().btnRemoveRead()->isEnabled());

    // Picking an item enables Remove; Remove takes it out with its flag.
    client->listPanel().ReadCBox()->setCurrentIndex(2);
    emit client->listPanel().ReadCBox()->activated(2);
    EXPECT_TRUE(client->listPanel().btnRemoveRead()->isEnabled());
    QTest::mouseClick(client->listPanel().btnRemoveRead(), Qt::LeftButton);
    EXPECT_EQ(items(client->listPanel().ReadCBox()), QStringList({"007", "10", "15"}));
    EXPECT_EQ(store->flags(12), 0);
    EXPECT_FALSE(client->listPanel().btnRemoveRead()->isEnabled());

    // The input list is its own; switching back shows the holding list in decimal.
    QTest::mouseClick(client->listPanel().RBInput(), Qt::LeftButton);
    EXPECT_EQ(client->listPanel().ReadCBox()->count(), 0);
    add(client->listPanel().ReadCBox(), client->listPanel().AddBtnRead(), "10");
    EXPECT_EQ(store->flags(10), kFlagHoldingRead | kFlagInputRead);
    QTest::mouseClick(client->listPanel().RBHold(), Qt::LeftButton);
    EXPECT_EQ(items(client->listPanel().ReadCBox()), QStringList({"7", "10", "15"}));
    EXPECT_EQ(client->listPanel().ReadCBox()->currentIndex(), 0);

    // The write list, with Enter in its combo.
    client->listPanel().WriteCBox()->lineEdit()->clear();
    QTest::keyClicks(client->listPanel().WriteCBox()->lineEdit(), "5");
    QTest::keyClick(client->listPanel().WriteCBox()->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(client->lists().WriteHoldRegAddr.addresses(), std::vector<int32_t>{5});
    EXPECT_EQ(store->flags(5), kFlagHoldingWrite);
}

TEST_F(ClientWindowTest, ComboRefusesNonDigitsAndAddressesOutsideTheStore)
{
    QTest::keyClicks(client->listPanel().ReadCBox()->lineEdit(), "1x");
    EXPECT_TRUE(client->listPanel().ReadCBox()->currentText().isEmpty());
    for (const char* bad : {"0", "70000", "65536"})
        add(client->listPanel().WriteCBox(), client->listPanel().AddBtnWrite(), bad);
    EXPECT_EQ(messageTexts(), QStringList({L(kDigitsPleaseText), L(kInvalidAddressText), L(kInvalidAddressText),
                                           L(kInvalidAddressText)}));
    EXPECT_TRUE(client->lists().WriteHoldRegAddr.empty());
    EXPECT_TRUE(client->flashing().dont_flash);
}

TEST_F(ClientWindowTest, SeriesDialogMergesRemovesAndRefusesBadBounds)
{
    add(client->listPanel().ReadCBox(), client->listPanel().AddBtnRead(), "5");
    add(client->listPanel().ReadCBox(), client->listPanel().AddBtnRead(), "70");
    QTest::mouseClick(client->listPanel().RBInput(), Qt::LeftButton);

    TfrmSeries* s = client->listPanel().openSeries(ListKind::HoldingRead);
    EXPECT_EQ(s->windowTitle(), L(kSeriesCaptionHoldRead));
    struct Bad {
        const char* from;
        const char* to;
    };
    for (const Bad& b : {Bad{"10", "10"}, Bad{"0", "5"}, Bad{"", "5"}, Bad{"9", "x"}}) {
        s->EditLow->setText(QString::fromLatin1(b.from));
        s->Edithigh->setText(QString::fromLatin1(b.to));
        QTest::mouseClick(s->Button1, Qt::LeftButton);
    }
    EXPECT_EQ(messageTexts(), QStringList(4, L(kSeriesRangeErrorText)));
    EXPECT_TRUE(s->isVisible());

    s->EditLow->setText("1");
    s->Edithigh->setText("65535");
    QTest::keyClick(s->Edithigh, Qt::Key_Return); // Enter presses OK
    EXPECT_EQ(client->lists().ReadHoldRegAddr.count, 65535);
    EXPECT_TRUE(client->listPanel().RBHold()->isChecked()) << "the combo shows the list being edited";
    EXPECT_EQ(client->listPanel().ReadCBox()->count(), 65535);
    EXPECT_EQ(store->flags(65535) & kFlagHoldingRead, kFlagHoldingRead);

    TfrmSeries* r = client->listPanel().openSeries(ListKind::HoldingRead);
    r->EditLow->setText("2");
    r->Edithigh->setText("65535");
    r->CBRemove->setChecked(true);
    QTest::mouseClick(r->Button1, Qt::LeftButton);
    EXPECT_EQ(items(client->listPanel().ReadCBox()), QStringList{"1"});
    EXPECT_EQ(store->flags(70), 0);
}

TEST_F(ClientWindowTest, ClearAsksAndOnlyYesClears)
{
    add(client->listPanel().WriteCBox(), client->listPanel().AddBtnWrite(), "8");
    add(client->listPanel().ReadCBox(), client->listPanel().AddBtnRead(), "8");
    client->Timer2Timer();
    EXPECT_TRUE(client->Write2->isEnabled());
    EXPECT_FALSE(client->Inputregisters2->isEnabled());

    client->Write2->trigger(); // the hook answers Ok: not Yes
    EXPECT_EQ(env.messages.back().caption, L(kClearCaption));
    EXPECT_EQ(env.messages.back().text, L(kClearWriteQuestion));
    EXPECT_EQ(client->lists().WriteHoldRegAddr.count, 1);

    SetMessageHook([](const ShownMessage&) { return QMessageBox::Yes; });
    QTest::mouseClick(client->listPanel().RBInput(), Qt::LeftButton); // the combo shows the other read list
    client->Read2->trigger();
    client->Write2->trigger();
    EXPECT_TRUE(client->lists().allEmpty());
    EXPECT_EQ(store->flags(8), 0);
    EXPECT_EQ(client->listPanel().WriteCBox()->count(), 0);
    client->Timer2Timer();
    EXPECT_FALSE(client->Write2->isEnabled());
    EXPECT_FALSE(client->Read2->isEnabled());
}

TEST_F(ClientWindowTest, CycleAndDelayFieldsClampWithTheirMessages)
{
    auto confirm = [](QLineEdit* field, const char* text) {
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, QString::fromLatin1(text));
        QTest::keyClick(field, Qt::Key_Return);
    };
    confirm(client->pollingPanel().Edit1(), "50");
    EXPECT_EQ(client->pollingPanel().Edit1()->text(), "1000");
    EXPECT_EQ(client->pollingPanel().Timer1()->interval(), 1000);

    QTest::mouseClick(client->pollingPanel().RBWaitAfter(), Qt::LeftButton);
    EXPECT_EQ(client->pollingPanel().Label1()->text(), L(kMonitorLabel));
    EXPECT_TRUE(client->pollingPanel().Edit2()->isEnabled());
    confirm(client->pollingPanel().Edit2(), "500");
    EXPECT_EQ(client->pollingPanel().Timer3()->interval(), 500);
    confirm(client->pollingPanel().Edit1(), "400");
    EXPECT_EQ(client->pollingPanel().Edit1()->text(), "550");
    EXPECT_EQ(client->pollingPanel().Timer1()->interval(), 1000) << "the timer keeps its interval";

    confirm(client->pollingPanel().Edit2(), "2000");
    EXPECT_EQ(client->pollingPanel().Edit2()->text(), "100");
    EXPECT_EQ(client->pollingPanel().Timer3()->interval(), 100);
    EXPECT_EQ(messageTexts(), QStringList({L(kCycleRangeText), L(kMonitorLongerText), L(kDelayRangeText)}));

    // The arrows keep the monitoring time above the delay.
    client->pollingPanel().UpDown2()->setPosition(990);
    QTest::mouseClick(client->pollingPanel().UpDown2()->up(), Qt::LeftButton);
    EXPECT_EQ(client->pollingPanel().Timer3()->interval(), 1000);
    EXPECT_EQ(client->pollingPanel().Edit1()->text(), "1050");

    QTest::mouseClick(client->pollingPanel().RBCyclic(), Qt::LeftButton);
    EXPECT_EQ(client->pollingPanel().Label1()->text(), L(kCycleLabel));
    EXPECT_FALSE(client->pollingPanel().Edit2()->isEnabled());
}

TEST_F(ClientWindowTest, EventListStartsClearsAndCopies)
{
    QStringList start;
    for (const char* line : kEventListStartLines)
        start << L(line);
    EXPECT_EQ(client->eventLines(), start);

    client->CopytoClipboard1Click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), start.join('\n'));

    emit client->EList->customContextMenuRequested(QPoint(5, 5)); // the right mouse button
    EXPECT_TRUE(client->EListPopupMenu->isVisible());
    client->EListPopupMenu->hide();

    client->EventNumber = 7;
    QTest::mouseDClick(client->EList->viewport(), Qt::LeftButton);
    EXPECT_EQ(client->EList->count(), 0);
    EXPECT_EQ(client->EventNumber, 0);
    emit client->EList->customContextMenuRequested(QPoint(5, 5));
    EXPECT_FALSE(client->EListPopupMenu->isVisible()) << "an empty list opens no menu";
}

TEST_F(ClientWindowTest, MainWindowRowShowsHidesAndCopiesStatus)
{
    ASSERT_NE(client->BitBtnClient, nullptr);
    EXPECT_EQ(client->BitBtnClient->text(), L(clienttexts::kShow));
    QTest::mouseClick(client->BitBtnClient, Qt::LeftButton);
    EXPECT_TRUE(client->isVisible());
    EXPECT_EQ(client->BitBtnClient->text(), L(clienttexts::kHide));
    QPalette marked = form->registerList()->vleRW()->palette();
    marked.setColor(QPalette::Base, Qt::yellow);
    form->registerList()->vleRW()->setPalette(marked);
    client->Close1->trigger(); // "&Hide Window"
    const QPalette back = form->registerList()->vleRW()->palette();
    EXPECT_EQ(back.color(QPalette::Base), back.color(QPalette::Button));
    EXPECT_FALSE(client->isVisible());
    EXPECT_EQ(client->BitBtnClient->text(), L(clienttexts::kShow));
    client->Client->trigger();
    EXPECT_TRUE(client->isVisible());

    client->ClientStatus = L(kStatusPaused);
    EXPECT_NE(client->lblClient->text(), client->ClientStatus);
    client->Timer2Timer();
    EXPECT_EQ(client->lblClient->text(), L(kStatusPaused));
    EXPECT_EQ(client->Timer2->interval(), 800);
}

TEST_F(ClientWindowTest, LimiterItemsAreExclusive)
{
    EXPECT_TRUE(client->readLimitItem(125)->isChecked());
    EXPECT_TRUE(client->writeLimitItem(100)->isChecked());
    client->readLimitItem(5)->trigger();
    client->writeLimitItem(123)->trigger();
    EXPECT_EQ(client->lists().ReadLimit, 5);
    EXPECT_EQ(client->lists().WriteLimit, 123);
    EXPECT_FALSE(client->readLimitItem(125)->isChecked());
}

// A screen reader hears what the labels show, the caption as their description, and no "&".
TEST_F(ClientWindowTest, AssistiveTechnologyReadsTheChangingTextsAndNoMarkers)
{
    client->show();
    const auto port = static_cast<uint16_t>(form->serverConnections().ServerPort);
    ASSERT_EQ(connectTo(port), nullptr);
    EXPECT_EQ(AccessibleText(client->Label3, QAccessible::Name).toStdString(),
              (QStringLiteral("IP: 127.0.0.1  Port: %1").arg(port)).toStdString());
    EXPECT_EQ(AccessibleText(client->Label3, QAccessible::Description).toStdString(),
              (L(clienttexts::kPartnerGroup)).toStdString());
    client->StatusBar->setText(QStringLiteral("TI: 1/1  15 bytes received"));
    EXPECT_EQ(AccessibleText(client->StatusBar, QAccessible::Name).toStdString(),
              (QStringLiteral("TI: 1/1  15 bytes received")).toStdString());
    EXPECT_EQ(AccessibleText(client->StatusBar, QAccessible::Description).toStdString(),
              (L(clienttexts::kStatusBarName)).toStdString());
    EXPECT_EQ(AccessibleText(client->btnConn, QAccessible::Name).toStdString(),
              (QStringLiteral("Connect...")).toStdString());
    EXPECT_EQ(AccessibleNameFaults(client.get()), "");
    EXPECT_EQ(AccessibleNameFaults(form.get()), ""); // the client row and its button
    client->close();
    EXPECT_EQ(AccessibleNameFaults(form.get()), ""); // "Show" again
}

} // namespace
} // namespace korvel::testing
