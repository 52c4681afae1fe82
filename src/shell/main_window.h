// The main window: the Modbus/TCP server's window. It owns the view options, the refresh requests,
// the traffic log and the server connections, and composes the parts that show and drive them
// (status panel, register list, logging group, menus): its constructor hands each part what it
// uses and connects them.
#pragma once

#include "client/client_window.h"
#include "common/activity.h"
#include "common/register_store.h"
#include "log/packet_log.h"
#include "log/traffic_log.h"
#include "server/server_engine.h"
#include "server/server_runtime.h"
#include "ui/refresh_requests.h"
#include "ui/view_options.h"

#include <QMainWindow>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class QMenu;
class QAction;
class QLabel;
class QPushButton;
class QSystemTrayIcon;
class QTimer;
class QVBoxLayout;

namespace korvel {

class AtomRegistry;
class BusNames;
class PortControl;
class ProcessPriority;
class ServerConnections;
class TooltipSwitch;
class TrayIcon;

class RegisterListView;
class LoggingGroup;
class ServerStatusPanel;
class VariableListFile;

class TChatForm : public QMainWindow {
    Q_OBJECT
  public:
    // `arguments` are the command-line arguments after the program name: `--faults FILE.toml`
    // among them names a fault rule file applied at start-up, the first of the others is the
    // variable-list file or /POWER_OF_ATOM.
    TChatForm(RegisterStore& store, ServerEngine& engine, const QStringList& arguments, QWidget* parent = nullptr);
    ~TChatForm() override;

    RegisterStore& store() { return store_; }
    RegisterListView* registerList() const { return registerList_; }         // the register list (left column)
    LoggingGroup* loggingGroup() const { return loggingGroup_; }             // the "Logging" group
    VariableListFile* variableListFile() const { return variableListFile_; } // File > Open, Save As
    // The command-line arguments after the program name, as given but for `--faults FILE`.
    const QStringList& arguments() const { return arguments_; }
    // The fault rule file named by `--faults` (empty: none).
    const QString& faultsFile() const { return faultsFile_; }

    // Menus the parts add their items to.
    QMenu* fileMenu() const { return fileMenu_; }
    QMenu* optionsMenu() const { return optionsMenu_; }
    QMenu* modbusMenu() const { return modbusMenu_; } // Options > Modbus

    // Status bar: panel 0 is the clock, panel 1 messages.
    void setStatusMessage(const QString& text);
    QString statusMessage() const;

    // The refresh requests of the status panel and the register list's R/W column.
    RefreshRequests& refreshRequests() { return refresh_; }
    // The program-wide formats, pointed register and set-value dialog bookkeeping.
    ViewOptions& viewOptions() { return viewOptions_; }
    // Resets the status values of `which` connections; Both also empties status panel 1.
    void ResetConnectionStatus(Connections which);

    // Recomputes the process priority from the activity indicators; callable from any thread.
    void SetMyPriority();
    ProcessPriority& priority() { return *priority_; }

    // The server's sockets and menu items, the port reservations, the instance registry.
    ServerConnections& serverConnections() { return *serverConnections_; }
    // The server's options as the menus set them, and a change of them (it reaches the server at once).
    const ServerSettings& serverSettings() const;
    void changeServerSettings(const std::function<void(ServerSettings&)>& change);
    // The traffic log the server writes and the logging group starts and stops.
    TrafficLog& trafficLog() { return trafficLog_; }
    PortControl& portControl() { return *portControl_; }
    AtomRegistry& atoms() { return *atoms_; }
    // The names this instance owns on the session bus (inert without one).
    BusNames& busNames() { return *busNames_; }
    // True when any instance holds the reservation of `port`.
    bool PortAtomExist(int port) const;

    // The notification-area icon (visible for the run), its context menu and its picture 1..13.
    QSystemTrayIcon* trayIcon() const;
    QMenu* trayMenu() const;
    void setTrayPicture(int index);
    int trayPicture() const;
    TrayIcon& tray() { return *tray_; }

    // "&Show Tooltips" (Ctrl+T) and "E&xit".
    QAction* ShowTooltips() const { return showTooltips_; }
    QAction* Exit1() const { return exit_; }
    void ShowTooltipsClick();

    QString LocalHostAddress; // first IPv4 address of this computer, "" when unknown

  private:
    ViewOptions viewOptions_;
    RefreshRequests refresh_;

  public:
    // What the priority follows besides the server connections (the client, the scanner and the
    // publishing threads set it), and the publishing progress.
    Activity& activity() { return activity_; }
    PublishingStatus& publishing() { return publishing_; }

    // What the client window uses of the main window and the shared state (it builds its own row
    // into the right column).
    ClientSurroundings clientSurroundings();

    // Instance detection (every 3210 ms): the flash names on the shared registry.
    void FlashtmrTimer();
    QTimer* Flashtmr = nullptr;

  signals:
    // The main window was closed: the program ends.
    void formClosed();
    // Each instance detection: whether other instances run (the client's flash tick runs then).
    void instancesDetected(bool othersRun);

  public slots:
    void Timer3Timer();       // status bar clock, every 1000 ms
    void StatusBarDblClick(); // clears status panel 1

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void FormCreate();  // start-up, in its order
    void FormDestroy(); // shutdown, in its order
    void buildWindowTitle();
    // `--faults FILE.toml`: the file's rules apply; a file that cannot be read or holds an error
    // is told in a message and no rule applies.
    void applyFaultsFile();
    // Opens a new set-value dialog on the view options' pointed register.
    void openSetValueDialog();

    RegisterStore& store_;
    ServerEngine& engine_;
    QStringList arguments_;
    QString faultsFile_;
    QString faultsError_; // the option given without a file or twice

    QMenu* fileMenu_ = nullptr;
    QMenu* editMenu_ = nullptr;
    QMenu* viewMenu_ = nullptr;
    QMenu* optionsMenu_ = nullptr;
    QMenu* modbusMenu_ = nullptr;
    QMenu* tcpMenu_ = nullptr;
    QVBoxLayout* leftColumn_ = nullptr;
    QVBoxLayout* rightColumn_ = nullptr;
    QLabel* statusClock_ = nullptr;   // panel 0, 130 px, centred
    QLabel* statusMessage_ = nullptr; // panel 1

    TrafficLog trafficLog_;
    Activity activity_;
    PublishingStatus publishing_;
    std::unique_ptr<AtomRegistry> atoms_;
    std::unique_ptr<ProcessPriority> priority_;
    ServerConnections* serverConnections_ = nullptr;
    PortControl* portControl_ = nullptr;
    BusNames* busNames_ = nullptr;
    TrayIcon* tray_ = nullptr;
    TooltipSwitch* tooltips_ = nullptr;
    QAction* showTooltips_ = nullptr;
    QAction* exit_ = nullptr;
    bool destroyed_ = false;
    bool sizeFixed_ = false; // the window keeps the size of its first showing
    RegisterListView* registerList_ = nullptr;
    LoggingGroup* loggingGroup_ = nullptr;
    ServerStatusPanel* statusPanel_ = nullptr;
    VariableListFile* variableListFile_ = nullptr;
};

} // namespace korvel
