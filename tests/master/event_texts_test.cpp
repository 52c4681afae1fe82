#include "common/winsock_texts.h"
#include "master/event_texts.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace korvel {
namespace {

using Lines = std::vector<std::string>;

const LocalClock kMorning{2027, 3, 4, 7, 8, 9, 5};

TEST(EventTimes, ClockAndDateWithTheLocaleSeparator)
{
    EXPECT_EQ(ClockText(kMorning), "07:08:09:005");
    EXPECT_EQ(ClockText(kMorning, "."), "07.08.09.005");
    EXPECT_EQ(DateClockText(kMorning), "04.03.2027 07:08:09:005");
    EXPECT_EQ(ClockText({2027, 12, 31, 23, 59, 59, 999}), "23:59:59:999");
}

TEST(EventLines, ConnectAndDisconnectCountWithoutShowingTheNumber)
{
    int32_t EventNumber = 0;
    EXPECT_EQ(ConnectionEstablishedEvent(EventNumber, kMorning),
              (Lines{"Connection established at 07:08:09:005", "---", ""}));
    EXPECT_EQ(EventNumber, 1);
    EXPECT_EQ(NoReplyEvent(EventNumber, kMorning),
              (Lines{"Event #2  07:08:09:005", "No reply received within monitoring time.", ""}));

    const std::vector<std::pair<int32_t, Lines>> reasons = {
        {kByUser, {"Disconnected at 07:08:09:005 by user", "---", ""}},
        {kFailedAttempt, {"Failed connection attempt at 07:08:09:005", "---", ""}},
        {kExternalReason, {"Disconnected at 07:08:09:005 by external reason", "---", ""}},
        {0, {"---", ""}},
    };
    for (const auto& [reason, lines] : reasons) {
        const int32_t before = EventNumber;
        EXPECT_EQ(DisconnectEvent(EventNumber, reason, kMorning), lines) << reason;
        EXPECT_EQ(EventNumber, before + 1);
    }
}

TEST(EventLines, SocketErrorHasNoHeaderAndNoNumber)
{
    EXPECT_EQ(SocketErrorEvent(10054), (Lines{"Socket error. Connection reset by peer.", "Code: 10054", ""}));
    EXPECT_EQ(SocketErrorEvent(4), (Lines{"Socket error. Errorcode 4 is not listed.", "Code: 4", ""}));
}

TEST(EventLines, ListIsCutBackTo15000Lines)
{
    EXPECT_EQ(EventLinesToCut(0), 0);
    EXPECT_EQ(EventLinesToCut(15000), 0);
    EXPECT_EQ(EventLinesToCut(15001), 1);
    EXPECT_EQ(EventLinesToCut(15004), 4);
}

TEST(SocketErrorTexts, TableEdgesAndGaps)
{
    const std::vector<std::pair<int, std::string>> rows = {
        {10004, "Interrupted function call."},
        {10035, "Resource temporarily unavailable."},
        {10047, "Address family not supported by protocol family."},
        {10060, "Connection timed out."},
        {10061, "Connection refused."},
        {10101, "Graceful shutdown in progress."},
        {11004, "Valid name, no data record of requested type."},
        {10003, "Errorcode 10003 is not listed."},
        {10072, "Errorcode 10072 is not listed."},
        {11005, "Errorcode 11005 is not listed."},
        {-1, "Errorcode -1 is not listed."},
    };
    for (const auto& [code, text] : rows) {
        EXPECT_EQ(SocketErrorText(code), text) << code;
    }
}

} // namespace
} // namespace korvel
