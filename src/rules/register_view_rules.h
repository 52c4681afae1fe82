// Rules of the register list and the set-value dialog, as pure functions: the R/W column texts,
// the start-address box (typing, scrolling), label checks and conversions, value checks, and the
// 32-bit representation of a register pair. No widgets, no Qt.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvel {

constexpr int kVisibleRows = 26;            // data rows of the register list
constexpr int kHighestStartAddress = 65510; // 65535 - 25: the whole window stays inside a table
constexpr int kStartAddressStep = 10;       // list items and wheel step of the start-address box

// The R/W column text of one row: the usage flags of its register, read for the input view
// (client read, published) or the holding view (published, client read, client write).
std::string RWText(bool inputView, uint8_t flags);

// Items of the start-address box: 0, 10, 20, ... up to and including `last`, in the format.
// Start-up fills it up to 65510, every format toggle up to 65500.
std::string StartAddressItem(int index, bool hex);
constexpr int StartAddressItemCount(int last)
{
    return last / kStartAddressStep + 1;
}

// What a new text of the start-address box leads to.
struct StartAddressOutcome {
    enum Kind { Empty, Invalid, Accepted } kind = Empty;
    int address = 0;  // Accepted: the first register shown, 0..65510
    std::string text; // Accepted: the box's new text
};
// Hex: the text read as hex, limited, rendered with as many digits as were typed (more if needed).
// Decimal: read as decimal, limited, rendered plainly. Invalid: not a number in the format (the
// caller reports it and puts row 1's label back).
StartAddressOutcome StartAddressChange(std::string_view text, bool hex);

// The box texts the scrolling commands produce from the current box text; the start-address
// change then runs on them. Decimal reading throws ConversionError for a text that is no number.
std::string WheelText(std::string_view boxText, bool hex, bool down);
std::string MiddleButtonText(std::string_view boxText, bool hex, bool shift);

// A typed row label: a number in the register-number format, not empty, at most 4 (hex) or
// 5 (decimal) characters, and naming a register 0..65535. Returns that register.
std::optional<int> AcceptLabel(std::string_view text, bool hex);

// The register a row label names, or nothing when the label names none (empty, bad, out of range).
std::optional<int> LabelRegister(std::string_view text, bool hex);

// A label converted for the other register-number format: to hex = 4-digit hex of the decimal
// number, to decimal = decimal of the hex number. A label that names no register stays as it is.
std::string ConvertLabel(std::string_view label, bool toHex);

// A typed value: a number in the value format (hex = ShowHex) that reads as 0..65535.
std::optional<uint16_t> AcceptValue(std::string_view text, bool hex);

// The 32-bit quantity of registers a (n) and b (n+1) in byte order 0..3 (any other value = 3):
// 0 "0-1-2-3": lo(b) hi(b) lo(a) hi(a); 1 "1-0-3-2": b high word; 2 "2-3-0-1": lo(a) hi(a) lo(b)
// hi(b); 3 "3-2-1-0": a high word (most significant byte first).
uint32_t CombineRegisters(uint16_t a, uint16_t b, int byteOrder);

// The bit pattern read as sign, 8-bit exponent and 23-bit mantissa, evaluated for every pattern
// the same way (exponent 0 and 255 included): (-1)^s * 2^(e-127) * (1 + m/2^23).
double DWordToFloat(uint32_t u);

// Fixed point with 3 decimals at 9 significant digits; a value with more than 9 integer digits in
// exponent form. `decimalPoint` is the locale's separator.
std::string FloatText(double value, std::string_view decimalPoint);

// Value text of a number in the chosen format, keeping at least `minDigits` digits in hex.
std::string ValueText(int32_t value, bool hex, int minDigits = 4);

} // namespace korvel
