// Shared text and number helpers used by nearly every input field of the program.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace korvel {

// A text that does not convert to a number. what() is the text shown in the error box.
class ConversionError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// HexAllowed false: a whole, well-formed signed integer literal (leading blanks, optional sign,
// decimal digits or a hex literal with "$", "x", "X", "0x" or "0X"; fits in 64 bits; no trailing
// blank). HexAllowed true: only the characters 0-9, A-F (either case). Empty text: false.
bool IsNumericOrHex(std::string_view strtocheck, bool HexAllowed);

// isHex false: text to signed 32-bit integer (leading blanks, optional sign, decimal digits or a
// hex literal with a prefix); throws ConversionError naming the text on any failure.
// isHex true: the text is read digit by digit into a silently wrapping 32-bit accumulator
// ("FFFFFFF6" reads as -10, "" as 0); any other character throws ConversionError("No Hex-Number").
int32_t NumericOrHexToInt(std::string_view text, bool isHex);

// A text from a file or a peer as a message may quote it: control bytes (and DEL) as \xNN, cut
// after about `limit` characters with "..." and the text's whole length in bytes.
std::string QuotedExcerpt(std::string_view text, size_t limit = 200);

// Upper-case hexadecimal, at least `minDigits` digits, zero-filled on the left; a negative value
// renders as its 8-digit two's complement (-10 -> "FFFFFFF6").
std::string HexText(int32_t value, int minDigits = 4);

// Plain signed decimal without leading zeros.
std::string DecText(int64_t value);

// One byte as two upper-case hexadecimal digits.
std::string Hex2(uint8_t byte);

// A register number or value in the chosen format: hex (4+ digits) or decimal.
inline std::string NumberText(int32_t value, bool hex)
{
    return hex ? HexText(value) : DecText(value);
}

// Limits value to [minimum, maximum].
constexpr int64_t ClampRange(int64_t value, int64_t minimum, int64_t maximum)
{
    return value < minimum ? minimum : (value > maximum ? maximum : value);
}

} // namespace korvel
