// The Windows Sockets error numbers the program reports, with the texts the client's event list
// shows for them. The socket layer maps the platform's errors to these numbers.
#pragma once

#include <string>

namespace korvel {

// The look at waiting data found none: not an error worth reporting.
constexpr int kWsaWouldBlock = 10035;

// The text of an error number: "Connection refused." for 10061, and "Errorcode <code> is not
// listed." for a number outside the table.
std::string SocketErrorText(int code);

} // namespace korvel
