#include "shell/port_control.h"

#include "instances/atom_registry.h"
#include "instances/port_reservation.h"
#include "server_ui/server_connections.h"
#include "shell/port_dialog.h"
#include "shell/shell_texts.h"
#include "ui/message_box.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <map>

namespace korvel {

namespace {
constexpr int kHighestPort = 65535;
// The instance registry cannot be used safely (the reason in %1).
const QString kRegistryNotUsed =
    QStringLiteral("%1. Korvel runs as if it were the only instance: ports are not coordinated with other instances.");
} // namespace

PortControl::PortControl(QWidget* window, AtomRegistry& atoms, ServerConnections& server, QMenu* portMenu,
                         StatusSink status)
    : QObject(window), window_(window), atoms_(atoms), server_(server), status_(std::move(status))
{
    changePort_ = portMenu->addAction(texts::kChangePort);
    changePort_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    changePort_->setEnabled(server.Listen()->isChecked());
    connect(changePort_, &QAction::triggered, this, &PortControl::ChangePortClick);
    connect(&server, &ServerConnections::listeningSwitched, changePort_, &QAction::setEnabled);

    purge_ = portMenu->addAction(texts::kPurgePorts);
    connect(purge_, &QAction::triggered, this, &PortControl::PurgeClick);
}

QString PortControl::PortAtomName(int port)
{
    return korvel::PortAtomName(port);
}

bool PortControl::PortAtomExist(int port) const
{
    return atoms_.find(PortAtomName(port));
}

void PortControl::setListenCaption(int port)
{
    server_.Listen()->setText(texts::kMonitorPortChanged.arg(port));
}

void PortControl::ChoosePort()
{
    const int base = ServerConnections::BasePort();
    if (!atoms_.usable()) { // then this instance runs as if it were the only one
        QString problem = atoms_.problem();
        problem[0] = problem[0].toUpper();
        ShowMessage(window_, MessageKind::Warning, texts::kApplicationTitle, kRegistryNotUsed.arg(problem));
    }
    const PortChoice choice = ChooseAndReservePort(atoms_, base);
    server_.ServerPort = choice.port;
    ownsPortAtom_ = choice.reserved;
    if (choice.port == base)
        return; // also when every port is reserved: listening shows whether the base port is usable
    setListenCaption(choice.port);
    ShowMessage(window_, MessageKind::Information, texts::kApplicationTitle,
                texts::kPortChanged.arg(choice.port).arg(base));
}

TfrmSetPort* PortControl::createPortDialog()
{
    TfrmSetPort::Hooks hooks;
    hooks.portAtomExist = [this](int port) { return PortAtomExist(port); };
    hooks.applyPort = [this](int port) { applyPort(port); };
    hooks.listenAgain = [this] { return server_.DisconnectSock(Disconnect::AllListenAgain); };
    auto* dialog = new TfrmSetPort(window_, server_.ServerPort, std::move(hooks));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    return dialog;
}

void PortControl::ChangePortClick()
{
    if (!changePort_->isEnabled())
        return;
    createPortDialog()->exec();
}

void PortControl::applyPort(int port)
{
    if (ownsPortAtom_)
        atoms_.deleteOne(PortAtomName(server_.ServerPort));
    server_.ServerPort = port;
    ownsPortAtom_ = atoms_.addOwned(PortAtomName(port));
    setListenCaption(port);
    emit portChanged(port);
}

void PortControl::PurgeClick()
{
    if (ShowMessage(window_, MessageKind::Question, texts::kPortControl, texts::kPurgeQuestion) != QMessageBox::Yes)
        return;
    const QCursor previous = window_->cursor();
    window_->setCursor(Qt::WaitCursor);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    int removed = 0;
    int failed = 0;
    // Only the ports held when the purge starts are asked for one by one (65536 questions of the
    // registry file would take seconds).
    const std::map<QString, int> held = atoms_.names();
    for (int port = 0; port <= kHighestPort; ++port) {
        if (held.count(PortAtomName(port)) == 0 || !PortAtomExist(port))
            continue;
        if (atoms_.deleteOne(PortAtomName(port)))
            ++removed;
        else
            ++failed;
    }
    ownsPortAtom_ = false;
    QApplication::restoreOverrideCursor();
    window_->setCursor(previous);
    ShowMessage(window_, MessageKind::Information, texts::kApplicationTitle,
                texts::kPurgeSummary.arg(removed + failed).arg(removed));
}

void PortControl::DeleteAllFlashAtoms()
{
    auto purge = [this](const QString& name) {
        int count = 0;
        while (atoms_.find(name) && atoms_.deleteOne(name))
            ++count;
        return count;
    };
    const int primary = purge(texts::kPrimaryFlashAtom);
    const int secondary = purge(texts::kSecondaryFlashAtom);
    status_(texts::kAtomsDeleted.arg(primary).arg(secondary));
}

void PortControl::ReleaseAtoms()
{
    if (ownsPortAtom_)
        atoms_.deleteOne(PortAtomName(server_.ServerPort));
    ownsPortAtom_ = false;
    if (ownsPrimaryFlashAtom)
        atoms_.deleteOne(texts::kPrimaryFlashAtom);
    if (ownsSecondaryFlashAtom)
        atoms_.deleteOne(texts::kSecondaryFlashAtom);
    ownsPrimaryFlashAtom = false;
    ownsSecondaryFlashAtom = false;
}

} // namespace korvel
