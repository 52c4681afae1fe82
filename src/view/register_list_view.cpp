#include "view/register_list_view.h"

#include "common/numeric.h"
#include "common/register_store.h"
#include "rules/register_view_rules.h"
#include "service/server_service.h"
#include "ui/message_box.h"
#include "ui/refresh_requests.h"
#include "ui/view_options.h"
#include "view/register_list_model.h"
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
    return model_->label(inputTable, row);
}

void RegisterListView::setLabel(bool inputTable, int row, const QString& text)
{
    model_->setLabel(inputTable, row, text);
}

bool RegisterListView::inputShown() const
{
    return model_->inputShown();
}

// ---- drawing ----

QString RegisterListView::cellText(int row, int column) const
{
    return model_->text(row, column);
}

void RegisterListView::RenderVLE()
{
    if (editMode()) {
        options_.VLEUpdateNeeded = true; // drawn when Monitor mode returns
        return;
    }
    // The caches first take in what the rows show now: a start address typed since the last tick
    // must not be drawn over with the rows it replaced.
    model_->takeRows();
    options_.VLEUpdateNeeded = false;
    const int selectedRow = VLE->currentRow();
    const int selectedColumn = VLE->currentColumn();
    model_->render();
    if (selectedRow >= 0)
        VLE->setCurrentCell(selectedRow, selectedColumn < 0 ? 0 : selectedColumn);
}

void RegisterListView::Timer2Timer()
{
    if (editMode())
        return;
    if (model_->takeRows())
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
    model_->showFrom(out.address);
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
    model_->switchTable(toInput);
    setBoxText(cellText(0, 0));
    options_.VLEUpdateNeeded = true;
}

void RegisterListView::ShowregistersathexClick()
{
    const bool hex = Showregistersathex->isChecked();
    options_.setShowregistersathex(hex);
    addressLimit_->setMaximum(hex ? 4 : 5);
    model_->convertLabels(hex);
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
    QApplication::clipboard()->setText(model_->clipboardText());
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
    return rwMenu_->open(*reg, store_.flags(static_cast<uint16_t>(*reg)), inputShown(), at);
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
