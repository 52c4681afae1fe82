#include "master/one_off_requests.h"

#include "common/frame.h"
#include "common/modbus_protocol.h"
#include "common/numeric.h"
#include "master/poll_lists.h"

namespace korvel {

namespace {

constexpr OneOffModeTexts kWriteTexts{"Write single register [FC6]", "Write", "Write value", "Value", "Value to write",
                                      "Register to write",           false,   true};
constexpr OneOffModeTexts kMaskTexts{
    "Mask write register [FC22]", "Mask", "Mask value", "AND (Hex)", "AND pattern of masking",
    "Register to mask",           true,   false};
constexpr OneOffModeTexts kStatusTexts{"Read exception status [FC7]",
                                       "Query",
                                       "Read exception status",
                                       "Status",
                                       "Status received",
                                       nullptr,
                                       false,
                                       false};

void PutWord(std::vector<uint8_t>& frame, int value)
{
    frame.resize(frame.size() + 2);
    korvel::PutWord(frame.data() + frame.size() - 2, value);
}

bool WholeNumber(std::string_view text)
{
    if (!IsNumericOrHex(text, false)) {
        return false;
    }
    try {
        NumericOrHexToInt(text, false);
        return true;
    } catch (const ConversionError&) {
        return false; // a 64-bit literal beyond 32 bits
    }
}

// An empty field is left alone: erasing it again would only repeat the message.
OneOffFieldCheck HexField(std::string_view text)
{
    if (text.empty() || IsNumericOrHex(text, true)) {
        return {};
    }
    return {true, kOneOffHexOnly, false};
}

} // namespace

const OneOffModeTexts& ModeTexts(OneOffMode mode)
{
    switch (mode) {
    case OneOffMode::MaskWrite:
        return kMaskTexts;
    case OneOffMode::ReadExceptionStatus:
        return kStatusTexts;
    case OneOffMode::WriteSingle:
        break;
    }
    return kWriteTexts;
}

std::vector<uint8_t> OneOffFrame(const OneOffRequest& request, uint16_t ti, uint8_t uid, int offsetInUse)
{
    std::vector<uint8_t> frame;
    PutWord(frame, ti);
    PutWord(frame, 0);
    PutWord(frame, 0); // the length, set below
    frame.push_back(uid);
    if (request.ReadExp) {
        frame.push_back(kFcReadExceptionStatus);
    } else {
        frame.push_back(request.MaskIt ? kFcMaskWrite
                                       : (request.UseFC16_for_single_write ? kFcWriteMultiple : kFcWriteSingle));
        PutWord(frame, request.WriteSingleHoldAddr - offsetInUse);
        if (request.MaskIt) {
            PutWord(frame, request.WriteSingleHoldValue);
            PutWord(frame, request.ORmask);
        } else if (request.UseFC16_for_single_write) {
            PutWord(frame, 1);
            frame.push_back(2);
            PutWord(frame, request.WriteSingleHoldValue);
        } else {
            PutWord(frame, request.WriteSingleHoldValue);
        }
    }
    frame[5] = static_cast<uint8_t>(frame.size() - kMbapPrefix);
    return frame;
}

OneOffRequest OneOffSent(OneOffRequest request)
{
    request.WriteSingleHoldAddr = kNoOneOffRequest;
    request.ReadExp = false;
    return request;
}

OneOffFieldCheck CheckOneOffAddress(std::string_view text)
{
    if (text.empty()) {
        return {};
    }
    if (WholeNumber(text)) {
        const int32_t address = NumericOrHexToInt(text, false);
        if (address >= 0 && address <= 65535) {
            return {};
        }
    }
    return {true, nullptr, false};
}

OneOffFieldCheck CheckOneOffValue(OneOffMode mode, std::string_view text)
{
    switch (mode) {
    case OneOffMode::ReadExceptionStatus:
        return {};
    case OneOffMode::MaskWrite:
        return HexField(text);
    case OneOffMode::WriteSingle:
        break;
    }
    if (text.empty() || WholeNumber(text)) {
        return {};
    }
    return {true, kDigitsPleaseText, true};
}

OneOffFieldCheck CheckOneOffOr(std::string_view text)
{
    return HexField(text);
}

bool OneOffApplyEnabled(OneOffMode mode, std::string_view address, std::string_view value, std::string_view orText)
{
    if (mode == OneOffMode::ReadExceptionStatus) {
        return true;
    }
    return !address.empty() && (!value.empty() || !orText.empty());
}

OneOffApply ApplyOneOff(OneOffMode mode, bool connected, const OneOffRequest& current, std::string_view address,
                        std::string_view value, std::string_view orText)
{
    OneOffApply result;
    result.request = current;
    if (!connected) {
        result.message = kOneOffNotConnected;
        return result;
    }
    OneOffRequest& r = result.request;
    if (mode == OneOffMode::ReadExceptionStatus) {
        r.ReadExp = true;
        r.WriteSingleHoldAddr = kExceptionStatusMark;
        result.startStatusTimer = true;
        return result;
    }
    r.MaskIt = mode == OneOffMode::MaskWrite;
    if (r.MaskIt) {
        r.ORmask = NumericOrHexToInt(orText, true);
        r.WriteSingleHoldValue = NumericOrHexToInt(value, true);
    } else {
        if (!WholeNumber(value)) {
            result.message = kOneOffEnterValue;
            result.request = current;
            return result;
        }
        r.WriteSingleHoldValue = NumericOrHexToInt(value, false);
    }
    r.WriteSingleHoldAddr = NumericOrHexToInt(address, false);
    return result;
}

std::string ExceptionStatusText(uint8_t status)
{
    return "0x" + Hex2(status);
}

} // namespace korvel
