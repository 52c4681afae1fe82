// Which windows blink while more than one instance of Korvel runs: the instance detection on the
// shared name registry, the client window's flash tick and the set-value dialog's flash request.
// Each is a decision over plain values (window identities, counters, what the registry answered);
// the windows ask Qt who is in front, pass that in, and call QApplication::alert for each flash
// returned.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace korvel {

// A window's identity as the flashing rules compare it; kNoWindow for none (also a window of
// another program, which the application cannot name).
using WindowId = std::uintptr_t;
constexpr WindowId kNoWindow = 0;

constexpr int kFlashtmrInterval = 3210; // instance detection, main window
constexpr int kTimer4Interval = 200;    // flash tick, client window
constexpr int kFlashCountDone = 4;      // a counter at this value gives no more flashes
constexpr int kFlashCountArmed = -1;    // a counter waiting for its window to stay in front
constexpr int kFlashesPerBlink = 2;     // two caption inversions on consecutive ticks: one blink

inline constexpr const char* kPrimaryFlashAtomName = "PRIMARY_FLASH_ATOM";
inline constexpr const char* kSecondaryFlashAtomName = "SECONDARY_FLASH_ATOM";

// The shared registry of reference-counted names, as instance detection uses it.
class FlashAtomTable {
  public:
    virtual ~FlashAtomTable() = default;
    virtual bool find(const std::string& name) = 0;
    virtual bool add(const std::string& name) = 0;
    // Deletes one reference; false when the name does not exist.
    virtual bool deleteOne(const std::string& name) = 0;
};

// Which flash names this instance added.
struct FlashAtomOwnership {
    bool ownsPrimaryFlashAtom = false;
    bool ownsSecondaryFlashAtom = false;
};

struct InstanceDetection {
    FlashAtomOwnership owns;
    bool timer4Enabled = false;        // another instance runs: the client's flash tick runs
    bool clearFlashMainWindow = false; // no other instance: a pending request is dropped
};

// One tick of `Flashtmr`: the first instance takes the primary name, every other one holds a
// reference of the secondary name, and the secondary name existing means other instances run.
InstanceDetection FlashtmrStep(FlashAtomTable& table, FlashAtomOwnership owns);

// The client window's table of child windows registered for flashing (`frmWriteMaskHandle`):
// the one-off windows and the scanner take the first free slot when opened and free it when
// closed.
class FlashWindowSlots {
  public:
    static constexpr int kSlotCount = 150;
    // The slot taken, or -1 when every slot is taken (the window then simply is not entered).
    int take(WindowId window);
    // Frees a slot; an index outside the table is ignored.
    void free(int slot);
    bool contains(WindowId window) const;
    WindowId at(int slot) const { return slots_[static_cast<size_t>(slot)]; }

  private:
    std::array<WindowId, kSlotCount> slots_{};
};

// The client window's flash state.
struct FlashState {
    int clientFlashCount = 0;                  // flashes for the client window coming to the front
    int childFlashCount = 0;                   // flashes for a registered child coming to the front
    int mainFlashCount = kFlashCountDone;      // flashes for a flash_main_window request
    WindowId lastForegroundWindow = kNoWindow; // the foreground window at the end of the last tick
    bool dont_flash = false;                   // the next tick cancels all pending flashes
};

// The windows a tick compares the foreground window with.
struct FlashWindows {
    WindowId client = kNoWindow;
    WindowId setServerIp = kNoWindow; // `frmSetServerIPHandle`: the server-connection dialog
    const FlashWindowSlots* children = nullptr;
};

enum class FlashTarget { MainWindow, ClientWindow };

struct FlashTick {
    FlashState state;
    std::vector<FlashTarget> flashes;  // one alert each, in this order
    bool clearFlashMainWindow = false; // the request was taken over by this tick
};

// One tick of `Timer4` with the foreground window `foreground` and the main window's
// `flash_main_window` request.
FlashTick Timer4Step(const FlashState& state, WindowId foreground, const FlashWindows& windows, bool flash_main_window);

// The main window's part of the set-value dialogs' flash request.
struct SetValFlash {
    bool flash_main_window = false;
    WindowId flash_main_window_handle = kNoWindow; // the dialog that last asked for a flash
};

// A set-value dialog's 700 ms request: each activation of a dialog asks once for the main window
// to blink.
SetValFlash SetValFlashRequest(SetValFlash current, WindowId dialog, WindowId foreground, int amount_of_setval_windows);

} // namespace korvel
