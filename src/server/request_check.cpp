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

// Whether `count` registers from `first` (the offset included) lie inside the address space.
bool RangeFits(int first, int count)
{
    return first + count <= kAddressSpace;
}

// The address check of a served request, by the layout of its row: a start and a quantity must
// fit, a single address must exist, a read/write must fit both ways (the write range is named
// when it is the one that does not fit), an FC8 sub-function must be one the server answers.
void CheckAddresses(const uint8_t* work, const FunctionInfo& row, int offset, CheckText& check, CheckOutcome& out)
{
    const int a = Word(work + 8) + offset;
    const int n = work[11];
    switch (row.request) {
    case RequestLayout::AddressQuantity:
    case RequestLayout::AddressQuantityBytes:
        if (!RangeFits(a, n)) {
            check.fail(kCheckIllegalAddress);
            out.illegalAddress = true;
        }
        break;
    case RequestLayout::AddressValue:
    case RequestLayout::AddressMasks:
        if (!RangeFits(a, 1)) {
            check.fail(kCheckIllegalAddress);
            out.illegalAddress = true;
        }
        break;
    case RequestLayout::ReadWrite: {
        const bool writeBad = !RangeFits(Word(work + 12) + offset, work[15]);
        if (!RangeFits(a, n) || writeBad) {
            check.fail(writeBad ? kCheckIllegalAddressWrite : kCheckIllegalAddressRead);
            out.illegalAddress = true;
        }
        break;
    }
    case RequestLayout::SubFunction:
        if (work[8] != 0 || FindSubFunction(work[9]) == nullptr) {
            check.fail(kCheckIllegalFunction);
            out.illegalFunction = true;
        }
        break;
    case RequestLayout::Nothing:
        break;
    }
}

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
        const FunctionInfo* row = FindFunction(fc); // served, so the table has it
        const int n = work[11];                     // only the low byte of a quantity counts
        CheckAddresses(work, *row, settings.addressOffset ? 1 : 0, check, out);
        // Decided here: a read of more than 126 registers cannot be answered in one frame (its
        // byte count and length would wrap), so it passes the checks but is answered with
        // exception 3 (Illegal Data Value) and executes nothing.
        if (!check.failed && row->maxReadQuantity > 0 && n > row->maxReadQuantity) {
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
