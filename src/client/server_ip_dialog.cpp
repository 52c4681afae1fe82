#include "client/server_ip_dialog.h"

#include "client/client_texts.h"
#include "common/accessible_names.h"
#include "ui_server_ip_dialog.h"

#include <QCheckBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace korvel {

namespace {
QString L(const char* s)
{
    return QString::fromLatin1(s);
}
} // namespace

TSetServerIP::TSetServerIP(ServerConnectionCaller caller, QWidget* owner) : QDialog(owner), caller_(std::move(caller))
{
    using namespace clienttexts;
    setWindowTitle(L(kServerConnectionCaption));
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    Ui::TSetServerIP ui;
    ui.setupUi(this);
    Edit1 = ui.Edit1;
    Edit2 = ui.Edit2;
    Edit3 = ui.Edit3;
    Edit4 = ui.Edit4;
    Edit5 = ui.Edit5;
    CBoxKA = ui.CBoxKA;
    Button3 = ui.Button3;
    Button2 = ui.Button2;
    StatusBar1 = ui.StatusBar1;

    ui.ipGroup->setTitle(L(kIpGroup));
    ui.ipGroup->setToolTip(L(kIpHint));
    QLineEdit* octets[] = {Edit1, Edit2, Edit3, Edit4};
    for (int i = 0; i < 4; ++i) {
        QLineEdit* edit = octets[i];
        edit->setMaxLength(kOctetMaxLength);
        edit->setToolTip(L(kIpHint));
        NameAfterCaption(edit, L(kIpGroup) + QLatin1Char(' ') + QString::number(i + 1));
        connect(edit, &QLineEdit::textChanged, this, [this, edit] { fieldChanged(edit, false); });
        edit->installEventFilter(this);
    }
    ui.portGroup->setTitle(L(kPortGroup));
    ui.portGroup->setToolTip(L(kPortHint));
    Edit5->setMaxLength(kPortMaxLength);
    Edit5->setToolTip(L(kPortHint));
    NameAfterCaption(Edit5, L(kPortGroup));
    connect(Edit5, &QLineEdit::textChanged, this, [this] { fieldChanged(Edit5, true); });
    Edit5->installEventFilter(this);

    CBoxKA->setText(L(kKeepaliveBox));
    CBoxKA->setToolTip(L(kKeepaliveHint));
    connect(CBoxKA, &QCheckBox::toggled, this, &TSetServerIP::CBoxKAClick);
    Button3->setText(L(kOk));
    Button3->setToolTip(L(kOkHint));
    connect(Button3, &QPushButton::clicked, this, &TSetServerIP::Button3Click);
    Button2->setText(L(kCancel));
    Button2->setToolTip(L(kCancelHint));
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    DescribeAs(StatusBar1, L(kServerConnectionCaption));

    Timer1 = new QTimer(this);
    Timer1->setInterval(kStatusLineClearMs);
    connect(Timer1, &QTimer::timeout, this, &TSetServerIP::Timer1Timer);
    Timer1->start();

    // The fields are filled before the first showing, so that they read right however the
    // window manager activates the dialog.
    FormActivate();
}

TSetServerIP::~TSetServerIP() = default;

QString TSetServerIP::statusLine() const
{
    return StatusBar1->text();
}

bool TSetServerIP::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate)
        FormActivate();
    return QDialog::event(e);
}

// Fills the fields from what the caller remembers. Only the first activation of an opening does
// so: coming back to the dialog from another window keeps what the user has typed meanwhile.
void TSetServerIP::FormActivate()
{
    if (activated_)
        return;
    activated_ = true;
    const bool remembered = caller_.hasRemembered && caller_.hasRemembered();
    const Activation a = ActivateServerFields(*caller_.remembered, remembered, caller_.LocalHostAddress.toStdString());
    *caller_.remotePort = a.remotePort;
    Edit5->setText(QString::fromStdString(a.fields.port));
    QLineEdit* octets[] = {Edit1, Edit2, Edit3, Edit4};
    for (int i = 0; i < 4; ++i)
        octets[i]->setText(QString::fromStdString(a.fields.octets[i]));
}

void TSetServerIP::fieldChanged(QLineEdit* edit, bool port)
{
    const std::string text = edit->text().toStdString();
    const FieldCheck check = port ? PortFieldChanged(text) : OctetFieldChanged(text);
    okAllowed_ = check.okEnabled;
    Button3->setEnabled(okAllowed_ && !connecting_);
    const QString clamped = QString::fromStdString(check.text);
    if (clamped != edit->text())
        edit->setText(clamped); // runs this check once more, with the same outcome
}

bool TSetServerIP::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() == QEvent::KeyPress && qobject_cast<QLineEdit*>(watched)) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (Button3->isEnabled())
                Button3->click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, e);
}

void TSetServerIP::CBoxKAClick()
{
    *caller_.Use_keepalive = CBoxKA->isChecked();
}

void TSetServerIP::Timer1Timer()
{
    StatusBar1->clear();
    Timer1->stop();
}

void TSetServerIP::Button3Click()
{
    if (connecting_)
        return;
    ServerFields fields;
    QLineEdit* octets[] = {Edit1, Edit2, Edit3, Edit4};
    for (int i = 0; i < 4; ++i)
        fields.octets[i] = octets[i]->text().toStdString();
    fields.port = Edit5->text().toStdString();
    const Confirmation c = ConfirmServerFields(fields);
    *caller_.serverIP = QString::fromStdString(c.serverIP);
    *caller_.remembered = c.remembered;
    if (c.remotePort)
        *caller_.remotePort = *c.remotePort;

    connecting_ = true;
    Button3->setEnabled(false);
    std::weak_ptr<int> life = life_;
    caller_.createConnection([this, life](bool ok) {
        if (!life.expired())
            attemptEnded(ok);
    });
}

void TSetServerIP::attemptEnded(bool ok)
{
    connecting_ = false;
    if (!ok) {
        StatusBar1->setText(L(kConnectionFailedText));
        caller_.setPartnerLabel(L(kNoPartnerText));
        Button3->setEnabled(okAllowed_);
        return;
    }
    StatusBar1->setText(L(kConnectionEstablishedText));
    caller_.setPartnerLabel(
        QString::fromStdString(PartnerLabelText(caller_.serverIP->toStdString(), Edit5->text().toStdString())));
    if (caller_.connected)
        caller_.connected();
    accept();
}

} // namespace korvel
