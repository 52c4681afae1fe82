#include "common/register_store.h"

#include <gtest/gtest.h>
#include <thread>

namespace korvel {
namespace {

TEST(RegisterStore, StartsAllZero)
{
    RegisterStore store;
    for (int a : {0, 1, 12345, 65534, 65535}) {
        EXPECT_EQ(store.holding(static_cast<uint16_t>(a)), 0);
        EXPECT_EQ(store.input(static_cast<uint16_t>(a)), 0);
        EXPECT_EQ(store.flags(static_cast<uint16_t>(a)), 0);
    }
}

TEST(RegisterStore, InitialisersTouchOnlyTheirTableAndKeepFlags)
{
    RegisterStore store;
    store.orFlags(7, kFlagHoldingRead | kFlagInputPublished);
    store.ascendingHolding();
    store.ascendingInput();
    EXPECT_EQ(store.holding(0xFFFE), 65534);
    EXPECT_EQ(store.holding(0xFFFF), 65535);
    EXPECT_EQ(store.input(300), 300);

    store.zeroInput();
    EXPECT_EQ(store.input(300), 0);
    EXPECT_EQ(store.input(65535), 0);
    EXPECT_EQ(store.holding(300), 300) << "input initialiser changed holding registers";
    EXPECT_EQ(store.flags(7), kFlagHoldingRead | kFlagInputPublished);

    store.zeroHolding();
    EXPECT_EQ(store.holding(0xFFFF), 0);
    EXPECT_EQ(store.flags(7), kFlagHoldingRead | kFlagInputPublished);
}

TEST(RegisterStore, ClearingTheClientBitKeepsThePublishedBit)
{
    RegisterStore store;
    store.orFlags(42, kFlagHoldingRead | kFlagHoldingPublished);
    store.andFlags(42, 0xFE);
    EXPECT_EQ(store.flags(42), kFlagHoldingPublished);
    store.xorFlags(42, kFlagHoldingPublished);
    EXPECT_EQ(store.flags(42), 0);
}

TEST(RegisterStore, ConcurrentFlagUpdatesLoseNoBit)
{
    // Two threads set and toggle different bits of the same bytes at the same time; a
    // non-atomic read-modify-write would lose some of them.
    RegisterStore store;
    auto worker = [&store](uint8_t bit) {
        for (int round = 0; round < 20; ++round) {
            for (int a = 0; a < kRegisterCount; ++a) {
                store.xorFlags(static_cast<uint16_t>(a), bit);
            }
        }
        for (int a = 0; a < kRegisterCount; ++a) {
            store.orFlags(static_cast<uint16_t>(a), bit);
        }
    };
    std::thread input(worker, kFlagInputPublished);
    std::thread holding(worker, kFlagHoldingPublished);
    input.join();
    holding.join();
    int wrong = 0;
    for (int a = 0; a < kRegisterCount; ++a) {
        wrong += store.flags(static_cast<uint16_t>(a)) != (kFlagInputPublished | kFlagHoldingPublished);
    }
    EXPECT_EQ(wrong, 0);
}

} // namespace
} // namespace korvel
