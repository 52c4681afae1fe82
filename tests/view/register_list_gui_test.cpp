// The register list driven as a user would: typing into the start-address box, wheel and middle
// button, table switch, cell edits, formats, copy, UID box and set-value requests. The refresh
// timer's handler is called instead of waiting for it.
#include "server_ui/server_connections.h"
#include "ui/view_options.h"
#include "view/view_texts.h"
#include "view/view_window_fixture.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QMenu>
#include <QPaintEvent>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTcpSocket>

namespace korvel {
namespace {

using RegisterList = ViewWindow;

// The regions a widget is painted in, one per paint event.
class PaintRecorder : public QObject {
  public:
    explicit PaintRecorder(QWidget* widget) { widget->installEventFilter(this); }
    std::vector<QRegion> regions;

  protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            regions.push_back(static_cast<QPaintEvent*>(event)->region());
        return false;
    }
};

TEST_F(RegisterList, StartsOnHoldingRegisters0To25InMonitorMode)
{
    EXPECT_EQ(list_->vle()->model()->rowCount(), 26);
    EXPECT_EQ(list_->vle()->model()->columnCount(), 2);
    EXPECT_EQ(list_->vleRW()->model()->columnCount(), 1);
    EXPECT_EQ(list_->vle()->model()->headerData(0, Qt::Horizontal), "Register");
    EXPECT_EQ(list_->vle()->model()->headerData(1, Qt::Horizontal), "Value");
    EXPECT_EQ(list_->vleRW()->model()->headerData(0, Qt::Horizontal), "R/W");
    for (int r = 0; r < 26; ++r) {
        EXPECT_EQ(label(r), QString::number(r));
        EXPECT_EQ(value(r), "0");
        EXPECT_EQ(rw(r), " -/-");
    }
    EXPECT_TRUE(list_->holdingButton()->isChecked());
    EXPECT_TRUE(list_->monitorAction()->isChecked());
    EXPECT_FALSE(list_->editAction()->isChecked());
    EXPECT_EQ(list_->startAddressBox()->count(), 6552);
    EXPECT_EQ(list_->startAddressBox()->itemText(6551), "65510");
    EXPECT_EQ(list_->uidBox()->count(), 256);
    EXPECT_EQ(list_->uidBox()->currentText(), "0");
    // No scroll bars: the rows and the title fit exactly.
    EXPECT_EQ(list_->vle()->rowAt(list_->vle()->viewport()->height() - 2), 25);
}

TEST_F(RegisterList, MonitorTickShowsNewValuesAndUsageInBothFormats)
{
    store_->setHolding(5, 1234);
    list_->Timer2Timer();
    EXPECT_EQ(value(5), "1234");

    list_->valuesAsHexAction()->trigger();
    EXPECT_TRUE(form_->viewOptions().ShowHex());
    EXPECT_EQ(value(5), "04D2");

    // Usage flags are not polled: a redraw request brings them.
    store_->orFlags(3, kFlagHoldingRead | kFlagHoldingWrite | kFlagHoldingPublished);
    list_->Timer2Timer();
    EXPECT_EQ(rw(3), " -/-");
    form_->viewOptions().VLEUpdateNeeded = true;
    list_->Timer2Timer();
    EXPECT_EQ(rw(3), "*R/W");
    EXPECT_FALSE(form_->viewOptions().VLEUpdateNeeded);
}

TEST_F(RegisterList, ATickRepaintsOnlyTheCellsThatChanged)
{
    list_->Timer2Timer();
    QCoreApplication::processEvents();
    PaintRecorder listPaints(list_->vle()->viewport());
    PaintRecorder usagePaints(list_->vleRW()->viewport());

    list_->Timer2Timer(); // nothing new
    QCoreApplication::processEvents();
    EXPECT_TRUE(listPaints.regions.empty());
    EXPECT_TRUE(usagePaints.regions.empty());

    store_->setHolding(5, 1234);
    list_->Timer2Timer();
    QCoreApplication::processEvents();
    ASSERT_EQ(listPaints.regions.size(), 1u);
    const QRect cell = list_->vle()->visualRect(list_->vle()->model()->index(5, 1));
    EXPECT_TRUE(QRegion(cell).contains(listPaints.regions[0].boundingRect())) << "row 5's value only";
    EXPECT_TRUE(usagePaints.regions.empty());
}

TEST_F(RegisterList, TypedStartAddressIsLimitedAndRendered)
{
    typeStartAddress("99999");
    EXPECT_EQ(box()->text(), "65510");
    EXPECT_EQ(label(0), "65510");
    EXPECT_EQ(label(25), "65535");

    list_->registersAsHexAction()->trigger();
    typeStartAddress("FFFF");
    EXPECT_EQ(box()->text(), "FFE6");
    EXPECT_EQ(label(25), "FFFF");

    typeStartAddress("00a");
    EXPECT_EQ(box()->text(), "00A");
    EXPECT_EQ(box()->cursorPosition(), 3);
    EXPECT_EQ(label(0), "000A");
    // Four characters at most while registers are hex.
    typeStartAddress("123456");
    EXPECT_EQ(box()->text(), "1234");
    EXPECT_TRUE(messages_.empty());
}

TEST_F(RegisterList, BadStartAddressIsReportedAndRow1Restored)
{
    typeStartAddress("12");
    QTest::keyClicks(box(), "x");
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].caption, "Input Error");
    EXPECT_EQ(messages_[0].text, "Please, use digits");
    EXPECT_EQ(box()->text(), "12");
    EXPECT_EQ(box()->selectedText(), "12");
    EXPECT_EQ(label(0), "12");

    list_->registersAsHexAction()->trigger();
    typeStartAddress("G");
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_EQ(messages_[1].text, "Please, use digits or characters A - F");
    EXPECT_EQ(box()->text(), "000C");
}

TEST_F(RegisterList, WheelScrollsByTenAndStopsAtZeroInBothFormats)
{
    store_->setHolding(35, 7);
    wheel(true);
    EXPECT_EQ(box()->text(), "10");
    EXPECT_EQ(label(0), "10");
    EXPECT_EQ(label(25), "35");
    EXPECT_EQ(value(25), "7"); // rebuilt straight from the store

    wheel(false);
    wheel(false);
    EXPECT_EQ(box()->text(), "0");
    EXPECT_EQ(label(0), "0");

    list_->registersAsHexAction()->trigger();
    EXPECT_EQ(box()->text(), "0000");
    wheel(false);
    EXPECT_EQ(box()->text(), "00000000");
    EXPECT_EQ(label(0), "0000");
    wheel(true);
    EXPECT_EQ(box()->text(), "000A");
}

TEST_F(RegisterList, MiddleButtonJumpsAThousand)
{
    QWidget* viewport = list_->vle()->viewport();
    typeStartAddress("65000");
    QTest::mouseClick(viewport, Qt::MiddleButton, Qt::NoModifier, cellCentre(2, 0));
    EXPECT_EQ(box()->text(), "65510");
    EXPECT_EQ(label(0), "65510");

    typeStartAddress("500");
    QTest::mouseClick(viewport, Qt::MiddleButton, Qt::ShiftModifier, cellCentre(2, 0));
    EXPECT_EQ(box()->text(), "0");

    QTest::mouseClick(viewport, Qt::MiddleButton, Qt::NoModifier, cellCentre(2, 0));
    EXPECT_EQ(box()->text(), "1000");
    EXPECT_EQ(label(25), "1025");
}

TEST_F(RegisterList, ScrollingAnEmptyDecimalBoxReportsTheConversionError)
{
    box()->clear();
    wheel(true);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].kind, MessageKind::Error);
    EXPECT_EQ(label(0), "0"); // nothing changed
}

TEST_F(RegisterList, TableSwitchKeepsEachTablesLabels)
{
    store_->setHolding(777, 4321);
    store_->setInput(1, 11);
    list_->editAction()->trigger();
    ASSERT_TRUE(editCell(3, 0, "777"));
    EXPECT_EQ(label(3), "777");

    QTest::mouseClick(list_->inputButton(), Qt::LeftButton);
    ASSERT_TRUE(list_->inputShown());
    EXPECT_TRUE(list_->monitorAction()->isChecked()); // a switch always watches
    EXPECT_EQ(label(3), "3");
    EXPECT_EQ(value(1), "-");
    EXPECT_EQ(list_->label(false, 3), "777"); // parked
    list_->Timer2Timer();
    EXPECT_EQ(value(1), "11");

    QTest::mouseClick(list_->holdingButton(), Qt::LeftButton);
    EXPECT_EQ(label(3), "777");
    EXPECT_EQ(value(3), "-");
    EXPECT_EQ(box()->text(), "0");
    list_->Timer2Timer();
    EXPECT_EQ(value(3), "4321");
}

TEST_F(RegisterList, ValueEditsStoreOnlyZeroTo65535)
{
    store_->setHolding(0, 100);
    list_->Timer2Timer();
    EXPECT_FALSE(editCell(0, 1, "5")); // Monitor mode: no editing
    list_->editAction()->trigger();
    EXPECT_TRUE(list_->vle()->font().italic());

    for (const char* bad : {"65536", "-1", "abc", ""}) {
        ASSERT_TRUE(editCell(0, 1, QString::fromLatin1(bad)));
        EXPECT_EQ(value(0), "100") << bad;
        EXPECT_EQ(store_->holding(0), 100) << bad;
    }
    ASSERT_TRUE(editCell(0, 1, "0"));
    EXPECT_EQ(store_->holding(0), 0);
    ASSERT_TRUE(editCell(1, 1, "65535"));
    EXPECT_EQ(store_->holding(1), 65535);

    list_->valuesAsHexAction()->trigger();
    ASSERT_TRUE(editCell(2, 1, "10000"));
    EXPECT_EQ(store_->holding(2), 0);
    ASSERT_TRUE(editCell(2, 1, "ffff"));
    EXPECT_EQ(store_->holding(2), 65535);

    // The input table takes the edits while it is shown.
    QTest::mouseClick(list_->inputButton(), Qt::LeftButton);
    list_->editAction()->trigger();
    ASSERT_TRUE(editCell(4, 1, "00FF"));
    EXPECT_EQ(store_->input(4), 255);
    EXPECT_EQ(store_->holding(4), 0);
    EXPECT_EQ(store_->flags(4), 0);
}

TEST_F(RegisterList, AClientReadsWhatWasTypedIntoTheList)
{
    list_->editAction()->trigger();
    ASSERT_TRUE(editCell(0, 0, "300"));
    ASSERT_TRUE(editCell(0, 1, "4660"));

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(form_->serverConnections().ServerPort));
    ASSERT_TRUE(client.waitForConnected(3000));
    // Read holding register 300 (0x012C), one register, unit 1.
    client.write(QByteArray::fromHex("0001000000060103012C0001"));
    QByteArray reply;
    for (int i = 0; i < 100 && reply.size() < 11; ++i) {
        QSignalSpy ready(&client, &QIODevice::readyRead);
        if (client.bytesAvailable() == 0)
            ready.wait(30);
        reply += client.readAll();
    }
    EXPECT_EQ(reply.toHex(), "00010000000501030212"
                             "34");
}

TEST_F(RegisterList, BadLabelsAreRestored)
{
    list_->editAction()->trigger();
    for (const char* bad : {"100000", "65536", "-1", "1x", ""}) {
        ASSERT_TRUE(editCell(5, 0, QString::fromLatin1(bad)));
        EXPECT_EQ(label(5), "5") << bad;
    }
    list_->registersAsHexAction()->trigger();
    ASSERT_TRUE(editCell(5, 0, "10000"));
    EXPECT_EQ(label(5), "0005");
    ASSERT_TRUE(editCell(5, 0, "ff"));
    EXPECT_EQ(label(5), "ff");
}

TEST_F(RegisterList, EditModeWaitsAndMonitorRedraws)
{
    list_->editAction()->trigger();
    store_->setHolding(2, 9);
    list_->Timer2Timer();
    EXPECT_EQ(value(2), "0");
    // A double click commits and watches again; the next tick shows the store.
    QTest::mouseDClick(list_->vle()->viewport(), Qt::LeftButton, Qt::NoModifier, cellCentre(2, 1));
    EXPECT_TRUE(list_->monitorAction()->isChecked());
    EXPECT_FALSE(list_->vle()->font().italic());
    list_->Timer2Timer();
    EXPECT_EQ(value(2), "9");
    QTest::mouseDClick(list_->vle()->viewport(), Qt::LeftButton, Qt::NoModifier, cellCentre(2, 1));
    EXPECT_TRUE(list_->editAction()->isChecked());

    // Enter walks down the rows and wraps from the last to the first.
    list_->vle()->setCurrentCell(24, 1);
    QTest::keyClick(list_->vle(), Qt::Key_Return);
    EXPECT_EQ(list_->vle()->currentRow(), 25);
    QTest::keyClick(list_->vle(), Qt::Key_Return);
    EXPECT_EQ(list_->vle()->currentRow(), 0);

    // "Edit" clicked twice stays in Edit mode with its mark on.
    list_->editAction()->trigger();
    EXPECT_TRUE(list_->editAction()->isChecked());
    EXPECT_FALSE(list_->monitorAction()->isChecked());
}

TEST_F(RegisterList, LabelsToggleBetweenFormats)
{
    list_->editAction()->trigger();
    ASSERT_TRUE(editCell(7, 0, "255"));
    list_->monitorAction()->trigger();
    list_->Timer2Timer();
    QSignalSpy formatChanges(&form_->viewOptions(), &ViewOptions::formatsChanged);

    list_->registersAsHexAction()->trigger();
    EXPECT_TRUE(form_->viewOptions().Showregistersathex());
    EXPECT_EQ(formatChanges.count(), 1); // the other windows hear of the new format
    EXPECT_EQ(label(7), "00FF");
    EXPECT_EQ(label(10), "000A");
    EXPECT_EQ(list_->label(true, 10), "000A"); // parked labels too
    EXPECT_EQ(box()->text(), "0000");
    EXPECT_EQ(list_->startAddressBox()->count(), 6551);
    EXPECT_EQ(list_->startAddressBox()->itemText(6550), "FFDC");

    list_->registersAsHexAction()->trigger();
    EXPECT_FALSE(form_->viewOptions().Showregistersathex());
    EXPECT_EQ(formatChanges.count(), 2);
    EXPECT_EQ(label(7), "255");
    EXPECT_EQ(label(10), "10");
    EXPECT_EQ(list_->label(true, 10), "10");
    EXPECT_EQ(list_->startAddressBox()->itemText(6550), "65500");
}

TEST_F(RegisterList, CopyPlacesTwentySixLines)
{
    store_->setHolding(25, 42);
    list_->Timer2Timer();
    list_->copyAction()->trigger();
    const QString text = QApplication::clipboard()->text();
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 27); // 26 lines, each ended by CR LF
    EXPECT_EQ(lines[0], "0=0");
    EXPECT_EQ(lines[25], "25=42");
    EXPECT_TRUE(lines[26].isEmpty());
    EXPECT_FALSE(text.contains(QStringLiteral("-/-")));
}

TEST_F(RegisterList, UidBoxFeedsTheServerCheck)
{
    list_->uidBox()->setCurrentIndex(17);
    EXPECT_FALSE(engine_->settings.check.uidAny);
    EXPECT_EQ(engine_->settings.check.uid, 17);
    list_->uidBox()->setCurrentIndex(0);
    EXPECT_TRUE(engine_->settings.check.uidAny);
}

TEST_F(RegisterList, LabelApiReadsAndWritesBothTables)
{
    list_->setLabel(false, 4, QStringLiteral("400"));
    list_->setLabel(true, 4, QStringLiteral("401"));
    EXPECT_EQ(label(4), "400");
    EXPECT_EQ(list_->label(true, 4), "401");
    store_->setInput(401, 5);
    QTest::mouseClick(list_->inputButton(), Qt::LeftButton);
    list_->Timer2Timer();
    EXPECT_EQ(label(4), "401");
    EXPECT_EQ(value(4), "5");
}

TEST_F(RegisterList, RightButtonAndMenuOpenSetValueDialogs)
{
    typeStartAddress("100");
    QTest::mouseClick(list_->vle()->viewport(), Qt::RightButton, Qt::NoModifier, cellCentre(4, 1));
    EXPECT_TRUE(dialogs().empty()); // created after the click has been handled
    settle();
    ASSERT_EQ(dialogs().size(), 1u);
    EXPECT_EQ(dialogs()[0]->registerBox()->text(), "104");

    list_->setRegisterAction()->trigger();
    list_->setRegisterTrayAction()->trigger();
    settle();
    ASSERT_EQ(dialogs().size(), 3u);
    EXPECT_EQ(dialogs()[1]->registerBox()->text(), "100");
    EXPECT_EQ(form_->viewOptions().amount_of_setval_windows, 3);
    ASSERT_NE(form_->trayMenu(), nullptr);
    EXPECT_TRUE(form_->trayMenu()->actions().contains(list_->setRegisterTrayAction()));

    // Below the last row there is no register.
    list_->vle()->setFixedHeight(list_->vle()->height() + 40);
    QTest::mouseClick(list_->vle()->viewport(), Qt::RightButton, Qt::NoModifier,
                      QPoint(10, list_->vle()->viewport()->height() - 5));
    settle();
    EXPECT_EQ(dialogs().size(), 3u);
}

} // namespace
} // namespace korvel
