// The traffic log's decoding of what the engine actually served, as the runtime hands it over:
// frames that end before their fields or values do, each after an earlier, fuller frame, so that
// nothing an earlier request or reply left behind may show up as this one's.
#include "log/log_lines.h"
#include "server/server_engine.h"
#include "support/hex_bytes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace korvel {
namespace {

using testing_hex::Bytes;
using Lines = std::vector<std::string>;

struct LoggedCase {
    const char* name;
    const char* earlier; // served first, not decoded
    const char* request;
    Lines requestLines;
    Lines replyLines;
};

class LoggedDecoding : public testing::TestWithParam<LoggedCase> {
  protected:
    LoggedDecoding() { engine.connectionAccepted(1, "127.0.0.1", 0); }

    ProcessResult serve(const char* hex)
    {
        const std::vector<uint8_t> frame = Bytes(hex);
        return engine.process(1, frame, 0);
    }

    // What the runtime hands the log for this result.
    DecodeSource source(const ProcessResult& r) const
    {
        return DecodeSource{r.request, r.reply, engine.settings.check.addressOffset, &store};
    }

    RegisterStore store;
    ServerEngine engine{store};
};

TEST_P(LoggedDecoding, RequestAndReplyLines)
{
    const LoggedCase& row = GetParam();
    serve(row.earlier);
    const ProcessResult r = serve(row.request);
    ASSERT_TRUE(r.replyStep);
    ASSERT_GT(r.replyLength, 0);
    EXPECT_EQ(WriteInterpretation(true, source(r)), row.requestLines);
    EXPECT_EQ(WriteInterpretation(false, source(r)), row.replyLines);
}

const LoggedCase kLoggedRows[] = {
    // The byte count promises four values, the frame carries one: the other three were written
    // as 0 and are logged so.
    {"Fc16FewerValuesThanItsQuantity",
     "00 01 00 00 00 0F 01 10 00 00 00 04 08 AA AA BB BB CC CC DD DD",
     "00 02 00 00 00 09 01 10 00 00 00 04 08 12 34",
     {"", "Write holding registers", "Reference: 0. Word count: 4. UID: 1", "0 <- 4660", "1 <- 0", "2 <- 0", "3 <- 0"},
     {"", "Reference: 0  Word count: 4"}},
    {"Fc23WithoutItsWriteValues",
     "00 01 00 00 00 0F 01 17 00 00 00 01 00 05 00 02 04 AA AA BB BB",
     "00 02 00 00 00 0A 01 17 00 00 00 01 00 05 00 02",
     {"", "Read/write (holding) registers. UID: 1", "Read reference: 0. Write reference: 5", "Registers to read: 0 ",
      "", "Write: Register <- Value:", "5 <- 0", "6 <- 0"},
     {"", "Read: Register : Value", "0 : 0"}},
    {"Fc3WithoutAddressAndQuantity",
     "00 01 00 00 00 06 01 03 01 00 00 05",
     "00 02 00 00 00 02 01 03",
     {"", "Read holding registers", "Reference: 0. Word count: 0. UID: 1", "Register(s): "},
     {"", "Register : Value"}},
    {"Fc6WithoutItsValue",
     "00 01 00 00 00 06 01 06 00 05 12 34",
     "00 02 00 00 00 04 01 06 00 05",
     {"", "Write single register", "Reference: 5. UID: 1", "5 <- 0"},
     {"", "Reference: 5  Value: 0"}},
    {"Fc22WithoutItsMasks",
     "00 01 00 00 00 08 01 16 00 04 00 F2 00 25",
     "00 02 00 00 00 04 01 16 00 04",
     {"", "Mask write register from UID 1", "Reference: 4  AND: 0x0000  OR: 0x0000"},
     {"", "Reference: 4  AND: 0x0000  OR: 0x0000h"}},
    {"Fc8WithoutItsData",
     "00 01 00 00 00 06 01 08 00 00 A5 37",
     "00 02 00 00 00 04 01 08 00 00",
     {"", "Diagnostics function from UID 1", "Sub-function 0, \"Return Query Data\"", "Data: 00 00"},
     {"", "Diagnostics, sub-function 0", "Data: 00 00 "}},
    // The counter reply before was six bytes longer; only this reply's two data bytes show.
    {"Fc8ShortReplyAfterACounter",
     "00 01 00 00 00 06 01 08 00 0E 00 00",
     "00 02 00 00 00 06 01 08 00 00 12 34",
     {"", "Diagnostics function from UID 1", "Sub-function 0, \"Return Query Data\"", "Data: 12 34"},
     {"", "Diagnostics, sub-function 0", "Data: 12 34 "}},
    {"ExceptionAfterALongRead",
     "00 01 00 00 00 06 01 03 00 00 00 7D",
     "00 02 00 00 00 06 01 03 FF FF 00 02",
     {"", "Read holding registers", "Reference: 65535. Word count: 2. UID: 1", "Register(s): 65535 65536 "},
     {"", "Exception 2, Illegal data address"}},
    {"Fc7AfterAWrite",
     "00 01 00 00 00 06 01 06 FF FF 00 5A",
     "00 02 00 00 00 02 01 07",
     {"", "Read exception status", "UID: 1"},
     {"", "Exception status returned: 0x5A (90)"}},
};

INSTANTIATE_TEST_SUITE_P(ServedFrames, LoggedDecoding, testing::ValuesIn(kLoggedRows),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace korvel
