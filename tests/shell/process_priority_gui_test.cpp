// The priority rule and how it is applied where lowering the priority could not be undone.
#include "net/socket_layer.h"
#include "shell/process_priority.h"

#include <gtest/gtest.h>
#include <vector>

namespace korvel {
namespace {

TEST(PriorityRuleTest, ClassFollowsActivity)
{
    ActivityIndicators idle;
    EXPECT_EQ(RequiredPriorityClass(idle), PriorityClass::BelowNormal);
    ActivityIndicators one;
    one.serverConnection2 = true;
    EXPECT_EQ(RequiredPriorityClass(one), PriorityClass::Normal);
    ActivityIndicators both = one;
    both.serverConnection1 = true;
    EXPECT_EQ(RequiredPriorityClass(both), PriorityClass::AboveNormal);
    both.clientConnected = true;
    EXPECT_EQ(RequiredPriorityClass(both), PriorityClass::AboveNormal);
    for (bool ActivityIndicators::*flag :
         {&ActivityIndicators::clientConnected, &ActivityIndicators::inputPublishing,
          &ActivityIndicators::holdingPublishing, &ActivityIndicators::scannerConnected}) {
        ActivityIndicators only;
        only.*flag = true;
        EXPECT_EQ(RequiredPriorityClass(only), PriorityClass::Normal);
    }
}

struct FakePlatform {
    bool privileged = false;
    int nice = 0;
    std::vector<int> requested;
    ProcessPriority::Platform platform()
    {
        return {[this](int value) {
                    requested.push_back(value);
                    if (value < nice && !privileged)
                        return false; // may not raise the priority
                    nice = value;
                    return true;
                },
                [this] { return privileged; }};
    }
};

TEST(ProcessPriorityTest, PrivilegedProcessFollowsEveryClass)
{
    FakePlatform fake;
    fake.privileged = true;
    ProcessPriority priority(fake.platform());
    ActivityIndicators a;
    priority.SetMyPriority(a);
    EXPECT_EQ(fake.nice, 10);
    a.serverConnection1 = true;
    priority.SetMyPriority(a);
    EXPECT_EQ(fake.nice, 0);
    a.serverConnection2 = true;
    priority.SetMyPriority(a);
    EXPECT_EQ(fake.nice, -5);
    EXPECT_EQ(priority.lastRequested(), PriorityClass::AboveNormal);
    a = {};
    priority.SetMyPriority(a);
    EXPECT_EQ(fake.nice, 10);
    EXPECT_EQ(priority.requestCount(), 4);
}

TEST(ProcessPriorityTest, SystemIsAskedOnlyWhenTheLevelChanges)
{
    FakePlatform fake;
    fake.privileged = true;
    ProcessPriority priority(fake.platform());
    ActivityIndicators a;
    a.serverConnection1 = true;
    for (int i = 0; i < 5; ++i)
        priority.SetMyPriority(a); // one connection after another comes and goes: still normal
    a.clientConnected = true;
    priority.SetMyPriority(a); // two activities, but not both server slots: still normal
    a = {};
    priority.SetMyPriority(a);
    priority.SetMyPriority(a);
    EXPECT_EQ(fake.requested, (std::vector<int>{0, 10}));
    EXPECT_EQ(priority.requestCount(), 8);
}

TEST(ProcessPriorityTest, UnprivilegedProcessNeverLowersWhatItCannotRaiseAgain)
{
    FakePlatform fake;
    ProcessPriority priority(fake.platform());
    ActivityIndicators a;
    priority.SetMyPriority(a); // idle: stays at normal
    EXPECT_EQ(priority.lastRequested(), PriorityClass::BelowNormal);
    EXPECT_EQ(fake.nice, 0);
    a.serverConnection1 = a.serverConnection2 = true;
    priority.SetMyPriority(a); // above normal is refused and skipped
    EXPECT_EQ(priority.lastRequested(), PriorityClass::AboveNormal);
    EXPECT_EQ(fake.nice, 0);
    a.serverConnection2 = false;
    priority.SetMyPriority(a);
    EXPECT_EQ(fake.nice, 0);
    EXPECT_EQ(fake.requested, (std::vector<int>{0, -5, 0}));
}

} // namespace
} // namespace korvel
