// Texts and decisions of the main window's "Server" group, its status bar messages, the tray icon
// and the caption's publishing progress. Pure functions: the widgets only copy what these return.
#pragma once

#include <cstdint>
#include <string>

namespace korvel {

// Captions of the "Server" group, in the order they are shown.
inline constexpr const char* kCaptionConnectionIp = "Connection IP:";
inline constexpr const char* kCaptionNagle = "Nagle:";
inline constexpr const char* kCaptionPollInterval = "Poll interval:";
inline constexpr const char* kCaptionPacketSize = "Data packet size:";
inline constexpr const char* kCaptionHeaderCheck = "Header check:";
inline constexpr const char* kCaptionTransactionId = "Transaction ID:";
inline constexpr const char* kCaptionProtocolId = "Protocol ID:";
inline constexpr const char* kCaptionMessageLength = "Message length:";
inline constexpr const char* kCaptionUnitId = "Unit ID:";
inline constexpr const char* kCaptionFunctionCode = "Function code:";
inline constexpr const char* kCaptionStartAddress = "Start address:";
inline constexpr const char* kCaptionWordCount = "Word count:";
inline constexpr const char* kCaptionDataReceived = "Data received:";
inline constexpr const char* kCaptionDataSent = "Data sent:";
inline constexpr const char* kCaptionLocalPort = "Local port:";
inline constexpr const char* kCaptionLoggedPackets = "Logged packets:";
inline constexpr const char* kCaptionAddressOffset = "Address offset:";
inline constexpr const char* kCaptionOutOfSynch = "Out of Synch:";
inline constexpr const char* kCaptionIncorrectLength = "Incorrect length:";
inline constexpr const char* kCaptionIncorrectPid = "Incorrect PID:";
inline constexpr const char* kCaptionIncorrectTi = "Incorrect TI:";
inline constexpr const char* kCaptionReturnException = "Return exception:";
inline constexpr const char* kCaptionFaultRules = "Fault rules:";

// "--" for a free slot, else "Disabled" or "Enabled".
std::string NagleText(bool slotOpen, bool nagleDisabled);
// "<ms> ms".
std::string PollIntervalText(uint32_t ms);
// "Failed" while the connection's last request failed, else its check text ("Passed" or "--").
std::string HeaderCheckLabelText(bool failed, const std::string& checkText);
// The status-bar message of a failed request on connection c: "<time> #<c>: " and the check text
// without the leading "--" most such texts carry.
std::string FailureStatusText(const std::string& timeText, int c, const std::string& checkText);
// The port, followed by "    DEACTIVE" while listening is off.
std::string LocalPortText(int port, bool listening);
// The number of logged packets while recording, else "--".
std::string LoggedPacketsText(bool recording, int64_t loggedPackets);
std::string OnOffText(bool on);
// "Off", or "On 0A  (10)" for code 10.
std::string ReturnExceptionText(bool active, int code);
// "Off" while no rule set is in force, else "<n> active, <f> fired": the rules switched on and
// their firings since the set was applied or its counters reset.
std::string FaultRulesText(bool loaded, int enabled, uint64_t fired);

// Tray icon pictures: 1..12 animate while replies go out, 13 marks a failed request.
inline constexpr int kTrayPictureCount = 13;
inline constexpr int kTrayFailurePicture = 13;

// Timer1's intervals: at start, while a publishing job runs, otherwise.
inline constexpr int kTimer1StartInterval = 3040;
inline constexpr int kTimer1BusyInterval = 1000;
inline constexpr int kTimer1IdleInterval = 3000;

// A publishing job is under way: either percentage lies strictly between 0 and 100.
bool DdeJobUnderway(int inputPercent, int holdingPercent);
// The caption with its publishing suffix " ** DDE: <in>|<hold>%": an earlier suffix is replaced,
// never appended to.
std::string CaptionWithDdeProgress(const std::string& caption, int inputPercent, int holdingPercent);
// The caption without its publishing suffix.
std::string CaptionWithoutDdeProgress(const std::string& caption);

// What one tick of the tray timer sees.
struct TrayTickInput {
    std::string peerIp1 = "--", peerIp2 = "--";
    uint64_t sent1 = 0, sent2 = 0, received1 = 0, received2 = 0;
    std::string checkText1 = "--", checkText2 = "--";
    int ddeInputPercent = 0, ddeHoldingPercent = 0;
    int picture = 1;                // the tray icon's current picture
    uint64_t traySentReference = 0; // bytes sent at the previous tick
    bool trayFailed = false;        // the last request on either connection failed
    std::string caption;            // the window caption
};

// What the tick does with it.
struct TrayTickResult {
    int interval = kTimer1IdleInterval;
    std::string tooltip;
    int picture = 1;
    bool redrawRegisterFlags = false; // a publishing job runs: redraw the R/W column
    std::string caption;
    uint64_t traySentReference = 0; // the new reference; the failure mark is cleared
};

TrayTickResult TrayTimerStep(const TrayTickInput& in);

// What switching on FC7 and FC8 tells the user, with the register number in the register format.
std::string ExceptionStatusMessage(bool registersAsHex);
std::string DiagnosticRegisterMessage(bool registersAsHex);
// The register FC7 takes its exception status from, as the set-value dialog's start text.
std::string ExceptionStatusRegisterText(bool registersAsHex);

} // namespace korvel
