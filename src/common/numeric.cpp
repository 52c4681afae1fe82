#include "common/numeric.h"

#include <cstdio>
#include <limits>

namespace korvel {

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

int HexDigitValue(char ch)
{
    if (ch >= '0' && ch <= '9') {
        return ch - '0';
    }
    if (ch >= 'A' && ch <= 'F') {
        return ch - 'A' + 10;
    }
    if (ch >= 'a' && ch <= 'f') {
        return ch - 'a' + 10;
    }
    return -1;
}

// A signed integer literal: leading blanks, optional sign, decimal digits or a hex literal
// ("$", "x", "X", "0x", "0X" and hex digits), nothing after it. The value is returned when it lies
// in [minimum, maximum]; anything else (including an overflow on the way) gives false.
bool ParseIntegerLiteral(std::string_view text, int64_t minimum, int64_t maximum, int64_t& value)
{
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size()) {
        return false; // no digits
    }
    // The magnitude is collected unsigned; the largest allowed one is |minimum| for a negative
    // literal (the 2^63 of INT64_MIN does not fit a positive int64_t).
    const uint64_t limit = negative ? static_cast<uint64_t>(-(minimum + 1)) + 1 : static_cast<uint64_t>(maximum);
    uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const int digit = HexDigitValue(text[i]);
        if (digit < 0 || digit >= base) {
            return false;
        }
        if (magnitude > (limit - static_cast<uint64_t>(digit)) / static_cast<uint64_t>(base)) {
            return false; // out of range
        }
        magnitude = magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    }
    if (negative) {
        value = magnitude == 0 ? 0 : -static_cast<int64_t>(magnitude - 1) - 1;
        return value >= minimum;
    }
    value = static_cast<int64_t>(magnitude);
    return value <= maximum;
}

} // namespace

bool IsNumericOrHex(std::string_view strtocheck, bool HexAllowed)
{
    if (strtocheck.empty()) {
        return false;
    }
    if (HexAllowed) {
        for (char ch : strtocheck) {
            if (HexDigitValue(ch) < 0) {
                return false;
            }
        }
        return true;
    }
    int64_t value = 0;
    return ParseIntegerLiteral(strtocheck, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(),
                               value);
}

int32_t NumericOrHexToInt(std::string_view text, bool isHex)
{
    if (isHex) {
        // Digit by digit into a 32-bit accumulator that wraps like the machine word does.
        uint32_t accumulator = 0;
        for (char ch : text) {
            const int digit = HexDigitValue(ch);
            if (digit < 0) {
                throw ConversionError("No Hex-Number");
            }
            accumulator = accumulator * 16u + static_cast<uint32_t>(digit);
        }
        return static_cast<int32_t>(accumulator);
    }
    int64_t value = 0;
    if (!ParseIntegerLiteral(text, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), value)) {
        throw ConversionError("'" + QuotedExcerpt(text) + "' is not a valid integer value");
    }
    return static_cast<int32_t>(value);
}

std::string QuotedExcerpt(std::string_view text, size_t limit)
{
    std::string out;
    size_t i = 0;
    for (; i < text.size() && out.size() < limit; ++i) {
        const auto ch = static_cast<unsigned char>(text[i]);
        if (ch < 0x20 || ch == 0x7F) {
            out += "\\x";
            out += kDigits[ch >> 4];
            out += kDigits[ch & 0xF];
        } else {
            out += static_cast<char>(ch);
        }
    }
    if (i == text.size())
        return out;
    // Not inside a UTF-8 sequence: its continuation bytes go with the cut.
    while (!out.empty() && (static_cast<unsigned char>(out.back()) & 0xC0) == 0x80)
        out.pop_back();
    if (!out.empty() && static_cast<unsigned char>(out.back()) >= 0xC0)
        out.pop_back();
    return out + "... (" + std::to_string(text.size()) + " bytes)";
}

std::string HexText(int32_t value, int minDigits)
{
    // A negative value shows all 8 digits of its two's complement.
    char buffer[16];
    const int digits = minDigits < 1 ? 1 : (minDigits > 14 ? 14 : minDigits);
    std::snprintf(buffer, sizeof buffer, "%0*X", digits, static_cast<unsigned>(static_cast<uint32_t>(value)));
    return buffer;
}

std::string DecText(int64_t value)
{
    return std::to_string(value);
}

std::string Hex2(uint8_t byte)
{
    return std::string{kDigits[byte >> 4], kDigits[byte & 0x0F]};
}

} // namespace korvel
