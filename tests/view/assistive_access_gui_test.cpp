// The register list and the set-value dialog driven the way a screen reader or a GUI test robot
// drives them (Qt's accessibility interfaces, programmatic state changes, keys instead of the
// mouse), and a redraw that comes between a new start address and the next refresh tick.
#include "support/test_net.h"
#include "view/view_texts.h"
#include "view/view_window_fixture.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>

namespace korvel {
namespace {

QAccessibleInterface* Accessible(QObject* object)
{
    return QAccessible::queryAccessibleInterface(object);
}

QString AccessibleName(QObject* object)
{
    QAccessibleInterface* iface = Accessible(object);
    return iface ? iface->text(QAccessible::Name) : QString();
}

// What a screen reader announces a control by. Qt on Linux reports a combo box's value as its
// name and its caption through the "labelled by" relation (the group around it).
QString Caption(QWidget* w)
{
    QAccessibleInterface* iface = Accessible(w);
    if (iface == nullptr)
        return {};
    if (qobject_cast<QComboBox*>(w) == nullptr)
        return iface->text(QAccessible::Name);
    const auto labels = iface->relations(QAccessible::Label);
    return labels.isEmpty() ? QString() : labels.first().first->text(QAccessible::Name);
}

// ---- register list ----

class RegisterListAccess : public ViewWindow {
  protected:
    void expectRowsFrom(int first, const char* what)
    {
        for (int r = 0; r < 26; ++r)
            ASSERT_EQ(label(r), QString::number(first + r)) << what << ", row " << r;
    }
};

TEST_F(RegisterListAccess, ADisconnectBeforeTheTickRedrawsTheRowsTheBoxAsksFor)
{
    store_->setHolding(3, 33);
    store_->setHolding(103, 1103);
    store_->orFlags(3, kFlagHoldingRead);
    typeStartAddress("100");
    list_->Timer2Timer(); // the caches now hold registers 100..125
    typeStartAddress("0");
    expectRowsFrom(0, "typed");

    // A client comes, is answered and goes before the next tick: its disconnect redraws the list.
    QSignalSpy redraws(&form_->refreshRequests(), &RefreshRequests::registerViewRWRefreshRequested);
    testing::RawClient client;
    ASSERT_TRUE(client.connectTo(env_.port));
    client.send(testing::ReadHolding(1, 3, 1));
    ASSERT_EQ(client.receive(11).size(), 11);
    client.close();
    ASSERT_TRUE(testing::WaitUntil([&] { return redraws.size() > 0; }));

    expectRowsFrom(0, "after the disconnect");
    EXPECT_EQ(box()->text(), "0");
    EXPECT_EQ(value(3), "33");
    EXPECT_EQ(rw(3), " R/-"); // the usage column follows the rows shown
    // The next tick finds nothing new and keeps the rows.
    list_->Timer2Timer();
    expectRowsFrom(0, "after the tick");
}

TEST_F(RegisterListAccess, RedrawsBetweenTicksAgreeWithTheBoxAfterScrollAndTableSwitch)
{
    store_->setHolding(10, 7);
    list_->Timer2Timer();
    wheel(true); // start address 10, caches still on 0..25
    form_->refreshRequests().RefreshRegisterViewRW();
    expectRowsFrom(10, "wheel");
    EXPECT_EQ(value(0), "7");

    // "Values as Hex" redraws at once as well.
    typeStartAddress("40");
    list_->valuesAsHexAction()->trigger();
    expectRowsFrom(40, "hex values");

    // Holding 40.. is parked; input shows its own 0..25 with real values at the next redraw.
    store_->setInput(1, 300);
    QTest::mouseClick(list_->inputButton(), Qt::LeftButton);
    form_->refreshRequests().RefreshRegisterViewRW();
    expectRowsFrom(0, "input");
    EXPECT_EQ(value(1), "012C");
}

TEST_F(RegisterListAccess, StartAddressSetThroughTheAccessibilityValue)
{
    QAccessibleInterface* edit = Accessible(box());
    ASSERT_NE(edit, nullptr);
    edit->setText(QAccessible::Value, "200");
    expectRowsFrom(200, "value 200");
    EXPECT_EQ(box()->text(), "200");

    edit->setText(QAccessible::Value, "99999"); // limited as typing is
    EXPECT_EQ(box()->text(), "65510");
    expectRowsFrom(65510, "value 99999");

    // A text that is no number: the same message and the same restore as for typing.
    edit->setText(QAccessible::Value, "12x");
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].caption, texts::kInputErrorCaption);
    EXPECT_EQ(messages_[0].text, texts::kUseDigits);
    EXPECT_EQ(box()->text(), "65510");
    expectRowsFrom(65510, "after the bad text");

    // An empty text changes nothing.
    edit->setText(QAccessible::Value, "");
    expectRowsFrom(65510, "empty");
    EXPECT_EQ(messages_.size(), 1u);
}

TEST_F(RegisterListAccess, StartAddressEditedThroughTheEditableTextAndSetText)
{
    QAccessibleEditableTextInterface* editable = Accessible(box())->editableTextInterface();
    ASSERT_NE(editable, nullptr);
    editable->replaceText(0, static_cast<int>(box()->text().size()), "300");
    expectRowsFrom(300, "replaced");
    editable->insertText(3, "0");
    expectRowsFrom(3000, "inserted");
    editable->deleteText(0, 1);
    expectRowsFrom(0, "deleted"); // "000" reads as 0
    EXPECT_EQ(box()->text(), "0");

    // Hex keeps as many digits as were given, exactly as typed.
    list_->registersAsHexAction()->trigger();
    box()->setText("00a");
    EXPECT_EQ(box()->text(), "00A");
    EXPECT_EQ(label(0), "000A");
    EXPECT_EQ(label(25), "0023");
    box()->setText("g");
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, texts::kUseDigitsOrAF);
    EXPECT_EQ(box()->text(), "000A");
}

TEST_F(RegisterListAccess, ProgramRewritesOfTheBoxDoNotRebuildTheRows)
{
    // Labels the user typed in Edit mode stay when the list itself rewrites the box (format
    // toggle, table switch): only a change from outside rebuilds the rows.
    list_->editAction()->trigger();
    ASSERT_TRUE(editCell(1, 0, "500"));
    list_->monitorAction()->trigger();
    list_->registersAsHexAction()->trigger();
    EXPECT_EQ(label(0), "0000");
    EXPECT_EQ(label(1), "01F4");
    EXPECT_EQ(label(2), "0002");
    QTest::mouseClick(list_->inputButton(), Qt::LeftButton);
    QTest::mouseClick(list_->holdingButton(), Qt::LeftButton);
    EXPECT_EQ(label(1), "01F4");
    EXPECT_TRUE(messages_.empty());
}

TEST_F(RegisterListAccess, ContextMenuKeyOpensADialogOnTheSelectedRow)
{
    typeStartAddress("70");
    list_->vle()->setCurrentCell(4, 1);
    QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(5, 5), list_->vle()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(list_->vle(), &event);
    settle();
    ASSERT_EQ(dialogs().size(), 1u);
    EXPECT_EQ(dialogs()[0]->registerBox()->text(), "74");
}

TEST_F(RegisterListAccess, ControlsCarryTheirCaptions)
{
    EXPECT_EQ(AccessibleName(list_->vle()), texts::kVLEName);
    EXPECT_EQ(AccessibleName(list_->vleRW()), texts::kRWTitle);
    EXPECT_EQ(Caption(list_->startAddressBox()), texts::kStartAddressGroup);
    EXPECT_EQ(AccessibleName(box()), texts::kStartAddressGroup);
    EXPECT_EQ(Caption(list_->uidBox()), texts::kUidGroup);
    EXPECT_EQ(AccessibleName(list_->inputButton()), texts::kInputRadio);
    EXPECT_EQ(AccessibleName(list_->holdingButton()), texts::kHoldingRadio);
}

TEST_F(RegisterListAccess, UidAndTableFollowStateChangesFromAnywhere)
{
    list_->uidBox()->setCurrentIndex(17);
    EXPECT_FALSE(engine_->settings.check.uidAny);
    EXPECT_EQ(engine_->settings.check.uid, 17);

    store_->setInput(0, 5);
    list_->inputButton()->setChecked(true);
    EXPECT_TRUE(list_->inputShown());
    list_->Timer2Timer();
    EXPECT_EQ(value(0), "5");
    // What the list shows the moment it switched (the refresh timer may tick before the wait below
    // ends, and then shows the holding register's value).
    QString shownAtTheSwitch;
    QObject watcher; // the connection ends with the test
    QObject::connect(list_->holdingButton(), &QRadioButton::toggled, &watcher, [&](bool on) {
        if (on)
            shownAtTheSwitch = value(0);
    });
    // The radio button's press action, as a screen reader uses it (it clicks after an animation).
    Accessible(list_->holdingButton())->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    ASSERT_TRUE(testing::WaitUntil([&] { return !list_->inputShown(); }, 10000));
    EXPECT_EQ(shownAtTheSwitch, "-");
}

// ---- set-value dialog ----

class SetValueAccess : public ViewWindow {
  protected:
    TfrmSetVal* open()
    {
        list_->SetregisterClick();
        settle();
        if (dialogs().size() != 1)
            return nullptr;
        TfrmSetVal* d = dialogs().back();
        d->Timer1Timer();
        return d;
    }
};

TEST_F(SetValueAccess, EachBitBoxIsNamedAfterItsBit)
{
    TfrmSetVal* d = open();
    ASSERT_NE(d, nullptr);
    for (int bit = 0; bit < 16; ++bit)
        EXPECT_EQ(AccessibleName(d->bitBox(bit)), QStringLiteral("Bit %1").arg(bit));
    EXPECT_EQ(AccessibleName(d->registerBox()), texts::kRG1Caption);
    EXPECT_EQ(AccessibleName(d->valueBox()), texts::kEditValueGroup);
}

// How a bit box can change state without a mouse click; each must count as the click does.
enum class Route { AccessibleToggle, AccessiblePress, SetChecked, Toggle, SpaceKey };

void Flip(QCheckBox* box, Route route)
{
    switch (route) {
    case Route::AccessibleToggle:
        Accessible(box)->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        break;
    case Route::AccessiblePress:
        // The press action clicks after a short animation.
        Accessible(box)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        break;
    case Route::SetChecked:
        box->setChecked(!box->isChecked());
        break;
    case Route::Toggle:
        box->toggle();
        break;
    case Route::SpaceKey:
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Space);
        break;
    }
}

TEST_F(SetValueAccess, EveryBitFollowsEveryRouteOnceAndSetWritesIt)
{
    TfrmSetVal* d = open();
    ASSERT_NE(d, nullptr);
    d->show();
    const Route routes[] = {Route::AccessibleToggle, Route::SetChecked, Route::Toggle, Route::SpaceKey};
    for (const Route route : routes) {
        for (int bit = 0; bit < 16; ++bit) {
            SCOPED_TRACE(::testing::Message() << "route " << static_cast<int>(route) << ", bit " << bit);
            d->valueBox()->setText("0");
            QSignalSpy changes(d->valueBox(), &QLineEdit::textChanged);
            Flip(d->bitBox(bit), route);
            ASSERT_TRUE(d->bitBox(bit)->isChecked());
            EXPECT_EQ(d->valueBox()->text(), QString::number(1 << bit));
            EXPECT_EQ(changes.size(), 1); // one write, not one per box
            EXPECT_TRUE(d->setButton()->isEnabled());
            // Set writes what the marks say; before that, the register is untouched.
            EXPECT_EQ(store_->holding(0), 0);
            d->setButton()->click();
            EXPECT_EQ(store_->holding(0), 1 << bit);
            store_->setHolding(0, 0);
            // And back off.
            Flip(d->bitBox(bit), route);
            EXPECT_EQ(d->valueBox()->text(), "0");
        }
    }
}

TEST_F(SetValueAccess, PressActionClicksTheBoxOnce)
{
    TfrmSetVal* d = open();
    ASSERT_NE(d, nullptr);
    d->show();
    QSignalSpy changes(d->valueBox(), &QLineEdit::textChanged);
    Flip(d->bitBox(15), Route::AccessiblePress);
    ASSERT_TRUE(testing::WaitUntil([&] { return d->bitBox(15)->isChecked(); }, 10000));
    EXPECT_EQ(d->valueBox()->text(), "32768");
    EXPECT_EQ(changes.size(), 1);
}

TEST_F(SetValueAccess, ValueBoxSetsTheBitsWithoutBeingRewritten)
{
    TfrmSetVal* d = open();
    ASSERT_NE(d, nullptr);
    // Leading zeros stay as typed: the boxes following the value do not write it back.
    QAccessible::queryAccessibleInterface(d->valueBox())->setText(QAccessible::Value, "007");
    EXPECT_EQ(d->valueBox()->text(), "007");
    for (int bit = 0; bit < 16; ++bit)
        EXPECT_EQ(d->bitBox(bit)->isChecked(), bit < 3) << bit;

    // Hex keeps the digits shown when a bit is added from outside.
    list_->valuesAsHexAction()->trigger();
    d->Timer1Timer();
    d->valueBox()->setText("0F");
    d->bitBox(7)->setChecked(true);
    EXPECT_EQ(d->valueBox()->text(), "8F");
    d->bitBox(12)->setChecked(true);
    EXPECT_EQ(d->valueBox()->text(), "108F");

    // A value the box refuses clears every mark.
    d->valueBox()->setText("-1");
    EXPECT_TRUE(d->valueBox()->text().isEmpty());
    for (int bit = 0; bit < 16; ++bit)
        EXPECT_FALSE(d->bitBox(bit)->isChecked()) << bit;
    EXPECT_FALSE(d->setButton()->isEnabled());
}

TEST_F(SetValueAccess, RegisterBoxTakesTextsFromAnywhere)
{
    store_->setHolding(1234, 4321);
    TfrmSetVal* d = open();
    ASSERT_NE(d, nullptr);
    Accessible(d->registerBox())->setText(QAccessible::Value, "1234");
    EXPECT_EQ(d->CurrentRegisterValue, 1234);
    EXPECT_EQ(d->representationGroup()->title(), "32-bit representation [1234 - 1235]");
    Accessible(d->registerBox())->setText(QAccessible::Value, "70000");
    EXPECT_EQ(d->registerBox()->text(), "0");
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].caption, texts::kRangeErrorDecCaption);
}

TEST_F(SetValueAccess, CurrentValueIsCopiedFromTheKeyboard)
{
    store_->setHolding(0, 512);
    TfrmSetVal* d = open();
    ASSERT_NE(d, nullptr);
    d->valueBox()->clear();
    d->Timer1Timer();
    EXPECT_EQ(d->currentValueLabel()->focusPolicy(), Qt::StrongFocus);
    QTest::keyClick(d->currentValueLabel(), Qt::Key_Space);
    EXPECT_EQ(d->valueBox()->text(), "512");
    d->valueBox()->clear();
    QTest::keyClick(d->currentValueLabel(), Qt::Key_Return);
    EXPECT_EQ(d->valueBox()->text(), "512");
}

// Every visible control of the main window and of a dialog has a name of its own, and no two
// controls of one window share one unless they are the same kind of thing in different places.
TEST_F(SetValueAccess, EveryVisibleControlHasAName)
{
    TfrmSetVal* d = open();
    ASSERT_NE(d, nullptr);
    d->show();
    for (QWidget* window : {static_cast<QWidget*>(form_.get()), static_cast<QWidget*>(d)}) {
        QStringList names;
        for (QWidget* w : window->findChildren<QWidget*>()) {
            if (!w->isVisible() || w->window() != window)
                continue;
            const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                                 qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractItemView*>(w);
            if (!control || qobject_cast<QHeaderView*>(w)) // a header is part of its table
                continue;
            const QString name = Caption(w);
            EXPECT_FALSE(name.isEmpty()) << w->metaObject()->className() << " " << w->objectName().toStdString();
            if (qobject_cast<QCheckBox*>(w) && window == d) {
                EXPECT_FALSE(names.contains(name)) << name.toStdString();
                names << name;
            }
        }
    }
}

} // namespace
} // namespace korvel
