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

// The columns must agree with each other: every part reads them separately, so a row that
// contradicts itself breaks one reader but not another.
TEST(ModbusProtocolTable, ColumnsAgreeWithTheLayouts)
{
    for (const FunctionInfo& row : kFunctions) {
        SCOPED_TRACE(row.name);
        const bool values = row.reply == ReplyLayout::ByteCountValues;
        EXPECT_EQ(row.reads != RegisterBank::None, values);
        EXPECT_EQ(row.maxReadQuantity > 0, values);
        EXPECT_EQ(row.echoLength > 0, row.reply == ReplyLayout::Echo);
        // Only a request that carries its values has no fixed length.
        const bool carriesValues =
            row.request == RequestLayout::AddressQuantityBytes || row.request == RequestLayout::ReadWrite;
        EXPECT_EQ(row.requestLength == 0, carriesValues);
    }
    // The fixed lengths, as a frame of that layout is laid out.
    EXPECT_EQ(FindFunction(kFcReadHolding)->requestLength, 12);
    EXPECT_EQ(FindFunction(kFcReadExceptionStatus)->requestLength, 8);
    EXPECT_EQ(FindFunction(kFcMaskWrite)->requestLength, 8 + FindFunction(kFcMaskWrite)->echoLength);
    EXPECT_EQ(FindFunction(kFcWriteSingle)->requestLength, 8 + FindFunction(kFcWriteSingle)->echoLength);
}

} // namespace
} // namespace korvel
