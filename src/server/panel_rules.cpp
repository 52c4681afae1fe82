#include "server/panel_rules.h"

#include "common/numeric.h"
#include "common/text_join.h"
#include "server/request_check.h"

#include <string>

namespace korvel {

namespace {
constexpr const char* kDdeSuffixStart = " **";

std::string BytesTooltip(const TrayTickInput& in)
{
    return "Korvel - Client #1:[" + in.peerIp1 + "]  Client #2:[" + in.peerIp2 + "]. Sent " +
           DecText(static_cast<int64_t>(in.sent1 + in.sent2)) + " bytes, Received " +
           DecText(static_cast<int64_t>(in.received1 + in.received2)) + " bytes";
}
} // namespace

std::string NagleText(bool slotOpen, bool nagleDisabled)
{
    if (!slotOpen)
        return "--";
    return nagleDisabled ? "Disabled" : "Enabled";
}

std::string PollIntervalText(uint32_t ms)
{
    return DecText(ms) + " ms";
}

std::string HeaderCheckLabelText(bool failed, const std::string& checkText)
{
    return failed ? HeaderCheckText(kCheckFailed) : checkText;
}

std::string FailureStatusText(const std::string& timeText, int c, const std::string& checkText)
{
    // Only the "--" placeholder goes: a text that starts with its own failure (a bad protocol
    // identifier or length byte) is shown whole rather than with its first letters cut off.
    const bool placeholder = checkText.rfind("--", 0) == 0;
    return timeText + " #" + DecText(c) + ": " + (placeholder ? checkText.substr(2) : checkText);
}

std::string LocalPortText(int port, bool listening)
{
    return DecText(port) + (listening ? "" : "    DEACTIVE");
}

std::string LoggedPacketsText(bool recording, int64_t loggedPackets)
{
    return recording ? DecText(loggedPackets) : "--";
}

std::string OnOffText(bool on)
{
    return on ? "On" : "Off";
}

std::string ReturnExceptionText(bool active, int code)
{
    if (!active)
        return "Off";
    return "On " + Hex2(static_cast<uint8_t>(code)) + "  (" + DecText(code) + ")";
}

std::string FaultRulesText(bool loaded, int enabled, uint64_t fired)
{
    if (!loaded)
        return "Off";
    return JoinText({DecText(enabled), " active, ", std::to_string(fired), " fired"});
}

bool DdeJobUnderway(int inputPercent, int holdingPercent)
{
    return (inputPercent > 0 && inputPercent < 100) || (holdingPercent > 0 && holdingPercent < 100);
}

std::string CaptionWithoutDdeProgress(const std::string& caption)
{
    if (caption.find('*') == std::string::npos)
        return caption;
    // A caption with a "*" of its own but no suffix stays whole.
    const auto cut = caption.find(kDdeSuffixStart);
    return cut == std::string::npos ? caption : caption.substr(0, cut);
}

std::string CaptionWithDdeProgress(const std::string& caption, int inputPercent, int holdingPercent)
{
    return CaptionWithoutDdeProgress(caption) + " ** DDE: " + DecText(inputPercent) + "|" + DecText(holdingPercent) +
           "%";
}

TrayTickResult TrayTimerStep(const TrayTickInput& in)
{
    TrayTickResult out;
    if (DdeJobUnderway(in.ddeInputPercent, in.ddeHoldingPercent)) {
        out.interval = kTimer1BusyInterval;
        out.tooltip = BytesTooltip(in) + ". DDE: Input " + DecText(in.ddeInputPercent) + "% / Holding " +
                      DecText(in.ddeHoldingPercent) + "%";
        out.redrawRegisterFlags = true;
        out.caption = CaptionWithDdeProgress(in.caption, in.ddeInputPercent, in.ddeHoldingPercent);
    } else {
        out.interval = kTimer1IdleInterval;
        out.caption = CaptionWithoutDdeProgress(in.caption);
        out.tooltip = BytesTooltip(in);
    }

    const uint64_t sent = in.sent1 + in.sent2;
    // Pictures 1..12 cycle while replies go out; without traffic picture 1 stands still.
    if (in.picture >= 12 || in.picture < 1 || sent == in.traySentReference)
        out.picture = 1;
    else
        out.picture = in.picture + 1;

    if (in.trayFailed) {
        out.picture = kTrayFailurePicture;
        out.tooltip = in.checkText1 + " | " + in.checkText2;
    }
    out.traySentReference = sent;
    return out;
}

std::string ExceptionStatusMessage(bool registersAsHex)
{
    return std::string("Exception status returned by this function is low byte of holding register ") +
           (registersAsHex ? "0xFFFF." : "65535.");
}

std::string DiagnosticRegisterMessage(bool registersAsHex)
{
    return std::string("\"Diagnostic register\" used by sub-functions 2 and 10 is holding register ") +
           (registersAsHex ? "0xFFFE." : "65534.");
}

std::string ExceptionStatusRegisterText(bool registersAsHex)
{
    return NumberText(0xFFFF, registersAsHex);
}

} // namespace korvel
