#include "common/register_store.h"

namespace korvel {

RegisterStore::RegisterStore()
    : hold_(new std::atomic<uint16_t>[kRegisterCount]), input_(new std::atomic<uint16_t>[kRegisterCount]),
      flags_(new std::atomic<uint8_t>[kRegisterCount])
{
    for (int a = 0; a < kRegisterCount; ++a) {
        hold_[a].store(0, std::memory_order_relaxed);
        input_[a].store(0, std::memory_order_relaxed);
        flags_[a].store(0, std::memory_order_relaxed);
    }
}

void RegisterStore::zeroHolding()
{
    for (int a = 0; a < kRegisterCount; ++a) {
        hold_[a].store(0, std::memory_order_relaxed);
    }
}

void RegisterStore::zeroInput()
{
    for (int a = 0; a < kRegisterCount; ++a) {
        input_[a].store(0, std::memory_order_relaxed);
    }
}

void RegisterStore::ascendingHolding()
{
    for (int a = 0; a < kRegisterCount; ++a) {
        hold_[a].store(static_cast<uint16_t>(a), std::memory_order_relaxed);
    }
}

void RegisterStore::ascendingInput()
{
    for (int a = 0; a < kRegisterCount; ++a) {
        input_[a].store(static_cast<uint16_t>(a), std::memory_order_relaxed);
    }
}

} // namespace korvel
