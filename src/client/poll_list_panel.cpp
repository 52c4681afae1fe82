#include "client/poll_list_panel.h"

#include "client/client_texts.h"
#include "client/series_dialog.h"
#include "common/accessible_names.h"
#include "ui/message_box.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace korvel {

using namespace clienttexts;

namespace {

QString L(const char* s)
{
    return QString::fromLatin1(s);
}

QPushButton* Button(const char* caption, const char* hint, QWidget* parent)
{
    auto* b = new QPushButton(L(caption), parent);
    b->setToolTip(L(hint));
    return b;
}

QRadioButton* Radio(const char* caption, const char* hint, QWidget* parent)
{
    auto* b = new QRadioButton(L(caption), parent);
    b->setToolTip(L(hint));
    return b;
}

} // namespace

PollListPanel::PollListPanel(PollLists& lists, RegisterStore& store, Hooks hooks, QWidget* parent)
    : QWidget(parent), lists_(lists), store_(store), hooks_(std::move(hooks))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    auto makeCombo = [this](QWidget* parent, const char* hint, const char* name) {
        auto* c = new QComboBox(parent);
        c->setEditable(true);
        c->setInsertPolicy(QComboBox::NoInsert);
        c->lineEdit()->setMaxLength(kComboMaxLength);
        c->setMaxVisibleItems(kComboDropDownLines);
        c->setToolTip(L(hint));
        NameAfterCaption(c, L(name));
        c->lineEdit()->installEventFilter(this);
        c->setCompleter(nullptr);
        return c;
    };

    auto* readGroup = new QGroupBox(L(kReadGroup), this);
    auto* r = new QGridLayout(readGroup);
    RBInput_ = Radio(kInputRadio, kInputRadioHint, readGroup);
    RBHold_ = Radio(kHoldRadio, kHoldRadioHint, readGroup);
    RBHold_->setChecked(true);
    ReadCBox_ = makeCombo(readGroup, kReadComboHint, kReadGroup);
    AddBtnRead_ = Button(kAddRead, kAddHint, readGroup);
    btnRemoveRead_ = Button(kRemoveRead, kRemoveHint, readGroup);
    btnRemoveRead_->setEnabled(false);
    r->addWidget(RBInput_, 0, 0);
    r->addWidget(RBHold_, 1, 0);
    r->addWidget(ReadCBox_, 0, 1);
    r->addWidget(AddBtnRead_, 0, 2);
    r->addWidget(btnRemoveRead_, 1, 2);
    layout->addWidget(readGroup);
    connect(RBHold_, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            RBHoldClick();
    });
    connect(RBInput_, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            RBInputClick();
    });
    connect(ReadCBox_, &QComboBox::editTextChanged, this, [this] { comboChanged(ReadCBox_, btnRemoveRead_); });
    connect(ReadCBox_, &QComboBox::activated, this, [this] { btnRemoveRead_->setEnabled(true); });
    connect(AddBtnRead_, &QPushButton::clicked, this, &PollListPanel::AddBtnReadClick);
    connect(btnRemoveRead_, &QPushButton::clicked, this, &PollListPanel::btnRemoveReadClick);

    auto* writeGroup = new QGroupBox(L(kWriteGroup), this);
    auto* w = new QGridLayout(writeGroup);
    WriteCBox_ = makeCombo(writeGroup, kWriteComboHint, kWriteGroup);
    AddBtnWrite_ = Button(kAddWrite, kAddHint, writeGroup);
    btnRemoveWrite_ = Button(kRemoveWrite, kRemoveHint, writeGroup);
    btnRemoveWrite_->setEnabled(false);
    w->addWidget(WriteCBox_, 0, 0);
    w->addWidget(AddBtnWrite_, 0, 1);
    w->addWidget(btnRemoveWrite_, 0, 2);
    layout->addWidget(writeGroup);
    connect(WriteCBox_, &QComboBox::editTextChanged, this, [this] { comboChanged(WriteCBox_, btnRemoveWrite_); });
    connect(WriteCBox_, &QComboBox::activated, this, [this] { btnRemoveWrite_->setEnabled(true); });
    connect(AddBtnWrite_, &QPushButton::clicked, this, &PollListPanel::AddBtnWriteClick);
    connect(btnRemoveWrite_, &QPushButton::clicked, this, &PollListPanel::btnRemoveWriteClick);
}

PollList& PollListPanel::readList()
{
    return RBHold_->isChecked() ? lists_.ReadHoldRegAddr : lists_.ReadInputRegAddr;
}

void PollListPanel::comboChanged(QComboBox* combo, QPushButton* remove)
{
    remove->setEnabled(false);
    const QString text = combo->currentText();
    if (!ComboTextAcceptable(text.toStdString())) {
        combo->setEditText(QString());
        hooks_.noFlash();
        warn(kInputErrorCaption, kDigitsPleaseText);
    }
}

void PollListPanel::fillCombo(QComboBox* combo, const PollList& list)
{
    QStringList items;
    items.reserve(list.count);
    for (int32_t i = 0; i < list.count; ++i)
        items << QString::number(list.entries[static_cast<size_t>(i)]);
    const QSignalBlocker block(combo);
    combo->clear();
    combo->addItems(items);
}

void PollListPanel::addAddress(QComboBox* combo, QPushButton* remove, PollList& list)
{
    const QString text = combo->currentText();
    const std::optional<int32_t> address = ListAddress(text.toStdString());
    if (!address) {
        hooks_.noFlash();
        warn(kInputErrorCaption, kInvalidAddressText);
        return;
    }
    const AddOutcome o = AddAddress(list, *address, store_);
    if (o.added) {
        const QSignalBlocker block(combo);
        combo->insertItem(o.index, text);
    } else {
        remove->setEnabled(false);
    }
    hooks_.changed();
    combo->setEditText(QString());
    combo->setFocus();
}

void PollListPanel::removeAddress(QComboBox* combo, QPushButton* remove, PollList& list)
{
    const std::optional<int32_t> address = ListAddress(combo->currentText().toStdString());
    const int32_t index = address ? RemoveAddress(list, *address, store_) : -1;
    hooks_.changed();
    if (index >= 0) {
        const QSignalBlocker block(combo);
        combo->removeItem(index);
    }
    combo->setEditText(QString());
    remove->setEnabled(false);
}

void PollListPanel::AddBtnReadClick()
{
    addAddress(ReadCBox_, btnRemoveRead_, readList());
}

void PollListPanel::AddBtnWriteClick()
{
    addAddress(WriteCBox_, btnRemoveWrite_, lists_.WriteHoldRegAddr);
}

void PollListPanel::btnRemoveReadClick()
{
    removeAddress(ReadCBox_, btnRemoveRead_, readList());
}

void PollListPanel::btnRemoveWriteClick()
{
    removeAddress(WriteCBox_, btnRemoveWrite_, lists_.WriteHoldRegAddr);
}

void PollListPanel::RBHoldClick()
{
    fillCombo(ReadCBox_, lists_.ReadHoldRegAddr);
    const QSignalBlocker block(ReadCBox_);
    ReadCBox_->setCurrentIndex(ReadCBox_->count() > 0 ? 0 : -1);
}

void PollListPanel::RBInputClick()
{
    fillCombo(ReadCBox_, lists_.ReadInputRegAddr);
    const QSignalBlocker block(ReadCBox_);
    ReadCBox_->setCurrentIndex(ReadCBox_->count() > 0 ? 0 : -1);
}

void PollListPanel::clearList(ListKind kind, const char* question)
{
    if (ShowMessage(this, MessageKind::Question, L(kClearCaption), L(question)) != QMessageBox::Yes)
        return;
    QComboBox* combo = nullptr;
    if (kind == ListKind::HoldingWrite)
        combo = WriteCBox_;
    else if ((kind == ListKind::HoldingRead) == RBHold_->isChecked())
        combo = ReadCBox_;
    if (combo) {
        const QSignalBlocker block(combo);
        combo->clear();
    }
    ClearList(lists_.list(kind), store_);
    hooks_.changed();
    if (combo) {
        const QSignalBlocker block(combo);
        combo->setEditText(QString());
    }
}

TfrmSeries* PollListPanel::openSeries(ListKind kind)
{
    auto* dialog = new TfrmSeries(*this, kind);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(L(SeriesCaption(kind)));
    dialog->show();
    return dialog;
}

void PollListPanel::applySeries(ListKind kind, SeriesBounds bounds, bool remove)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The read combo shows the list being edited.
    if (kind == ListKind::HoldingRead)
        RBHold_->setChecked(true);
    else if (kind == ListKind::InputRead)
        RBInput_->setChecked(true);
    PollList& list = lists_.list(kind);
    ApplySeries(list, bounds, remove, store_);
    fillCombo(kind == ListKind::HoldingWrite ? WriteCBox_ : ReadCBox_, list);
    QApplication::restoreOverrideCursor();
    hooks_.changed();
}

void PollListPanel::selectAddress(QComboBox* combo, const PollList& list, const QString& registerText)
{
    // By number: an entry typed as "007" or "$7" is register 7 too. The combo's items are the
    // list's entries in the list's order.
    const std::optional<int32_t> address = ListAddress(registerText.toStdString());
    const int32_t index = address ? AddressIndex(list, *address) : -1;
    combo->setCurrentIndex(index);
    combo->setEditText(index >= 0 ? combo->itemText(index) : QString());
}

void PollListPanel::rwRead(bool inputTable, bool remove, const QString& registerText)
{
    const bool wasInput = RBInput_->isChecked();
    (inputTable ? RBInput_ : RBHold_)->setChecked(true);
    if (remove) {
        selectAddress(ReadCBox_, readList(), registerText);
        btnRemoveReadClick();
    } else {
        ReadCBox_->setEditText(registerText);
        AddBtnReadClick();
    }
    (wasInput ? RBInput_ : RBHold_)->setChecked(true);
}

void PollListPanel::rwWrite(bool remove, const QString& registerText)
{
    if (remove) {
        selectAddress(WriteCBox_, lists_.WriteHoldRegAddr, registerText);
        btnRemoveWriteClick();
    } else {
        WriteCBox_->setEditText(registerText);
        AddBtnWriteClick();
    }
}

void PollListPanel::warn(const char* caption, const char* text)
{
    ShowMessage(this, MessageKind::Warning, L(caption), L(text));
}

void PollListPanel::suppressFlash()
{
    hooks_.noFlash();
}

bool PollListPanel::eventFilter(QObject* watched, QEvent* e)
{
    if (!ReadCBox_ || !WriteCBox_) // still being built
        return QWidget::eventFilter(watched, e);
    if (e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
        if (enter && watched == ReadCBox_->lineEdit()) {
            AddBtnReadClick();
            ReadCBox_->lineEdit()->selectAll();
            return true;
        }
        if (enter && watched == WriteCBox_->lineEdit()) {
            AddBtnWriteClick();
            WriteCBox_->lineEdit()->selectAll();
            return true;
        }
    }
    if (e->type() == QEvent::MouseButtonDblClick) {
        if (watched == ReadCBox_->lineEdit()) {
            openSeries(RBHold_->isChecked() ? ListKind::HoldingRead : ListKind::InputRead);
            return true;
        }
        if (watched == WriteCBox_->lineEdit()) {
            openSeries(ListKind::HoldingWrite);
            return true;
        }
    }
    return QWidget::eventFilter(watched, e);
}

} // namespace korvel
