// Set-value dialogs opened from the register list and driven as a user would: typing into the
// register and value boxes, ticking bits, choosing byte orders, switching the main window's formats.
// The refresh timers' handlers are called instead of waiting, except where the 700 ms promise of
// the byte order is what is tested.
#include "view/view_texts.h"
#include "view/view_window_fixture.h"

#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace korvel {
namespace {

class SetValueDialog : public ViewWindow {
  protected:
    // Opens a dialog by a right click on the list row that shows `row`.
    TfrmSetVal* openOnRow(int row)
    {
        const size_t before = dialogs().size();
        QTest::mouseClick(list_->vle()->viewport(), Qt::RightButton, Qt::NoModifier, cellCentre(row, 0));
        settle();
        const auto all = dialogs();
        if (all.size() != before + 1)
            return nullptr;
        TfrmSetVal* d = all.back();
        d->Timer1Timer();
        return d;
    }

    static void retype(QLineEdit* edit, const QString& text)
    {
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }

    static QString point() { return QLocale().decimalPoint(); }
};

TEST_F(SetValueDialog, ShowsTheRegisterAndFillsTheValueAtTheFirstTick)
{
    store_->setHolding(10, 16456);
    TfrmSetVal* d = openOnRow(10);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->windowTitle(), "Value");
    EXPECT_EQ(d->registerBox()->text(), "10");
    EXPECT_EQ(d->representationGroup()->title(), "32-bit representation [10 - 11]");
    EXPECT_TRUE(d->holdingButton()->isChecked());
    EXPECT_EQ(d->currentValueLabel()->text(), "16456");
    EXPECT_EQ(d->valueBox()->text(), "16456");
    EXPECT_TRUE(d->bitBox(3)->isChecked()); // 0x4048
    EXPECT_TRUE(d->bitBox(14)->isChecked());
    EXPECT_FALSE(d->bitBox(0)->isChecked());
    EXPECT_TRUE(d->setButton()->isEnabled());
    EXPECT_EQ(form_->viewOptions().amount_of_setval_windows, 1);
}

TEST_F(SetValueDialog, TakesTheInputTableWhenTheListShowsIt)
{
    store_->setInput(2, 77);
    QTest::mouseClick(list_->inputButton(), Qt::LeftButton);
    TfrmSetVal* d = openOnRow(2);
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->inputButton()->isChecked());
    EXPECT_EQ(d->valueBox()->text(), "77");
    retype(d->valueBox(), "78");
    QTest::mouseClick(d->setButton(), Qt::LeftButton);
    EXPECT_EQ(store_->input(2), 78);
    EXPECT_EQ(store_->holding(2), 0);
}

TEST_F(SetValueDialog, LastRegisterHasNoPairButCanBeSet)
{
    typeStartAddress("99999");
    store_->setHolding(65535, 0x1234);
    TfrmSetVal* d = openOnRow(25);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->registerBox()->text(), "65535");
    EXPECT_EQ(d->representationGroup()->title(), "32-bit representation [Not valid]");
    EXPECT_EQ(d->uintLabel()->text(), "0");
    EXPECT_EQ(d->floatLabel()->text(), "0000000000"); // never rewritten
    EXPECT_EQ(d->currentValueLabel()->text(), "4660");

    retype(d->valueBox(), "65535");
    QTest::keyClick(d->valueBox(), Qt::Key_Return); // Enter presses Set
    EXPECT_EQ(store_->holding(65535), 65535);
    d->Timer1Timer();
    EXPECT_EQ(d->currentValueLabel()->text(), "65535");
}

TEST_F(SetValueDialog, PairInEveryByteOrder)
{
    store_->setHolding(10, 16456);
    store_->setHolding(11, 62915);
    TfrmSetVal* d = openOnRow(10);
    ASSERT_NE(d, nullptr);
    d->byteOrderAction(3)->trigger();
    EXPECT_EQ(form_->viewOptions().ByteOrderUsed, 3);
    d->Timer2Timer();
    d->Timer1Timer();
    EXPECT_EQ(d->uintLabel()->text(), "1078523331");
    EXPECT_EQ(d->floatLabel()->text(), "3" + point() + "140");

    d->byteOrderAction(1)->trigger();
    d->Timer2Timer();
    list_->valuesAsHexAction()->trigger();
    d->Timer1Timer();
    EXPECT_EQ(d->uintLabel()->text(), "0xF5C34048");
    EXPECT_EQ(d->currentValueLabel()->text(), "0x4048");
    EXPECT_EQ(d->valueGroup()->title(), "Edit value [Hex]");

    // Both registers 0: 0 and 0.000 in every order.
    store_->setHolding(10, 0);
    store_->setHolding(11, 0);
    for (int order = 0; order < 4; ++order) {
        d->byteOrderAction(order)->trigger();
        d->Timer2Timer();
        d->Timer1Timer();
        EXPECT_EQ(d->uintLabel()->text(), "0x00000000") << order;
        EXPECT_EQ(d->floatLabel()->text(), "0" + point() + "000") << order;
        EXPECT_TRUE(d->byteOrderAction(order)->isChecked());
    }
}

TEST_F(SetValueDialog, OpensInTheSharedByteOrder)
{
    store_->setHolding(0, 16456);
    store_->setHolding(1, 62915);
    TfrmSetVal* d = openOnRow(0);
    ASSERT_NE(d, nullptr);
    // The main window starts on 1-0-3-2 and the first values shown use it.
    EXPECT_TRUE(d->byteOrderAction(1)->isChecked());
    EXPECT_EQ(d->uintLabel()->text(), QString::number(0xF5C34048u));
}

TEST_F(SetValueDialog, BitsMakeTheValue)
{
    TfrmSetVal* d = openOnRow(0);
    ASSERT_NE(d, nullptr);
    QTest::mouseClick(d->bitBox(0), Qt::LeftButton);
    QTest::mouseClick(d->bitBox(15), Qt::LeftButton);
    EXPECT_EQ(d->valueBox()->text(), "32769");
    QTest::mouseClick(d->setButton(), Qt::LeftButton);
    EXPECT_EQ(store_->holding(0), 32769);

    list_->valuesAsHexAction()->trigger();
    d->Timer1Timer();
    EXPECT_TRUE(d->valueBox()->text().isEmpty()); // the format changed
    EXPECT_FALSE(d->bitBox(0)->isChecked());
    QTest::mouseClick(d->bitBox(0), Qt::LeftButton);
    QTest::mouseClick(d->bitBox(15), Qt::LeftButton);
    EXPECT_EQ(d->valueBox()->text(), "8001");
    QTest::mouseClick(d->bitBox(15), Qt::LeftButton);
    EXPECT_EQ(d->valueBox()->text(), "0001"); // as many digits as shown
}

TEST_F(SetValueDialog, ValueBoxRejectsWhatDoesNotFit)
{
    TfrmSetVal* d = openOnRow(0);
    ASSERT_NE(d, nullptr);
    retype(d->valueBox(), "70000");
    EXPECT_TRUE(d->valueBox()->text().isEmpty());
    EXPECT_FALSE(d->setButton()->isEnabled());
    for (int bit = 0; bit < 16; ++bit)
        EXPECT_FALSE(d->bitBox(bit)->isChecked());
    retype(d->valueBox(), "-"); // a sign never stays
    EXPECT_TRUE(d->valueBox()->text().isEmpty());
    EXPECT_TRUE(messages_.empty()); // no message for values

    list_->valuesAsHexAction()->trigger();
    d->Timer1Timer();
    retype(d->valueBox(), "12345");
    EXPECT_EQ(d->valueBox()->text(), "1234");
    EXPECT_TRUE(d->setButton()->isEnabled());
    retype(d->valueBox(), "12G");
    EXPECT_TRUE(d->valueBox()->text().isEmpty());
    // An empty value box never writes.
    store_->setHolding(0, 5);
    QTest::mouseClick(d->setButton(), Qt::LeftButton);
    EXPECT_EQ(store_->holding(0), 5);
}

TEST_F(SetValueDialog, RegisterBoxChecksAndMessages)
{
    TfrmSetVal* d = openOnRow(3);
    ASSERT_NE(d, nullptr);
    retype(d->registerBox(), "70000");
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].caption, "Range error");
    EXPECT_EQ(messages_[0].text, "Illegal value. Valid values are 0 - 65535");
    EXPECT_EQ(d->registerBox()->text(), "0");
    EXPECT_EQ(d->registerBox()->selectedText(), "0");
    EXPECT_EQ(d->CurrentRegisterValue, 0);

    retype(d->registerBox(), "1x");
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_EQ(messages_[1].caption, "Register Error");
    EXPECT_EQ(messages_[1].text, "Please, use digits");
    EXPECT_TRUE(d->registerBox()->text().isEmpty());
    EXPECT_FALSE(d->setButton()->isEnabled());

    list_->registersAsHexAction()->trigger();
    d->Timer1Timer();
    retype(d->registerBox(), "Z");
    ASSERT_EQ(messages_.size(), 3u);
    EXPECT_EQ(messages_[2].caption, "Input Error");
    EXPECT_EQ(messages_[2].text, "Please, use digits and/or characters A - F");
    retype(d->registerBox(), "fffff");
    EXPECT_EQ(d->registerBox()->text(), "ffff");
    EXPECT_EQ(d->representationGroup()->title(), "32-bit representation [Not valid]");
}

TEST_F(SetValueDialog, FormatSwitchesReachOpenDialogs)
{
    TfrmSetVal* a = openOnRow(10);
    TfrmSetVal* b = openOnRow(12);
    ASSERT_TRUE(a && b);
    ASSERT_FALSE(a->valueBox()->text().isEmpty());

    list_->valuesAsHexAction()->trigger();
    list_->registersAsHexAction()->trigger();
    for (TfrmSetVal* d : {a, b}) {
        d->Timer1Timer();
        EXPECT_TRUE(d->valueBox()->text().isEmpty());
        EXPECT_EQ(d->registerGroup()->title(), "Register[Hex]");
    }
    EXPECT_EQ(a->registerBox()->text(), "000A");
    EXPECT_EQ(b->registerBox()->text(), "000C");
    EXPECT_EQ(a->CurrentRegisterValue, 10);

    list_->registersAsHexAction()->trigger();
    a->Timer1Timer();
    EXPECT_EQ(a->registerBox()->text(), "10");
    EXPECT_EQ(a->registerGroup()->title(), "Register");

    // A dialog opened in hex marks its register box at once.
    list_->registersAsHexAction()->trigger();
    TfrmSetVal* c = openOnRow(1);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->registerBox()->text(), "0001");
    EXPECT_EQ(c->registerGroup()->title(), "Register [Hex]");
}

TEST_F(SetValueDialog, ByteOrderReachesAllDialogsWithin700ms)
{
    TfrmSetVal* a = openOnRow(0);
    TfrmSetVal* b = openOnRow(1);
    TfrmSetVal* c = openOnRow(2);
    ASSERT_TRUE(a && b && c);
    // Each dialog looks at the shared order on its own 700 ms timer...
    for (TfrmSetVal* d : {a, b, c}) {
        bool found = false;
        for (QTimer* t : d->findChildren<QTimer*>())
            found = found || (t->interval() == 700 && t->isActive());
        EXPECT_TRUE(found);
    }
    // ...and the choice arrives by itself (generous limit: the test machine may be busy).
    b->byteOrderAction(0)->trigger();
    QElapsedTimer clock;
    clock.start();
    while (!(a->byteOrderAction(0)->isChecked() && c->byteOrderAction(0)->isChecked()) && clock.elapsed() < 5000)
        QTest::qWait(20);
    for (TfrmSetVal* d : {a, b, c}) {
        EXPECT_TRUE(d->byteOrderAction(0)->isChecked());
        EXPECT_FALSE(d->byteOrderAction(1)->isChecked());
    }
}

TEST_F(SetValueDialog, TwoDialogsOnOneRegisterSeeEachOthersWrites)
{
    TfrmSetVal* a = openOnRow(5);
    TfrmSetVal* b = openOnRow(5);
    ASSERT_TRUE(a && b);
    retype(a->valueBox(), "4242");
    QTest::mouseClick(a->setButton(), Qt::LeftButton);
    b->Timer1Timer();
    EXPECT_EQ(b->currentValueLabel()->text(), "4242");
    retype(b->valueBox(), "17");
    QTest::mouseClick(b->setButton(), Qt::LeftButton);
    a->Timer1Timer();
    EXPECT_EQ(a->currentValueLabel()->text(), "17");
    // The list sees it at its next tick.
    list_->Timer2Timer();
    EXPECT_EQ(value(5), "17");
}

TEST_F(SetValueDialog, CloseDestroysAndTheCloseBoxHides)
{
    TfrmSetVal* a = openOnRow(0);
    TfrmSetVal* b = openOnRow(1);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(form_->viewOptions().amount_of_setval_windows, 2);

    a->close(); // the title-bar close box
    settle();
    EXPECT_EQ(dialogs().size(), 2u);
    EXPECT_FALSE(a->isVisible());
    EXPECT_EQ(form_->viewOptions().amount_of_setval_windows, 2);

    QTest::mouseClick(b->closeButton(), Qt::LeftButton);
    settle();
    EXPECT_EQ(dialogs().size(), 1u);
    EXPECT_EQ(form_->viewOptions().amount_of_setval_windows, 1);

    // Esc in a box is the Close button.
    TfrmSetVal* c = openOnRow(2);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(form_->viewOptions().amount_of_setval_windows, 2);
    QTest::keyClick(c->valueBox(), Qt::Key_Escape);
    settle();
    EXPECT_EQ(dialogs().size(), 1u);
    EXPECT_EQ(form_->viewOptions().amount_of_setval_windows, 1);
}

TEST_F(SetValueDialog, DoubleClickOnTheCurrentValueCopiesIt)
{
    store_->setHolding(6, 0xBEEF);
    TfrmSetVal* d = openOnRow(6);
    ASSERT_NE(d, nullptr);
    list_->valuesAsHexAction()->trigger();
    d->Timer1Timer();
    ASSERT_TRUE(d->valueBox()->text().isEmpty());
    QTest::mouseDClick(d->currentValueLabel(), Qt::LeftButton);
    EXPECT_EQ(d->valueBox()->text(), "BEEF");
    EXPECT_TRUE(d->bitBox(15)->isChecked());
}

} // namespace
} // namespace korvel
