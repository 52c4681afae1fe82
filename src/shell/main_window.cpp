#include "shell/main_window.h"

#include "dde/bus_names.h"
#include "dde/server_control.h"
#include "instances/atom_registry.h"
#include "net/socket_layer.h"
#include "rules/window_arguments.h"
#include "server_ui/fault_rules_window.h"
#include "server_ui/initialize_menu.h"
#include "server_ui/logging_group.h"
#include "server_ui/modbus_options_menu.h"
#include "server_ui/server_connections.h"
#include "server_ui/status_panel.h"
#include "shell/port_control.h"
#include "shell/process_priority.h"
#include "shell/shell_texts.h"
#include "shell/tooltip_switch.h"
#include "ui/message_box.h"
#include "ui/tray_icon.h"
#include "view/register_list_view.h"
#include "view/set_value_dialog.h"
#include "view/variable_list_file.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QShowEvent>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>

namespace korvel {

namespace {
WindowArguments SplitArguments(const QStringList& arguments)
{
    std::vector<std::string> all;
    for (const QString& argument : arguments)
        all.push_back(argument.toStdString());
    return SplitWindowArguments(all);
}

QStringList ToStringList(const std::vector<std::string>& arguments)
{
    QStringList out;
    for (const std::string& argument : arguments)
        out << QString::fromStdString(argument);
    return out;
}
} // namespace

TChatForm::TChatForm(RegisterStore& store, ServerEngine& engine, const QStringList& arguments, QWidget* parent)
    : QMainWindow(parent), store_(store), engine_(engine),
      atoms_(std::make_unique<AtomRegistry>(AtomRegistry::DefaultFolder())),
      priority_(std::make_unique<ProcessPriority>())
{
    const WindowArguments split = SplitArguments(arguments);
    arguments_ = ToStringList(split.rest);
    faultsFile_ = QString::fromStdString(split.faultsFile);
    faultsError_ = QString::fromStdString(split.error);
    setWindowTitle(texts::kInitialTitle);
    // Single-line border, system menu and minimise button only.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

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
    statusClock_->setFrameStyle(QFrame::Panel | QFrame::Sunken); // the clock and the message read apart
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

    const StatusSink status = [this](const QString& text) { setStatusMessage(text); };

    // The server (its own thread) and the TCP menu's items; the parts below read its status.
    serverConnections_ = new ServerConnections(this, engine_, tcpMenu_, refresh_, status);
    serverConnections_->setPacketLog(&trafficLog_);
    connect(serverConnections_, &ServerConnections::activityChanged, this, &TChatForm::SetMyPriority);

    // Parts of the window
    statusPanel_ = new ServerStatusPanel(this, *serverConnections_, publishing_, refresh_, status);
    rightColumn_->addWidget(statusPanel_); // the "Server" group, above the logging group
    new ModbusOptionsMenu(this, *serverConnections_, viewOptions_, refresh_, modbusMenu_); // Options > Modbus
    // D-Bus control of the server (/server, org.korvel.Server), when there is a session bus.
    auto* serverControl = new ServerControl(serverConnections_->service(), this);
    connect(serverConnections_, &ServerConnections::connectionChanged, serverControl,
            &ServerControl::tellConnectionChanged);
    connect(serverConnections_, &ServerConnections::settingsChanged, serverControl, &ServerControl::settingsChanged);
    serverControl->registerOn(QDBusConnection::sessionBus());

    // The "Logging" group, below the server status panel; it is the server's traffic log.
    loggingGroup_ = new LoggingGroup(*serverConnections_, refresh_, trafficLog_);
    connect(serverConnections_, &ServerConnections::connectionAccepted, loggingGroup_,
            &LoggingGroup::connectionAccepted);
    connect(serverConnections_, &ServerConnections::allConnectionsClosed, loggingGroup_,
            &LoggingGroup::allConnectionsClosed);
    connect(serverConnections_, &ServerConnections::logWriteFailed, loggingGroup_, &LoggingGroup::recordingFailed);
    rightColumn_->addWidget(loggingGroup_);
    rightColumn_->addStretch(1); // the groups stay at the top of the column

    registerList_ = new RegisterListView(this, viewOptions_, store_, serverConnections_->service(), refresh_, editMenu_,
                                         viewMenu_, leftColumn_);
    new InitializeMenu(this, store_, editMenu_); // Edit > Initialize, below the register list's items
    // File > "&Open...", "&Save As..."
    variableListFile_ = new VariableListFile(this, viewOptions_, store_, *registerList_, fileMenu_,
                                             arguments_.isEmpty() ? QString() : arguments_.first());
    // A set-value dialog opens after the event that asked for it has been handled.
    connect(&viewOptions_, &ViewOptions::setValueDialogRequested, this, &TChatForm::openSetValueDialog,
            Qt::QueuedConnection);

    // Port reservations, tray icon and the closing items of the menus. Keep them last: other
    // parts go above, start-up follows.
    portControl_ = new PortControl(this, *atoms_, *serverConnections_, serverConnections_->portMenu(), status);
    busNames_ = new BusNames(QDBusConnection::sessionBus(), QCoreApplication::applicationFilePath(), this);
    connect(portControl_, &PortControl::portChanged, busNames_,
            [this](int port) { busNames_->portChanged(static_cast<uint16_t>(port)); });
    tray_ = new TrayIcon(*this);
    statusPanel_->setTray(tray_);
    trayMenu()->addAction(registerList_->setRegisterTrayAction()); // "Set register value"
    exit_ = fileMenu_->addAction(texts::kExit);
    connect(exit_, &QAction::triggered, this, &QWidget::close);
    tooltips_ = new TooltipSwitch(this);
    showTooltips_ = optionsMenu_->addAction(texts::kShowTooltips);
    showTooltips_->setCheckable(true);
    showTooltips_->setChecked(true);
    showTooltips_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    connect(showTooltips_, &QAction::triggered, this, &TChatForm::ShowTooltipsClick);

    activity_.changed = [this] { SetMyPriority(); };
    FormCreate();
}

TChatForm::~TChatForm()
{
    FormDestroy();
    // Set-value dialogs count themselves in this window: end them while it is still whole.
    qDeleteAll(findChildren<TfrmSetVal*>(Qt::FindDirectChildrenOnly));
    // The logging group closes the traffic log when it goes: end it while the log (a member, gone
    // before the child widgets are) still exists.
    delete loggingGroup_;
    loggingGroup_ = nullptr;
}

// Start-up, in this order.
void TChatForm::FormCreate()
{
    // 1. Height: 600 pixels plus the status bar; centred on the screen.
    resize(width(), 600 + statusBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    // 2. Every holding and every input register 0.
    store_.zeroHolding();
    store_.zeroInput();

    // 3.-5. The register list has filled its boxes, pointed its rows at 0..25 and gone into
    // monitor mode when it was built above.

    // 6. The port.
    portControl_->ChoosePort();

    // 7. Both connections "none" (the server connections start so), flash state cleared,
    // byte order 1, release of idle connections on (its menu item starts checked).
    portControl_->ownsPrimaryFlashAtom = false;
    portControl_->ownsSecondaryFlashAtom = false;
    viewOptions_.flash_main_window = false;
    viewOptions_.amount_of_setval_windows = 0;
    viewOptions_.ByteOrderUsed = 1;

    // 8. The status panel's idle state and the R/W column.
    ResetConnectionStatus(Connections::Both); // the field texts read as from a work area of zeros
    refresh_.RefreshServerPanel(PanelPart::Everything);
    refresh_.RefreshRegisterViewRW();

    // 9. The title from the local address.
    buildWindowTitle();

    // The fault rules of `--faults`, in force before the first request can come in.
    applyFaultsFile();

    // 10. Listening; a failure has shown its message and start-up goes on without a server.
    serverConnections_->StartListening();

    // The names on the session bus, before any publishing; without a bus the status bar says so.
    busNames_->start(static_cast<uint16_t>(serverConnections_->ServerPort));
    if (!busNames_->available())
        setStatusMessage(kNoSessionBusText);

    // 11. The command line: only the first argument counts.
    const QString firstArgument = arguments_.isEmpty() ? QString() : arguments_.first();
    const bool powerOfAtom = firstArgument.trimmed().compare(texts::kPowerOfAtom, Qt::CaseInsensitive) == 0;
    if (!firstArgument.trimmed().isEmpty() && !powerOfAtom) {
        variableListFile_->OpenFromCommandLine = true;
        // The variable-list file named by the (untrimmed) first argument is loaded here.
        variableListFile_->Open1Click();
    }

    // 12. The timers: the parts start theirs when they are built (status Timer1, register list
    // Timer2); Timer3 runs since the window exists.

    // 13. The status bar's panels were laid out when the window was built. Instance detection
    // runs for the whole run.
    Flashtmr = new QTimer(this);
    Flashtmr->setInterval(kFlashtmrInterval);
    connect(Flashtmr, &QTimer::timeout, this, &TChatForm::FlashtmrTimer);
    Flashtmr->start();

    // 14. "/POWER_OF_ATOM": every flash atom of every instance goes.
    if (powerOfAtom)
        portControl_->DeleteAllFlashAtoms();

    // 15. Nothing is active yet.
    SetMyPriority();
}

void TChatForm::applyFaultsFile()
{
    QString error = faultsError_;
    if (error.isEmpty() && !faultsFile_.isEmpty()) {
        const ServerService::FaultRulesFileLoad file = serverConnections_->service().loadFaultRulesFile(faultsFile_);
        if (!file.readError.empty())
            error = CannotReadText(faultsFile_, file.readError);
        else if (file.error)
            error = QStringLiteral("Fault rules in \"%1\": %2")
                        .arg(faultsFile_, QString::fromStdString(file.error->text()));
    }
    if (!error.isEmpty())
        ShowMessage(this, MessageKind::Warning, texts::kFaultRulesTitle, error);
}

void TChatForm::buildWindowTitle()
{
    const LocalHostLookup host = LookUpLocalHost();
    if (host.ok) {
        LocalHostAddress = QString::fromStdString(host.address);
        setWindowTitle(texts::kTitleAtAddress.arg(LocalHostAddress));
        return;
    }
    QString error;
    if (!host.nameRead) {
        switch (host.error) {
        case wsa::kEInProgress:
            error = QStringLiteral("WSAEInProgress");
            break;
        case wsa::kENetDown:
            error = QStringLiteral("WSAENetDown");
            break;
        case wsa::kNotInitialised:
            error = QStringLiteral("WSANotInitialised");
            break;
        default:
            break;
        }
    }
    setWindowTitle(texts::kTitleWithError.arg(error));
}

// Shutdown, in this order.
void TChatForm::FormDestroy()
{
    if (destroyed_)
        return;
    destroyed_ = true;
    serverConnections_->ReleaseSockets();
    portControl_->ReleaseAtoms();
    if (trafficLog_.LogRecording())
        loggingGroup_->allConnectionsClosed();
}

// A single-line border: once laid out and shown, the window cannot be resized.
void TChatForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!sizeFixed_) {
        sizeFixed_ = true;
        statusBar()->setSizeGripEnabled(false);
        setFixedSize(size());
    }
}

void TChatForm::closeEvent(QCloseEvent* event)
{
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        emit formClosed();
}

namespace {

// The flash names on the shared registry, as instance detection asks for them.
class RegistryFlashAtoms : public FlashAtomTable {
  public:
    explicit RegistryFlashAtoms(AtomRegistry& atoms) : atoms_(atoms) {}
    bool find(const std::string& name) override { return atoms_.find(QString::fromStdString(name)); }
    bool add(const std::string& name) override { return atoms_.add(QString::fromStdString(name)); }
    bool deleteOne(const std::string& name) override { return atoms_.deleteOne(QString::fromStdString(name)); }

  private:
    AtomRegistry& atoms_;
};

} // namespace

void TChatForm::FlashtmrTimer()
{
    RegistryFlashAtoms table(*atoms_);
    const InstanceDetection d = FlashtmrStep(
        table, FlashAtomOwnership{portControl_->ownsPrimaryFlashAtom, portControl_->ownsSecondaryFlashAtom});
    portControl_->ownsPrimaryFlashAtom = d.owns.ownsPrimaryFlashAtom;
    portControl_->ownsSecondaryFlashAtom = d.owns.ownsSecondaryFlashAtom;
    if (d.clearFlashMainWindow)
        viewOptions_.flash_main_window = false;
    emit instancesDetected(d.timer4Enabled);
}

ClientSurroundings TChatForm::clientSurroundings()
{
    ClientSurroundings s;
    s.mainWindow = this;
    s.rightColumn = rightColumn_;
    s.store = &store_;
    s.activity = &activity_;
    s.view = &viewOptions_;
    s.refresh = &refresh_;
    s.registerList = registerList_;
    s.modbusMenu = modbusMenu_;
    s.localHostAddress = [this] { return LocalHostAddress; };
    return s;
}

const ServerSettings& TChatForm::serverSettings() const
{
    return serverConnections_->settings();
}

void TChatForm::changeServerSettings(const std::function<void(ServerSettings&)>& change)
{
    serverConnections_->changeSettings(change);
}

void TChatForm::ResetConnectionStatus(Connections which)
{
    if (serverConnections_)
        serverConnections_->service().resetConnectionStatus(which);
    if (which == Connections::Both)
        setStatusMessage(QString());
}

void TChatForm::SetMyPriority()
{
    ActivityIndicators activity;
    activity.serverConnection1 = serverConnections_ && serverConnections_->slotOpen(1);
    activity.serverConnection2 = serverConnections_ && serverConnections_->slotOpen(2);
    activity.clientConnected = activity_.ClientConnected.load();
    activity.inputPublishing = activity_.InputDDEThreadRunning.load();
    activity.holdingPublishing = activity_.HoldDDEThreadRunning.load();
    activity.scannerConnected = activity_.scannerConnected.load();
    priority_->SetMyPriority(activity);
}

bool TChatForm::PortAtomExist(int port) const
{
    return portControl_->PortAtomExist(port);
}

QSystemTrayIcon* TChatForm::trayIcon() const
{
    return tray_ ? tray_->icon() : nullptr;
}
QMenu* TChatForm::trayMenu() const
{
    return tray_ ? tray_->menu() : nullptr;
}
void TChatForm::setTrayPicture(int index)
{
    if (tray_)
        tray_->setPicture(index);
}
int TChatForm::trayPicture() const
{
    return tray_ ? tray_->picture() : 1;
}

void TChatForm::ShowTooltipsClick()
{
    tooltips_->setEnabled(showTooltips_->isChecked());
}

void TChatForm::openSetValueDialog()
{
    CreateSetVal(this, viewOptions_, store_, registerList_);
}

void TChatForm::setStatusMessage(const QString& text)
{
    statusMessage_->setText(text);
}
QString TChatForm::statusMessage() const
{
    return statusMessage_->text();
}

void TChatForm::Timer3Timer()
{
    statusClock_->setText(StatusClockText(QDateTime::currentDateTime()));
}

void TChatForm::StatusBarDblClick()
{
    statusMessage_->clear();
}

bool TChatForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonDblClick &&
        (watched == statusBar() || watched == statusClock_ || watched == statusMessage_)) {
        StatusBarDblClick();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace korvel
