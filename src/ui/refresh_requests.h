// The window's refresh requests: a part that changed what the status panel or the register list's
// R/W column shows asks for a redraw here, and the part that draws it listens. Window thread only.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

namespace korvel {

// Where a part puts its status-bar message (panel 1 of the main window's status bar).
using StatusSink = std::function<void(const QString&)>;

// What a refresh of the status panel covers.
enum class PanelPart {
    Everything,
    Connection1, // the row of connection #1
    Connection2, // the row of connection #2
    Options,     // the option labels and "Logged packets:"
};
// The row of connection c (1 or 2).
constexpr PanelPart ConnectionRow(int c)
{
    return c == 2 ? PanelPart::Connection2 : PanelPart::Connection1;
}

class RefreshRequests : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

    // Requests a refresh of the status panel or of a part of it.
    void RefreshServerPanel(PanelPart part) { emit serverPanelRefreshRequested(part); }
    // Requests a redraw of the register list's R/W column.
    void RefreshRegisterViewRW() { emit registerViewRWRefreshRequested(); }

  signals:
    void serverPanelRefreshRequested(korvel::PanelPart part);
    void registerViewRWRefreshRequested();
};

} // namespace korvel
