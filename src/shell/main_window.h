// The main window: the Modbus/TCP server's window. It owns the register store, the server engine
// and the view options, and composes the parts that show and drive them (status panel, register
// list, logging group, menus). Every other window reaches the shared state through it.
#pragma once

#include <QMainWindow>
#include <QString>
#include <cstdint>

#include "log/packet_log.h"
#include "server/register_store.h"
#include "server/server_engine.h"

class QMenu;
class QAction;
class QLabel;
class QVBoxLayout;

namespace korvel {

class TChatForm : public QMainWindow {
    Q_OBJECT
public:
    // `arguments` are the command-line arguments after the program name.
    TChatForm(RegisterStore& store, ServerEngine& engine, const QStringList& arguments,
              QWidget* parent = nullptr);
    ~TChatForm() override;

    RegisterStore& store() { return store_; }
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

    // View options ("Registers as Hex", "Values as Hex"): the program-wide register-number and
    // value formats. The register list owns the menu items and keeps these in step.
    bool Showregistersathex = false;
    bool ShowHex = false;

    int ServerPort = 502;
    bool ListenActive = true;    // "Monitor Port" checked: listening is on
    PacketLog* packetLog = nullptr; // the traffic log, set by the logging group

    // Shared program state.
    QString LocalHostAddress;   // first IPv4 address of this computer, "" when unknown
    QString VLEPointedRegister; // register number text the next set-value dialog starts on
    bool VLEUpdateNeeded = false;
    int ByteOrderUsed = 1;      // byte order shared by the set-value dialogs
    int amount_of_setval_windows = 0;
    bool flash_main_window = false;
    bool ownsPrimaryFlashAtom = false;
    bool ownsSecondaryFlashAtom = false;
    bool OpenFromCommandLine = false;
    int DDEJobInputDonePerCent = 0; // filled by desktop publishing
    int DDEJobHoldDonePerCent = 0;

signals:
    void serverPanelRefreshRequested(int c);
    void registerViewRWRefreshRequested();

public slots:
    void Timer3Timer();       // status bar clock, every 1000 ms
    void StatusBarDblClick(); // clears status panel 1

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
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
};

} // namespace korvel
