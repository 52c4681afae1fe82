// SIGTERM and SIGINT (a logout, a service manager, Ctrl+C in a terminal) close the main window
// like "E&xit", so that the shutdown still gives back this instance's port reservation.
#pragma once

#include <QObject>
#include <functional>

namespace korvel {

// Holds the signals back until OnTerminationSignals: a signal during start-up then ends the
// program once its shutdown can run instead of killing it with its reservation made. Call it
// before any thread starts, so that every thread inherits the held mask.
void HoldTerminationSignals();
// Runs `stop` on `context`'s thread on SIGTERM and SIGINT (also on one held back since
// HoldTerminationSignals).
void OnTerminationSignals(QObject& context, std::function<void()> stop);
// Closes `mainWindow` (a QWidget) on SIGTERM and SIGINT.
template <class Window> void CloseOnTerminationSignals(Window& mainWindow)
{
    OnTerminationSignals(mainWindow, [&mainWindow] { mainWindow.close(); });
}

} // namespace korvel
