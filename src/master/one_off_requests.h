// The client's one-off requests: write one holding register (function 6, or 16 with one
// register), mask-write one (function 22) and read the exception status (function 7). The texts
// of the three window modes, the field rules, Apply, the frame the polling step sends ahead of the
// lists, and the texts of the result. No widgets: the one-off window copies out what these return.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

inline constexpr const char* kOneOffNotConnected = "Connection is not established";
inline constexpr const char* kOneOffEnterValue = "Please, enter value";
inline constexpr const char* kOneOffHexOnly = "Only \"0..9..A..F\" allowed";
// The exception-status field while the reply is awaited, and after an exception reply.
inline constexpr const char* kExceptionStatusWaiting = "Waiting...";
inline constexpr const char* kExceptionStatusFailed = "Failed";

// `WriteSingleHoldAddr` while no one-off request is pending.
constexpr int kNoOneOffRequest = 70000;
// `WriteSingleHoldAddr` of an exception-status read: anything but kNoOneOffRequest marks it
// pending, function 7 carries no address.
constexpr int kExceptionStatusMark = 123;
constexpr int kOneOffValueMaxLength = 5; // write mode's value field
constexpr int kOneOffMaskMaxLength = 4;  // AND and OR fields

enum class OneOffMode { WriteSingle, MaskWrite, ReadExceptionStatus };

// What a one-off window shows in its mode.
struct OneOffModeTexts {
    const char* caption;
    const char* buttonCaption; // `Button2`
    const char* buttonHint;
    const char* valueGroupCaption; // `GroupBox2`
    const char* valueHint;         // `Edit1`
    const char* addressHint;       // `Edit3`; nullptr: the address group is hidden
    bool orShown;                  // `GroupBox3` with `Edit2`
    bool fc16Shown;                // `CB_FC16`
};
const OneOffModeTexts& ModeTexts(OneOffMode mode);

// The pending one-off request, as the client keeps it. `MaskIt`, `ReadExp` and
// `UseFC16_for_single_write` belong to the client, so every open window shares them.
struct OneOffRequest {
    int WriteSingleHoldAddr = kNoOneOffRequest;
    int WriteSingleHoldValue = 0; // value to write, or the AND pattern
    int ORmask = 0;
    bool MaskIt = false;
    bool UseFC16_for_single_write = false;
    bool ReadExp = false;

    bool pending() const { return WriteSingleHoldAddr != kNoOneOffRequest; }
    // Sent, or given up: nothing is pending any more.
    void drop()
    {
        WriteSingleHoldAddr = kNoOneOffRequest;
        ReadExp = false;
    }
};

// The frame of the pending request with transaction identifier `ti` and unit `uid`; the address
// (not sent by function 7) is `WriteSingleHoldAddr` - `offsetInUse`. Two-byte values are the low
// 16 bits, high byte first: 65536 goes out as 0 and -1 as FFFF.
std::vector<uint8_t> OneOffFrame(const OneOffRequest& request, uint16_t ti, uint8_t uid, int offsetInUse);
// After the frame is built (or dropped while not connected): nothing pending, no status read.
OneOffRequest OneOffSent(OneOffRequest request);

// Field rules, run on every change of a field's text.
struct OneOffFieldCheck {
    bool erase = false;            // the field is emptied
    const char* message = nullptr; // shown before erasing; nullptr: silently
    bool dontFlash = false;        // the message box must not make the client's windows blink
};
// `Edit3`: an address that is not a whole number 0..65535 is erased without a message.
OneOffFieldCheck CheckOneOffAddress(std::string_view text);
// `Edit1`: hex digits in mask mode, a whole number in write mode; nothing in status mode.
OneOffFieldCheck CheckOneOffValue(OneOffMode mode, std::string_view text);
// `Edit2`: hex digits.
OneOffFieldCheck CheckOneOffOr(std::string_view text);

// `Timer2`: Apply is enabled with an address and a value or OR pattern, always for the status read.
bool OneOffApplyEnabled(OneOffMode mode, std::string_view address, std::string_view value, std::string_view orText);

struct OneOffApply {
    const char* message = nullptr; // refused with this message box; the request is unchanged
    OneOffRequest request;         // the new pending request
    bool startStatusTimer = false; // status read: `Timer1` starts and the field shows kExceptionStatusWaiting
};
// Apply (`Button2Click`). Throws ConversionError when the address is not a number (the window
// shows it in an error box, as for any conversion failure a handler does not catch).
OneOffApply ApplyOneOff(OneOffMode mode, bool connected, const OneOffRequest& current, std::string_view address,
                        std::string_view value, std::string_view orText);

// The exception-status field after a good reply: "0x" and the status byte ("0x5A").
std::string ExceptionStatusText(uint8_t status);

} // namespace korvel
