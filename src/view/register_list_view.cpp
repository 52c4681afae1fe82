#include "view/register_list_view.h"

#include "common/numeric.h"
#include "common/register_store.h"
#include "service/server_service.h"
#include "ui/message_box.h"
#include "ui/refresh_requests.h"
#include "ui/view_options.h"
#include "view/register_view_rules.h"
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

constexpr int kRowHeight = 17;  // 13 px text and a little air
constexpr int kRefreshMs = 501; // the list's refresh tick
constexpr int kUpdateMeDelayMs = 3000;
constexpr int kLastItemAtStart = 65510;
constexpr int kLastItemAfterToggle = 65500;

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}
std::string S(const QString& s)
{
    return s.toStdString();
}

// Cell edits go through the list's validation; a rejected edit leaves the cell as it was.
class VleDelegate : public QStyledItemDelegate {
  public:
    VleDelegate(RegisterListView* view) : QStyledItemDelegate(view), view_(view) {}

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        auto* edit = qobject_cast<QLineEdit*>(editor);
        if (edit == nullptr)
            return;
        const QString text = edit->text();
        if (view_->VLEValidate(index.row(), index.column(), text))
            model->setData(index, text);
    }

  private:
    RegisterListView* view_;
};

} // namespace

void RegisterTable::commitOpenEditor()
{
    if (state() != QAbstractItemView::EditingState)
        return;
    // Cell editors live on the viewport.
    const auto editors = viewport()->findChildren<QLineEdit*>(Qt::FindDirectChildrenOnly);
    for (QLineEdit* editor : editors) {
        if (!editor->isVisible())
            continue;
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void RegisterTable::keyPressEvent(QKeyEvent* event)
{
    // Enter moves one row down, from the last row back to the first.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && state() != EditingState) {
        const int next = (currentRow() + 1) % rowCount();
        setCurrentCell(next, currentColumn() < 0 ? 0 : currentColumn());
        event->accept();
        return;
    }
    QTableWidget::keyPressEvent(event);
}

RegisterListView::RegisterListView(QWidget* owner, ViewOptions& options, RegisterStore& store, ServerService& server,
                                   RefreshRequests& refresh, QMenu* editMenu, QMenu* viewMenu, QVBoxLayout* column)
    : QWidget(owner), options_(options), store_(store), server_(server), refresh_(refresh), editMenu_(editMenu),
      viewMenu_(viewMenu)
{
    QFont listFont = QApplication::font();
    listFont.setPixelSize(13);
    buildList(listFont);
    buildUsageColumn(listFont);
    buildStartAddressGroup();
    buildUidGroup();
    buildTypeAndModeGroups();
    buildLayout();
    buildMenuItems();
    connectHandlers();
    buildTimers();

    // Both tables start on registers 0..25 with cached values 0, holding shown, Monitor mode.
    for (int r = 0; r < kVisibleRows; ++r) {
        InputVLEKeys[static_cast<size_t>(r)] = HoldVLEKeys[static_cast<size_t>(r)] = QString::number(r);
        InputVLEAddr[static_cast<size_t>(r)] = HoldVLEAddr[static_cast<size_t>(r)] = r;
        setRow(r, QString::number(r), QString());
    }
    applyMode();
    ComboBoxUIDChange();
    RenderVLE();

    column->addWidget(this);
    Timer2->start();
}

// The list: title row and 26 data rows, no scroll bars.
void RegisterListView::buildList(const QFont& listFont)
{
    VLE = new RegisterTable(kVisibleRows, 2, this);
    VLE->setObjectName(QStringLiteral("VLE"));
    VLE->setAccessibleName(QString::fromLatin1(texts::kVLEName));
    VLE->setFont(listFont);
    VLE->horizontalHeader()->setFont(listFont);
    VLE->setHorizontalHeaderLabels(
        {QString::fromLatin1(texts::kRegisterTitle), QString::fromLatin1(texts::kValueTitle)});
    VLE->verticalHeader()->hide();
    VLE->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    VLE->verticalHeader()->setMinimumSectionSize(kRowHeight); // before the default, which it limits
    VLE->verticalHeader()->setDefaultSectionSize(kRowHeight);
    VLE->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    VLE->horizontalHeader()->setSectionsClickable(false);
    VLE->horizontalHeader()->setHighlightSections(false);
    VLE->setColumnWidth(0, 74);
    VLE->setColumnWidth(1, 74);
    VLE->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    VLE->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    VLE->setAutoScroll(false);
    VLE->setSelectionMode(QAbstractItemView::SingleSelection);
    VLE->setSelectionBehavior(QAbstractItemView::SelectItems);
    VLE->setEditTriggers(QAbstractItemView::NoEditTriggers);
    VLE->setItemDelegate(new VleDelegate(this));
    VLE->setContextMenuPolicy(Qt::NoContextMenu);
    VLE->setToolTip(QString::fromLatin1(texts::kVLEHint));
    VLE->setPalette(QApplication::palette()); // the system window colour
    VLE->installEventFilter(this);            // the context-menu key
    VLE->viewport()->installEventFilter(this);
    for (int r = 0; r < kVisibleRows; ++r) {
        VLE->setItem(r, 0, new QTableWidgetItem);
        VLE->setItem(r, 1, new QTableWidgetItem);
    }
    VLE->setFixedSize(74 + 74 + 2 * VLE->frameWidth(), tableHeight(VLE));
}

// The usage column beside the list, rows aligned, never editable.
void RegisterListView::buildUsageColumn(const QFont& listFont)
{
    QFont rwFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    rwFont.setPixelSize(13);
    VLE_RW = new QTableWidget(kVisibleRows, 1, this);
    VLE_RW->setObjectName(QStringLiteral("VLE_RW"));
    VLE_RW->setAccessibleName(QString::fromLatin1(texts::kRWTitle));
    VLE_RW->setFont(rwFont);
    VLE_RW->horizontalHeader()->setFont(listFont);
    VLE_RW->setHorizontalHeaderLabels({QString::fromLatin1(texts::kRWTitle)});
    VLE_RW->verticalHeader()->hide();
    VLE_RW->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    VLE_RW->verticalHeader()->setMinimumSectionSize(kRowHeight); // before the default, which it limits
    VLE_RW->verticalHeader()->setDefaultSectionSize(kRowHeight);
    VLE_RW->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    VLE_RW->horizontalHeader()->setSectionsClickable(false);
    VLE_RW->setColumnWidth(0, 44);
    VLE_RW->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    VLE_RW->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    VLE_RW->setAutoScroll(false);
    VLE_RW->setEditTriggers(QAbstractItemView::NoEditTriggers);
    VLE_RW->setSelectionMode(QAbstractItemView::NoSelection);
    VLE_RW->setFocusPolicy(Qt::NoFocus);
    VLE_RW->setToolTip(QString::fromLatin1(texts::kVLERWHint));
    QPalette rwPalette = VLE_RW->palette();
    rwPalette.setColor(QPalette::Base, rwPalette.color(QPalette::Button));
    VLE_RW->setPalette(rwPalette);
    VLE_RW->viewport()->installEventFilter(this);
    for (int r = 0; r < kVisibleRows; ++r) {
        auto* rw = new QTableWidgetItem;
        rw->setFlags(Qt::ItemIsEnabled);
        VLE_RW->setItem(r, 0, rw);
    }
    VLE_RW->setFixedSize(44 + 2 * VLE_RW->frameWidth(), tableHeight(VLE_RW));
}

// Height for exactly the title row and 26 rows.
int RegisterListView::tableHeight(const QTableWidget* table)
{
    return table->horizontalHeader()->sizeHint().height() + kVisibleRows * kRowHeight + 2 * table->frameWidth();
}

// Start address: an editable box whose list holds every tenth register number.
void RegisterListView::buildStartAddressGroup()
{
    addressGroup_ = new QGroupBox(QString::fromLatin1(texts::kStartAddressGroup), this);
    ComboBoxAddress = new QComboBox(addressGroup_);
    ComboBoxAddress->setObjectName(QStringLiteral("ComboBoxAddress"));
    ComboBoxAddress->setEditable(true);
    ComboBoxAddress->setCompleter(nullptr);
    ComboBoxAddress->setInsertPolicy(QComboBox::NoInsert);
    ComboBoxAddress->setMaxVisibleItems(20);
    ComboBoxAddress->setToolTip(QString::fromLatin1(texts::kStartAddressHint));
    // The box and its edit line both carry the group's caption (the edit line is what a screen
    // reader or a test robot types into).
    ComboBoxAddress->setAccessibleName(addressGroup_->title());
    ComboBoxAddress->lineEdit()->setAccessibleName(addressGroup_->title());
    addressLimit_ = new TypedLengthLimit(ComboBoxAddress->lineEdit(), 5);
    ComboBoxAddress->setValidator(addressLimit_);
    fillStartAddressItems(kLastItemAtStart);
    setBoxText(QStringLiteral("0"));
    (new QVBoxLayout(addressGroup_))->addWidget(ComboBoxAddress);
}

// The unit identifier the server answers to, picked from 0..255.
void RegisterListView::buildUidGroup()
{
    uidGroup_ = new QGroupBox(QString::fromLatin1(texts::kUidGroup), this);
    ComboBoxUID = new QComboBox(uidGroup_);
    ComboBoxUID->setObjectName(QStringLiteral("ComboBoxUID"));
    ComboBoxUID->setAccessibleName(uidGroup_->title());
    QStringList uids;
    for (int i = 0; i <= 255; ++i)
        uids << QString::number(i);
    ComboBoxUID->addItems(uids);
    ComboBoxUID->setCurrentIndex(0);
    ComboBoxUID->setMaxVisibleItems(20);
    ComboBoxUID->setToolTip(QString::fromLatin1(texts::kUidHint));
    (new QVBoxLayout(uidGroup_))->addWidget(ComboBoxUID);
}

// The table shown, and the mode, which lives in a hidden group that the menu items mirror.
void RegisterListView::buildTypeAndModeGroups()
{
    typeGroup_ = new QGroupBox(QString::fromLatin1(texts::kTypeShownGroup), this);
    RBInput = new QRadioButton(QString::fromLatin1(texts::kInputRadio), typeGroup_);
    RBHold = new QRadioButton(QString::fromLatin1(texts::kHoldingRadio), typeGroup_);
    RBInput->setToolTip(QString::fromLatin1(texts::kInputRadioHint));
    RBHold->setToolTip(QString::fromLatin1(texts::kHoldingRadioHint));
    RBHold->setChecked(true);
    auto* typeLayout = new QVBoxLayout(typeGroup_);
    typeLayout->addWidget(RBInput);
    typeLayout->addWidget(RBHold);

    RG4 = new QGroupBox(QStringLiteral("Values"), this);
    RG4Edit = new QRadioButton(QStringLiteral("Edit"), RG4);
    RG4Monitor = new QRadioButton(QStringLiteral("Monitor"), RG4);
    RG4Monitor->setChecked(true);
    RG4->hide();
}

void RegisterListView::buildLayout()
{
    auto* lists = new QHBoxLayout;
    lists->setSpacing(0);
    lists->addWidget(VLE, 0, Qt::AlignTop);
    lists->addWidget(VLE_RW, 0, Qt::AlignTop);
    auto* controls = new QHBoxLayout;
    auto* leftControls = new QVBoxLayout;
    leftControls->addWidget(addressGroup_);
    leftControls->addWidget(uidGroup_);
    controls->addLayout(leftControls);
    controls->addWidget(typeGroup_, 0, Qt::AlignTop);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addLayout(lists);
    column->addLayout(controls);
    column->addStretch(1);
}

// The main window's menu items of the list: Edit > Value List, Edit > Set Register Value, the
// tray's item and the two format items of View.
void RegisterListView::buildMenuItems()
{
    QMenu* valueList = editMenu_->addMenu(QString::fromLatin1(texts::kValueListMenu));
    Edit1 = valueList->addAction(QString::fromLatin1(texts::kEditItem));
    Edit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    Edit1->setCheckable(true);
    Monitor1 = valueList->addAction(QString::fromLatin1(texts::kMonitorItem));
    Monitor1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    Monitor1->setCheckable(true);
    Monitor1->setChecked(true);
    valueList->addSeparator();
    Copytoclipboard1 = valueList->addAction(QString::fromLatin1(texts::kCopyItem));
    Copytoclipboard1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    Setregister2 = editMenu_->addAction(QString::fromLatin1(texts::kSetRegisterItem));
    Setregister2->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    Setregister1 = new QAction(QString::fromLatin1(texts::kTraySetRegisterItem), this);

    rwMenu_ = new RwColumnMenu(*this);

    Showregistersathex = viewMenu_->addAction(QString::fromLatin1(texts::kRegistersAsHexItem));
    Showregistersathex->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_H));
    Showregistersathex->setCheckable(true);
    ShowHex = viewMenu_->addAction(QString::fromLatin1(texts::kValuesAsHexItem));
    ShowHex->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    ShowHex->setCheckable(true);
    options_.setShowregistersathex(false);
    options_.setShowHex(false);
}

void RegisterListView::connectHandlers()
{
    connect(Edit1, &QAction::triggered, this, [this] { setMode(0); });
    connect(Monitor1, &QAction::triggered, this, [this] {
        setMode(1);
        options_.VLEUpdateNeeded = true;
    });
    connect(Copytoclipboard1, &QAction::triggered, this, &RegisterListView::CopytoclipboardClick);
    connect(Setregister2, &QAction::triggered, this, &RegisterListView::SetregisterClick);
    connect(Setregister1, &QAction::triggered, this, &RegisterListView::SetregisterClick);
    connect(Showregistersathex, &QAction::triggered, this, &RegisterListView::ShowregistersathexClick);
    connect(ShowHex, &QAction::triggered, this, &RegisterListView::ShowHexClick);
    connect(RG4Edit, &QRadioButton::toggled, this, [this] { applyMode(); });

    // Every change of the box's text counts, however it came (typing, a picked item, a program or
    // an assistive tool setting it); the list's own rewrites of the box are not user changes.
    connect(ComboBoxAddress, &QComboBox::editTextChanged, this, [this] {
        if (!boxByProgram_)
            ComboBoxAddressChange();
    });
    // Picking the item the box already shows changes no text but still rebuilds the rows.
    connect(ComboBoxAddress, &QComboBox::textActivated, this, [this] { ComboBoxAddressChange(); });
    connect(ComboBoxUID, &QComboBox::currentTextChanged, this, [this] { ComboBoxUIDChange(); });
    connect(&server_, &ServerService::settingsChanged, this, [this] { showUidSelector(); });
    connect(RBInput, &QRadioButton::toggled, this, [this](bool on) {
        if (on && !inputShown_)
            switchTable(true);
    });
    connect(RBHold, &QRadioButton::toggled, this, [this](bool on) {
        if (on && inputShown_)
            switchTable(false);
    });
    connect(&refresh_, &RefreshRequests::registerViewRWRefreshRequested, this, &RegisterListView::RenderVLE);
}

void RegisterListView::buildTimers()
{
    Timer2 = new QTimer(this);
    Timer2->setInterval(kRefreshMs);
    connect(Timer2, &QTimer::timeout, this, &RegisterListView::Timer2Timer);
    UpdateMeTimer = new QTimer(this);
    UpdateMeTimer->setInterval(kUpdateMeDelayMs);
    UpdateMeTimer->setSingleShot(true);
    connect(UpdateMeTimer, &QTimer::timeout, this, &RegisterListView::UpdateMeTimerTimer);
}

RegisterListView::~RegisterListView() = default;

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
