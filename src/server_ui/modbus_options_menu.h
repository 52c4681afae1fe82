// The test options of Options > "&Modbus": the served function codes, the three header faults,
// the forced exception, the address offset, the out-of-synch mode and the "Fault Rules" window. Each handler mirrors
// its check mark into the engine's settings and refreshes the "Server" group.
#pragma once

#include "ui/refresh_requests.h"

#include <QObject>
#include <array>

class QAction;
class QMenu;
class QWidget;

namespace korvel {

class FaultRulesWindow;
class ServerConnections;
class ViewOptions;

class ModbusOptionsMenu : public QObject {
    Q_OBJECT
  public:
    // Adds the items to `modbusMenu`, their shortcuts to `window` (the main window, which also owns
    // the menu and its messages). The items change `server`'s settings and request refreshes from
    // `refresh`; the function-code items read the register format from `options` and point the
    // set-value dialog there.
    ModbusOptionsMenu(QWidget* window, ServerConnections& server, ViewOptions& options, RefreshRequests& refresh,
                      QMenu* modbusMenu);

    // "&Active MB Functions"
    QAction* FC31 = nullptr;
    QAction* FC41 = nullptr;
    QAction* FC61 = nullptr;
    QAction* FC71 = nullptr;
    QAction* FC81 = nullptr;
    QAction* FC161 = nullptr;
    QAction* FC221 = nullptr;
    QAction* FC231 = nullptr;
    QAction* UsewrongTI1 = nullptr;
    QAction* ReturnIncorrectProtocolID1 = nullptr;
    QAction* ReturnIncorrectLengthHB1 = nullptr;
    QMenu* ReturnException1 = nullptr;
    // exp1..exp8, exp10, exp11 in this order, with the codes of kForcedExceptionCodes.
    std::array<QAction*, 10> exp{};
    QAction* Useaddressoffset1 = nullptr;
    QAction* PostponeReply1 = nullptr;
    QAction* FaultRules1 = nullptr; // "Fault &Rules...": opens the "Fault Rules" window

    // The "Fault Rules" window, built when first opened (nullptr before).
    FaultRulesWindow* faultRulesWindow() const { return faultRules_; }
    // "Fault &Rules...": shows the one "Fault Rules" window and brings it to the front.
    void FaultRules1Click();

    static constexpr std::array<int, 10> kForcedExceptionCodes{1, 2, 3, 4, 5, 6, 7, 8, 10, 11};

    // Header fault items usable only while no exception is forced; the exception submenu only
    // while no header fault is on. Runs with every RefreshServerPanel of everything or of #1.
    void applyMenuEnabling(PanelPart part);
    // Sets every check mark from the server's options (after a change made elsewhere).
    void showSettings();

  private:
    void FunctionClick(); // FC3, FC4, FC6, FC16, FC22, FC23
    void FC71Click(bool checked);
    void FC81Click(bool checked);
    void UsewrongTI1Click(bool checked);
    void ReturnIncorrectProtocolID1Click(bool checked);
    void ReturnIncorrectLengthHB1Click(bool checked);
    void expClick(int index);
    void Useaddressoffset1Click(bool checked);
    void PostponeReply1Click(bool checked);

    QWidget* window_;
    ServerConnections& server_;
    ViewOptions& options_;
    RefreshRequests& refresh_;
    FaultRulesWindow* faultRules_ = nullptr;
};

} // namespace korvel
