#include "rules/register_view_rules.h"

#include "common/numeric.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace korvel {

namespace {

// The number a text names in the format, without the silent wrap of long hex texts: a hex text
// with more than 8 significant digits, or any text that does not convert, names nothing.
std::optional<int64_t> ReadNumber(std::string_view text, bool hex)
{
    if (!IsNumericOrHex(text, hex)) {
        return std::nullopt;
    }
    if (hex) {
        size_t first = text.find_first_not_of('0');
        if (first != std::string_view::npos && text.size() - first > 8) {
            return std::nullopt;
        }
        return static_cast<int64_t>(static_cast<uint32_t>(NumericOrHexToInt(text, true)));
    }
    try {
        return NumericOrHexToInt(text, false);
    } catch (const ConversionError&) {
        return std::nullopt; // beyond 32 bits
    }
}

uint16_t ByteSwap(uint16_t v)
{
    return static_cast<uint16_t>((v << 8) | (v >> 8));
}

} // namespace

std::string RWText(bool inputView, uint8_t flags)
{
    if (inputView) {
        switch (flags & 0x0C) {
        case 0x04:
            return "  R";
        case 0x08:
            return " *-";
        case 0x0C:
            return " *R";
        default:
            return "  -";
        }
    }
    const bool published = (flags & 0x10) != 0;
    const bool read = (flags & 0x01) != 0;
    const bool written = (flags & 0x02) != 0;
    std::string text = published ? "*" : " ";
    text += read ? "R" : "-";
    text += "/";
    text += written ? "W" : "-";
    return text;
}

std::string StartAddressItem(int index, bool hex)
{
    return NumberText(index * kStartAddressStep, hex);
}

StartAddressOutcome StartAddressChange(std::string_view text, bool hex)
{
    StartAddressOutcome out;
    if (text.empty()) {
        return out;
    }
    if (!IsNumericOrHex(text, hex)) {
        out.kind = StartAddressOutcome::Invalid;
        return out;
    }
    int64_t value = 0;
    if (hex) {
        // Read as the 32-bit word it is: FFFFFFF6 is -10 and ends at 0.
        value = NumericOrHexToInt(text, true);
    } else {
        try {
            value = NumericOrHexToInt(text, false);
        } catch (const ConversionError&) {
            // A number beyond 32 bits: limited like any other number outside the range.
            value = text.find('-') != std::string_view::npos ? 0 : kHighestStartAddress;
        }
    }
    out.kind = StartAddressOutcome::Accepted;
    out.address = static_cast<int>(ClampRange(value, 0, kHighestStartAddress));
    out.text = hex ? HexText(out.address, static_cast<int>(text.size())) : DecText(out.address);
    return out;
}

std::string WheelText(std::string_view boxText, bool hex, bool down)
{
    const int64_t current = NumericOrHexToInt(boxText, hex);
    const int64_t next = current + (down ? kStartAddressStep : -kStartAddressStep);
    return hex ? HexText(static_cast<int32_t>(next), 4) : DecText(next);
}

std::string MiddleButtonText(std::string_view boxText, bool hex, bool shift)
{
    const int64_t current = NumericOrHexToInt(boxText, hex);
    if (shift) {
        const int64_t next = current - 1000;
        return next < 0 ? std::string("0") : NumberText(static_cast<int32_t>(next), hex);
    }
    const int64_t next = current + 1000;
    if (next > 65515) {
        return hex ? std::string("FFE6") : std::string("65510");
    }
    return NumberText(static_cast<int32_t>(next), hex);
}

std::optional<int> AcceptLabel(std::string_view text, bool hex)
{
    if (text.empty() || text.size() > (hex ? 4u : 5u)) {
        return std::nullopt;
    }
    return LabelRegister(text, hex);
}

std::optional<int> LabelRegister(std::string_view text, bool hex)
{
    const std::optional<int64_t> n = ReadNumber(text, hex);
    if (!n || *n < 0 || *n > 65535) {
        return std::nullopt;
    }
    return static_cast<int>(*n);
}

std::string ConvertLabel(std::string_view label, bool toHex)
{
    const std::optional<int> n = LabelRegister(label, !toHex);
    if (!n) {
        return std::string(label);
    }
    return NumberText(*n, toHex);
}

std::optional<uint16_t> AcceptValue(std::string_view text, bool hex)
{
    const std::optional<int64_t> n = ReadNumber(text, hex);
    if (!n || *n < 0 || *n > 65535) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(*n);
}

uint32_t CombineRegisters(uint16_t a, uint16_t b, int byteOrder)
{
    switch (byteOrder) {
    case 0:
        return (static_cast<uint32_t>(ByteSwap(b)) << 16) | ByteSwap(a);
    case 1:
        return (static_cast<uint32_t>(b) << 16) | a;
    case 2:
        return (static_cast<uint32_t>(ByteSwap(a)) << 16) | ByteSwap(b);
    default:
        return (static_cast<uint32_t>(a) << 16) | b;
    }
}

double DWordToFloat(uint32_t u)
{
    const bool negative = (u >> 31) != 0;
    const int exponent = static_cast<int>((u >> 23) & 0xFF);
    const uint32_t mantissa = u & 0x7FFFFF;
    const double magnitude = std::ldexp(1.0 + static_cast<double>(mantissa) / 8388608.0, exponent - 127);
    return negative ? -magnitude : magnitude;
}

std::string FloatText(double value, std::string_view decimalPoint)
{
    constexpr int kPrecision = 9; // significant digits
    constexpr int kDecimals = 3;
    char buffer[64];
    // Rounded to 9 significant digits first: the exponent of that decides the form.
    std::snprintf(buffer, sizeof buffer, "%.*e", kPrecision - 1, value);
    std::string scientific = buffer;
    const size_t ePos = scientific.find('e');
    const int exponent = std::atoi(scientific.c_str() + ePos + 1);
    std::string text;
    if (exponent >= kPrecision) {
        // Too many integer digits: mantissa with its trailing zeros dropped, then E+dd.
        std::string mantissa = scientific.substr(0, ePos);
        while (!mantissa.empty() && mantissa.back() == '0') {
            mantissa.pop_back();
        }
        if (!mantissa.empty() && mantissa.back() == '.') {
            mantissa.pop_back();
        }
        std::snprintf(buffer, sizeof buffer, "E+%02d", exponent);
        text = mantissa + buffer;
    } else {
        // Decimals the 9 significant digits leave, filled up with zeros to three.
        const int decimals = exponent < 0 ? kDecimals : std::min(kDecimals, kPrecision - 1 - exponent);
        std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
        text = buffer;
        if (decimals == 0) {
            text += '.';
        }
        text.append(static_cast<size_t>(kDecimals - decimals), '0');
        if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos) {
            text.erase(0, 1); // a tiny negative value rounds to 0.000, not -0.000
        }
    }
    const size_t point = text.find('.');
    if (point != std::string::npos) {
        text.replace(point, 1, decimalPoint);
    }
    return text;
}

std::string ValueText(int32_t value, bool hex, int minDigits)
{
    return hex ? HexText(value, minDigits) : DecText(value);
}

} // namespace korvel
