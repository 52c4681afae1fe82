#include "master/event_texts.h"

#include "common/numeric.h"
#include "common/winsock_texts.h"

#include <cstdio>

namespace korvel {

namespace {

std::string Digits(int value, int width)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*d", width, value);
    return buffer;
}

} // namespace

std::string ClockText(const LocalClock& t, std::string_view separator)
{
    const std::string sep(separator);
    return Digits(t.hour, 2) + sep + Digits(t.minute, 2) + sep + Digits(t.second, 2) + sep + Digits(t.millisecond, 3);
}

std::string DateClockText(const LocalClock& t, std::string_view separator)
{
    return Digits(t.day, 2) + "." + Digits(t.month, 2) + "." + Digits(t.year, 4) + " " + ClockText(t, separator);
}

int EventLinesToCut(int lineCount)
{
    return lineCount > kEventListMaxLines ? lineCount - kEventListMaxLines : 0;
}

std::string EventHeader(int32_t& EventNumber, const std::string& timeText)
{
    ++EventNumber;
    return "Event #" + DecText(EventNumber) + "  " + timeText;
}

std::vector<std::string> ConnectionEstablishedEvent(int32_t& EventNumber, const LocalClock& t,
                                                    std::string_view separator)
{
    ++EventNumber;
    return {"Connection established at " + ClockText(t, separator), "---", ""};
}

std::vector<std::string> DisconnectEvent(int32_t& EventNumber, int32_t reason, const LocalClock& t,
                                         std::string_view separator)
{
    ++EventNumber;
    const std::string time = ClockText(t, separator);
    switch (reason) {
    case kByUser:
        return {"Disconnected at " + time + " by user", "---", ""};
    case kFailedAttempt:
        return {"Failed connection attempt at " + time, "---", ""};
    case kExternalReason:
        return {"Disconnected at " + time + " by external reason", "---", ""};
    default:
        return {"---", ""};
    }
}

std::vector<std::string> NoReplyEvent(int32_t& EventNumber, const LocalClock& t, std::string_view separator)
{
    return {EventHeader(EventNumber, ClockText(t, separator)), "No reply received within monitoring time.", ""};
}

std::vector<std::string> SocketErrorEvent(int code)
{
    return {"Socket error. " + SocketErrorText(code), "Code: " + DecText(code), ""};
}

} // namespace korvel
