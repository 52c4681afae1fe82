#include "master/scanner_rules.h"

#include "common/frame.h"
#include "common/modbus_protocol.h"
#include "common/numeric.h"
#include "common/winsock_texts.h"

#include <optional>

namespace korvel {

namespace {

// The look at the socket found nothing yet (WSAEWOULDBLOCK): not worth a message.
// Exception replies carry the function code with its high bit set.
// Shortest frames that carry what the scanner reads: function code at 7, exception code at 8,
// register value at 9-10.
constexpr int kFrameWithFunction = 8;
constexpr int kFrameWithException = 9;
constexpr int kFrameWithValue = 11;

std::optional<int32_t> Integer(std::string_view text)
{
    try {
        return NumericOrHexToInt(text, false);
    } catch (const ConversionError&) {
        return std::nullopt;
    }
}

ScanStartCheck Fail(const char* message, ScanField field, bool selectText = true)
{
    ScanStartCheck check;
    check.message = message;
    check.field = field;
    check.selectText = selectText;
    return check;
}

} // namespace

ScanStartCheck CheckScanStart(const ScanStartFields& fields)
{
    const std::optional<int32_t> from = Integer(fields.from);
    if (!from) {
        return Fail(kScanCheckStartingValue, ScanField::From);
    }
    const std::optional<int32_t> to = Integer(fields.to);
    if (!to) {
        return Fail(kScanCheckEndValue, ScanField::To);
    }
    const std::optional<int32_t> timeout = Integer(fields.timeout);
    if (!timeout) {
        return Fail(kScanCheckTimeoutValue, ScanField::Timeout);
    }
    if (*from > *to) {
        return Fail(kScanCheckStartAboveEnd, ScanField::To, false);
    }
    if (*from > kScanAddressMax) {
        return Fail(kScanCheckStartTooHigh, ScanField::From);
    }
    if (*to > kScanAddressMax) {
        return Fail(kScanCheckEndTooHigh, ScanField::To);
    }
    if (*from < 0) {
        return Fail(kScanCheckStartNegative, ScanField::From);
    }
    // Kept in its place for completeness: a negative end always fails an earlier check.
    if (*to < 0) {
        return Fail(kScanCheckEndNegative, ScanField::To);
    }
    if (*timeout < kScanTimeoutMin) {
        return Fail(kScanCheckTimeoutTooLow, ScanField::Timeout);
    }
    if (fields.useOffset && *from == 0) {
        return Fail(kScanCheckStartBelowOne, ScanField::From);
    }
    ScanStartCheck check;
    check.from = *from;
    check.to = *to;
    check.timeout = *timeout;
    return check;
}

ScanTimeoutField ScanTimeoutFieldLeft(std::string_view text)
{
    const std::optional<int32_t> value = Integer(text);
    if (value && *value >= kScanTimeoutMin && *value <= kScanTimeoutMax) {
        return {nullptr, *value, std::string(text)};
    }
    return {kScanTimeoutRange, kScanTimeoutDefault, DecText(kScanTimeoutDefault)};
}

std::string ScanToTextAfterFromArrows(std::string_view fromText, std::string_view toText)
{
    const std::optional<int32_t> from = Integer(fromText);
    const std::optional<int32_t> to = Integer(toText);
    if (from && to && *to < *from) {
        return std::string(fromText);
    }
    return std::string(toText);
}

std::array<uint8_t, kScanRequestLength> ScanRequest(int scanAddress, uint8_t uid, bool holding, bool useOffset)
{
    const auto ti = static_cast<uint16_t>(scanAddress);
    const auto address = static_cast<uint16_t>(useOffset ? scanAddress - 1 : scanAddress);
    return {static_cast<uint8_t>(ti >> 8),
            static_cast<uint8_t>(ti),
            0,
            0,
            0,
            kScanRequestLength - kMbapPrefix,
            uid,
            holding ? kFcReadHolding : kFcReadInput,
            static_cast<uint8_t>(address >> 8),
            static_cast<uint8_t>(address),
            0,
            1};
}

ScanPeek ExamineScanReply(const uint8_t* bytes, int peeked, int errorCode)
{
    const int looked = peeked > kAreaSize ? kAreaSize : peeked;
    // Protocol identifier and length high byte, as far as they arrived.
    for (int i = 2; i <= 4 && i < looked; ++i) {
        if (bytes[i] != 0) {
            return {ScanPeekKind::Invalid, 0, 0};
        }
    }
    if (looked < kMinPeekForFrame) {
        if (peeked < 0 && errorCode != 0 && errorCode != kWsaWouldBlock) {
            return {ScanPeekKind::SocketError, 0, errorCode};
        }
        return {ScanPeekKind::Wait, 0, 0};
    }
    const int length = kMbapPrefix + bytes[5];
    if (looked < length) {
        return {ScanPeekKind::Wait, 0, 0};
    }
    return {ScanPeekKind::Frame, length, 0};
}

ScanReply ReadScanReply(const uint8_t* frame, int length)
{
    ScanReply reply;
    if (length < kFrameWithFunction) {
        return reply;
    }
    reply.registerNumber = Word(frame);
    const uint8_t function = frame[7];
    if ((function == kFcReadHolding || function == kFcReadInput) && length >= kFrameWithValue) {
        reply.kind = ScanReplyKind::Value;
        reply.value = Word(frame + 9);
    } else if ((function == (kFcReadHolding | kExceptionBit) || function == (kFcReadInput | kExceptionBit)) &&
               length >= kFrameWithException) {
        reply.kind = ScanReplyKind::Exception;
        reply.exceptionCode = frame[8];
    }
    return reply;
}

std::string ScanExceptionText(uint8_t exceptionCode)
{
    // The scanner names the exceptions of the protocol table in sentence case.
    const char* name = ExceptionName(exceptionCode);
    if (name == nullptr) {
        return kScanUnknownException;
    }
    std::string text(name);
    for (size_t i = 1; i < text.size(); ++i) {
        if (text[i] >= 'A' && text[i] <= 'Z') {
            text[i] = static_cast<char>(text[i] - 'A' + 'a');
        }
    }
    return text;
}

std::string ScanValueLine(uint16_t registerNumber, uint16_t value)
{
    return "Register " + DecText(registerNumber) + ", value: " + DecText(value) + ", Poll: OK";
}

std::string ScanExceptionLine(uint16_t registerNumber, uint8_t exceptionCode)
{
    return "Register " + DecText(registerNumber) + ", " + ScanExceptionText(exceptionCode);
}

std::string ScanTimeoutLine(int address)
{
    return "Register " + DecText(address) + ", Timeout";
}

std::string ScanningStatusText(int count, bool holding)
{
    return "Scanning " + DecText(count) + (holding ? " holding registers.." : " input registers..");
}

std::string ScanSummaryText(int count, uint32_t elapsedMs, int succeeded, int failed)
{
    std::string duration;
    if (elapsedMs < 1000) {
        duration = DecText(elapsedMs) + " ms";
    } else if (elapsedMs < 60000) {
        duration = DecText(elapsedMs / 1000) + "s " + DecText(elapsedMs % 1000) + "ms";
    } else {
        const uint32_t minutes = elapsedMs / 60000;
        duration = DecText(minutes) + "m " + DecText((elapsedMs - minutes * 60000) / 1000) + "s " +
                   DecText(elapsedMs % 1000) + "ms";
    }
    return DecText(count) + " registers scanned, total duration " + duration + ". " + DecText(succeeded) +
           " times succeeded, " + DecText(failed) + " times failed.";
}

std::string ScanSocketErrorText(int errorCode)
{
    return kScanSocketErrorPrefix + DecText(errorCode);
}

ScanPollStep ScanSession::start(int from, int to, uint32_t now, const ScanSettings& settings)
{
    from_ = from;
    to_ = to;
    scanAddress_ = from;
    scanSucceeded_ = 0;
    scanFailed_ = 0;
    scanRunning_ = true;
    completed_ = false;
    scanStartTick_ = now;
    return pollStep(false, now, settings);
}

ScanPollStep ScanSession::pollStep(bool byTimeout, uint32_t now, const ScanSettings& settings)
{
    ScanPollStep step;
    if (!scanRunning_) {
        return step;
    }
    step.ran = true;
    if (byTimeout) {
        ++scanFailed_;
        step.timeoutLine = ScanTimeoutLine(scanAddress_ - 1);
    }
    if (scanAddress_ > settings.to) {
        step.completed = true;
        step.summary = ScanSummaryText(settings.to - from_ + 1, now - scanStartTick_, scanSucceeded_, scanFailed_);
        step.progress = from_; // Stop puts the bar back to its start
        completed_ = true;
        stop();
        return step;
    }
    step.send = true;
    step.request = ScanRequest(scanAddress_, settings.uid, settings.holding, settings.useOffset);
    ++scanAddress_;
    step.progress = scanAddress_ > to_ ? to_ : scanAddress_;
    return step;
}

ScanReplyStep ScanSession::reply(const uint8_t* frame, int length, uint32_t now, const ScanSettings& settings)
{
    ScanReplyStep step;
    const ScanReply reply = ReadScanReply(frame, length);
    switch (reply.kind) {
    case ScanReplyKind::Value:
        ++scanSucceeded_;
        if (!settings.listFailedOnly) {
            step.line = ScanValueLine(reply.registerNumber, reply.value);
            step.copy = settings.copyValue;
            step.copyToHolding = settings.holding;
            step.registerNumber = reply.registerNumber;
            step.value = reply.value;
        }
        break;
    case ScanReplyKind::Exception:
        ++scanFailed_;
        step.widenList = true;
        step.line = ScanExceptionLine(reply.registerNumber, reply.exceptionCode);
        break;
    case ScanReplyKind::Ignored:
        break;
    }
    step.next = pollStep(false, now, settings);
    return step;
}

} // namespace korvel
