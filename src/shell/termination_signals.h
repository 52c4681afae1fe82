// SIGTERM and SIGINT (a logout, a service manager, Ctrl+C in a terminal) close the main window
// like "E&xit", so that the shutdown still gives back this instance's port reservation.
#pragma once

class QWidget;

namespace korvel {

// Holds the signals back until CloseOnTerminationSignals: a signal during start-up then closes the
// window once it exists instead of killing the program with its reservation made.
void HoldTerminationSignals();
// Closes `mainWindow` on SIGTERM and SIGINT (also on one held back since HoldTerminationSignals).
void CloseOnTerminationSignals(QWidget& mainWindow);

} // namespace korvel
