#include "server_ui/modbus_options_menu.h"

#include "server/panel_rules.h"
#include "server/server_engine.h"
#include "server_ui/fault_rules_window.h"
#include "server_ui/server_connections.h"
#include "ui/message_box.h"
#include "ui/refresh_requests.h"
#include "ui/view_options.h"

#include <QAction>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMenu>

namespace korvel {

namespace {
QAction* AddCheckItem(QMenu* menu, const char* name, const char* caption, bool checked)
{
    QAction* action = menu->addAction(QString::fromLatin1(caption));
    action->setObjectName(QString::fromLatin1(name));
    action->setCheckable(true);
    action->setChecked(checked);
    return action;
}

void ShowInfo(QWidget* window, const std::string& text)
{
    ShowMessage(window, MessageKind::Information, QGuiApplication::applicationDisplayName(),
                QString::fromStdString(text));
}

constexpr std::array<const char*, 10> kExceptionNames{"exp1", "exp2", "exp3", "exp4",  "exp5",
                                                      "exp6", "exp7", "exp8", "exp10", "exp11"};
constexpr std::array<const char*, 10> kExceptionCaptions{"&Illegal Function",
                                                         "Illegal &Data Address",
                                                         "Illegal Data &Value",
                                                         "&Slave Device Failure",
                                                         "&Acknowledge",
                                                         "Slave Device &Busy",
                                                         "&Negative Acknowledge",
                                                         "&Memory Parity Error",
                                                         "&Gateway Path Unavailable",
                                                         "Gateway &Target Device Failed to Respond"};
} // namespace

ModbusOptionsMenu::ModbusOptionsMenu(QWidget* window, ServerConnections& server, ViewOptions& options,
                                     RefreshRequests& refresh, QMenu* modbusMenu)
    : QObject(window), window_(window), server_(server), options_(options), refresh_(refresh)
{
    setObjectName(QStringLiteral("ModbusOptionsMenu"));
    QMenu* modbus = modbusMenu;
    const CheckSettings& check = server_.settings().check;

    QMenu* functions = modbus->addMenu(QStringLiteral("&Active MB Functions"));
    functions->setObjectName(QStringLiteral("ActiveMBFunctions1"));
    FC31 = AddCheckItem(functions, "FC31", "FC&3", check.served(3));
    FC41 = AddCheckItem(functions, "FC41", "FC&4", check.served(4));
    FC61 = AddCheckItem(functions, "FC61", "FC&6", check.served(6));
    FC71 = AddCheckItem(functions, "FC71", "FC&7", check.served(7));
    FC81 = AddCheckItem(functions, "FC81", "FC&8", check.served(8));
    FC161 = AddCheckItem(functions, "FC161", "FC&16", check.served(16));
    FC221 = AddCheckItem(functions, "FC221", "FC&22", check.served(22));
    FC231 = AddCheckItem(functions, "FC231", "F&C23", check.served(23));
    for (QAction* item : {FC31, FC41, FC61, FC161, FC221, FC231})
        connect(item, &QAction::triggered, this, &ModbusOptionsMenu::FunctionClick);
    connect(FC71, &QAction::triggered, this, &ModbusOptionsMenu::FC71Click);
    connect(FC81, &QAction::triggered, this, &ModbusOptionsMenu::FC81Click);

    const ServerSettings& s = server_.settings();
    UsewrongTI1 = AddCheckItem(modbus, "UsewrongTI1", "&Return Incorrect TI", s.WrongTIActive);
    connect(UsewrongTI1, &QAction::triggered, this, &ModbusOptionsMenu::UsewrongTI1Click);
    ReturnIncorrectProtocolID1 =
        AddCheckItem(modbus, "ReturnIncorrectProtocolID1", "Return Incorrect Protocol &ID", s.WrongPIDActive);
    connect(ReturnIncorrectProtocolID1, &QAction::triggered, this, &ModbusOptionsMenu::ReturnIncorrectProtocolID1Click);
    ReturnIncorrectLengthHB1 =
        AddCheckItem(modbus, "ReturnIncorrectLengthHB1", "Return Incorrect &Length High Byte", s.WrongLengthHBActive);
    connect(ReturnIncorrectLengthHB1, &QAction::triggered, this, &ModbusOptionsMenu::ReturnIncorrectLengthHB1Click);

    ReturnException1 = modbus->addMenu(QStringLiteral("Return &Exception"));
    ReturnException1->setObjectName(QStringLiteral("ReturnException1"));
    for (std::size_t i = 0; i < exp.size(); ++i) {
        exp[i] = AddCheckItem(ReturnException1, kExceptionNames[i], kExceptionCaptions[i],
                              s.ReturnExceptionActive && s.ForcedExceptionCode == kForcedExceptionCodes[i]);
        connect(exp[i], &QAction::triggered, this, [this, i] { expClick(static_cast<int>(i)); });
    }

    Useaddressoffset1 = AddCheckItem(modbus, "Useaddressoffset1", "&Use Address Offset", check.addressOffset);
    Useaddressoffset1->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_O));
    Useaddressoffset1->setToolTip(QStringLiteral("Address requested on bus is increased by one when checked"));
    connect(Useaddressoffset1, &QAction::triggered, this, &ModbusOptionsMenu::Useaddressoffset1Click);
    PostponeReply1 = AddCheckItem(modbus, "PostponeReply1", "Reply Out of &Synch", s.OutOfSynchActive);
    PostponeReply1->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S));
    connect(PostponeReply1, &QAction::triggered, this, &ModbusOptionsMenu::PostponeReply1Click);

    modbus->addSeparator();
    FaultRules1 = modbus->addAction(texts::kFaultRulesItem);
    FaultRules1->setObjectName(QStringLiteral("FaultRules1"));
    connect(FaultRules1, &QAction::triggered, this, &ModbusOptionsMenu::FaultRules1Click);

    // Shortcuts work while the menu is closed: the window owns them too.
    window_->addAction(Useaddressoffset1);
    window_->addAction(PostponeReply1);

    connect(&refresh_, &RefreshRequests::serverPanelRefreshRequested, this, &ModbusOptionsMenu::applyMenuEnabling);
    connect(&server_, &ServerConnections::settingsChangedElsewhere, this, &ModbusOptionsMenu::showSettings);
    applyMenuEnabling(PanelPart::Everything);
}

void ModbusOptionsMenu::showSettings()
{
    const ServerSettings& s = server_.settings();
    const std::array<std::pair<QAction*, uint8_t>, 8> functions{
        {{FC31, 3}, {FC41, 4}, {FC61, 6}, {FC71, 7}, {FC81, 8}, {FC161, 16}, {FC221, 22}, {FC231, 23}}};
    for (auto [item, fc] : functions)
        item->setChecked(s.check.served(fc));
    UsewrongTI1->setChecked(s.WrongTIActive);
    ReturnIncorrectProtocolID1->setChecked(s.WrongPIDActive);
    ReturnIncorrectLengthHB1->setChecked(s.WrongLengthHBActive);
    for (std::size_t i = 0; i < exp.size(); ++i)
        exp[i]->setChecked(s.ReturnExceptionActive && s.ForcedExceptionCode == kForcedExceptionCodes[i]);
    Useaddressoffset1->setChecked(s.check.addressOffset);
    PostponeReply1->setChecked(s.OutOfSynchActive);
    applyMenuEnabling(PanelPart::Everything);
}

void ModbusOptionsMenu::applyMenuEnabling(PanelPart part)
{
    if (part != PanelPart::Everything && part != PanelPart::Connection1)
        return;
    const ServerSettings& s = server_.settings();
    const bool headerFaults = s.WrongTIActive || s.WrongPIDActive || s.WrongLengthHBActive;
    UsewrongTI1->setEnabled(!s.ReturnExceptionActive);
    ReturnIncorrectProtocolID1->setEnabled(!s.ReturnExceptionActive);
    ReturnIncorrectLengthHB1->setEnabled(!s.ReturnExceptionActive);
    ReturnException1->menuAction()->setEnabled(!headerFaults);
}

void ModbusOptionsMenu::FaultRules1Click()
{
    if (faultRules_ == nullptr)
        faultRules_ = new FaultRulesWindow(window_, server_.service());
    faultRules_->show();
    faultRules_->raise();
    faultRules_->activateWindow();
}

void ModbusOptionsMenu::FunctionClick()
{
    server_.changeSettings([this](ServerSettings& s) {
        CheckSettings& check = s.check;
        check.setServed(3, FC31->isChecked());
        check.setServed(4, FC41->isChecked());
        check.setServed(6, FC61->isChecked());
        check.setServed(16, FC161->isChecked());
        check.setServed(22, FC221->isChecked());
        check.setServed(23, FC231->isChecked());
    });
}

void ModbusOptionsMenu::FC71Click(bool checked)
{
    server_.changeSettings([checked](ServerSettings& s) { s.check.setServed(7, checked); });
    if (!checked)
        return;
    const bool hex = options_.Showregistersathex();
    ShowInfo(window_, ExceptionStatusMessage(hex));
    options_.requestSetValueDialog(QString::fromStdString(ExceptionStatusRegisterText(hex)));
}

void ModbusOptionsMenu::FC81Click(bool checked)
{
    server_.changeSettings([checked](ServerSettings& s) { s.check.setServed(8, checked); });
    if (checked)
        ShowInfo(window_, DiagnosticRegisterMessage(options_.Showregistersathex()));
}

void ModbusOptionsMenu::UsewrongTI1Click(bool checked)
{
    server_.changeSettings([checked](ServerSettings& s) { s.WrongTIActive = checked; });
    ReturnException1->menuAction()->setEnabled(!checked);
    refresh_.RefreshServerPanel(PanelPart::Everything);
}

void ModbusOptionsMenu::ReturnIncorrectProtocolID1Click(bool checked)
{
    server_.changeSettings([checked](ServerSettings& s) { s.WrongPIDActive = checked; });
    refresh_.RefreshServerPanel(PanelPart::Everything);
}

void ModbusOptionsMenu::ReturnIncorrectLengthHB1Click(bool checked)
{
    server_.changeSettings([checked](ServerSettings& s) { s.WrongLengthHBActive = checked; });
    refresh_.RefreshServerPanel(PanelPart::Everything);
}

void ModbusOptionsMenu::expClick(int index)
{
    // The triggered item has toggled itself; at most one stays checked.
    bool any = false;
    for (std::size_t i = 0; i < exp.size(); ++i) {
        if (static_cast<int>(i) != index)
            exp[i]->setChecked(false);
        any = any || exp[i]->isChecked();
    }
    server_.changeSettings([index, any](ServerSettings& s) {
        s.ForcedExceptionCode = static_cast<uint8_t>(kForcedExceptionCodes[static_cast<std::size_t>(index)]);
        s.ReturnExceptionActive = any;
    });
    refresh_.RefreshServerPanel(PanelPart::Everything);
}

void ModbusOptionsMenu::Useaddressoffset1Click(bool checked)
{
    server_.changeSettings([checked](ServerSettings& s) { s.check.addressOffset = checked; });
    refresh_.RefreshServerPanel(PanelPart::Everything);
}

void ModbusOptionsMenu::PostponeReply1Click(bool checked)
{
    // Switching restarts the frames held back on both connections.
    server_.changeSettings([checked](ServerSettings& s) { s.OutOfSynchActive = checked; });
    refresh_.RefreshServerPanel(PanelPart::Everything);
}

} // namespace korvel
