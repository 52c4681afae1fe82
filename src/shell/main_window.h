// The main window: the Modbus/TCP server's window. It owns the register store, the server engine
// and the view options, and composes the parts that show and drive them (status panel, register
// list, logging group, menus). Every other window reaches the shared state through it.
#pragma once

#include "common/activity.h"
#include "common/register_store.h"
#include "log/packet_log.h"
#include "log/traffic_log.h"
#include "server/server_engine.h"
#include "server/server_runtime.h"

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
class QVBoxLayout;

namespace korvel {

class AtomRegistry;
class PortControl;
class ProcessPriority;
class ServerConnections;
class TooltipSwitch;
class TrayIcon;

class RegisterListView;
class LoggingGroup;
class VariableListFile;

class TChatForm : public QMainWindow {
    Q_OBJECT
  public:
    // `arguments` are the command-line arguments after the program name.
    TChatForm(RegisterStore& store, ServerEngine& engine, const QStringList& arguments, QWidget* parent = nullptr);
    ~TChatForm() override;

    RegisterStore& store() { return store_; }
    RegisterListView* registerList() const { return registerList_; }         // the register list (left column)
    LoggingGroup* loggingGroup() const { return loggingGroup_; }             // the "Logging" group
    VariableListFile* variableListFile() const { return variableListFile_; } // File > Open, Save As
    // The command-line arguments after the program name, as given.
    const QStringList& arguments() const { return arguments_; }
    ServerEngine& engine() { return engine_; }

    // Menus the parts add their items to.
    QMenu* fileMenu() const { return fileMenu_; }
    QMenu* editMenu() const { return editMenu_; }
    QMenu* viewMenu() const { return viewMenu_; }
    QMenu* optionsMenu() const { return optionsMenu_; }
    QMenu* modbusMenu() const { return modbusMenu_; } // Options > Modbus
    QMenu* tcpMenu() const { return tcpMenu_; }       // Options > TCP

    // Columns of the window the parts place their groups in.
    QVBoxLayout* leftColumn() const { return leftColumn_; }
    QVBoxLayout* rightColumn() const { return rightColumn_; }

    // Status bar: panel 0 is the clock, panel 1 messages.
    void setStatusMessage(const QString& text);
    QString statusMessage() const;
    QString statusClock() const;

    // Requests a refresh of the status panel: 0 everything, 1 or 2 one connection, 4 option labels.
    void RefreshServerPanel(int c) { emit serverPanelRefreshRequested(c); }
    // Requests a redraw of the register list's R/W column.
    void RefreshRegisterViewRW() { emit registerViewRWRefreshRequested(); }
    // Resets the status values of connection 1, 2 or both (3); 3 also empties status panel 1.
    void ResetConnectionStatus(int c);

    // The port the server starts from: 502, or KORVEL_PORT when it holds 1..65535.
    static int BasePort();
    // Monotonic millisecond clock reduced to 32 bits.
    static uint32_t TickCount();

    // Recomputes the process priority from the activity indicators; callable from any thread.
    void SetMyPriority();
    ProcessPriority& priority() { return *priority_; }

    // The server's sockets and menu items, the port reservations, the instance registry.
    ServerConnections& serverConnections() { return *serverConnections_; }
    // The server's latest published status (all reset before the server exists).
    ServerSnapshot serverSnapshot() const;
    // The server's options as the menus set them, and a change of them (it reaches the server at once).
    const ServerSettings& serverSettings() const;
    void changeServerSettings(const std::function<void(ServerSettings&)>& change);
    // The traffic log the server writes and the logging group starts and stops.
    TrafficLog& trafficLog() { return trafficLog_; }
    PortControl& portControl() { return *portControl_; }
    AtomRegistry& atoms() { return *atoms_; }
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
    bool tooltipsShown() const;
    // Opens a new set-value dialog on VLEPointedRegister after the current event has been handled.
    void requestSetValueDialog();

    // View options ("Registers as Hex", "Values as Hex"): the program-wide register-number and
    // value formats. The register list owns the menu items and keeps these in step.
    bool Showregistersathex = false;
    bool ShowHex = false;

    int ServerPort = 502;
    bool ListenActive = true;       // "Monitor Port" checked: listening is on
    PacketLog* packetLog = nullptr; // the traffic log the panel reads ("Logged packets:")

    // Shared program state.
    QString LocalHostAddress;   // first IPv4 address of this computer, "" when unknown
    QString VLEPointedRegister; // register number text the next set-value dialog starts on
    bool VLEUpdateNeeded = false;
    int ByteOrderUsed = 1; // byte order shared by the set-value dialogs
    int amount_of_setval_windows = 0;
    bool flash_main_window = false;
    bool ownsPrimaryFlashAtom = false;
    bool ownsSecondaryFlashAtom = false;
    bool OpenFromCommandLine = false;

    // What the priority follows besides the server connections (the client, the scanner and the
    // publishing threads set it), and the publishing progress.
    Activity& activity() { return activity_; }
    PublishingStatus& publishing() { return publishing_; }

    // The client's row, built by the client window: its status ("Client's current status"), the
    // "Show"/"Hide" button and the hidden menu item "&Client..." that does the same.
    QLabel* lblClient = nullptr;
    QPushButton* BitBtnClient = nullptr;
    QAction* Client = nullptr;

  signals:
    void serverPanelRefreshRequested(int c);
    void registerViewRWRefreshRequested();
    // The main window was closed: the program ends.
    void formClosed();

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

    RegisterStore& store_;
    ServerEngine& engine_;
    QStringList arguments_;

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
    TrayIcon* tray_ = nullptr;
    TooltipSwitch* tooltips_ = nullptr;
    QAction* showTooltips_ = nullptr;
    QAction* exit_ = nullptr;
    bool destroyed_ = false;
    bool sizeFixed_ = false; // the window keeps the size of its first showing
    RegisterListView* registerList_ = nullptr;
    LoggingGroup* loggingGroup_ = nullptr;
    VariableListFile* variableListFile_ = nullptr;
};

} // namespace korvel
