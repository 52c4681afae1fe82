#include "view/register_list_view.h"

#include "common/numeric.h"
#include "common/register_store.h"
#include "rules/register_view_rules.h"
#include "service/server_service.h"
#include "ui/message_box.h"
#include "ui/refresh_requests.h"
#include "ui/view_options.h"
#include "view/rw_column_actions.h"
#include "view/rw_column_menu.h"
#include "view/typed_length_limit.h"
#include "view/view_texts.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace korvel {

namespace {

constexpr int kLastItemAfterToggle = 65500;

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}
std::string S(const QString& s)
{
    return s.toStdString();
}

} // namespace

// ---- labels for the variable-list file ----

QString RegisterListView::label(bool inputTable, int row) const
{
    if (row < 0 || row >= kVisibleRows)
        return {};
    if (inputTable == inputShown_)
        return cellText(row, 0);
    return (inputTable ? InputVLEKeys : HoldVLEKeys)[static_cast<size_t>(row)];
}

void RegisterListView::setLabel(bool inputTable, int row, const QString& text)
{
    if (row < 0 || row >= kVisibleRows)
        return;
    if (inputTable == inputShown_)
        VLE->item(row, 0)->setText(text);
    else
        (inputTable ? InputVLEKeys : HoldVLEKeys)[static_cast<size_t>(row)] = text;
}

bool RegisterListView::inputShown() const
{
    return inputShown_;
}

// ---- drawing ----

QString RegisterListView::cellText(int row, int column) const
{
    const QTableWidgetItem* item = VLE->item(row, column);
    return item ? item->text() : QString();
}

void RegisterListView::setRow(int row, const QString& label, const QString& value)
{
    QTableWidgetItem* labelItem = VLE->item(row, 0);
    QTableWidgetItem* valueItem = VLE->item(row, 1);
    if (labelItem->text() != label)
        labelItem->setText(label);
    if (valueItem->text() != value)
        valueItem->setText(value);
}

bool RegisterListView::readLabelsAndValues()
{
    const bool regsHex = options_.Showregistersathex();
    auto& addr = inputShown_ ? InputVLEAddr : HoldVLEAddr;
    auto& values = inputShown_ ? InputVLEValue : HoldVLEValue;
    const RegisterStore& store = store_;
    bool changed = false;
    for (int r = 0; r < kVisibleRows; ++r) {
        const size_t i = static_cast<size_t>(r);
        const std::optional<int> reg = LabelRegister(S(cellText(r, 0)), regsHex);
        const int seen = reg ? *reg : -1;
        if (seen != addr[i]) {
            addr[i] = seen;
            changed = true;
        }
        if (!reg)
            continue;
        const uint16_t a = static_cast<uint16_t>(*reg);
        const int value = inputShown_ ? store.input(a) : store.holding(a);
        if (value != values[i]) {
            values[i] = value;
            changed = true;
        }
    }
    return changed;
}

void RegisterListView::RenderVLE()
{
    if (editMode()) {
        options_.VLEUpdateNeeded = true; // drawn when Monitor mode returns
        return;
    }
    // The caches first take in what the rows show now: a start address typed since the last tick
    // must not be drawn over with the rows it replaced.
    readLabelsAndValues();
    options_.VLEUpdateNeeded = false;
    const int selectedRow = VLE->currentRow();
    const int selectedColumn = VLE->currentColumn();
    const bool regsHex = options_.Showregistersathex();
    const bool valuesHex = options_.ShowHex();
    const auto& addr = inputShown_ ? InputVLEAddr : HoldVLEAddr;
    const auto& values = inputShown_ ? InputVLEValue : HoldVLEValue;
    for (int r = 0; r < kVisibleRows; ++r) {
        const size_t i = static_cast<size_t>(r);
        const int reg = addr[i];
        QTableWidgetItem* rw = VLE_RW->item(r, 0);
        if (reg < 0) {
            // The label names no register: shown as typed, without a value.
            rw->setText(QString());
            setRow(r, cellText(r, 0), QString());
            continue;
        }
        const QString rwText = Q(RWText(inputShown_, store_.flags(static_cast<uint16_t>(reg))));
        if (rw->text() != rwText)
            rw->setText(rwText);
        setRow(r, Q(NumberText(reg, regsHex)), Q(ValueText(values[i], valuesHex)));
    }
    if (selectedRow >= 0)
        VLE->setCurrentCell(selectedRow, selectedColumn < 0 ? 0 : selectedColumn);
}

void RegisterListView::Timer2Timer()
{
    if (editMode())
        return;
    if (readLabelsAndValues())
        options_.VLEUpdateNeeded = true;
    if (options_.VLEUpdateNeeded)
        RenderVLE();
}

void RegisterListView::startUpdateMeTimer()
{
    UpdateMeTimer->start();
}

void RegisterListView::UpdateMeTimerTimer()
{
    options_.VLEUpdateNeeded = true;
    UpdateMeTimer->stop();
}

// ---- modes ----

int RegisterListView::RG4ItemIndex() const
{
    return RG4Edit->isChecked() ? 0 : 1;
}

void RegisterListView::setMode(int index)
{
    if (index == 1)
        VLE->commitOpenEditor();
    if (index == 0)
        RG4Edit->setChecked(true);
    else
        RG4Monitor->setChecked(true);
    applyMode(); // also when unchanged: a menu click toggles its own check mark
}

void RegisterListView::applyMode()
{
    const bool edit = editMode();
    Edit1->setChecked(edit);
    Monitor1->setChecked(!edit);
    VLE->setEditTriggers(edit ? (QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed |
                                 QAbstractItemView::AnyKeyPressed)
                              : QAbstractItemView::NoEditTriggers);
    QFont font = VLE->font();
    font.setItalic(edit);
    VLE->setFont(font);
    VLE->viewport()->update();
}

void RegisterListView::VLEDblClick()
{
    if (editMode()) {
        // Commit the cell being edited, then watch again.
        VLE->commitOpenEditor();
        setMode(1);
    } else {
        setMode(0);
    }
}

// ---- cell edits ----

bool RegisterListView::VLEValidate(int row, int column, const QString& text)
{
    if (row < 0 || row >= kVisibleRows)
        return false;
    if (column == 0)
        return AcceptLabel(S(text), options_.Showregistersathex()).has_value();

    const std::optional<uint16_t> value = AcceptValue(S(text), options_.ShowHex());
    const std::optional<int> reg = LabelRegister(S(cellText(row, 0)), options_.Showregistersathex());
    if (!value || !reg)
        return false;
    const uint16_t a = static_cast<uint16_t>(*reg);
    if (inputShown_)
        store_.setInput(a, *value);
    else
        store_.setHolding(a, *value);
    return true;
}

// ---- start address and scrolling ----

void RegisterListView::setBoxText(const QString& text)
{
    const QScopedValueRollback<bool> byProgram(boxByProgram_, true);
    if (ComboBoxAddress->currentText() != text)
        ComboBoxAddress->setEditText(text);
    ComboBoxAddress->lineEdit()->setCursorPosition(static_cast<int>(text.size()));
}

void RegisterListView::fillStartAddressItems(int last)
{
    const bool hex = options_.Showregistersathex();
    QStringList items;
    const int count = StartAddressItemCount(last);
    items.reserve(count);
    for (int i = 0; i < count; ++i)
        items << Q(StartAddressItem(i, hex));
    const QScopedValueRollback<bool> byProgram(boxByProgram_, true);
    ComboBoxAddress->clear();
    ComboBoxAddress->addItems(items);
}

void RegisterListView::ComboBoxAddressChange()
{
    const bool hex = options_.Showregistersathex();
    const QString text = ComboBoxAddress->currentText();
    const StartAddressOutcome out = StartAddressChange(S(text), hex);
    if (out.kind == StartAddressOutcome::Empty)
        return;
    if (out.kind == StartAddressOutcome::Invalid) {
        ShowMessage(this, MessageKind::Warning, QString::fromLatin1(texts::kInputErrorCaption),
                    QString::fromLatin1(hex ? texts::kUseDigitsOrAF : texts::kUseDigits));
        setBoxText(cellText(0, 0));
        ComboBoxAddress->lineEdit()->selectAll();
        return;
    }
    setBoxText(Q(out.text));

    // The rows follow at once, in either mode; the usage column and the caches catch up at the
    // next refresh tick.
    const bool valuesHex = options_.ShowHex();
    const RegisterStore& store = store_;
    for (int r = 0; r < kVisibleRows; ++r) {
        const uint16_t a = static_cast<uint16_t>(out.address + r);
        const int value = inputShown_ ? store.input(a) : store.holding(a);
        setRow(r, Q(NumberText(a, hex)), Q(ValueText(value, valuesHex)));
    }
}

void RegisterListView::reportConversionError(const QString& text)
{
    ShowMessage(this, MessageKind::Error, QString::fromLatin1(texts::kErrorCaption), text);
}

void RegisterListView::wheelScroll(bool down)
{
    try {
        setBoxText(Q(WheelText(S(ComboBoxAddress->currentText()), options_.Showregistersathex(), down)));
    } catch (const ConversionError& e) {
        reportConversionError(QString::fromStdString(e.what()));
        return;
    }
    ComboBoxAddressChange();
}

void RegisterListView::middleButtonScroll(bool shift)
{
    try {
        setBoxText(Q(MiddleButtonText(S(ComboBoxAddress->currentText()), options_.Showregistersathex(), shift)));
    } catch (const ConversionError& e) {
        reportConversionError(QString::fromStdString(e.what()));
        return;
    }
    ComboBoxAddressChange();
}

// ---- tables and formats ----

void RegisterListView::switchTable(bool toInput)
{
    VLE->commitOpenEditor(); // an open edit belongs to the table being left
    setMode(1);
    auto& leaving = toInput ? HoldVLEKeys : InputVLEKeys;
    for (int r = 0; r < kVisibleRows; ++r)
        leaving[static_cast<size_t>(r)] = cellText(r, 0);
    inputShown_ = toInput;
    const auto& shown = toInput ? InputVLEKeys : HoldVLEKeys;
    for (int r = 0; r < kVisibleRows; ++r)
        setRow(r, shown[static_cast<size_t>(r)], QString::fromLatin1(texts::kNoValue));
    setBoxText(shown[0]);
    options_.VLEUpdateNeeded = true;
}

void RegisterListView::ShowregistersathexClick()
{
    const bool hex = Showregistersathex->isChecked();
    options_.setShowregistersathex(hex);
    addressLimit_->setMaximum(hex ? 4 : 5);
    for (int r = 0; r < kVisibleRows; ++r) {
        const size_t i = static_cast<size_t>(r);
        InputVLEKeys[i] = Q(ConvertLabel(S(InputVLEKeys[i]), hex));
        HoldVLEKeys[i] = Q(ConvertLabel(S(HoldVLEKeys[i]), hex));
        VLE->item(r, 0)->setText(Q(ConvertLabel(S(cellText(r, 0)), hex)));
    }
    fillStartAddressItems(kLastItemAfterToggle);
    setBoxText(cellText(0, 0));
}

void RegisterListView::ShowHexClick()
{
    options_.setShowHex(ShowHex->isChecked());
    RenderVLE();
}

void RegisterListView::CopytoclipboardClick()
{
    QString text;
    for (int r = 0; r < kVisibleRows; ++r)
        text += cellText(r, 0) + QLatin1Char('=') + cellText(r, 1) + QStringLiteral("\r\n");
    QApplication::clipboard()->setText(text);
}

void RegisterListView::ComboBoxUIDChange()
{
    const QString text = ComboBoxUID->currentText();
    if (!IsNumericOrHex(S(text), false)) {
        ComboBoxUID->setCurrentIndex(0);
        return;
    }
    server_.changeSettings([&text](ServerSettings& s) { s.check.setUidSelectorText(S(text)); });
}

void RegisterListView::showUidSelector()
{
    constexpr int kLastUidItem = 255;
    const QString text = Q(server_.settings().check.uidText);
    for (int i = ComboBoxUID->count() - 1; i > kLastUidItem; --i)
        if (i != ComboBoxUID->currentIndex())
            ComboBoxUID->removeItem(i);
    if (ComboBoxUID->currentText() == text)
        return;
    int index = ComboBoxUID->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0) {
        ComboBoxUID->addItem(text);
        index = ComboBoxUID->count() - 1;
    }
    ComboBoxUID->setCurrentIndex(index);
}

// ---- set-value dialogs ----

void RegisterListView::openSetValueDialogAtRow(int row)
{
    if (row < 0 || row >= kVisibleRows)
        return;
    options_.requestSetValueDialog(cellText(row, 0));
}

void RegisterListView::SetregisterClick()
{
    const bool hex = options_.Showregistersathex();
    const std::optional<int> start = LabelRegister(S(ComboBoxAddress->currentText()), hex);
    options_.requestSetValueDialog(start ? Q(NumberText(*start, hex)) : cellText(0, 0));
}

// ---- the R/W column's menu ----

bool RegisterListView::VLE_RWMouseDown(int row, const QPoint& at)
{
    if (!rwMenu_->hasActions() || row < 0 || row >= kVisibleRows)
        return false;
    const std::optional<int> reg = LabelRegister(S(cellText(row, 0)), options_.Showregistersathex());
    if (!reg)
        return false;
    return rwMenu_->open(*reg, store_.flags(static_cast<uint16_t>(*reg)), inputShown_, at);
}

void RegisterListView::setRwColumnActions(RwColumnActions* actions)
{
    rwMenu_->setActions(actions);
}

// ---- mouse ----

bool RegisterListView::eventFilter(QObject* watched, QEvent* event)
{
    // The context-menu key (or Shift+F10) on the list opens a set-value dialog for the selected
    // row, as the right mouse button does for the row under the mouse.
    if (watched == VLE && event->type() == QEvent::ContextMenu &&
        static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
        openSetValueDialogAtRow(VLE->currentRow());
        return true;
    }
    const bool onList = watched == VLE->viewport();
    const bool onUsage = watched == VLE_RW->viewport();
    if (!onList && !onUsage)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::Wheel: {
        const int dy = static_cast<QWheelEvent*>(event)->angleDelta().y();
        if (dy != 0)
            wheelScroll(dy < 0);
        return true;
    }
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (onUsage && mouse->button() == Qt::RightButton) {
            VLE_RWMouseDown(VLE_RW->rowAt(mouse->position().toPoint().y()), mouse->globalPosition().toPoint());
            return true;
        }
        if (!onList)
            break;
        if (mouse->button() == Qt::MiddleButton) {
            middleButtonScroll(mouse->modifiers().testFlag(Qt::ShiftModifier));
            return true;
        }
        if (mouse->button() == Qt::RightButton) {
            openSetValueDialogAtRow(VLE->rowAt(mouse->position().toPoint().y()));
            return true;
        }
        break;
    }
    case QEvent::MouseButtonDblClick:
        if (onList && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            VLEDblClick();
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace korvel
