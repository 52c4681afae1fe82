#include "server/request_check.h"

#include "common/numeric.h"

namespace korvel {

const std::string& HeaderCheckText(int code)
{
    static const std::string kTexts[] = {
        "--",
        "Bad protocol identifier",
        "Length field, illegal upper byte",
        "Bad message length",
        "Illegal function",
        "Illegal UID",
        "Illegal data address",
        "Illegal data address for write",
        "Illegal data address for read",
        "Passed",
        "Failed",
    };
    if (code < kCheckNone || code > kCheckFailed) {
        return kTexts[kCheckNone];
    }
    return kTexts[code];
}

bool CheckSettings::served(uint8_t fc) const
{
    const FunctionInfo* row = FindFunction(fc);
    return row != nullptr && servedFlags[row->servedIndex];
}

void CheckSettings::setServed(uint8_t fc, bool on)
{
    if (const FunctionInfo* row = FindFunction(fc))
        servedFlags[row->servedIndex] = on;
}

void CheckSettings::setUidSelectorText(const std::string& text)
{
    // Only the exact text "0" means "any unit identifier"; "00" or " 0" name unit 0.
    uidText = text;
    uidAny = text == "0";
    uid = 0;
    uidNone = false;
    if (uidAny) {
        return;
    }
    if (!IsNumericOrHex(text, false)) {
        uidNone = true;
        return;
    }
    int32_t value = 0;
    try {
        value = NumericOrHexToInt(text, false);
    } catch (const ConversionError&) {
        uidNone = true;
        return;
    }
    if (value < 0 || value > 255) {
        uidNone = true;
        return;
    }
    uid = static_cast<uint8_t>(value);
}

namespace {

constexpr int kAddressSpace = 65536;

// The check text, built only when a check fails (a passing request just gets "Passed").
struct CheckText {
    std::string& text;
    bool failed = false;

    void fail(int code)
    {
        if (code == kCheckBadProtocol) {
            text = HeaderCheckText(kCheckBadProtocol); // replaces whatever stood before
        } else if (code == kCheckLengthHigh) {
            if (!failed) {
                text.clear(); // no leading "--" when this is the first failure
            }
            text += HeaderCheckText(code);
        } else {
            if (!failed) {
                text = HeaderCheckText(kCheckNone);
            }
            text += HeaderCheckText(code);
        }
        text += ". ";
        failed = true;
    }
};

} // namespace

CheckOutcome CheckRequest(const uint8_t* work, int L, const CheckSettings& settings)
{
    CheckOutcome out;
    CheckText check{out.text};

    if (work[2] != 0 || work[3] != 0) {
        check.fail(kCheckBadProtocol);
    }
    if (work[4] != 0) {
        check.fail(kCheckLengthHigh);
    }
    if (work[5] != L - kMbapPrefix) {
        check.fail(kCheckBadLength);
    }
    const uint8_t fc = work[7];
    if (!settings.served(fc)) {
        check.fail(kCheckIllegalFunction);
        out.illegalFunction = true;
    }
    if (!settings.uidAny && (settings.uidNone || work[6] != settings.uid)) {
        check.fail(kCheckIllegalUid);
        out.noReply = true;
    }

    if (!check.failed) {
        const int offset = settings.addressOffset ? 1 : 0;
        const int a = Word(work + 8) + offset;
        const int n = work[11]; // only the low byte of a quantity counts
        switch (fc) {
        case kFcReadHolding:
        case kFcReadInput:
        case kFcWriteMultiple:
            if (a + n > kAddressSpace) {
                check.fail(kCheckIllegalAddress);
                out.illegalAddress = true;
            }
            break;
        case kFcWriteSingle:
        case kFcMaskWrite:
            if (a > kAddressSpace - 1) {
                check.fail(kCheckIllegalAddress);
                out.illegalAddress = true;
            }
            break;
        case kFcReadWriteMultiple: {
            const int w = Word(work + 12) + offset;
            const int nw = work[15];
            const bool writeBad = w + nw > kAddressSpace;
            if (a + n > kAddressSpace || writeBad) {
                check.fail(writeBad ? kCheckIllegalAddressWrite : kCheckIllegalAddressRead);
                out.illegalAddress = true;
            }
            break;
        }
        case kFcDiagnostics: {
            const uint8_t sub = work[9];
            const bool known = FindSubFunction(sub) != nullptr;
            if (work[8] != 0 || !known) {
                check.fail(kCheckIllegalFunction);
                out.illegalFunction = true;
            }
            break;
        }
        default:
            break;
        }
        // Decided here: a read of more than 126 registers cannot be answered in one frame (its
        // byte count and length would wrap), so it passes the checks but is answered with
        // exception 3 (Illegal Data Value) and executes nothing.
        const FunctionInfo* row = FindFunction(fc);
        if (!check.failed && row != nullptr && row->maxReadQuantity > 0 && n > row->maxReadQuantity) {
            out.illegalValue = true;
        }
    }

    if (!check.failed) {
        out.text = "Passed"; // HeaderCheckText(kCheckPassed), without the table look-up
    } else {
        out.passed = false;
        out.headerError = !out.illegalFunction && !out.illegalAddress;
    }
    return out;
}

} // namespace korvel
