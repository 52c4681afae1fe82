// Button captions, hints and message captions that several dialogs show alike (the series dialogs
// of the client and of the publishing, the server-connection dialog, the set-value and write-mask
// windows), defined once so that the code and the tests compare against the same text.
#pragma once

namespace korvel::texts {

inline constexpr const char* kOk = "&OK";
inline constexpr const char* kCancel = "&Cancel";
inline constexpr const char* kCloseWindowHint = "Close window";
inline constexpr const char* kRangeErrorCaption = "Range Error";

// A series of registers: its first and last value and the button that enters it.
inline constexpr const char* kFrom = "From:";
inline constexpr const char* kFromHint = "Starting value of series";
inline constexpr const char* kTo = "To:";
inline constexpr const char* kToHint = "Ending value of series";
inline constexpr const char* kSeriesOkHint = "Enter series to register list";

} // namespace korvel::texts
