// The publishing rules: item names, poked texts, progress, the item table's links and the update
// pass against the register store.
#include "rules/publishing_rules.h"
#include "support/param_name.h"

#include <gtest/gtest.h>

namespace korvel {
namespace {

struct ItemRow {
    const char* item;
    int reg; // -1: not an item name
};

class ItemRegisterTest : public ::testing::TestWithParam<ItemRow> {};

TEST_P(ItemRegisterTest, AcceptsOnlyRAndPlainDecimal)
{
    const std::optional<uint16_t> n = ItemRegister(GetParam().item);
    if (GetParam().reg < 0)
        EXPECT_FALSE(n.has_value()) << GetParam().item;
    else
        EXPECT_EQ(n, std::optional<uint16_t>(static_cast<uint16_t>(GetParam().reg))) << GetParam().item;
}

INSTANTIATE_TEST_SUITE_P(Rows, ItemRegisterTest,
                         ::testing::Values(ItemRow{"r0", 0}, ItemRow{"r933", 933}, ItemRow{"r65535", 65535},
                                           ItemRow{"r65536", -1}, ItemRow{"r99999", -1}, ItemRow{"r00", -1},
                                           ItemRow{"r01", -1}, ItemRow{"r+1", -1}, ItemRow{"r-1", -1},
                                           ItemRow{"r 1", -1}, ItemRow{"r1 ", -1}, ItemRow{"R1", -1}, ItemRow{"r", -1},
                                           ItemRow{"", -1}, ItemRow{"1", -1}, ItemRow{"r0x10", -1},
                                           ItemRow{"r100000000000000000000", -1}),
                         [](const auto& info) { return testing::ParamName(info.param.item); });

struct PokeRow {
    const char* text;
    int value; // -1: leaves the register alone
};

class PokedValueTest : public ::testing::TestWithParam<PokeRow> {};

TEST_P(PokedValueTest, WholeIntegersInTheirLow16Bits)
{
    const std::optional<uint16_t> v = PokedValue(GetParam().text);
    if (GetParam().value < 0)
        EXPECT_FALSE(v.has_value()) << GetParam().text;
    else
        EXPECT_EQ(v, std::optional<uint16_t>(static_cast<uint16_t>(GetParam().value))) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Rows, PokedValueTest,
                         ::testing::Values(PokeRow{"1234", 1234}, PokeRow{"-1", 65535}, PokeRow{"70000", 4464},
                                           PokeRow{"  12  ", 12}, PokeRow{"+7", 7}, PokeRow{"$1F", 31},
                                           PokeRow{"0x10", 16}, PokeRow{"-0x1", 65535},
                                           PokeRow{"9223372036854775807", 65535}, PokeRow{"-9223372036854775808", 0},
                                           PokeRow{"9223372036854775808", -1}, PokeRow{"xyz", -1}, PokeRow{"", -1},
                                           PokeRow{"   ", -1}, PokeRow{"1.0", -1}, PokeRow{"12abc", -1}),
                         [](const auto& info) { return testing::ParamName(info.param.text); });

TEST(ProgressPerCentTest, RisesFromZeroToHundredRoundingTiesToEven)
{
    EXPECT_EQ(ProgressPerCent(0, 0, 65535), 0);
    EXPECT_EQ(ProgressPerCent(65535, 0, 65535), 100);
    EXPECT_EQ(ProgressPerCent(10, 10, 12), 0);
    EXPECT_EQ(ProgressPerCent(11, 10, 12), 50);
    // 0..200 at 1: 199/200*100 = 99.5 -> 100 (even), so 0 %; at 3: 98.5 -> 98, so 2 %
    EXPECT_EQ(ProgressPerCent(1, 0, 200), 0);
    EXPECT_EQ(ProgressPerCent(3, 0, 200), 2);
}

TEST(FirstLineTest, CutsAtTheFirstLineEnd)
{
    EXPECT_EQ(FirstLine("12\r\n34"), "12");
    EXPECT_EQ(FirstLine("12\n34"), "12");
    EXPECT_EQ(FirstLine("12\r"), "12");
    EXPECT_EQ(FirstLine("plain"), "plain");
}

struct DdeSelectionRow {
    int choice;
    const char* from;
    const char* to;
    bool ok;
    int low, high;
    bool input, holding;
};

class DdeSelectionTest : public ::testing::TestWithParam<DdeSelectionRow> {};

TEST_P(DdeSelectionTest, ChoiceAndRange)
{
    const DdeSelectionRow& r = GetParam();
    const std::optional<DdeRequest> req = DdeSelection(r.choice, r.from, r.to);
    ASSERT_EQ(req.has_value(), r.ok) << r.from << ".." << r.to;
    if (!req)
        return;
    EXPECT_EQ(req->low, r.low);
    EXPECT_EQ(req->high, r.high);
    EXPECT_EQ(req->input, r.input);
    EXPECT_EQ(req->holding, r.holding);
}

INSTANTIATE_TEST_SUITE_P(Rows, DdeSelectionTest,
                         ::testing::Values(DdeSelectionRow{0, "", "", true, 0, 65535, true, true},
                                           DdeSelectionRow{1, "5", "abc", true, 0, 65535, true,
                                                           false}, // edits not used
                                           DdeSelectionRow{3, "", "", true, 0, 65535, false, true},
                                           DdeSelectionRow{2, "0", "100", true, 0, 100, true, false},
                                           DdeSelectionRow{4, "10", "10", true, 10, 10, false, true},
                                           DdeSelectionRow{5, " 0 ", "$64", true, 0, 100, true, true},
                                           DdeSelectionRow{4, "200", "100", false, 0, 0, false, false},
                                           DdeSelectionRow{4, "0", "70000", false, 0, 0, false, false},
                                           DdeSelectionRow{4, "-1", "5", false, 0, 0, false, false},
                                           DdeSelectionRow{4, "abc", "5", false, 0, 0, false, false},
                                           DdeSelectionRow{4, "", "5", false, 0, 0, false, false},
                                           DdeSelectionRow{4, "1.5", "5", false, 0, 0, false, false}),
                         [](const auto& info) {
                             return "Choice" + std::to_string(info.param.choice) + "_" +
                                    testing::ParamName(info.param.from) + "_to_" + testing::ParamName(info.param.to);
                         });

TEST(ItemTableTest, ItemsExistBetweenCreationAndDestruction)
{
    ItemTable table;
    EXPECT_FALSE(table.text(5));
    table.create(5, "17");
    EXPECT_EQ(table.text(5), std::optional<std::string>("17"));
    EXPECT_EQ(table.count(), 1u);
    table.destroy(5);
    EXPECT_FALSE(table.text(5));
    EXPECT_FALSE(table.link(5, ":1.9"));
    EXPECT_FALSE(table.poke(5, "1"));
    EXPECT_EQ(table.count(), 0u);
}

TEST(ItemTableTest, LinksArePerClientAndGoWithTheClientOrTheItem)
{
    ItemTable table;
    table.create(1, "0");
    table.create(2, "0");
    for (int c = 0; c < 200; ++c)
        table.link(1, ":1." + std::to_string(c));
    table.link(1, ":1.0"); // a second link of the same client counts once
    table.link(2, ":1.0");
    EXPECT_EQ(table.linkCount(1), 200u);

    const std::optional<ItemNotification> poked = table.poke(1, "5\r\nrest");
    ASSERT_TRUE(poked);
    EXPECT_EQ(poked->text, "5");
    EXPECT_EQ(poked->clients.size(), 200u);
    EXPECT_EQ(table.text(1), std::optional<std::string>("5"));

    table.dropClient(":1.0");
    EXPECT_EQ(table.linkCount(1), 199u);
    EXPECT_EQ(table.linkCount(2), 0u);
    EXPECT_TRUE(table.unlink(1, ":1.1"));
    EXPECT_EQ(table.linkCount(1), 198u);
    table.destroy(1);
    table.create(1, "0");
    EXPECT_EQ(table.linkCount(1), 0u); // a new item starts without the old links
}

class UpdatePassTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        for (uint16_t n = 10; n <= 12; ++n) {
            table.create(n, std::to_string(store.holding(n)));
            previous[n] = store.holding(n);
        }
    }
    std::vector<ItemNotification> pass()
    {
        return table.updatePass(TopicKind::Holding, store, previous.data(), 10, 12, stop);
    }
    RegisterStore store;
    ItemTable table;
    std::vector<uint16_t> previous = std::vector<uint16_t>(kRegisterCount);
    std::atomic<bool> stop{false};
};

TEST_F(UpdatePassTest, ChangedRegistersArePublishedToLinkedClientsOnly)
{
    table.link(11, ":1.5");
    store.setHolding(11, 300);
    store.setHolding(12, 400);
    const std::vector<ItemNotification> sent = pass();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].n, 11);
    EXPECT_EQ(sent[0].text, "300");
    EXPECT_EQ(sent[0].clients, std::vector<std::string>{":1.5"});
    EXPECT_EQ(table.text(12), std::optional<std::string>("400"));
    EXPECT_TRUE(pass().empty()); // nothing changed since
}

TEST_F(UpdatePassTest, PokedIntegersLandInTheRegisterAndOtherTextsDoNot)
{
    table.poke(10, "1234");
    table.poke(11, "xyz");
    table.poke(12, "70000");
    pass();
    EXPECT_EQ(store.holding(10), 1234);
    EXPECT_EQ(store.holding(11), 0);
    EXPECT_EQ(store.holding(12), 4464);
    EXPECT_EQ(table.text(12), std::optional<std::string>("70000")); // the item keeps the text
    EXPECT_EQ(table.text(11), std::optional<std::string>("xyz"));

    // A later change of the register is published again.
    store.setHolding(12, 7);
    pass();
    EXPECT_EQ(table.text(12), std::optional<std::string>("7"));
}

TEST_F(UpdatePassTest, ARegisterChangeWinsOverAPokeInTheSamePass)
{
    table.poke(10, "99");
    store.setHolding(10, 5);
    pass();
    EXPECT_EQ(store.holding(10), 5);
    EXPECT_EQ(table.text(10), std::optional<std::string>("5"));
}

TEST_F(UpdatePassTest, StopEndsThePassAtOnce)
{
    store.setHolding(10, 1);
    stop = true;
    pass();
    EXPECT_EQ(table.text(10), std::optional<std::string>("0"));
}

TEST(CloseWaitTest, EndsWhenTheThreadsEndOrAfterTheLimit)
{
    uint32_t now = 1000;
    int asked = 0;
    int served = 0;
    // A thread that never ends: the wait gives up 15000 ms after the request.
    CloseWait([] { return true; }, [&] { ++asked; }, [&] { ++served, now += 40; }, [&] { return now; });
    EXPECT_GE(now, 1000u + kCloseWaitMs);
    EXPECT_LT(now, 1000u + kCloseWaitMs + 100);
    EXPECT_GT(asked, 0);

    // Threads that end after being asked once, while the hand-overs are served.
    bool running = true;
    served = 0;
    CloseWait([&] { return running; }, [&] { running = served < 3; }, [&] { ++served; }, [&] { return now; });
    EXPECT_FALSE(running);
    EXPECT_LE(served, 4);

    // Nothing running: nothing asked, nothing served.
    asked = served = 0;
    CloseWait([] { return false; }, [&] { ++asked; }, [&] { ++served; }, [&] { return now; });
    EXPECT_EQ(asked + served, 0);
}

} // namespace
} // namespace korvel
