// Checks of one request before it is executed, and the texts that report them.
#pragma once

#include "common/frame.h"

#include <array>
#include <cstdint>
#include <string>

namespace korvel {

enum HeaderCheckCode {
    kCheckNone = 0, // "--": also the placeholder where no value is shown
    kCheckBadProtocol = 1,
    kCheckLengthHigh = 2,
    kCheckBadLength = 3,
    kCheckIllegalFunction = 4,
    kCheckIllegalUid = 5,
    kCheckIllegalAddress = 6,
    kCheckIllegalAddressWrite = 7,
    kCheckIllegalAddressRead = 8,
    kCheckPassed = 9,
    kCheckFailed = 10,
};

const std::string& HeaderCheckText(int code);

// Which function codes are served, and to which unit identifier the server answers.
struct CheckSettings {
    // Whether each function of the protocol table is served, by its servedIndex.
    std::array<bool, kFunctionCount> servedFlags{true, true, true, true, true, true, true, true};
    bool uidAny = true;         // the UID selector's text is exactly "0"
    uint8_t uid = 0;            // the selector's number
    bool uidNone = false;       // the selector's text is no number 0..255: no unit identifier matches
    bool addressOffset = false; // register used = requested address + 1
    std::string uidText = "0";  // the selector's text as given ("00" stays "00")

    bool served(uint8_t fc) const;
    // Serves or stops serving a function code of the protocol table (others are ignored).
    void setServed(uint8_t fc, bool on);
    // Sets uidText, uidAny and uid from the UID selector's text ("0" = any unit identifier).
    void setUidSelectorText(const std::string& text);
};

struct CheckOutcome {
    bool passed = true;
    bool illegalFunction = false; // answered with exception 1
    bool illegalAddress = false;  // answered with exception 2
    bool noReply = false;         // unit identifier mismatch: nothing is sent
    bool headerError = false;     // failed, neither illegalFunction nor illegalAddress
    bool illegalValue = false;    // passed, but a read quantity above 126: answered with exception 3
    std::string text;             // the connection's check text, e.g. "--Illegal function. "
};

// Checks the first L bytes of `work` (the 513-byte work area). Pure: counting a UID mismatch in
// NoResponseCount and storing the text per connection is the caller's business.
CheckOutcome CheckRequest(const uint8_t* work, int L, const CheckSettings& settings);

} // namespace korvel
