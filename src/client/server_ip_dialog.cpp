#include "client/server_ip_dialog.h"

#include "client/client_texts.h"
#include "common/accessible_names.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

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
    setModal(true);
    resize(310, 159);

    auto* layout = new QVBoxLayout(this);
    auto* fieldsRow = new QHBoxLayout;
    auto* ipGroup = new QGroupBox(L(kIpGroup), this);
    ipGroup->setToolTip(L(kIpHint));
    auto* ipLayout = new QHBoxLayout(ipGroup);
    QLineEdit** octets[] = {&Edit1, &Edit2, &Edit3, &Edit4};
    for (int i = 0; i < 4; ++i) {
        auto* edit = new QLineEdit(ipGroup);
        edit->setMaxLength(kOctetMaxLength);
        edit->setToolTip(L(kIpHint));
        NameAfterCaption(edit, L(kIpGroup) + QLatin1Char(' ') + QString::number(i + 1));
        ipLayout->addWidget(edit);
        if (i < 3)
            ipLayout->addWidget(new QLabel(QStringLiteral("."), ipGroup));
        *octets[i] = edit;
        connect(edit, &QLineEdit::textChanged, this, [this, edit] { fieldChanged(edit, false); });
        edit->installEventFilter(this);
    }
    auto* portGroup = new QGroupBox(L(kPortGroup), this);
    portGroup->setToolTip(L(kPortHint));
    auto* portLayout = new QHBoxLayout(portGroup);
    Edit5 = new QLineEdit(portGroup);
    Edit5->setMaxLength(kPortMaxLength);
    Edit5->setToolTip(L(kPortHint));
    NameAfterCaption(Edit5, L(kPortGroup));
    portLayout->addWidget(Edit5);
    connect(Edit5, &QLineEdit::textChanged, this, [this] { fieldChanged(Edit5, true); });
    Edit5->installEventFilter(this);
    fieldsRow->addWidget(ipGroup, 3);
    fieldsRow->addWidget(portGroup, 1);
    layout->addLayout(fieldsRow);

    auto* buttons = new QHBoxLayout;
    CBoxKA = new QCheckBox(L(kKeepaliveBox), this);
    CBoxKA->setToolTip(L(kKeepaliveHint));
    connect(CBoxKA, &QCheckBox::toggled, this, &TSetServerIP::CBoxKAClick);
    buttons->addWidget(CBoxKA, 1);
    Button3 = new QPushButton(L(kOk), this);
    Button3->setToolTip(L(kOkHint));
    Button3->setAutoDefault(false);
    connect(Button3, &QPushButton::clicked, this, &TSetServerIP::Button3Click);
    Button2 = new QPushButton(L(kCancel), this);
    Button2->setToolTip(L(kCancelHint));
    Button2->setAutoDefault(false);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(Button3);
    buttons->addWidget(Button2);
    layout->addLayout(buttons);

    StatusBar1 = new QLabel(this);
    StatusBar1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    DescribeAs(StatusBar1, L(kServerConnectionCaption));
    layout->addWidget(StatusBar1);

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
