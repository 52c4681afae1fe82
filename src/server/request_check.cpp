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
    switch (fc) {
    case kFcReadHolding:
        return fc3;
    case kFcReadInput:
        return fc4;
    case kFcWriteSingle:
        return fc6;
    case kFcReadExceptionStatus:
        return fc7;
    case kFcDiagnostics:
        return fc8;
    case kFcWriteMultiple:
        return fc16;
    case kFcMaskWrite:
        return fc22;
    case kFcReadWriteMultiple:
        return fc23;
    default:
        return false;
    }
}

void CheckSettings::setUidSelectorText(const std::string& text)
{
    // Only the exact text "0" means "any unit identifier"; "00" or " 0" name unit 0.
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

// Appends one failure to the check text: the text and ". ".
void AppendFailure(std::string& text, int code)
{
    text += HeaderCheckText(code);
    text += ". ";
}

constexpr int kAddressSpace = 65536;

} // namespace

CheckOutcome CheckRequest(const uint8_t* work, int L, const CheckSettings& settings)
{
    CheckOutcome out;
    out.text = HeaderCheckText(kCheckNone);
    bool failed = false;

    if (work[2] != 0 || work[3] != 0) {
        // A protocol identifier failure stands first and replaces the leading "--".
        out.text = HeaderCheckText(kCheckBadProtocol);
        out.text += ". ";
        failed = true;
    }
    if (work[4] != 0) {
        if (!failed) {
            out.text.clear();
        }
        AppendFailure(out.text, kCheckLengthHigh);
        failed = true;
    }
    if (work[5] != L - kMbapPrefix) {
        AppendFailure(out.text, kCheckBadLength);
        failed = true;
    }
    const uint8_t fc = work[7];
    if (!settings.served(fc)) {
        AppendFailure(out.text, kCheckIllegalFunction);
        out.illegalFunction = true;
        failed = true;
    }
    if (!settings.uidAny && (settings.uidNone || work[6] != settings.uid)) {
        AppendFailure(out.text, kCheckIllegalUid);
        out.noReply = true;
        failed = true;
    }

    if (!failed) {
        const int offset = settings.addressOffset ? 1 : 0;
        const int a = Word(work + 8) + offset;
        const int n = work[11]; // only the low byte of a quantity counts
        switch (fc) {
        case kFcReadHolding:
        case kFcReadInput:
        case kFcWriteMultiple:
            if (a + n > kAddressSpace) {
                AppendFailure(out.text, kCheckIllegalAddress);
                out.illegalAddress = true;
                failed = true;
            }
            break;
        case kFcWriteSingle:
        case kFcMaskWrite:
            if (a > kAddressSpace - 1) {
                AppendFailure(out.text, kCheckIllegalAddress);
                out.illegalAddress = true;
                failed = true;
            }
            break;
        case kFcReadWriteMultiple: {
            const int w = Word(work + 12) + offset;
            const int nw = work[15];
            const bool writeBad = w + nw > kAddressSpace;
            if (a + n > kAddressSpace || writeBad) {
                AppendFailure(out.text, writeBad ? kCheckIllegalAddressWrite : kCheckIllegalAddressRead);
                out.illegalAddress = true;
                failed = true;
            }
            break;
        }
        case kFcDiagnostics: {
            const uint8_t sub = work[9];
            const bool known = sub == 0 || sub == 2 || sub == 10 || sub == 13 || sub == 14 || sub == 15;
            if (work[8] != 0 || !known) {
                AppendFailure(out.text, kCheckIllegalFunction);
                out.illegalFunction = true;
                failed = true;
            }
            break;
        }
        default:
            break;
        }
        // Decided here: a read of more than 126 registers cannot be answered in one frame (its
        // byte count and length would wrap), so it passes the checks but is answered with
        // exception 3 (Illegal Data Value) and executes nothing.
        if (!failed && (fc == kFcReadHolding || fc == kFcReadInput || fc == kFcReadWriteMultiple) &&
            n > kMaxReadQuantity) {
            out.illegalValue = true;
        }
    }

    if (!failed) {
        out.text = HeaderCheckText(kCheckPassed);
    } else {
        out.passed = false;
        out.headerError = !out.illegalFunction && !out.illegalAddress;
    }
    return out;
}

} // namespace korvel
