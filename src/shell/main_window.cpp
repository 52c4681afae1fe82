#include "shell/main_window.h"

#include "view/register_list_view.h"
#include "view/set_value_dialog.h"

#include "log/logging_group.h"

#include <QDateTime>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace korvel {

TChatForm::TChatForm(RegisterStore& store, ServerEngine& engine, const QStringList& arguments, QWidget* parent)
    : QMainWindow(parent), store_(store), engine_(engine), arguments_(arguments)
{
    setWindowTitle(QStringLiteral("Korvel - Modbus/TCP server"));
    // Single-line border, system menu and minimise button only.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    fileMenu_ = menuBar()->addMenu(QStringLiteral("&File"));
    editMenu_ = menuBar()->addMenu(QStringLiteral("&Edit"));
    viewMenu_ = menuBar()->addMenu(QStringLiteral("&View"));
    optionsMenu_ = menuBar()->addMenu(QStringLiteral("&Options"));
    modbusMenu_ = optionsMenu_->addMenu(QStringLiteral("&Modbus"));
    tcpMenu_ = optionsMenu_->addMenu(QStringLiteral("T&CP"));

    auto* central = new QWidget(this);
    auto* columns = new QHBoxLayout(central);
    leftColumn_ = new QVBoxLayout;
    rightColumn_ = new QVBoxLayout;
    columns->addLayout(leftColumn_);
    columns->addLayout(rightColumn_, 1);
    setCentralWidget(central);

    statusClock_ = new QLabel(this);
    statusClock_->setFixedWidth(130);
    statusClock_->setAlignment(Qt::AlignCenter);
    statusMessage_ = new QLabel(this);
    statusBar()->addWidget(statusClock_);
    statusBar()->addWidget(statusMessage_, 1);
    statusBar()->installEventFilter(this);
    statusClock_->installEventFilter(this);
    statusMessage_->installEventFilter(this);

    auto* timer3 = new QTimer(this);
    timer3->setInterval(1000);
    connect(timer3, &QTimer::timeout, this, &TChatForm::Timer3Timer);
    timer3->start();
    Timer3Timer();

    // The "Logging" group, below the server status panel; it is the server's traffic log.
    loggingGroup_ = new LoggingGroup(*this);
    rightColumn_->addWidget(loggingGroup_);
    packetLog = loggingGroup_;

    // Parts of the window
    registerList_ = new RegisterListView(*this);
}

TChatForm::~TChatForm() = default;

void TChatForm::requestSetValueDialog()
{
    QMetaObject::invokeMethod(this, [this] { CreateSetVal(*this); }, Qt::QueuedConnection);
}

void TChatForm::setStatusMessage(const QString& text) { statusMessage_->setText(text); }
QString TChatForm::statusMessage() const { return statusMessage_->text(); }
QString TChatForm::statusClock() const { return statusClock_->text(); }

void TChatForm::Timer3Timer()
{
    const QLocale locale = QLocale::system();
    const QDateTime now = QDateTime::currentDateTime();
    statusClock_->setText(locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ')
                          + locale.toString(now.time(), QLocale::LongFormat));
}

void TChatForm::StatusBarDblClick() { statusMessage_->clear(); }

bool TChatForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonDblClick
        && (watched == statusBar() || watched == statusClock_ || watched == statusMessage_)) {
        StatusBarDblClick();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace korvel
