#include "view/set_value_dialog.h"

#include "common/numeric.h"
#include "common/register_store.h"
#include "rules/register_view_rules.h"
#include "ui/flash_platform.h"
#include "ui/message_box.h"
#include "ui/view_options.h"
#include "view/register_list_view.h"
#include "view/typed_length_limit.h"
#include "view/view_texts.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QTimer>
#include <QVBoxLayout>

namespace korvel {

namespace {

constexpr int kRefreshMs = 100;
constexpr int kByteOrderSyncMs = 700;
constexpr int kNotAPairRegister = 65535; // the last register has no partner for 32 bits

QString L(const char* text)
{
    return QString::fromLatin1(text);
}
QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}
std::string S(const QString& s)
{
    return s.toStdString();
}

} // namespace

TfrmSetVal::TfrmSetVal(QWidget* owner, ViewOptions& options, RegisterStore& store, const RegisterListView* list)
    : QWidget(owner, Qt::Tool), options_(options), store_(store), list_(list)
{
    setWindowTitle(L(texts::kSetValCaption));
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    buildRegisterGroup(fixed);
    buildValueGroups(fixed);
    buildBitmask();
    buildRepresentation(fixed);
    BtnClose = new QPushButton(L(texts::kCloseButton), this);
    BtnClose->setToolTip(L(texts::kCloseButtonHint));
    BtnClose->setAutoDefault(false);
    buildLayout(buildMenu());
    connectHandlers();
    buildTimers();
    FormCreate();
}

void TfrmSetVal::buildRegisterGroup(const QFont& fixed)
{
    RG1 = new QGroupBox(L(texts::kRG1Caption), this);
    RG1->setToolTip(L(texts::kRG1Hint));
    RG1Input = new QRadioButton(L(texts::kRG1Input), RG1);
    RG1Holding = new QRadioButton(L(texts::kRG1Holding), RG1);
    RG1Holding->setChecked(true);
    Edit2 = new QLineEdit(QStringLiteral("0"), RG1);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setAccessibleName(L(texts::kRG1Caption)); // the group's caption, without its format suffix
    Edit2->setToolTip(L(texts::kEdit2Hint));
    Edit2->setFont(fixed);
    Edit2->setFixedWidth(80);
    edit2Limit_ = new TypedLengthLimit(Edit2, options_.Showregistersathex() ? 4 : 5);
    Edit2->setValidator(edit2Limit_);
    auto* rg1Layout = new QHBoxLayout(RG1);
    rg1Layout->addWidget(RG1Input);
    rg1Layout->addWidget(RG1Holding);
    rg1Layout->addStretch(1);
    rg1Layout->addWidget(Edit2);
}

// "Current value" with its large label, "Edit value" with the value box and Set.
void TfrmSetVal::buildValueGroups(const QFont& fixed)
{
    GroupBox3 = new QGroupBox(L(texts::kCurrentValueGroup), this);
    Label1 = new QLabel(QStringLiteral("00000"), GroupBox3);
    QFont big = fixed;
    big.setPointSizeF(fixed.pointSizeF() > 0 ? fixed.pointSizeF() * 1.6 : 16);
    big.setBold(true);
    Label1->setFont(big);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setToolTip(L(texts::kLabel1Hint));
    // Reachable from the keyboard too: Tab to it, then Space or Enter copies as a double click does.
    Label1->setFocusPolicy(Qt::StrongFocus);
    Label1->installEventFilter(this);
    (new QVBoxLayout(GroupBox3))->addWidget(Label1);

    GroupBox1 = new QGroupBox(L(texts::kEditValueGroup), this);
    Edit1 = new QLineEdit(QStringLiteral("0"), GroupBox1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setAccessibleName(L(texts::kEditValueGroup)); // the group's caption, without its format suffix
    Edit1->setToolTip(L(texts::kEdit1Hint));
    Edit1->setFont(fixed);
    Edit1->setFixedWidth(80);
    edit1Limit_ = new TypedLengthLimit(Edit1, 5);
    Edit1->setValidator(edit1Limit_);
    BtnSet = new QPushButton(L(texts::kSetButton), GroupBox1);
    BtnSet->setToolTip(L(texts::kSetButtonHint));
    BtnSet->setAutoDefault(false);
    auto* editLayout = new QHBoxLayout(GroupBox1);
    editLayout->addWidget(Edit1);
    editLayout->addWidget(BtnSet);
}

// Sixteen bit boxes in four groups of four, bit 15 on the left, each group numbered below.
void TfrmSetVal::buildBitmask()
{
    GroupBox4 = new QGroupBox(L(texts::kBitmaskGroup), this);
    GroupBox4->setToolTip(L(texts::kBitmaskHint));
    auto* bitLayout = new QGridLayout(GroupBox4);
    bitLayout->setHorizontalSpacing(2);
    bitLayout->setVerticalSpacing(0);
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() > 0 ? small.pointSizeF() * 0.8 : 7);
    for (int bit = 15; bit >= 0; --bit) {
        const int group = (15 - bit) / 4;
        const int column = (15 - bit) + group; // a spacer column between groups
        auto* box = new QCheckBox(GroupBox4);
        box->setAccessibleName(L(texts::kBitName).arg(bit));
        box->setToolTip(bit == 0 ? L(texts::kLsbHint) : bit == 15 ? L(texts::kMsbHint) : QString::number(bit));
        bits_[static_cast<size_t>(bit)] = box;
        bitLayout->addWidget(box, 0, column);
        if (bit % 4 == 3) {
            auto* caption = new QLabel(QStringLiteral("%1-%2").arg(bit).arg(bit - 3), GroupBox4);
            caption->setFont(small);
            caption->setAlignment(Qt::AlignCenter);
            bitLayout->addWidget(caption, 1, column, 1, 4);
        }
        if (bit % 4 == 0 && bit != 0)
            bitLayout->setColumnMinimumWidth(column + 1, 12);
    }
    bitLayout->setColumnStretch(20, 1);
}

void TfrmSetVal::buildRepresentation(const QFont& fixed)
{
    GroupBox2 = new QGroupBox(L(texts::kRepresentationAtCreation), this);
    Label2 = new QLabel(QStringLiteral("0000000000"), GroupBox2);
    Label3 = new QLabel(QStringLiteral("0000000000"), GroupBox2);
    Label2->setFont(fixed);
    Label3->setFont(fixed);
    Label2->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Label3->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* uintCaption = new QLabel(L(texts::kUintLabel), GroupBox2);
    auto* floatCaption = new QLabel(L(texts::kFloatLabel), GroupBox2);
    // Each caption labels its value for assistive technology.
    uintCaption->setBuddy(Label2);
    floatCaption->setBuddy(Label3);
    auto* reprLayout = new QGridLayout(GroupBox2);
    reprLayout->addWidget(uintCaption, 0, 0);
    reprLayout->addWidget(Label2, 0, 1);
    reprLayout->addWidget(floatCaption, 1, 0);
    reprLayout->addWidget(Label3, 1, 1);
    reprLayout->setColumnStretch(1, 1);
}

// Edit > 32-bit Representation Byte Order, exactly one item checked.
QMenuBar* TfrmSetVal::buildMenu()
{
    auto* bar = new QMenuBar(this);
    QMenu* editMenu = bar->addMenu(QStringLiteral("&Edit"));
    QMenu* orderMenu = editMenu->addMenu(L(texts::kByteOrderMenu));
    auto* orderGroup = new QActionGroup(this);
    orderGroup->setExclusive(true);
    for (int order = 0; order < 4; ++order) {
        QAction* action = orderMenu->addAction(L(texts::kByteOrderItems[order]));
        action->setCheckable(true);
        orderGroup->addAction(action);
        byteOrder_[static_cast<size_t>(order)] = action;
    }
    return bar;
}

void TfrmSetVal::buildLayout(QMenuBar* bar)
{
    auto* middle = new QHBoxLayout;
    middle->addWidget(GroupBox3, 1);
    middle->addWidget(GroupBox1, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(BtnClose);
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(bar);
    layout->addWidget(RG1);
    layout->addLayout(middle);
    layout->addWidget(GroupBox4);
    layout->addWidget(GroupBox2);
    layout->addLayout(bottom);
    setMinimumWidth(392);
}

void TfrmSetVal::connectHandlers()
{
    connect(Edit2, &QLineEdit::textChanged, this, [this] { Edit2Change(); });
    connect(Edit1, &QLineEdit::textChanged, this, [this] { Edit1Change(); });
    connect(Edit1, &QLineEdit::returnPressed, this, [this] {
        if (BtnSet->isEnabled())
            BtnSetClick();
    });
    connect(BtnSet, &QPushButton::clicked, this, &TfrmSetVal::BtnSetClick);
    connect(BtnClose, &QPushButton::clicked, this, &TfrmSetVal::BtnCloseClick);
    // Any change of a bit box's state (mouse, Space, a program or an assistive tool toggling it)
    // counts as the user ticking the bit; the boxes following the value box do not.
    for (int bit = 0; bit < 16; ++bit) {
        connect(bits_[static_cast<size_t>(bit)], &QCheckBox::toggled, this, [this, bit] {
            if (!bitsByProgram_)
                bitClicked(bit);
        });
    }
    for (int order = 0; order < 4; ++order)
        connect(byteOrder_[static_cast<size_t>(order)], &QAction::triggered, this,
                [this, order] { byteOrderClick(order); });
}

void TfrmSetVal::buildTimers()
{
    Timer1 = new QTimer(this);
    Timer1->setInterval(kRefreshMs);
    connect(Timer1, &QTimer::timeout, this, &TfrmSetVal::Timer1Timer);
    Timer2 = new QTimer(this);
    Timer2->setInterval(kByteOrderSyncMs);
    connect(Timer2, &QTimer::timeout, this, &TfrmSetVal::Timer2Timer);
}

void TfrmSetVal::FormCreate()
{
    options_.amount_of_setval_windows += 1;
    Edit2->blockSignals(true);
    Edit2->setText(options_.VLEPointedRegister);
    Edit2->blockSignals(false);
    Edit2Change();
    if (options_.Showregistersathex())
        RG1->setTitle(L(texts::kRG1HexAtCreation));
    ValueFromCreation = true;
    ByteOrderUsed = -1;
    // Take the shared byte order at once, so that the first values shown are in the order in use.
    Timer2Timer();

    Timer1->start();
    Timer2->start();
}

TfrmSetVal::~TfrmSetVal()
{
    options_.amount_of_setval_windows -= 1;
    // A later dialog may be given this one's address: it must still ask for its blink.
    if (options_.flash_main_window_handle == WindowIdOf(this))
        options_.flash_main_window_handle = 0;
}

void TfrmSetVal::updateSetEnabled()
{
    BtnSet->setEnabled(registerValid_ && enteredValue_.has_value());
}

void TfrmSetVal::setBits(uint16_t value)
{
    const QScopedValueRollback<bool> byProgram(bitsByProgram_, true);
    for (int bit = 0; bit < 16; ++bit)
        bits_[static_cast<size_t>(bit)]->setChecked(((value >> bit) & 1) != 0);
}

void TfrmSetVal::Edit2Change()
{
    const bool hex = options_.Showregistersathex();
    const QString text = Edit2->text();
    if (!text.isEmpty() && !IsNumericOrHex(S(text), hex)) {
        ShowMessage(this, MessageKind::Warning, L(hex ? texts::kInputErrorCaption : texts::kRegisterErrorCaption),
                    L(hex ? texts::kUseDigitsAndOrAF : texts::kUseDigits));
        Edit2->clear();
        return;
    }
    if (text.isEmpty()) {
        registerValid_ = false;
        updateSetEnabled();
        return;
    }
    registerValid_ = true;
    updateSetEnabled();
    const std::optional<int> reg = LabelRegister(S(text), hex);
    if (reg) {
        CurrentRegisterValue = *reg;
        GroupBox2->setTitle(*reg == kNotAPairRegister
                                ? L(texts::kRepresentationNotValid)
                                : L(texts::kRepresentationPrefix) + QString::number(*reg) + QStringLiteral(" - ") +
                                      QString::number(*reg + 1) + QStringLiteral("]"));
        return;
    }
    Edit2->setText(QStringLiteral("0"));
    ShowMessage(this, MessageKind::Warning, L(hex ? texts::kRangeErrorHexCaption : texts::kRangeErrorDecCaption),
                L(hex ? texts::kIllegalRegisterHex : texts::kIllegalRegisterDec));
    CurrentRegisterValue = 0;
    Edit2->selectAll();
}

void TfrmSetVal::Edit1Change()
{
    if (ValueFromCreation)
        Edit1->setFocus();
    const QString text = Edit1->text();
    if (text.isEmpty()) {
        enteredValue_.reset();
        setBits(0);
        updateSetEnabled();
        return;
    }
    const std::optional<uint16_t> value = AcceptValue(S(text), options_.ShowHex());
    if (!value) {
        Edit1->clear(); // runs the empty case
        return;
    }
    enteredValue_ = value;
    setBits(*value);
    updateSetEnabled();
}

void TfrmSetVal::bitClicked(int /*bit*/)
{
    int value = 0;
    for (int bit = 0; bit < 16; ++bit) {
        if (bits_[static_cast<size_t>(bit)]->isChecked())
            value |= 1 << bit;
    }
    // Hex keeps as many digits as the box shows.
    Edit1->setText(Q(ValueText(value, options_.ShowHex(), static_cast<int>(Edit1->text().size()))));
}

void TfrmSetVal::BtnSetClick()
{
    // The value as typed (in the format of its typing) into the register the dialog shows.
    if (!enteredValue_ || !registerValid_)
        return;
    const uint16_t reg = static_cast<uint16_t>(CurrentRegisterValue);
    if (RG1Input->isChecked())
        store_.setInput(reg, *enteredValue_);
    else
        store_.setHolding(reg, *enteredValue_);
}

void TfrmSetVal::BtnCloseClick()
{
    hide();
    deleteLater();
}

void TfrmSetVal::Label1DblClick()
{
    const QString text = Label1->text();
    Edit1->setText(options_.ShowHex() ? text.right(4) : text);
}

void TfrmSetVal::Timer1Timer()
{
    const bool regs = options_.Showregistersathex();
    const bool hex = options_.ShowHex();
    edit2Limit_->setMaximum(regs ? 4 : 5);

    if (!ValueFromCreation && regs != PrevRegsathex && !Edit2->text().isEmpty()) {
        const std::optional<int> reg = LabelRegister(S(Edit2->text()), PrevRegsathex);
        if (reg) {
            Edit2->setText(Q(NumberText(*reg, regs)));
            RG1->setTitle(L(regs ? texts::kRG1HexAtSwitch : texts::kRG1Caption));
        }
    }

    const RegisterStore& store = store_;
    const bool input = RG1Input->isChecked();
    auto read = [&](int address) {
        const uint16_t a = static_cast<uint16_t>(address);
        return input ? store.input(a) : store.holding(a);
    };
    const int n = CurrentRegisterValue;
    uint32_t u = 0;
    if (n != kNotAPairRegister) {
        u = CombineRegisters(read(n), read(n + 1), ByteOrderUsed);
        Label3->setText(Q(FloatText(DWordToFloat(u), S(QLocale().decimalPoint()))));
    }
    const uint16_t value = read(n);
    if (hex) {
        edit1Limit_->setMaximum(4);
        GroupBox1->setTitle(L(texts::kEditValueHexGroup));
        Label1->setText(QStringLiteral("0x") + Q(HexText(value, 4)));
        Label2->setText(QStringLiteral("0x") + Q(HexText(static_cast<int32_t>(u), 8)));
    } else {
        edit1Limit_->setMaximum(5);
        GroupBox1->setTitle(L(texts::kEditValueGroup));
        Label1->setText(QString::number(value));
        Label2->setText(QString::number(u));
    }

    if ((hex && !PrevHex) || (!hex && PrevHex && !ValueFromCreation))
        Edit1->clear();
    PrevHex = hex;
    PrevRegsathex = regs;

    if (ValueFromCreation) {
        const RegisterListView* list = list_;
        if (list != nullptr && list->inputShown())
            RG1Input->setChecked(true);
        const uint16_t a = static_cast<uint16_t>(n);
        const QString text = Q(ValueText(RG1Input->isChecked() ? store.input(a) : store.holding(a), hex));
        if (Edit1->text() == text)
            Edit1Change(); // unchanged text: still fill in the bits and enable Set
        else
            Edit1->setText(text);
        ValueFromCreation = false;
    }
}

void TfrmSetVal::Timer2Timer()
{
    // Each activation of a dialog asks once for the main window to blink.
    const SetValFlash flash =
        SetValFlashRequest(SetValFlash{options_.flash_main_window, options_.flash_main_window_handle}, WindowIdOf(this),
                           WindowIdOf(CurrentFlashPlatform().foreground()), options_.amount_of_setval_windows);
    options_.flash_main_window = flash.flash_main_window;
    options_.flash_main_window_handle = flash.flash_main_window_handle;

    if (options_.ByteOrderUsed == ByteOrderUsed)
        return;
    ByteOrderUsed = options_.ByteOrderUsed;
    const int item = ByteOrderUsed >= 0 && ByteOrderUsed <= 2 ? ByteOrderUsed : 3;
    byteOrder_[static_cast<size_t>(item)]->setChecked(true);
}

void TfrmSetVal::byteOrderClick(int order)
{
    options_.ByteOrderUsed = order;
}

void TfrmSetVal::keyPressEvent(QKeyEvent* event)
{
    // Esc is the Close button.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        BtnCloseClick();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool TfrmSetVal::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Label1 && event->type() == QEvent::MouseButtonDblClick) {
        Label1DblClick();
        return true;
    }
    if (watched == Label1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) {
            Label1DblClick();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

TfrmSetVal* CreateSetVal(QWidget* owner, ViewOptions& options, RegisterStore& store, const RegisterListView* list)
{
    auto* dialog = new TfrmSetVal(owner, options, store, list);
    dialog->show();
    return dialog;
}

} // namespace korvel
