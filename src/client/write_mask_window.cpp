#include "client/write_mask_window.h"

#include "client/client_window.h"
#include "common/accessible_names.h"
#include "common/numeric.h"
#include "ui/message_box.h"
#include "ui/window_texts.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace korvel {

using namespace writemasktexts;

namespace {

QString L(const char* s)
{
    return QString::fromLatin1(s);
}

std::string S(const QLineEdit* field)
{
    return field->text().toStdString();
}

QLineEdit* FieldIn(QGroupBox* group)
{
    auto* layout = new QHBoxLayout(group);
    auto* field = new QLineEdit(group);
    NameAfterCaption(field, group->title());
    layout->addWidget(field);
    return field;
}

} // namespace

TfrmWriteMask::TfrmWriteMask(TfrmClient& client, OneOffMode mode) : QWidget(&client), client_(client), mode_(mode)
{
    setWindowFlags(Qt::Tool);
    resize(382, 128);
    move(client.x() - 20, client.y());

    GroupBox1 = new QGroupBox(L(kAddressGroup), this);
    Edit3 = FieldIn(GroupBox1);
    GroupBox2 = new QGroupBox(L(kValueGroup), this);
    Edit1 = FieldIn(GroupBox2);
    Edit1->setToolTip(L(kValueHintAtCreation));
    GroupBox3 = new QGroupBox(L(kOrGroup), this);
    Edit2 = FieldIn(GroupBox3);
    Edit2->setToolTip(L(kOrHint));
    Edit2->setMaxLength(kOneOffMaskMaxLength);
    Edit2->setEnabled(false);
    Button2 = new QPushButton(L(kApply), this);
    Button2->setToolTip(L(kApplyHint));
    Button1 = new QPushButton(L(kClose), this);
    Button1->setToolTip(L(kCloseHint));
    CB_FC16 = new QCheckBox(L(kUseFc16), this);
    CB_FC16->setToolTip(L(kUseFc16Hint));
    CheckBox1 = new QCheckBox(L(kMaskBox), this);
    CheckBox1->hide();
    CheckBoxExp = new QCheckBox(this);
    CheckBoxExp->hide();

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->addWidget(GroupBox1, 0, 0);
    grid->addWidget(GroupBox2, 0, 1);
    grid->addWidget(GroupBox3, 0, 2);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(Button2);
    buttons->addWidget(Button1);
    grid->addLayout(buttons, 0, 3);
    grid->addWidget(CB_FC16, 1, 0, 1, 3);

    // The mode.
    const OneOffModeTexts& t = ModeTexts(mode);
    setWindowTitle(L(t.caption));
    setAccessibleName(windowTitle());
    Button2->setText(L(t.buttonCaption));
    Button2->setToolTip(L(t.buttonHint));
    GroupBox2->setTitle(L(t.valueGroupCaption));
    NameAfterCaption(Edit1, GroupBox2->title());
    Edit1->setToolTip(L(t.valueHint));
    if (t.addressHint)
        Edit3->setToolTip(L(t.addressHint));
    GroupBox3->setVisible(t.orShown);
    Edit2->setEnabled(t.orShown);
    CB_FC16->setVisible(t.fc16Shown);
    CB_FC16->setChecked(client_.singleRequest().UseFC16_for_single_write);
    switch (mode) {
    case OneOffMode::WriteSingle:
        CheckBox1->setChecked(false);
        Edit1->setMaxLength(kOneOffValueMaxLength);
        Edit3->setFocus();
        break;
    case OneOffMode::MaskWrite:
        CheckBox1->setChecked(true);
        Edit1->setMaxLength(kOneOffMaskMaxLength);
        Edit3->setFocus();
        break;
    case OneOffMode::ReadExceptionStatus: {
        CheckBoxExp->setChecked(true);
        GroupBox1->hide();
        Edit1->setReadOnly(true);
        QPalette face = Edit1->palette();
        face.setColor(QPalette::Base, face.color(QPalette::Button));
        Edit1->setPalette(face);
        break;
    }
    }

    for (QLineEdit* field : {Edit1, Edit2, Edit3})
        field->installEventFilter(this);
    connect(Edit1, &QLineEdit::textChanged, this, &TfrmWriteMask::Edit1Change);
    connect(Edit2, &QLineEdit::textChanged, this, &TfrmWriteMask::Edit2Change);
    connect(Edit3, &QLineEdit::textChanged, this, &TfrmWriteMask::Edit3Change);
    connect(CB_FC16, &QCheckBox::toggled, this, &TfrmWriteMask::CB_FC16Click);
    connect(Button2, &QPushButton::clicked, this, &TfrmWriteMask::Button2Click);
    connect(Button1, &QPushButton::clicked, this, &TfrmWriteMask::Button1Click);

    Timer1 = new QTimer(this);
    Timer1->setInterval(kWriteMaskTimer1Ms);
    connect(Timer1, &QTimer::timeout, this, &TfrmWriteMask::Timer1Timer);
    Timer2 = new QTimer(this);
    Timer2->setInterval(kWriteMaskTimer2Ms);
    connect(Timer2, &QTimer::timeout, this, &TfrmWriteMask::Timer2Timer);
    Timer2->start();
    Timer2Timer();
}

TfrmWriteMask::~TfrmWriteMask()
{
    client_.flashing().frmWriteMaskHandle.free(Tag);
}

void TfrmWriteMask::fieldChecked(QLineEdit* field, const OneOffFieldCheck& check)
{
    if (!check.erase)
        return;
    if (check.dontFlash)
        client_.flashing().dont_flash = true;
    if (check.message)
        ShowMessage(this, MessageKind::Warning, texts::kApplicationTitle, L(check.message));
    field->clear();
}

void TfrmWriteMask::Edit1Change()
{
    fieldChecked(Edit1, CheckOneOffValue(mode_, S(Edit1)));
}

void TfrmWriteMask::Edit2Change()
{
    if (mode_ == OneOffMode::MaskWrite)
        fieldChecked(Edit2, CheckOneOffOr(S(Edit2)));
}

void TfrmWriteMask::Edit3Change()
{
    fieldChecked(Edit3, CheckOneOffAddress(S(Edit3)));
}

void TfrmWriteMask::CB_FC16Click()
{
    client_.singleRequest().UseFC16_for_single_write = CB_FC16->isChecked();
}

void TfrmWriteMask::Timer2Timer()
{
    Button2->setEnabled(OneOffApplyEnabled(mode_, S(Edit3), S(Edit1), S(Edit2)));
    // The choice is the client's: a box of another window may have changed it.
    const QSignalBlocker block(CB_FC16);
    CB_FC16->setChecked(client_.singleRequest().UseFC16_for_single_write);
}

void TfrmWriteMask::Timer1Timer()
{
    Edit1->setText(client_.ReturnedExpStatus());
}

void TfrmWriteMask::Button2Click()
{
    OneOffApply a;
    try {
        a = ApplyOneOff(mode_, client_.connected(), client_.singleRequest(), S(Edit3), S(Edit1), S(Edit2));
    } catch (const ConversionError& e) {
        ShowMessage(this, MessageKind::Error, texts::kApplicationTitle, QString::fromStdString(e.what()));
        return;
    }
    if (a.message) {
        ShowMessage(this, MessageKind::Information, texts::kApplicationTitle, L(a.message));
        return;
    }
    client_.singleRequest() = a.request;
    if (a.startStatusTimer) {
        Timer1->start();
        client_.setReturnedExpStatus(L(kExceptionStatusWaiting));
    }
    client_.CheckAndSendData();
}

void TfrmWriteMask::Button1Click()
{
    client_.singleRequest().UseFC16_for_single_write = false;
    hide();
    deleteLater();
}

void TfrmWriteMask::closeEvent(QCloseEvent* e)
{
    // The close box hides the window; it keeps its slot and the FC16 choice.
    hide();
    e->ignore();
}

void TfrmWriteMask::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape) {
        Button1Click();
        return;
    }
    QWidget::keyPressEvent(e);
}

bool TfrmWriteMask::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && Button2->isEnabled()) {
            Button2Click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, e);
}

} // namespace korvel
