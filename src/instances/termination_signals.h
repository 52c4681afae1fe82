// SIGTERM, SIGINT and SIGHUP (a service manager, Ctrl+C, a closed terminal, a CI timeout) end the
// program cleanly at any time: once running as "E&xit" or the server's stop would, during start-up
// also while a start-up message box is open, and from a start-up step that blocks by ending at
// once with this process's reservations deleted from the instance registry.
#pragma once

#include <QObject>
#include <functional>

namespace korvel {

// First thing in main(), before any thread starts: the signals go to a watching thread of their
// own from now on (a signal the program was started with ignored, as by nohup, stays ignored).
// Until OnTerminationSignals, a signal ends the program at once: nothing needs a shutdown yet but
// the reservations, which are deleted first.
void WatchTerminationSignals();
// From now on a signal runs `stop` (once) on `context`'s thread, from whichever event loop runs
// there, a message box's included. When that thread does not take a signal up within
// kTerminationGraceMs (a step that blocks), the program ends at once, its reservations deleted.
void OnTerminationSignals(QObject& context, std::function<void()> stop);
inline constexpr int kTerminationGraceMs = 2000;
// A signal has been taken up by OnTerminationSignals' handler.
bool TerminationRequested();

} // namespace korvel
