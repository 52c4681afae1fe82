#include "master/poll_lists.h"

#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace korvel {
namespace {

using Addresses = std::vector<int32_t>;

class PollListFixture : public testing::Test {
  protected:
    void fill(PollList& list, const Addresses& addresses)
    {
        for (int32_t a : addresses) {
            AddAddress(list, a, store);
        }
    }
    // The addresses whose `flag` bit is set, among 0..65535.
    Addresses flagged(uint8_t flag) const
    {
        Addresses out;
        for (int a = 0; a < kRegisterCount; ++a) {
            if ((store.flags(static_cast<uint16_t>(a)) & flag) != 0) {
                out.push_back(a);
            }
        }
        return out;
    }

    RegisterStore store;
    PollLists lists;
    PollList& hold = lists.ReadHoldRegAddr;
};

TEST_F(PollListFixture, AddKeepsOrderRefusesDuplicatesAndFlags)
{
    fill(hold, {10, 15});
    hold.position = 1;
    const AddOutcome added = AddAddress(hold, 12, store);
    EXPECT_TRUE(added.added);
    EXPECT_EQ(added.index, 1) << "the combo inserts the typed text before 15";
    EXPECT_EQ(hold.addresses(), (Addresses{10, 12, 15}));
    EXPECT_EQ(hold.position, 0);
    EXPECT_FALSE(AddAddress(hold, 12, store).added);
    EXPECT_EQ(hold.count, 3);
    EXPECT_EQ(AddAddress(hold, 65535, store).index, 3) << "appended at the end";
    EXPECT_EQ(AddAddress(hold, 1, store).index, 0);
    EXPECT_EQ(flagged(kFlagHoldingRead), (Addresses{1, 10, 12, 15, 65535}));
    EXPECT_TRUE(flagged(kFlagInputRead).empty());
}

TEST_F(PollListFixture, RemoveClearsOnlyItsOwnBit)
{
    fill(lists.WriteHoldRegAddr, {4, 7});
    fill(hold, {7});
    store.orFlags(7, kFlagHoldingPublished);
    lists.WriteHoldRegAddr.position = 1;
    EXPECT_EQ(RemoveAddress(lists.WriteHoldRegAddr, 7, store), 1);
    EXPECT_EQ(store.flags(7), kFlagHoldingRead | kFlagHoldingPublished);
    EXPECT_EQ(lists.WriteHoldRegAddr.addresses(), (Addresses{4}));
    EXPECT_EQ(lists.WriteHoldRegAddr.position, 0);
    EXPECT_EQ(RemoveAddress(lists.WriteHoldRegAddr, 9, store), -1) << "not in the list";
}

TEST_F(PollListFixture, ClearLeavesOtherListsAndPublishingBits)
{
    fill(hold, {3, 7});
    fill(lists.ReadInputRegAddr, {7});
    store.orFlags(7, kFlagInputPublished | kFlagHoldingPublished);
    ClearList(hold, store);
    EXPECT_TRUE(hold.empty());
    EXPECT_EQ(store.flags(3), 0);
    EXPECT_EQ(store.flags(7), kFlagInputRead | kFlagInputPublished | kFlagHoldingPublished);
    EXPECT_EQ(hold.entries[0], 3) << "the entries stay behind the count";
}

TEST(ListTexts, ComboAndAddressRules)
{
    struct Row {
        const char* text;
        bool acceptable;              // while typing
        std::optional<int32_t> value; // on Add
    };
    const Row rows[] = {
        {"", true, std::nullopt},
        {"12", true, 12},
        {"007", true, 7},
        {" 5", true, 5},
        {"0", true, std::nullopt},
        {"65535", true, 65535},
        {"65536", true, std::nullopt},
        {"70000", true, std::nullopt},
        {"-3", true, std::nullopt},
        {"12a", false, std::nullopt},
        {"1.5", false, std::nullopt},
        {"5 ", false, std::nullopt},
        {"99999999999", true, std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ComboTextAcceptable(row.text), row.acceptable) << '"' << row.text << '"';
        EXPECT_EQ(ListAddress(row.text), row.value) << '"' << row.text << '"';
    }
}

TEST(SeriesBoundsCheck, RangeErrorCases)
{
    struct Row {
        const char* from;
        const char* to;
        bool ok;
    };
    const Row rows[] = {
        {"1", "65535", true},  {"10", "11", true}, {"10", "10", false}, {"11", "10", false}, {"0", "5", false},
        {"1", "65536", false}, {"", "5", false},   {"1", "x", false},   {"-5", "5", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CheckSeriesBounds(row.from, row.to).has_value(), row.ok) << row.from << ".." << row.to;
    }
    EXPECT_EQ(CheckSeriesBounds("007", "9")->from, 7);
}

TEST_F(PollListFixture, SeriesMergesEverythingIntoOneOrderedList)
{
    fill(hold, {5, 70});
    hold.position = 1;
    ApplySeries(hold, {1, 65535}, false, store);
    ASSERT_EQ(hold.count, 65535);
    for (int32_t i = 0; i < hold.count; ++i) {
        ASSERT_EQ(hold.entries[i], i + 1);
    }
    EXPECT_EQ(hold.position, 0);
    EXPECT_EQ(flagged(kFlagHoldingRead).size(), 65535u);
    EXPECT_EQ(store.flags(0), 0) << "register 0 is never listed";
}

TEST_F(PollListFixture, SeriesRemovalIgnoresAddressesNotListedAndZeroesTheTail)
{
    fill(hold, {1, 5, 6, 9});
    ApplySeries(hold, {5, 7}, true, store);
    EXPECT_EQ(hold.addresses(), (Addresses{1, 9}));
    EXPECT_EQ(hold.entries[2], 0);
    EXPECT_EQ(hold.entries[3], 0);
    EXPECT_EQ(flagged(kFlagHoldingRead), (Addresses{1, 9}));
}

// Series and single edits against a plain set, with the flags following the list.
TEST_F(PollListFixture, RandomEditsAgreeWithASet)
{
    std::mt19937 random(12345);
    std::set<int32_t> model;
    for (int round = 0; round < 300; ++round) {
        const int kind = static_cast<int>(random() % 4);
        const auto a = static_cast<int32_t>(1 + random() % 400);
        const auto b = static_cast<int32_t>(a + 1 + random() % 60);
        if (kind == 0) {
            ApplySeries(hold, {a, b}, false, store);
            for (int32_t x = a; x <= b; ++x) {
                model.insert(x);
            }
        } else if (kind == 1) {
            ApplySeries(hold, {a, b}, true, store);
            model.erase(model.lower_bound(a), model.upper_bound(b));
        } else if (kind == 2) {
            EXPECT_EQ(AddAddress(hold, a, store).added, model.insert(a).second);
        } else {
            EXPECT_EQ(RemoveAddress(hold, a, store) >= 0, model.erase(a) == 1);
        }
        ASSERT_EQ(hold.addresses(), Addresses(model.begin(), model.end())) << "round " << round;
    }
    EXPECT_EQ(flagged(kFlagHoldingRead), Addresses(model.begin(), model.end()));
}

TEST(TransactionLimiters, OnlyTheMenuValues)
{
    PollLists lists;
    EXPECT_EQ(lists.ReadLimit, 125);
    EXPECT_EQ(lists.WriteLimit, 100);
    EXPECT_TRUE(lists.setReadLimit(5));
    EXPECT_FALSE(lists.setReadLimit(123));
    EXPECT_EQ(lists.ReadLimit, 5);
    EXPECT_TRUE(lists.setWriteLimit(123));
    EXPECT_FALSE(lists.setWriteLimit(125));
    EXPECT_EQ(lists.WriteLimit, 123);
}

} // namespace
} // namespace korvel
