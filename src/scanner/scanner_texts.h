// Captions and hints of the scanner window. The texts of the rules (start-check messages, result
// lines, summary, status texts) live with the rules in scanner_rules.h.
#pragma once

#include "client/client_texts.h"
#include "master/event_texts.h"
#include "master/poll_lists.h"

namespace korvel::scannertexts {

inline constexpr const char* kCaption = "Register Scanner";

// Connection: the client window's texts
using clienttexts::kConnect;
using clienttexts::kConnectHint;
using clienttexts::kConnectionGroup;
using clienttexts::kDisconnect;
using clienttexts::kDisconnectHint;
using clienttexts::kPartnerHint;

// Register type and UID
inline constexpr const char* kTypeGroup = "Register type and UID";
inline constexpr const char* kInput = texts::kRG1Input;
inline constexpr const char* kInputHint = "Use Input registers";
inline constexpr const char* kHolding = texts::kRG1Holding;
inline constexpr const char* kHoldingHint = "Use Holding registers";
inline constexpr const char* kUidHint = "UID (MB slave address) used for connection";
inline constexpr const char* kUidName = texts::kUidGroup;

// Range
inline constexpr const char* kRangeGroup = "Range";
using clienttexts::kFrom;
inline constexpr const char* kFromHint = "Starting address of polling range";
using clienttexts::kTo;
inline constexpr const char* kToHint = "End address of polling range";
inline constexpr const char* kTimeout = "Timeout [ms]:";
inline constexpr const char* kTimeoutHint = "Maximum reply wait time";
inline constexpr const char* kProgressName = "Scan progress";
constexpr int kAddressFieldLength = 5; // characters the user may type into "From:" and "To:"
constexpr int kTimeoutFieldLength = 4;

// Misc
inline constexpr const char* kMiscGroup = "Misc";
using clienttexts::kOffset;
inline constexpr const char* kOffsetHint = "Address offset (-1)";
inline constexpr const char* kFailedOnly = "List failed polls only";
inline constexpr const char* kFailedOnlyHint = "Only failed polls are added to Results-list";
inline constexpr const char* kCopy = "Copy value to register";
inline constexpr const char* kCopyHint = "If poll succeed, copy value to corresponding register";
inline constexpr const char* kStart = "&Start";
inline constexpr const char* kStartHint = "Start scan";
inline constexpr const char* kStop = "S&top";
inline constexpr const char* kStopHint = "Interrupt scan";

// Results
inline constexpr const char* kResultsGroup = "Results";
inline constexpr const char* kListHintAtStart = "Double-click for horizontal scrollbar";
inline constexpr const char* kListHintWithLines = "Double-click to show/hide horizontal scrollbar";
inline constexpr const char* kCopyToClipboard = kCopyToClipboardCaption; // as the event list says it
inline constexpr const char* kClear = kClearCaption;
inline constexpr const char* kStatusName = "Scanner status";

// Menu
inline constexpr const char* kClose = "C&lose!";

} // namespace korvel::scannertexts
