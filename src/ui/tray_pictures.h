// The 13 pictures of the tray icon: 1 to 12 animate while the server sends replies (a bright dot
// walks round a dial), 13 tells that a request failed its checks.
#pragma once

#include <QIcon>

namespace korvel {

inline constexpr int kTrayPictures = 13;

// Picture 1..13; any other index gives picture 1.
QIcon TrayPicture(int index);

} // namespace korvel
