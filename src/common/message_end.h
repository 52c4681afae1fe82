// The end of the program's messages: once the program is ending, no message box opens any more.
#pragma once

namespace korvel {

// The program is ending: every open message box closes as if answered No (or OK), and ShowMessage
// shows none from now on (questions are answered No). With KORVEL_MESSAGE_LOG set and
// KORVEL_MESSAGE_ANSWER "show", a message is logged and shown too, so that a test knows when a
// box is open.
void EndMessages();

} // namespace korvel
