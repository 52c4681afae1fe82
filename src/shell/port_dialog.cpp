#include "shell/port_dialog.h"

#include "common/numeric.h"
#include "shell/shell_texts.h"
#include "ui/message_box.h"
#include "ui_port_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <optional>

namespace korvel {

namespace {
constexpr int kOffset = 30; // from the main window's top-left corner

// The number the text names, or nothing when it is no whole number.
std::optional<int32_t> PortOf(const QString& text)
{
    const std::string s = text.toStdString();
    if (s.empty() || !IsNumericOrHex(s, false))
        return std::nullopt;
    try {
        return NumericOrHexToInt(s, false);
    } catch (const ConversionError&) {
        return std::nullopt;
    }
}
} // namespace

TfrmSetPort::TfrmSetPort(QWidget* mainWindow, int currentPort, Hooks hooks)
    : QDialog(mainWindow, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint), currentPort_(currentPort),
      hooks_(std::move(hooks))
{
    Ui::TfrmSetPort ui;
    ui.setupUi(this);
    portNumber_ = ui.portNumber;
    current_ = ui.current;
    ok_ = ui.ok;
    cancel_ = ui.cancel;
    setWindowTitle(texts::kPortDialogCaption);
    ui.group->setTitle(texts::kPortToUse);
    portNumber_->setAccessibleName(texts::kPortToUse);
    portNumber_->setToolTip(texts::kPortHint);
    current_->setText(texts::kPortCurrentlyUsed.arg(currentPort));

    connect(portNumber_, &QLineEdit::textChanged, this, &TfrmSetPort::PortNumberChange);
    connect(ok_, &QPushButton::clicked, this, &TfrmSetPort::OKClick);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    portNumber_->setText(QString::number(currentPort));
    PortNumberChange();
    portNumber_->selectAll();
    if (mainWindow)
        move(mainWindow->frameGeometry().topLeft() + QPoint(kOffset, kOffset));
}

void TfrmSetPort::PortNumberChange()
{
    const std::optional<int32_t> port = PortOf(portNumber_->text());
    ok_->setEnabled(port.has_value() && !hooks_.portAtomExist(*port));
}

void TfrmSetPort::OKClick()
{
    if (!ok_->isEnabled())
        return;
    const int32_t port = PortOf(portNumber_->text()).value_or(0);
    if (port < 1 || port > 65535) {
        ShowMessage(this, MessageKind::Warning, texts::kApplicationTitle, texts::kIllegalPort);
        portNumber_->setText(QString::number(currentPort_));
        portNumber_->selectAll();
        return;
    }
    hooks_.applyPort(static_cast<int>(port));
    currentPort_ = static_cast<int>(port);
    current_->setText(texts::kPortCurrentlyUsed.arg(port));
    if (const int failure = hooks_.listenAgain(); failure != 0)
        ShowMessage(this, MessageKind::Error, texts::kApplicationTitle, QString::number(failure));
    accept();
}

} // namespace korvel
