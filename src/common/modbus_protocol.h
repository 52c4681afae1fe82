// The Modbus/TCP protocol knowledge every part reads: one row per function code Korvel speaks
// (how its request and reply are laid out, which register table a read reply carries, its fixed
// request length, its quantity limit, its served-flag slot, its place among the functions the
// client sends, its name), the FC8 sub-functions and the exception names. The server's checks and
// execution, the traffic log's decoder, the client's query builder and reply check and the
// scanner look here instead of restating the codes.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace korvel {

// An exception reply carries the request's function code with this bit set.
constexpr uint8_t kExceptionBit = 0x80;

// Function codes Korvel knows.
enum FunctionCode : uint8_t {
    kFcReadHolding = 3,
    kFcReadInput = 4,
    kFcWriteSingle = 6,
    kFcReadExceptionStatus = 7,
    kFcDiagnostics = 8,
    kFcWriteMultiple = 16,
    kFcMaskWrite = 22,
    kFcReadWriteMultiple = 23,
};

// How the bytes after the function code (byte 8 on) are laid out in a request.
enum class RequestLayout : uint8_t {
    AddressQuantity,      // 8-9 start address, 10-11 quantity (only byte 11 counts)
    AddressValue,         // 8-9 address, 10-11 value
    Nothing,              // no data
    SubFunction,          // 8-9 sub-function, 10.. data
    AddressQuantityBytes, // 8-9 start, 10-11 quantity, 12 byte count, 13.. values
    AddressMasks,         // 8-9 address, 10-11 AND mask, 12-13 OR mask
    ReadWrite,            // 8-9 read start, 10-11 read quantity, 12-13 write start,
                          // 14-15 write quantity, 16 byte count, 17.. values
};

// How a normal reply is laid out after the function code.
enum class ReplyLayout : uint8_t {
    ByteCountValues, // 8 byte count, 9.. register values
    Echo,            // the request's bytes 8.. repeated (FC6 and FC16 echo 4 bytes, FC22 six)
    StatusByte,      // 8 one status byte
    SubFunction,     // 8-9 sub-function, 10.. data (two bytes, or a 64-bit counter)
};

// The register table whose values a byte-count reply carries.
enum class RegisterBank : uint8_t {
    None, // the reply carries no register values
    Holding,
    Input,
};

struct FunctionInfo {
    uint8_t code;
    uint8_t servedIndex; // the function's slot in CheckSettings::servedFlags
    RequestLayout request;
    ReplyLayout reply;
    RegisterBank reads;  // ByteCountValues replies: the table their values come from
    int8_t clientIndex;  // the function's place among the six the client sends, -1 for one it never sends
    int requestLength;   // whole frame with MBAP header, 0 where it depends on the quantity
    int echoLength;      // Echo replies: bytes 8.. echoed; the reply is 8 + echoLength long
    int maxReadQuantity; // registers one reply can carry (0: not a read)
    const char* name;
};

constexpr int kFunctionCount = 8;
// The largest read whose reply still fits a frame: 126 * 2 + 3 = 255 in the length byte.
constexpr int kMaxReadQuantity = 126;
// The usual Modbus limits for what a client asks in one request.
constexpr int kMaxClientReadQuantity = 125;
constexpr int kMaxClientWriteQuantity = 123;

inline constexpr std::array<FunctionInfo, kFunctionCount> kFunctions{{
    {kFcReadHolding, 0, RequestLayout::AddressQuantity, ReplyLayout::ByteCountValues, RegisterBank::Holding, 0, 12, 0,
     kMaxReadQuantity, "Read Holding Registers"},
    {kFcReadInput, 1, RequestLayout::AddressQuantity, ReplyLayout::ByteCountValues, RegisterBank::Input, 1, 12, 0,
     kMaxReadQuantity, "Read Input Registers"},
    {kFcWriteSingle, 2, RequestLayout::AddressValue, ReplyLayout::Echo, RegisterBank::None, 4, 12, 4, 0,
     "Write Single Register"},
    {kFcReadExceptionStatus, 3, RequestLayout::Nothing, ReplyLayout::StatusByte, RegisterBank::None, 5, 8, 0, 0,
     "Read Exception Status"},
    {kFcDiagnostics, 4, RequestLayout::SubFunction, ReplyLayout::SubFunction, RegisterBank::None, -1, 12, 0, 0,
     "Diagnostics"},
    {kFcWriteMultiple, 5, RequestLayout::AddressQuantityBytes, ReplyLayout::Echo, RegisterBank::None, 2, 0, 4, 0,
     "Write Multiple Registers"},
    {kFcMaskWrite, 6, RequestLayout::AddressMasks, ReplyLayout::Echo, RegisterBank::None, 3, 14, 6, 0,
     "Mask Write Register"},
    {kFcReadWriteMultiple, 7, RequestLayout::ReadWrite, ReplyLayout::ByteCountValues, RegisterBank::Holding, -1, 0, 0,
     kMaxReadQuantity, "Read/Write Multiple Registers"},
}};

// The row of a function code, nullptr for a code Korvel does not speak.
constexpr const FunctionInfo* FindFunction(uint8_t code)
{
    for (const FunctionInfo& row : kFunctions) {
        if (row.code == code)
            return &row;
    }
    return nullptr;
}

// FC8 sub-functions the server answers.
enum DiagnosticSubFunction : uint8_t {
    kSubReturnQueryData = 0,
    kSubReturnDiagnosticRegister = 2,
    kSubClearCounters = 10,
    kSubBusExceptionCount = 13,
    kSubSlaveMessageCount = 14,
    kSubSlaveNoResponseCount = 15,
};

struct SubFunctionInfo {
    uint8_t code;
    bool counter; // answered with a 64-bit counter (a 12-byte data length)
    const char* name;
};

inline constexpr std::array<SubFunctionInfo, 6> kSubFunctions{{
    {kSubReturnQueryData, false, "Return Query Data"},
    {kSubReturnDiagnosticRegister, false, "Return Diagnostic Register"},
    {kSubClearCounters, false, "Clear Counters and Diagnostic Register"},
    {kSubBusExceptionCount, true, "Return Bus Exception Error Count"},
    {kSubSlaveMessageCount, true, "Return Slave Message Count"},
    {kSubSlaveNoResponseCount, true, "Return Slave No Response Count"},
}};

// The row of an FC8 sub-function (only the low byte counts; the high byte must be 0), nullptr
// for one the server does not answer.
const SubFunctionInfo* FindSubFunction(uint8_t code);

// Exception codes a server may send (the menu forces any of them).
struct ExceptionInfo {
    uint8_t code;
    const char* name;
};

inline constexpr std::array<ExceptionInfo, 10> kExceptions{{
    {1, "Illegal function"},
    {2, "Illegal data address"},
    {3, "Illegal Data Value"},
    {4, "Slave Device Failure"},
    {5, "Acknowledge"},
    {6, "Slave Device Busy"},
    {7, "Negative Acknowledge"},
    {8, "Memory Parity Error"},
    {10, "Gateway Path Unavailable"},
    {11, "Gateway Target Device Failed to Respond"},
}};

// The name of an exception code, nullptr for a code outside the table.
const char* ExceptionName(uint8_t code);

} // namespace korvel
