#include "dde_ui/dde_selections.h"

#include "common/accessible_names.h"
#include "dde/dde_texts.h"
#include "ui/dialog_texts.h"
#include "ui/message_box.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace korvel {

namespace {
constexpr int kRangeDigits = 5;
constexpr int kRareTitleOdds = 30; // the other help title, one time in 30
} // namespace

TfrmDDESelections::TfrmDDESelections(QWidget* mainWindow, QString busName, std::function<void(const DdeRequest&)> apply)
    : QDialog(mainWindow, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), busName_(std::move(busName)),
      apply_(std::move(apply))
{
    setWindowTitle(texts::kDdeDialogTitle);
    setModal(true);

    auto* group = new QGroupBox(texts::kServerActivation, this);
    group->setToolTip(texts::kDdeChoicesHint);
    auto* groupLayout = new QVBoxLayout(group);
    for (int i = 0; i < 6; ++i) {
        choices_[i] = new QRadioButton(texts::kDdeChoices[i], group);
        choices_[i]->setToolTip(texts::kDdeChoicesHint);
        groupLayout->addWidget(choices_[i]);
        connect(choices_[i], &QRadioButton::toggled, this, &TfrmDDESelections::ChoiceClick);
    }

    lowLabel_ = new QLabel(QString::fromLatin1(texts::kFrom), this);
    EditLow = new QLineEdit(this);
    EditLow->setMaxLength(kRangeDigits);
    EditLow->setToolTip(QString::fromLatin1(texts::kFromHint));
    NameAfterCaption(EditLow, QString::fromLatin1(texts::kFrom));
    lowLabel_->setBuddy(EditLow);
    highLabel_ = new QLabel(QString::fromLatin1(texts::kTo), this);
    Edithigh = new QLineEdit(this);
    Edithigh->setMaxLength(kRangeDigits);
    Edithigh->setToolTip(QString::fromLatin1(texts::kToHint));
    NameAfterCaption(Edithigh, QString::fromLatin1(texts::kTo));
    highLabel_->setBuddy(Edithigh);
    auto* range = new QHBoxLayout;
    range->addWidget(lowLabel_);
    range->addWidget(EditLow);
    range->addWidget(highLabel_);
    range->addWidget(Edithigh);

    OKBtn = new QPushButton(QString::fromLatin1(texts::kOk), this);
    OKBtn->setToolTip(QString::fromLatin1(texts::kSeriesOkHint));
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QString::fromLatin1(texts::kCancel), this); // Esc too: QDialog rejects on it
    HelpBtn = new QToolButton(this);
    HelpBtn->setIcon(style()->standardIcon(QStyle::SP_MessageBoxQuestion));
    HelpBtn->setToolTip(texts::kDdeHelpHint);
    NameAfterCaption(HelpBtn, texts::kDdeHelpHint);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(HelpBtn);
    buttons->addStretch(1);
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(range);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(OKBtn, &QPushButton::clicked, this, &TfrmDDESelections::OKClick);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(HelpBtn, &QToolButton::clicked, this, &TfrmDDESelections::HelpBtnClick);

    choices_[kHoldingRange]->setChecked(true);
    ChoiceClick();
    adjustSize();
    if (mainWindow)
        move(mainWindow->frameGeometry().center() - rect().center());
}

int TfrmDDESelections::selectedChoice() const
{
    for (int i = 0; i < 6; ++i) {
        if (choices_[i]->isChecked())
            return i;
    }
    return kHoldingRange;
}

void TfrmDDESelections::ChoiceClick()
{
    const bool range = IsRangeChoice(selectedChoice());
    for (QWidget* w : {static_cast<QWidget*>(lowLabel_), static_cast<QWidget*>(EditLow),
                       static_cast<QWidget*>(highLabel_), static_cast<QWidget*>(Edithigh)}) {
        if (!w)
            return; // still being built
        w->setVisible(range);
        w->setEnabled(range);
    }
}

void TfrmDDESelections::OKClick()
{
    const std::optional<DdeRequest> request = DdeSelection(selectedChoice(), EditLow->text().trimmed().toStdString(),
                                                           Edithigh->text().trimmed().toStdString());
    if (!request) {
        ShowMessage(this, MessageKind::Warning, QString::fromLatin1(texts::kRangeErrorCaption), texts::kDdeRangeError);
        return;
    }
    apply_(*request);
    accept();
}

QString TfrmDDESelections::HelpTitle(bool rare)
{
    return rare ? texts::kDdeHelpRareTitle : texts::kDdeHelpTitle;
}

QString TfrmDDESelections::HelpText(const QString& busName)
{
    QString text;
    for (const QString& line : texts::kDdeHelpLines)
        text += (line.contains(QLatin1String("%1")) ? line.arg(busName) : line) + QLatin1Char('\r');
    return text;
}

void TfrmDDESelections::HelpBtnClick()
{
    const bool rare = QRandomGenerator::global()->bounded(kRareTitleOdds) == 0;
    ShowMessage(this, MessageKind::Information, HelpTitle(rare), HelpText(busName_));
}

} // namespace korvel
