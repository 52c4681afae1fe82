#include "client/series_dialog.h"

#include "client/client_texts.h"
#include "client/poll_list_panel.h"
#include "common/accessible_names.h"
#include "ui/message_box.h"
#include "ui_series_dialog.h"

#include <QCheckBox>
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

void Caption(QPushButton* b, const char* caption, const char* hint)
{
    b->setText(L(caption));
    b->setToolTip(L(hint));
}

} // namespace

TfrmSeries::TfrmSeries(PollListPanel& panel, ListKind kind)
    : QDialog(panel.window()), SerieType(static_cast<int>(kind)), panel_(panel)
{
    Ui::TfrmSeries ui;
    ui.setupUi(this);
    EditLow = ui.EditLow;
    Edithigh = ui.Edithigh;
    Button1 = ui.Button1;
    Button2 = ui.Button2;
    CBRemove = ui.CBRemove;
    ui.fromLabel->setText(L(kFrom));
    EditLow->setMaxLength(kComboMaxLength);
    EditLow->setToolTip(L(kFromHint));
    NameAfterCaption(EditLow, L(kFrom));
    ui.toLabel->setText(L(kTo));
    Edithigh->setMaxLength(kComboMaxLength);
    Edithigh->setToolTip(L(kToHint));
    NameAfterCaption(Edithigh, L(kTo));
    Caption(Button1, kOk, kSeriesOkHint);
    Caption(Button2, kCancel, kCancelHint);
    CBRemove->setText(L(kSeriesRemove));
    CBRemove->setToolTip(L(kSeriesRemoveHint));
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
