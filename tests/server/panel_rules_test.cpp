// Texts of the "Server" group and the decisions of the tray timer.
#include "server/panel_rules.h"

#include <gtest/gtest.h>

namespace korvel {
namespace {

TEST(PanelTexts, SingleLabels)
{
    EXPECT_EQ(ReturnExceptionText(false, 6), "Off");
    EXPECT_EQ(ReturnExceptionText(true, 6), "On 06  (6)");
    EXPECT_EQ(ReturnExceptionText(true, 10), "On 0A  (10)");
    EXPECT_EQ(ReturnExceptionText(true, 11), "On 0B  (11)");
    EXPECT_EQ(LocalPortText(502, true), "502");
    EXPECT_EQ(LocalPortText(1502, false), "1502    DEACTIVE");
    EXPECT_EQ(LoggedPacketsText(true, 0), "0");
    EXPECT_EQ(LoggedPacketsText(false, 17), "--");
    EXPECT_EQ(NagleText(false, true), "--");
    EXPECT_EQ(NagleText(true, true), "Disabled");
    EXPECT_EQ(NagleText(true, false), "Enabled");
    EXPECT_EQ(PollIntervalText(4294967295u), "4294967295 ms");
}

TEST(PanelTexts, FailedRequestShowsFailedAndTheCheckTextWithoutItsDashes)
{
    EXPECT_EQ(HeaderCheckLabelText(true, "--Illegal UID. "), "Failed");
    EXPECT_EQ(HeaderCheckLabelText(false, "Passed"), "Passed");
    EXPECT_EQ(FailureStatusText("10:11:12", 1, "--Illegal UID. "), "10:11:12 #1: Illegal UID. ");
    // Texts that start with a protocol or length failure carry no dashes and are shown whole.
    EXPECT_EQ(FailureStatusText("t", 2, "Bad protocol identifier. Illegal UID. "),
              "t #2: Bad protocol identifier. Illegal UID. ");
    EXPECT_EQ(FailureStatusText("t", 1, "Length field, illegal upper byte. "),
              "t #1: Length field, illegal upper byte. ");
    EXPECT_EQ(FailureStatusText("t", 2, "-"), "t #2: -");
}

TEST(DdeCaption, SuffixIsReplacedNotAppendedAndRemovedWhenDone)
{
    const std::string base = "Korvel - Modbus/TCP server at [10.0.0.5]";
    const std::string once = CaptionWithDdeProgress(base, 40, 0);
    EXPECT_EQ(once, base + " ** DDE: 40|0%");
    EXPECT_EQ(CaptionWithDdeProgress(once, 60, 5), base + " ** DDE: 60|5%");
    EXPECT_EQ(CaptionWithoutDdeProgress(once), base);
    EXPECT_EQ(CaptionWithoutDdeProgress(base), base);
    // A caption with a star of its own but no suffix is not cut away.
    EXPECT_EQ(CaptionWithoutDdeProgress("a*b"), "a*b");
    EXPECT_EQ(CaptionWithDdeProgress("a*b", 1, 2), "a*b ** DDE: 1|2%");

    EXPECT_FALSE(DdeJobUnderway(0, 0));
    EXPECT_FALSE(DdeJobUnderway(100, 0));
    EXPECT_FALSE(DdeJobUnderway(100, 100));
    EXPECT_TRUE(DdeJobUnderway(40, 0));
    EXPECT_TRUE(DdeJobUnderway(100, 99));
}

TrayTickInput Traffic(uint64_t sent, uint64_t reference, int picture)
{
    TrayTickInput in;
    in.sent1 = sent;
    in.traySentReference = reference;
    in.picture = picture;
    in.caption = "Korvel";
    return in;
}

TEST(TrayTimer, FailureShowsPicture13AndBothCheckTexts)
{
    TrayTickInput in = Traffic(100, 50, 4);
    in.trayFailed = true;
    in.checkText1 = "--Illegal UID. ";
    in.checkText2 = "--";
    TrayTickResult out = TrayTimerStep(in);
    EXPECT_EQ(out.picture, kTrayFailurePicture);
    EXPECT_EQ(out.tooltip, "--Illegal UID.  | --");

    // The next tick starts again at 1 from the failure picture.
    in.trayFailed = false;
    in.picture = out.picture;
    out = TrayTimerStep(in);
    EXPECT_EQ(out.picture, 1);
}

TEST(TrayTimer, TooltipAndIntervalWithAndWithoutPublishing)
{
    TrayTickInput in = Traffic(10, 10, 1);
    in.peerIp1 = "127.0.0.1";
    in.sent2 = 5;
    in.received1 = 12;
    in.received2 = 24;
    TrayTickResult out = TrayTimerStep(in);
    EXPECT_EQ(out.interval, kTimer1IdleInterval);
    EXPECT_FALSE(out.redrawRegisterFlags);
    EXPECT_EQ(out.tooltip, "Korvel - Client #1:[127.0.0.1]  Client #2:[--]. Sent 15 bytes, Received 36 bytes");
    EXPECT_EQ(out.caption, "Korvel");

    in.ddeInputPercent = 40;
    out = TrayTimerStep(in);
    EXPECT_EQ(out.interval, kTimer1BusyInterval);
    EXPECT_TRUE(out.redrawRegisterFlags);
    EXPECT_EQ(out.tooltip, "Korvel - Client #1:[127.0.0.1]  Client #2:[--]. Sent 15 bytes, Received 36 bytes. "
                           "DDE: Input 40% / Holding 0%");
    EXPECT_EQ(out.caption, "Korvel ** DDE: 40|0%");
}

} // namespace
} // namespace korvel
