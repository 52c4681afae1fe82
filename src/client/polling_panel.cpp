#include "client/polling_panel.h"

#include "client/client_texts.h"
#include "client/up_down.h"
#include "common/accessible_names.h"
#include "ui/message_box.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <utility>

namespace korvel {

using namespace clienttexts;

namespace {

QString L(const char* s)
{
    return QString::fromLatin1(s);
}

QRadioButton* Radio(const char* caption, const char* hint, QWidget* parent)
{
    auto* b = new QRadioButton(L(caption), parent);
    b->setToolTip(L(hint));
    return b;
}

} // namespace

void Apply(QTimer* timer, TimerAction action)
{
    switch (action) {
    case TimerAction::Keep:
        break;
    case TimerAction::Start:
        if (!timer->isActive())
            timer->start();
        break;
    case TimerAction::Stop:
        timer->stop();
        break;
    case TimerAction::Restart:
        timer->start(); // a running QTimer starts counting again
        break;
    }
}

PollingPanel::PollingPanel(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    Timer1_ = new QTimer(this);
    Timer1_->setInterval(kCycleDefault);
    Timer3_ = new QTimer(this);
    Timer3_->setInterval(kDelayDefault);

    auto* group = new QGroupBox(L(kPollingGroup), this);
    auto* g = new QGridLayout(group);
    RBCyclic_ = Radio(kCyclic, kCyclicHint, group);
    RBImmediate_ = Radio(kImmediate, kImmediateHint, group);
    RBWaitAfter_ = Radio(kWaitAfter, kWaitAfterHint, group);
    RBPause_ = Radio(kPause, kPauseHint, group);
    RBCyclic_->setChecked(true);
    g->addWidget(RBCyclic_, 0, 0);
    g->addWidget(RBImmediate_, 1, 0);
    g->addWidget(RBWaitAfter_, 2, 0);
    g->addWidget(RBPause_, 3, 0);
    const std::pair<QRadioButton*, PollingMode> modes[] = {{RBCyclic_, PollingMode::Cyclic},
                                                           {RBImmediate_, PollingMode::Immediate},
                                                           {RBWaitAfter_, PollingMode::WaitAfter},
                                                           {RBPause_, PollingMode::Pause}};
    for (const auto& [button, mode] : modes) {
        connect(button, &QRadioButton::toggled, this, [this, mode](bool on) {
            if (on)
                emit modeClicked(mode);
        });
    }

    Label1_ = new QLabel(L(kCycleLabel), group);
    Edit1_ = new QLineEdit(QString::number(kCycleDefault), group);
    NameAfterCaption(Edit1_, L(kCycleLabel));
    Label1_->setBuddy(Edit1_);
    UpDown1_ = new UpDown(Edit1_, kCycleMin, kCycleMax, kCycleStep, kCycleDefault, group);
    Label2_ = new QLabel(L(kDelayLabel), group);
    Edit2_ = new QLineEdit(QString::number(kDelayDefault), group);
    NameAfterCaption(Edit2_, L(kDelayLabel));
    Label2_->setBuddy(Edit2_);
    UpDown2_ = new UpDown(Edit2_, kDelayMin, kDelayMax, kDelayStep, kDelayDefault, group);
    Edit2_->setEnabled(false);
    UpDown2_->setEnabled(false);
    auto* fields = new QGridLayout;
    fields->addWidget(Label1_, 0, 0);
    fields->addWidget(Edit1_, 0, 1);
    fields->addWidget(UpDown1_, 0, 2);
    fields->addWidget(Label2_, 1, 0);
    fields->addWidget(Edit2_, 1, 1);
    fields->addWidget(UpDown2_, 1, 2);
    g->addLayout(fields, 0, 1, 4, 1);
    layout->addWidget(group);
    connect(Edit1_, &QLineEdit::editingFinished, this, &PollingPanel::Edit1Exit);
    connect(Edit2_, &QLineEdit::editingFinished, this, &PollingPanel::Edit2Exit);
    connect(UpDown1_, &UpDown::clicked, this, [this](int position) {
        applyField(CycleArrowClick(position, UpDown2_->position()), Edit1_, UpDown1_, Timer1_, Edit2_, UpDown2_);
    });
    connect(UpDown2_, &UpDown::clicked, this, [this](int position) {
        applyField(DelayArrowClick(position, UpDown1_->position()), Edit2_, UpDown2_, Timer3_, Edit1_, UpDown1_);
    });

    OffsetCBox_ = new QCheckBox(L(kOffset), this);
    OffsetCBox_->setToolTip(L(kOffsetHint));
    ForceTI_ = new QCheckBox(L(kForceTI), this);
    ForceTI_->setToolTip(L(kForceTIHint));
    layout->addWidget(OffsetCBox_);
    layout->addWidget(ForceTI_);
}

PollingMode PollingPanel::pollingMode() const
{
    if (RBImmediate_->isChecked())
        return PollingMode::Immediate;
    if (RBWaitAfter_->isChecked())
        return PollingMode::WaitAfter;
    if (RBPause_->isChecked())
        return PollingMode::Pause;
    return PollingMode::Cyclic;
}

void PollingPanel::applyField(const FieldOutcome& o, QLineEdit* field, UpDown* arrows, QTimer* timer, QLineEdit* other,
                              UpDown* otherArrows)
{
    if (o.upDownPosition)
        arrows->setPosition(*o.upDownPosition);
    if (o.fieldValue)
        field->setText(QString::number(*o.fieldValue));
    if (o.timerInterval)
        timer->setInterval(*o.timerInterval);
    if (o.otherField) {
        otherArrows->setPosition(*o.otherField);
        other->setText(QString::number(*o.otherField));
    }
    if (o.message)
        ShowMessage(this, MessageKind::Warning, L(kRangeErrorCaption), L(o.message));
}

void PollingPanel::Edit1Exit()
{
    applyField(
        CycleFieldConfirmed(Edit1_->text().toStdString(), RBWaitAfter_->isChecked(), Edit2_->text().toStdString()),
        Edit1_, UpDown1_, Timer1_, Edit2_, UpDown2_);
}

void PollingPanel::Edit2Exit()
{
    applyField(DelayFieldConfirmed(Edit2_->text().toStdString(), Edit1_->text().toStdString()), Edit2_, UpDown2_,
               Timer3_, Edit1_, UpDown1_);
}

void PollingPanel::showMode(const ModeActions& a)
{
    if (a.cycleLabel) {
        Label1_->setText(L(a.cycleLabel));
        NameAfterCaption(Edit1_, L(a.cycleLabel));
    }
    Edit2_->setEnabled(a.delayFieldEnabled);
    UpDown2_->setEnabled(Edit2_->isEnabled());
}

void PollingPanel::applyTimers(TimerAction cycle, TimerAction delay)
{
    Apply(Timer1_, cycle);
    Apply(Timer3_, delay);
}

} // namespace korvel
