// The window's refresh requests: a part that changed what the status panel or the register list's
// R/W column shows asks for a redraw here, and the part that draws it listens. Window thread only.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

namespace korvel {

// Where a part puts its status-bar message (panel 1 of the main window's status bar).
using StatusSink = std::function<void(const QString&)>;

class RefreshRequests : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

    // Requests a refresh of the status panel: 0 everything, 1 or 2 one connection, 4 option labels.
    void RefreshServerPanel(int c) { emit serverPanelRefreshRequested(c); }
    // Requests a redraw of the register list's R/W column.
    void RefreshRegisterViewRW() { emit registerViewRWRefreshRequested(); }

  signals:
    void serverPanelRefreshRequested(int c);
    void registerViewRWRefreshRequested();
};

} // namespace korvel
