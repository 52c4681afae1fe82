// Captions and hints of the client window, the server-connection dialog and the series dialog.
// The texts of the rules (messages, event lines, status texts) live with the rules in the engine.
#pragma once

#include "ui/dialog_texts.h"
#include "view/view_texts.h"

namespace korvel::clienttexts {

inline constexpr const char* kCaption = "Modbus/TCP Client";

// Connection group
inline constexpr const char* kConnectionGroup = "Connection";
inline constexpr const char* kConnect = "&Connect...";
inline constexpr const char* kConnectHint = "Open server connection parameter window";
inline constexpr const char* kDisconnect = "&Disconnect";
inline constexpr const char* kDisconnectHint = "Disconnect client from server";
using texts::kUidGroup; // as the register list says it
inline constexpr const char* kUidHint = "UID (MB slave address) used by client";
inline constexpr const char* kPartnerGroup = "Connection partner";
inline constexpr const char* kPartnerHint = "Connection partner's IP and remote port used";

// Lists
inline constexpr const char* kReadGroup = "Read Input/Holding register";
inline constexpr const char* kInputRadio = "I&nput registers";
inline constexpr const char* kInputRadioHint = "Use list for input registers";
inline constexpr const char* kHoldRadio = "&Holding registers";
inline constexpr const char* kHoldRadioHint = "Use list for holding registers";
inline constexpr const char* kReadComboHint = "Address list used for reading data";
inline constexpr const char* kWriteGroup = "Write Holding register";
inline constexpr const char* kWriteComboHint = "Address list used for writing data";
inline constexpr const char* kAddRead = "&Add";
inline constexpr const char* kRemoveRead = "&Remove";
inline constexpr const char* kAddWrite = "A&dd";
inline constexpr const char* kRemoveWrite = "R&emove";
inline constexpr const char* kAddHint = "Add address to list";
inline constexpr const char* kRemoveHint = "Remove address from list";
constexpr int kComboMaxLength = 5;
constexpr int kComboDropDownLines = 10;

// Polling
inline constexpr const char* kPollingGroup = "Polling";
inline constexpr const char* kCyclic = "C&yclic read/write";
inline constexpr const char* kCyclicHint = "Send new MB query every 'Cycle' -time";
inline constexpr const char* kImmediate = "&Immediate query";
inline constexpr const char* kImmediateHint = "Send new MB query immediately after response arrival";
inline constexpr const char* kWaitAfter = "&Wait after response";
inline constexpr const char* kWaitAfterHint =
    "Wait 'Delay' -period before sending a new MB query after response arrival";
inline constexpr const char* kPause = "&Pause";
inline constexpr const char* kPauseHint = "Pause sending of MB queries";
inline constexpr const char* kDelayLabel = "Delay";
inline constexpr const char* kOffset = "Use address offset";
inline constexpr const char* kOffsetHint = "When selected, reference address sent is reduced by one (offset -1)";
inline constexpr const char* kForceTI = "TI always '00 00'";
inline constexpr const char* kForceTIHint = "Force Transaction Identifier on every query to '00 00'";

// Event list
inline constexpr const char* kEListHint = "Error- and event list";
inline constexpr const char* kEListName = "Event list";
inline constexpr const char* kStatusBarName = "Client status bar";

// Menu "&Edit"
inline constexpr const char* kEditMenu = texts::kEditItem;
inline constexpr const char* kAddSerie = "&Add Serie";
inline constexpr const char* kClear = "C&lear";
inline constexpr const char* kHoldingRegisters = "&Holding Registers";
inline constexpr const char* kInputRegisters = "&Input Registers";
inline constexpr const char* kWriteItem = "&Write";
inline constexpr const char* kReadItem = "&Read";
inline constexpr const char* kLimiter = "&Transaction limiter";
inline constexpr const char* kLimiterRead = "Registers to &Read";
inline constexpr const char* kLimiterWrite = "Registers to &Write";
inline constexpr const char* kReadLimitItems[] = {"&5", "5&0", "&100", "1&25"};
inline constexpr const char* kWriteLimitItems[] = {"&50", "&100", "&123"};
inline constexpr const char* kHideWindow = "&Hide Window";

// Message captions
using texts::kInputErrorCaption; // as the register list says it
using texts::kRangeErrorCaption;
inline constexpr const char* kKeepaliveCaption = "Keepalive";

// Main window
inline constexpr const char* kShow = "Show";
inline constexpr const char* kHide = "Hide";
inline constexpr const char* kShowHideHint = "Show/Hide Modbus/TCP client window";
inline constexpr const char* kClientStatusHint = "Client's current status";
inline constexpr const char* kClientMenuItem = "&Client...";
inline constexpr const char* kClientRowName = "Client";
constexpr int kStatusCopyMs = 800; // Timer2

// Server connection dialog
inline constexpr const char* kIpGroup = "IP";
inline constexpr const char* kIpHint = "Set communication partner's IP address";
inline constexpr const char* kPortGroup = "Port";
inline constexpr const char* kPortHint = "Set remote port for connection";
using texts::kOk;
inline constexpr const char* kOkHint = "Apply settings and close window";
using texts::kCancel;
inline constexpr const char* kCancelHint = texts::kCloseWindowHint;
inline constexpr const char* kKeepaliveBox = "Send Keepalives to server";
inline constexpr const char* kKeepaliveHint = "Send keepalives to communication partner";
constexpr int kOctetMaxLength = 3;
constexpr int kPortMaxLength = 5;

// Series dialog
using texts::kFrom;
using texts::kFromHint;
using texts::kSeriesOkHint;
using texts::kTo;
using texts::kToHint;
inline constexpr const char* kSeriesRemove = kRemoveRead;
inline constexpr const char* kSeriesRemoveHint = "Remove serie";

} // namespace korvel::clienttexts
