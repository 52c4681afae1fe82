// The client's event list `EList`: its start lines, the size it is cut back to, and the lines of
// every event the client writes, newest first. Times come in as values, so tests and the window
// give the same moment the same text.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

// A local date and time as the clock gave it.
struct LocalClock {
    int year = 2000;
    int month = 1; // 1..12
    int day = 1;   // 1..31
    int hour = 0;  // 0..23
    int minute = 0;
    int second = 0;
    int millisecond = 0; // 0..999
};

// "hh:nn:ss:zzz": two-digit hours, minutes, seconds and three-digit milliseconds, joined by the
// locale's time separator.
std::string ClockText(const LocalClock& t, std::string_view separator = ":");
// "dd.mm.yyyy hh:nn:ss:zzz": the receive time of reply events.
std::string DateClockText(const LocalClock& t, std::string_view separator = ":");

// What the list shows at start.
inline constexpr std::array<const char*, 4> kEventListStartLines = {
    "Connection events and errors detected during data", "exchange are listed here.", "", "Double-click to clear"};
// The list is cut back to this many lines, dropping the oldest (the last), after every receive
// and before every event's lines go in (so it holds at most one event more).
constexpr int kEventListMaxLines = 15000;
// How many lines to delete from the end of a list of `lineCount` lines.
int EventLinesToCut(int lineCount);

inline constexpr const char* kCopyToClipboardCaption = "Copy to Clipboard";

// Why the connection ends (`DisconnectReason`).
enum DisconnectReasonValue : int32_t { kByUser = 1, kFailedAttempt = 2, kExternalReason = 3 };

// Every event below is returned top to bottom: the window inserts line i at position i.
// The functions that take `EventNumber` increase it by 1 first, as every event does.

// "Event #<n>  <time>" with the number just increased.
std::string EventHeader(int32_t& EventNumber, const std::string& timeText);

// "Connection established at <hh:nn:ss:zzz>", "---", "".
std::vector<std::string> ConnectionEstablishedEvent(int32_t& EventNumber, const LocalClock& t,
                                                    std::string_view separator = ":");
// The disconnect line by reason, "---", ""; an unknown reason gives only "---", "".
std::vector<std::string> DisconnectEvent(int32_t& EventNumber, int32_t reason, const LocalClock& t,
                                         std::string_view separator = ":");
// Header with hh:nn:ss:zzz, "No reply received within monitoring time.", "".
std::vector<std::string> NoReplyEvent(int32_t& EventNumber, const LocalClock& t, std::string_view separator = ":");
// "Socket error. <text>", "Code: <code>", "" (no header, no number).
std::vector<std::string> SocketErrorEvent(int code);

} // namespace korvel
