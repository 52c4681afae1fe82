// Instance detection over a shared name registry, and window flashing as tables of ticks: which
// window is in front at each tick and which flashes that tick gives.
#include "rules/flash_rules.h"

#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace korvel {
namespace {

// --- Instance detection ---------------------------------------------------------------------

// The shared registry: reference-counted names, as every instance sees them.
class FakeAtomTable : public FlashAtomTable {
  public:
    bool find(const std::string& name) override { return names.count(name) != 0; }
    bool add(const std::string& name) override
    {
        if (refuseAdds) {
            return false;
        }
        ++names[name];
        return true;
    }
    bool deleteOne(const std::string& name) override
    {
        auto it = names.find(name);
        if (it == names.end()) {
            return false;
        }
        if (--it->second == 0) {
            names.erase(it);
        }
        return true;
    }
    int count(const std::string& name) const { return names.count(name) ? names.at(name) : 0; }

    std::map<std::string, int> names;
    bool refuseAdds = false;
};

// One running instance: its ownership flags and what its last detection tick decided.
struct Instance {
    explicit Instance(FakeAtomTable& t) : table(t) {}

    FakeAtomTable& table;
    FlashAtomOwnership owns;
    bool timer4 = false;

    void tick()
    {
        const InstanceDetection d = FlashtmrStep(table, owns);
        owns = d.owns;
        timer4 = d.timer4Enabled;
        EXPECT_EQ(d.clearFlashMainWindow, !d.timer4Enabled);
    }
    // Shutdown: the names this instance owns lose one reference.
    void end()
    {
        if (owns.ownsPrimaryFlashAtom) {
            table.deleteOne(kPrimaryFlashAtomName);
        }
        if (owns.ownsSecondaryFlashAtom) {
            table.deleteOne(kSecondaryFlashAtomName);
        }
        owns = {};
    }
};

TEST(InstanceDetection, SingleInstanceBecomesPrimaryAndNeverFlashes)
{
    FakeAtomTable table;
    Instance a{table};
    for (int i = 0; i < 3; ++i) {
        a.tick();
        EXPECT_TRUE(a.owns.ownsPrimaryFlashAtom);
        EXPECT_FALSE(a.owns.ownsSecondaryFlashAtom);
        EXPECT_FALSE(a.timer4);
    }
    EXPECT_EQ(table.count(kPrimaryFlashAtomName), 1);
    EXPECT_EQ(table.count(kSecondaryFlashAtomName), 0);
}

TEST(InstanceDetection, SecondArrivesThenFirstLeaves)
{
    FakeAtomTable table;
    Instance a{table}, b{table};
    a.tick();
    b.tick(); // the second instance's first tick: secondary added, its flash tick starts
    EXPECT_TRUE(b.owns.ownsSecondaryFlashAtom);
    EXPECT_FALSE(b.owns.ownsPrimaryFlashAtom);
    EXPECT_TRUE(b.timer4);
    EXPECT_FALSE(a.timer4); // the first one follows at its next tick
    a.tick();
    EXPECT_TRUE(a.timer4);
    b.tick(); // nothing changes while both run
    EXPECT_EQ(table.count(kSecondaryFlashAtomName), 1);

    a.end();
    b.tick(); // primary missing: b takes it over and withdraws its secondary reference
    EXPECT_TRUE(b.owns.ownsPrimaryFlashAtom);
    EXPECT_FALSE(b.owns.ownsSecondaryFlashAtom);
    EXPECT_FALSE(b.timer4);
    EXPECT_EQ(table.names, (std::map<std::string, int>{{kPrimaryFlashAtomName, 1}}));
}

TEST(InstanceDetection, ThirdInstanceKeepsFlashingAfterThePrimaryLeaves)
{
    FakeAtomTable table;
    Instance a{table}, b{table}, c{table};
    a.tick();
    b.tick();
    c.tick();
    EXPECT_EQ(table.count(kSecondaryFlashAtomName), 2);
    a.end();
    b.tick();
    c.tick();
    EXPECT_TRUE(b.owns.ownsPrimaryFlashAtom);
    EXPECT_TRUE(b.timer4); // c still holds the secondary name
    EXPECT_TRUE(c.timer4);
    EXPECT_FALSE(c.owns.ownsPrimaryFlashAtom);
    c.end();
    b.tick();
    EXPECT_FALSE(b.timer4);
}

TEST(InstanceDetection, StaleSecondaryNameKeepsTheFlashTickRunning)
{
    FakeAtomTable table;
    table.names[kSecondaryFlashAtomName] = 1; // left by an instance that crashed
    Instance a{table};
    a.tick();
    EXPECT_TRUE(a.owns.ownsPrimaryFlashAtom);
    EXPECT_TRUE(a.timer4);
}

TEST(InstanceDetection, NameTheRegistryRefusedIsNotOwned)
{
    FakeAtomTable table;
    table.refuseAdds = true;
    Instance a{table};
    a.tick();
    EXPECT_FALSE(a.owns.ownsPrimaryFlashAtom);
    EXPECT_FALSE(a.owns.ownsSecondaryFlashAtom);
    table.refuseAdds = false;
    a.tick(); // the next tick takes the primary name
    EXPECT_TRUE(a.owns.ownsPrimaryFlashAtom);
    EXPECT_FALSE(a.owns.ownsSecondaryFlashAtom);
    EXPECT_EQ(table.count(kSecondaryFlashAtomName), 0);
}

// --- The client window's flash table ---------------------------------------------------------

TEST(FlashWindowSlots, FirstFreeSlotAndFull)
{
    FlashWindowSlots slots;
    EXPECT_EQ(slots.take(11), 0);
    EXPECT_EQ(slots.take(12), 1);
    slots.free(0);
    EXPECT_FALSE(slots.contains(11));
    EXPECT_EQ(slots.take(13), 0);
    for (int i = 2; i < FlashWindowSlots::kSlotCount; ++i) {
        EXPECT_EQ(slots.take(static_cast<WindowId>(100 + i)), i);
    }
    EXPECT_EQ(slots.take(999), -1);
    EXPECT_FALSE(slots.contains(999));
    EXPECT_FALSE(slots.contains(kNoWindow)); // free slots name no window
    slots.free(-1);
    slots.free(FlashWindowSlots::kSlotCount);
    EXPECT_TRUE(slots.contains(12));
}

// --- Flash ticks ----------------------------------------------------------------------------

constexpr WindowId kOther = kNoWindow; // a window of another program
constexpr WindowId kClient = 1;
constexpr WindowId kMain = 2;
constexpr WindowId kDialog = 3; // the client's server-connection dialog
constexpr WindowId kWrite = 4;  // a one-off window, registered
constexpr WindowId kLoose = 5;  // a window the client did not register

struct Tick {
    WindowId foreground;
    const char* flashes;       // per flash: "M" main window, "C" client window
    bool dontFlash = false;    // dont_flash is set before this tick
    bool flashRequest = false; // flash_main_window is set before this tick
};

struct TickCase {
    const char* name;
    std::vector<Tick> ticks;
};

class FlashTickTest : public testing::TestWithParam<TickCase> {};

TEST_P(FlashTickTest, FlashesPerTick)
{
    FlashWindowSlots children;
    children.take(kWrite);
    const FlashWindows windows{kClient, kDialog, &children};
    FlashState state;
    state.clientFlashCount = kFlashCountDone;
    state.childFlashCount = kFlashCountDone;
    state.lastForegroundWindow = kMain;
    int n = 0;
    for (const Tick& t : GetParam().ticks) {
        state.dont_flash = state.dont_flash || t.dontFlash;
        const FlashTick tick = Timer4Step(state, t.foreground, windows, t.flashRequest);
        std::string got;
        for (FlashTarget f : tick.flashes) {
            got += f == FlashTarget::MainWindow ? "M" : "C";
        }
        EXPECT_EQ(got, t.flashes) << "tick " << n;
        EXPECT_EQ(tick.clearFlashMainWindow, t.flashRequest) << "tick " << n;
        EXPECT_FALSE(tick.state.dont_flash);
        EXPECT_EQ(tick.state.lastForegroundWindow, t.foreground);
        state = tick.state;
        ++n;
    }
}

const TickCase kTickRows[] = {
    // The client window comes to the front: one blink of the main window (two flashes on
    // consecutive ticks), then nothing while it stays there.
    {"ClientToFront", {{kMain, ""}, {kClient, ""}, {kClient, "M"}, {kClient, "M"}, {kClient, ""}}},
    // Again after it was left for another program.
    {"ClientBackFromOtherProgram",
     {{kMain, ""},
      {kClient, ""},
      {kClient, "M"},
      {kClient, "M"},
      {kOther, ""},
      {kClient, ""},
      {kClient, "M"},
      {kClient, "M"}}},
    // Left before its blink ended: the blink stops.
    {"ClientLeftEarly", {{kOther, ""}, {kClient, ""}, {kClient, "M"}, {kOther, ""}, {kOther, ""}}},
    // A registered child window blinks the client and the main window once it stayed in front
    // for a tick.
    {"ChildToFront", {{kOther, ""}, {kWrite, ""}, {kWrite, ""}, {kWrite, "CM"}, {kWrite, "CM"}, {kWrite, ""}}},
    {"UnregisteredWindowNeverFlashes", {{kOther, ""}, {kLoose, ""}, {kLoose, ""}, {kLoose, ""}, {kLoose, ""}}},
    // Opening a window of the client sets dont_flash: its opening gives no flash...
    {"DontFlashSwallowsOpening",
     {{kMain, ""},
      {kClient, ""},
      {kClient, "M"},
      {kClient, "M"},
      {kWrite, "", true},
      {kWrite, ""},
      {kWrite, ""},
      {kWrite, ""}}},
    // ... nor does the client window shown by the main window's command.
    {"DontFlashSwallowsShowingTheClient", {{kMain, ""}, {kClient, "", true}, {kClient, ""}, {kClient, ""}}},
    // ... but coming back to the window later does.
    {"DontFlashOnlyOnce",
     {{kOther, ""}, {kWrite, "", true}, {kWrite, ""}, {kOther, ""}, {kWrite, ""}, {kWrite, ""}, {kWrite, "CM"}}},
    // Leaving the server-connection dialog for the client window gives no flash.
    {"LeavingTheConnectionDialog", {{kOther, ""}, {kDialog, ""}, {kClient, ""}, {kClient, ""}, {kClient, ""}}},
    // A set-value dialog's request: two main-window flashes on consecutive ticks.
    {"FlashRequest", {{kOther, ""}, {kOther, "M", false, true}, {kOther, "M"}, {kOther, ""}}},
    // dont_flash cancels a request still blinking.
    {"DontFlashCancelsRequest", {{kOther, "M", false, true}, {kOther, "", true}, {kOther, ""}}},
};
INSTANTIATE_TEST_SUITE_P(Flash, FlashTickTest, testing::ValuesIn(kTickRows),
                         [](const testing::TestParamInfo<TickCase>& info) { return info.param.name; });

TEST(FlashTick, FirstTickStartsFromTheInitialCounters)
{
    // Counters 0, 0 and 4 at creation: the client window in front when the tick starts blinks.
    FlashWindowSlots children;
    const FlashWindows windows{kClient, kNoWindow, &children};
    FlashTick tick = Timer4Step(FlashState{}, kClient, windows, false);
    EXPECT_EQ(tick.flashes, std::vector<FlashTarget>{FlashTarget::MainWindow});
    // No dialog is open and another program is in front: "no window" names no dialog.
    tick = Timer4Step(FlashState{}, kOther, windows, false);
    EXPECT_TRUE(tick.flashes.empty());
    EXPECT_EQ(tick.state.clientFlashCount, kFlashCountArmed);
    EXPECT_EQ(tick.state.mainFlashCount, kFlashCountDone);
}

// --- Set-value dialogs' flash request ---------------------------------------------------------

constexpr WindowId kValue1 = 21;
constexpr WindowId kValue2 = 22;

TEST(SetValFlash, EachActivationOfASingleDialogAsksOnce)
{
    SetValFlash f;
    f = SetValFlashRequest(f, kValue1, kValue1, 1);
    EXPECT_TRUE(f.flash_main_window);
    EXPECT_EQ(f.flash_main_window_handle, kValue1);
    f.flash_main_window = false; // taken by the flash tick
    f = SetValFlashRequest(f, kValue1, kValue1, 1);
    EXPECT_FALSE(f.flash_main_window); // still in front: no new request
    f = SetValFlashRequest(f, kValue1, kOther, 1);
    EXPECT_EQ(f.flash_main_window_handle, kOther);
    f = SetValFlashRequest(f, kValue1, kValue1, 1);
    EXPECT_TRUE(f.flash_main_window);
}

TEST(SetValFlash, SwitchingBetweenTwoDialogsAsksEachTime)
{
    SetValFlash f;
    // Both dialogs run their timer; the one in front asks.
    f = SetValFlashRequest(f, kValue1, kValue1, 2);
    f = SetValFlashRequest(f, kValue2, kValue1, 2);
    EXPECT_TRUE(f.flash_main_window);
    EXPECT_EQ(f.flash_main_window_handle, kValue1);
    f.flash_main_window = false;
    f = SetValFlashRequest(f, kValue1, kValue2, 2);
    f = SetValFlashRequest(f, kValue2, kValue2, 2);
    EXPECT_TRUE(f.flash_main_window);
    EXPECT_EQ(f.flash_main_window_handle, kValue2);
    f.flash_main_window = false;
    // Another program, then back to the second dialog: its handle was cleared meanwhile.
    f = SetValFlashRequest(f, kValue2, kOther, 2);
    EXPECT_EQ(f.flash_main_window_handle, kNoWindow);
    EXPECT_FALSE(f.flash_main_window);
    f = SetValFlashRequest(f, kValue2, kValue2, 2);
    EXPECT_TRUE(f.flash_main_window);
}

} // namespace
} // namespace korvel
