// The one shared data set of the program: 65536 holding registers, 65536 input registers and one
// byte of usage flags per address. Values are read and written atomically (never torn), flag bits
// are changed with atomic read-modify-write operations, so the publishing threads and the GUI
// thread never lose each other's bits. The store is allocated once and never moves.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace korvel {

// Usage flag bits of one address.
enum RegisterFlag : uint8_t {
    kFlagHoldingRead = 0x01,      // holding register in the client's read list
    kFlagHoldingWrite = 0x02,     // holding register in the client's write list
    kFlagInputRead = 0x04,        // input register in the client's read list
    kFlagInputPublished = 0x08,   // input register published to the desktop
    kFlagHoldingPublished = 0x10, // holding register published to the desktop
};

constexpr int kRegisterCount = 65536;
constexpr uint16_t kDiagnosticRegister = 0xFFFE;      // FC8 sub-functions 2 and 10
constexpr uint16_t kExceptionStatusRegister = 0xFFFF; // low byte answered by FC7

class RegisterStore {
  public:
    RegisterStore();
    RegisterStore(const RegisterStore&) = delete;
    RegisterStore& operator=(const RegisterStore&) = delete;

    uint16_t holding(uint16_t address) const { return hold_[address].load(std::memory_order_relaxed); }
    uint16_t input(uint16_t address) const { return input_[address].load(std::memory_order_relaxed); }
    void setHolding(uint16_t address, uint16_t value) { hold_[address].store(value, std::memory_order_relaxed); }
    void setInput(uint16_t address, uint16_t value) { input_[address].store(value, std::memory_order_relaxed); }

    uint8_t flags(uint16_t address) const { return flags_[address].load(std::memory_order_relaxed); }
    void orFlags(uint16_t address, uint8_t mask) { flags_[address].fetch_or(mask, std::memory_order_relaxed); }
    void andFlags(uint16_t address, uint8_t mask) { flags_[address].fetch_and(mask, std::memory_order_relaxed); }
    void xorFlags(uint16_t address, uint8_t mask) { flags_[address].fetch_xor(mask, std::memory_order_relaxed); }

    // The "Initialize" menu: values only, flags keep their bits.
    void zeroHolding();      // every holding register := 0
    void zeroInput();        // every input register := 0
    void ascendingHolding(); // holding register i := i
    void ascendingInput();   // input register i := i

  private:
    std::unique_ptr<std::atomic<uint16_t>[]> hold_;
    std::unique_ptr<std::atomic<uint16_t>[]> input_;
    std::unique_ptr<std::atomic<uint8_t>[]> flags_;
};

} // namespace korvel
