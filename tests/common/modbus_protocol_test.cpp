#include "common/modbus_protocol.h"
#include "server/request_check.h"

#include <gtest/gtest.h>
#include <set>

namespace korvel {
namespace {

// The table is what every part reads: codes, served slots and names must each be unique, and
// CheckSettings must serve exactly the codes of the table.
TEST(ModbusProtocolTable, RowsAreUniqueAndServedSlotsCoverTheTable)
{
    std::set<int> codes, slots;
    for (const FunctionInfo& row : kFunctions) {
        codes.insert(row.code);
        slots.insert(row.servedIndex);
        EXPECT_EQ(FindFunction(row.code), &row);
    }
    EXPECT_EQ(codes.size(), kFunctions.size());
    EXPECT_EQ(slots.size(), kFunctions.size());
    EXPECT_EQ(*slots.rbegin(), kFunctionCount - 1);

    CheckSettings settings;
    for (int code = 0; code < 256; ++code) {
        EXPECT_EQ(settings.served(static_cast<uint8_t>(code)), codes.count(code) == 1) << code;
    }
    settings.setServed(kFcMaskWrite, false);
    settings.setServed(5, true); // not in the table: ignored
    EXPECT_FALSE(settings.served(kFcMaskWrite));
    EXPECT_FALSE(settings.served(5));
    EXPECT_TRUE(settings.served(kFcReadWriteMultiple));
}

TEST(ModbusProtocolTable, SubFunctionsAndExceptions)
{
    for (int sub : {0, 2, 10, 13, 14, 15})
        EXPECT_NE(FindSubFunction(static_cast<uint8_t>(sub)), nullptr) << sub;
    for (int sub : {1, 3, 9, 11, 12, 16, 255})
        EXPECT_EQ(FindSubFunction(static_cast<uint8_t>(sub)), nullptr) << sub;
    EXPECT_TRUE(FindSubFunction(kSubSlaveMessageCount)->counter);
    EXPECT_FALSE(FindSubFunction(kSubClearCounters)->counter);

    EXPECT_STREQ(ExceptionName(3), "Illegal Data Value");
    EXPECT_STREQ(ExceptionName(11), "Gateway Target Device Failed to Respond");
    EXPECT_EQ(ExceptionName(0), nullptr);
    EXPECT_EQ(ExceptionName(9), nullptr);
    EXPECT_EQ(ExceptionName(12), nullptr);
}

} // namespace
} // namespace korvel
