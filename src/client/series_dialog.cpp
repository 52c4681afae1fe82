#include "client/series_dialog.h"

#include "client/client_texts.h"
#include "client/poll_list_panel.h"
#include "common/accessible_names.h"
#include "ui/message_box.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

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

} // namespace

TfrmSeries::TfrmSeries(PollListPanel& panel, ListKind kind)
    : QDialog(panel.window()), SerieType(static_cast<int>(kind)), panel_(panel)
{
    setModal(true);
    resize(231, 104);
    auto* grid = new QGridLayout(this);
    auto* fromLabel = new QLabel(L(kFrom), this);
    EditLow = new QLineEdit(this);
    EditLow->setMaxLength(kComboMaxLength);
    EditLow->setToolTip(L(kFromHint));
    NameAfterCaption(EditLow, L(kFrom));
    fromLabel->setBuddy(EditLow);
    auto* toLabel = new QLabel(L(kTo), this);
    Edithigh = new QLineEdit(this);
    Edithigh->setMaxLength(kComboMaxLength);
    Edithigh->setToolTip(L(kToHint));
    NameAfterCaption(Edithigh, L(kTo));
    toLabel->setBuddy(Edithigh);
    Button1 = Button(kOk, kSeriesOkHint, this);
    Button2 = Button(kCancel, kCancelHint, this);
    Button1->setAutoDefault(false);
    Button2->setAutoDefault(false);
    CBRemove = new QCheckBox(L(kSeriesRemove), this);
    CBRemove->setToolTip(L(kSeriesRemoveHint));
    CBRemove->setLayoutDirection(Qt::RightToLeft); // text on the left of the box
    grid->addWidget(fromLabel, 0, 0);
    grid->addWidget(EditLow, 0, 1);
    grid->addWidget(Button1, 0, 2);
    grid->addWidget(toLabel, 1, 0);
    grid->addWidget(Edithigh, 1, 1);
    grid->addWidget(Button2, 1, 2);
    grid->addWidget(CBRemove, 2, 1);
    connect(Button1, &QPushButton::clicked, this, &TfrmSeries::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TfrmSeries::reject);
}

void TfrmSeries::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        Button1Click();
        return;
    }
    QDialog::keyPressEvent(e);
}

void TfrmSeries::Button1Click()
{
    const std::optional<SeriesBounds> bounds =
        CheckSeriesBounds(EditLow->text().toStdString(), Edithigh->text().toStdString());
    if (!bounds) {
        ShowMessage(this, MessageKind::Warning, L(kRangeErrorCaption), L(kSeriesRangeErrorText));
        return;
    }
    panel_.applySeries(static_cast<ListKind>(SerieType), *bounds, CBRemove->isChecked());
    accept();
}

void TfrmSeries::reject()
{
    panel_.suppressFlash();
    QDialog::reject();
}

} // namespace korvel
