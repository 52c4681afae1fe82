// The server port among several instances: the choice of a port no other instance holds at
// start-up, its reservation in the atom registry, the port dialog, the purge of all port
// reservations, the purge of the flash atoms and the release of this instance's names at shutdown.
#pragma once

#include "ui/refresh_requests.h"

#include <QObject>
#include <QString>

class QAction;
class QMenu;
class QWidget;

namespace korvel {

class AtomRegistry;
class ServerConnections;
class TfrmSetPort;

class PortControl : public QObject {
    Q_OBJECT
  public:
    // Adds "Cha&nge Port..." (Ctrl+N) and "Purg&e Port Usage Blocking(s)" to `portMenu`. Its
    // dialogs, messages and wait cursor belong to `window` (the main window, which also owns it);
    // the purge of the flash atoms reports to `status`.
    PortControl(QWidget* window, AtomRegistry& atoms, ServerConnections& server, QMenu* portMenu, StatusSink status);

    static QString PortAtomName(int port); // "KORVEL_PORT_502"
    bool PortAtomExist(int port) const;

    // Start-up: ServerPort := the base port, or the first base + 1 ... base + 999 no instance holds
    // (with the "Port changed to ..." message); the chosen port is reserved.
    void ChoosePort();
    // "Cha&nge Port...": the port dialog, modal.
    void ChangePortClick();
    // The dialog of ChangePortClick, for callers that drive it themselves.
    TfrmSetPort* createPortDialog();
    // "Purg&e Port Usage Blocking(s)".
    void PurgeClick();
    // "/POWER_OF_ATOM": deletes every reference of both flash atoms; the counts go to the status bar.
    void DeleteAllFlashAtoms();
    // Shutdown: this instance's port reservation and the flash atoms it owns.
    void ReleaseAtoms();

    bool ownsPortAtom() const { return ownsPortAtom_; }
    QAction* ChangePort() const { return changePort_; }
    QAction* PurgePorts() const { return purge_; }

    // This instance holds a reference of the primary or secondary flash atom, released at shutdown.
    bool ownsPrimaryFlashAtom = false;
    bool ownsSecondaryFlashAtom = false;

  signals:
    // The port dialog moved the server to `port` (the bus names follow it).
    void portChanged(int port);

  private:
    void applyPort(int port);
    void setListenCaption(int port);

    QWidget* window_;
    AtomRegistry& atoms_;
    ServerConnections& server_;
    QAction* changePort_ = nullptr;
    QAction* purge_ = nullptr;
    StatusSink status_;
    // This instance added the reservation of ServerPort and it was not purged by this instance.
    // Only then does it delete a reservation: one it never made may belong to another instance.
    bool ownsPortAtom_ = false;
};

} // namespace korvel
