#include "rules/flash_rules.h"

namespace korvel {

namespace {

// Two identities name the same window; "no window" names none, not even another "no window".
bool Same(WindowId a, WindowId b)
{
    return a != kNoWindow && a == b;
}

} // namespace

InstanceDetection FlashtmrStep(FlashAtomTable& table, FlashAtomOwnership owns)
{
    InstanceDetection result;
    // A name counts as ours only once the registry took it, so that shutdown never deletes a
    // reference another instance holds.
    if (!table.find(kPrimaryFlashAtomName) && table.add(kPrimaryFlashAtomName)) {
        owns.ownsPrimaryFlashAtom = true;
    }
    if (!owns.ownsPrimaryFlashAtom && !owns.ownsSecondaryFlashAtom && table.add(kSecondaryFlashAtomName)) {
        owns.ownsSecondaryFlashAtom = true;
    }
    if (owns.ownsPrimaryFlashAtom && owns.ownsSecondaryFlashAtom) {
        table.deleteOne(kSecondaryFlashAtomName);
        owns.ownsSecondaryFlashAtom = false;
    }
    result.owns = owns;
    result.timer4Enabled = table.find(kSecondaryFlashAtomName);
    result.clearFlashMainWindow = !result.timer4Enabled;
    return result;
}

int FlashWindowSlots::take(WindowId window)
{
    for (int i = 0; i < kSlotCount; ++i) {
        if (slots_[static_cast<size_t>(i)] == kNoWindow) {
            slots_[static_cast<size_t>(i)] = window;
            return i;
        }
    }
    return -1;
}

void FlashWindowSlots::free(int slot)
{
    if (slot >= 0 && slot < kSlotCount) {
        slots_[static_cast<size_t>(slot)] = kNoWindow;
    }
}

bool FlashWindowSlots::contains(WindowId window) const
{
    if (window == kNoWindow) {
        return false;
    }
    for (WindowId slot : slots_) {
        if (slot == window) {
            return true;
        }
    }
    return false;
}

FlashTick Timer4Step(const FlashState& state, WindowId foreground, const FlashWindows& windows, bool flash_main_window)
{
    FlashTick tick;
    FlashState& s = tick.state;
    s = state;

    // Leaving the server-connection dialog, or a window the client opened itself, gives no flash.
    // The window now in front counts as seen already, so that a child window that has just come
    // to the front is not armed by this tick and blinks only when it is activated again.
    if (Same(s.lastForegroundWindow, windows.setServerIp) || s.dont_flash) {
        s.clientFlashCount = kFlashCountDone;
        s.childFlashCount = kFlashCountDone;
        s.mainFlashCount = kFlashCountDone;
        s.dont_flash = false;
        s.lastForegroundWindow = foreground;
    }

    // The client window came to the front.
    const bool clientInFront = Same(foreground, windows.client);
    if (clientInFront && s.clientFlashCount == kFlashCountArmed) {
        s.clientFlashCount = 0;
    } else if (!clientInFront) {
        s.clientFlashCount = kFlashCountArmed;
    } else if (s.clientFlashCount < kFlashesPerBlink) {
        tick.flashes.push_back(FlashTarget::MainWindow);
        ++s.clientFlashCount;
    }

    // A registered child window came to the front and stayed there for a tick.
    const bool childInFront =
        windows.children != nullptr && windows.children->contains(foreground) && foreground == s.lastForegroundWindow;
    if (childInFront && s.childFlashCount == kFlashCountArmed) {
        s.childFlashCount = 0;
    } else if (!childInFront) {
        s.childFlashCount = kFlashCountArmed;
    } else if (s.childFlashCount < kFlashesPerBlink) {
        tick.flashes.push_back(FlashTarget::ClientWindow);
        tick.flashes.push_back(FlashTarget::MainWindow);
        ++s.childFlashCount;
    }

    // A set-value dialog asked for the main window to blink.
    if (flash_main_window) {
        tick.clearFlashMainWindow = true;
        s.mainFlashCount = 0;
    }
    if (s.mainFlashCount < kFlashesPerBlink) {
        tick.flashes.push_back(FlashTarget::MainWindow);
        ++s.mainFlashCount;
    }

    s.lastForegroundWindow = foreground;
    return tick;
}

SetValFlash SetValFlashRequest(SetValFlash current, WindowId dialog, WindowId foreground, int amount_of_setval_windows)
{
    SetValFlash next = current;
    const bool inFront = Same(foreground, dialog);
    if (inFront && next.flash_main_window_handle != dialog) {
        next.flash_main_window = true;
        next.flash_main_window_handle = dialog;
    } else if (amount_of_setval_windows == 1 && !inFront) {
        next.flash_main_window_handle = foreground;
    }
    if (Same(next.flash_main_window_handle, dialog) && !inFront) {
        next.flash_main_window_handle = kNoWindow;
    }
    return next;
}

} // namespace korvel
