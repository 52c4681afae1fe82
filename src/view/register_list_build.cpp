// How the register list builds itself: the list widget, its usage column, the start-address, UID
// and table groups, the menu items, the handlers and the timers.
#include "common/numeric.h"
#include "common/register_store.h"
#include "rules/register_view_rules.h"
#include "service/server_service.h"
#include "ui/message_box.h"
#include "ui/refresh_requests.h"
#include "ui/view_options.h"
#include "view/column_slice.h"
#include "view/register_list_model.h"
#include "view/register_list_view.h"
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

constexpr int kRowHeight = 17;  // 13 px text and a little air
constexpr int kRefreshMs = 501; // the list's refresh tick
constexpr int kUpdateMeDelayMs = 3000;
constexpr int kLastItemAtStart = 65510;

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

void RegisterTable::setCurrentCell(int row, int column)
{
    setCurrentIndex(model()->index(row, column));
}

void RegisterTable::keyPressEvent(QKeyEvent* event)
{
    // Enter moves one row down, from the last row back to the first.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && state() != EditingState) {
        const int next = (currentRow() + 1) % model()->rowCount();
        setCurrentCell(next, currentColumn() < 0 ? 0 : currentColumn());
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

RegisterListView::RegisterListView(QWidget* owner, ViewOptions& options, RegisterStore& store, ServerService& server,
                                   RefreshRequests& refresh, QMenu* editMenu, QMenu* viewMenu, QVBoxLayout* column)
    : QWidget(owner), options_(options), store_(store), server_(server), refresh_(refresh), editMenu_(editMenu),
      viewMenu_(viewMenu)
{
    model_ = new RegisterListModel(store_, options_, this);
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

    // The model starts both tables on registers 0..25, holding shown; the list in Monitor mode.
    applyMode();
    ComboBoxUIDChange();
    RenderVLE();

    column->addWidget(this);
    Timer2->start();
}

// The list: title row and 26 data rows, no scroll bars.
void RegisterListView::buildList(const QFont& listFont)
{
    VLE = new RegisterTable(this);
    VLE->setModel(new ColumnSlice(*model_, RegisterListModel::RegisterColumn, 2, VLE));
    VLE->setObjectName(QStringLiteral("VLE"));
    VLE->setAccessibleName(QString::fromLatin1(texts::kVLEName));
    VLE->setFont(listFont);
    VLE->horizontalHeader()->setFont(listFont);
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
    VLE->setContextMenuPolicy(Qt::NoContextMenu);
    VLE->setToolTip(QString::fromLatin1(texts::kVLEHint));
    VLE->setPalette(QApplication::palette()); // the system window colour
    VLE->installEventFilter(this);            // the context-menu key
    VLE->viewport()->installEventFilter(this);
    VLE->setFixedSize(74 + 74 + 2 * VLE->frameWidth(), tableHeight(VLE));
}

// The usage column beside the list, rows aligned, never editable.
void RegisterListView::buildUsageColumn(const QFont& listFont)
{
    QFont rwFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    rwFont.setPixelSize(13);
    VLE_RW = new QTableView(this);
    VLE_RW->setModel(new ColumnSlice(*model_, RegisterListModel::UsageColumn, 1, VLE_RW));
    VLE_RW->setObjectName(QStringLiteral("VLE_RW"));
    VLE_RW->setAccessibleName(QString::fromLatin1(texts::kRWTitle));
    VLE_RW->setFont(rwFont);
    VLE_RW->horizontalHeader()->setFont(listFont);
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
    VLE_RW->setFixedSize(44 + 2 * VLE_RW->frameWidth(), tableHeight(VLE_RW));
}

// Height for exactly the title row and 26 rows.
int RegisterListView::tableHeight(const QTableView* table)
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
        if (on && !inputShown())
            switchTable(true);
    });
    connect(RBHold, &QRadioButton::toggled, this, [this](bool on) {
        if (on && inputShown())
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

} // namespace korvel
