// SIGTERM and SIGINT (a logout, a service manager, Ctrl+C in a terminal) close the main window
// like "E&xit", so that the shutdown still gives back this instance's port reservation.
#pragma once

class QWidget;

namespace korvel {

void CloseOnTerminationSignals(QWidget& mainWindow);

} // namespace korvel
