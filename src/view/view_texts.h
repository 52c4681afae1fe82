// The program's own texts of the register list and the set-value dialog.
#pragma once

#include "ui/dialog_texts.h"

namespace korvel::texts {

// Register list
inline constexpr const char* kRegisterTitle = "Register";
inline constexpr const char* kValueTitle = "Value";
inline constexpr const char* kRWTitle = "R/W";
inline constexpr const char* kVLEName = "Register list"; // accessible name of the list
inline constexpr const char* kVLEHint =
    "List of registers and current values. Doubleclick to swap between edit- and monitor mode";
inline constexpr const char* kVLERWHint = "Indicates is the client using the register for reading- (R) or writing (W) "
                                          "data or is register used for DDE (*)";
inline constexpr const char* kStartAddressGroup = "Start Address";
inline constexpr const char* kStartAddressHint = "Starting address of Value -list";
inline constexpr const char* kUidGroup = "UID";
inline constexpr const char* kUidHint = "UID (MB slave address) used by server. 0 = don't care";
inline constexpr const char* kTypeShownGroup = "Type Shown";
inline constexpr const char* kInputRadio = "Input";
inline constexpr const char* kHoldingRadio = "Holding";
inline constexpr const char* kInputRadioHint = "Show input registers";
inline constexpr const char* kHoldingRadioHint = "Show holding registers";
inline constexpr const char* kValueListMenu = "&Value List";
inline constexpr const char* kEditItem = "&Edit";
inline constexpr const char* kMonitorItem = "&Monitor";
inline constexpr const char* kCopyItem = "&Copy";
inline constexpr const char* kSetRegisterItem = "Set &Register Value";
inline constexpr const char* kTraySetRegisterItem = "Set register value";
inline constexpr const char* kRegistersAsHexItem = "&Registers as Hex";
inline constexpr const char* kValuesAsHexItem = "Values as &Hex";
inline constexpr const char* kNoValue = "-";

inline constexpr const char* kInputErrorCaption = "Input Error";
inline constexpr const char* kUseDigitsOrAF = "Please, use digits or characters A - F";
inline constexpr const char* kUseDigits = "Please, use digits";
inline constexpr const char* kErrorCaption = "Error";

// Set-value dialog
inline constexpr const char* kSetValCaption = kValueTitle;
inline constexpr const char* kRG1Caption = kRegisterTitle;
inline constexpr const char* kRG1HexAtCreation = "Register [Hex]";
inline constexpr const char* kRG1HexAtSwitch = "Register[Hex]";
inline constexpr const char* kRG1Hint = "Register type used";
inline constexpr const char* kRG1Input = "&Input";
inline constexpr const char* kRG1Holding = "&Holding"; // the scanner's register types too
inline constexpr const char* kEdit2Hint = "Register to be used";
inline constexpr const char* kCurrentValueGroup = "Current value";
inline constexpr const char* kLabel1Hint = "DoubleClick to copy current value to 'Edit value'";
inline constexpr const char* kEditValueGroup = "Edit value";
inline constexpr const char* kEditValueHexGroup = "Edit value [Hex]";
inline constexpr const char* kEdit1Hint = "Value to set";
inline constexpr const char* kSetButton = "&Set";
inline constexpr const char* kSetButtonHint = "Write value to register";
inline constexpr const char* kBitmaskGroup = "Bitmask";
inline constexpr const char* kBitmaskHint = "Check/Uncheck to set individual bits";
inline constexpr const char* kBitName = "Bit %1"; // accessible name of each bit box
inline constexpr const char* kLsbHint = "LSB (1st bit)";
inline constexpr const char* kMsbHint = "MSB (16th bit)";
inline constexpr const char* kRepresentationAtCreation = "32-bit Representation []";
inline constexpr const char* kRepresentationNotValid = "32-bit representation [Not valid]";
inline constexpr const char* kRepresentationPrefix = "32-bit representation [";
inline constexpr const char* kUintLabel = "Uint:";
inline constexpr const char* kFloatLabel = "Float:";
inline constexpr const char* kCloseButton = "&Close";
inline constexpr const char* kCloseButtonHint = kCloseWindowHint;
inline constexpr const char* kByteOrderMenu = "32-bit Representation Byte &Order";
inline constexpr const char* kByteOrderItems[4] = {"&0-1-2-3", "&1-0-3-2", "&2-3-0-1", "&3-2-1-0"};

inline constexpr const char* kRegisterErrorCaption = "Register Error";
inline constexpr const char* kUseDigitsAndOrAF = "Please, use digits and/or characters A - F";
inline constexpr const char* kRangeErrorHexCaption = "Range Error";
inline constexpr const char* kRangeErrorDecCaption = "Range error";
inline constexpr const char* kIllegalRegisterHex = "Illegal value. Valid values are 0 - FFFF";
inline constexpr const char* kIllegalRegisterDec = "Illegal value. Valid values are 0 - 65535";

} // namespace korvel::texts
