#include "common/frame.h"
#include "support/hex_bytes.h"

#include <gtest/gtest.h>
#include <vector>

namespace korvel {
namespace {

using testing_hex::Bytes;

const char kFc3[] = "00 01 00 00 00 06 01 03 00 00 00 02";

TEST(ExtractFrame, FiveBytesWaitThenElevenBytesGiveTheFrame)
{
    std::vector<uint8_t> stream = Bytes(kFc3);
    Extraction e = ExtractFrame(stream.data(), 5);
    EXPECT_EQ(e.kind, ExtractKind::Wait);
    e = ExtractFrame(stream.data(), 11);
    EXPECT_EQ(e.kind, ExtractKind::Wait) << "incomplete frame";
    e = ExtractFrame(stream.data(), 12);
    EXPECT_EQ(e.kind, ExtractKind::Frame);
    EXPECT_EQ(e.length, 12);
}

TEST(ExtractFrame, TwoFramesInOnePieceAreTakenOneAfterTheOther)
{
    std::vector<uint8_t> stream = Bytes(std::string(kFc3) + " 00 02 00 00 00 06 01 04 00 10 00 01");
    Extraction first = ExtractFrame(stream.data(), static_cast<int>(stream.size()));
    ASSERT_EQ(first.kind, ExtractKind::Frame);
    EXPECT_EQ(first.length, 12);
    Extraction second = ExtractFrame(stream.data() + first.length, static_cast<int>(stream.size()) - first.length);
    ASSERT_EQ(second.kind, ExtractKind::Frame);
    EXPECT_EQ(second.length, 12);
}

TEST(ExtractFrame, BadProtocolIdentifierOrLengthHighByteRejectsEverythingLookedAt)
{
    std::vector<uint8_t> pid = Bytes("00 01 00 01 00 06 01 03 00 00 00 02 FF FF");
    Extraction e = ExtractFrame(pid.data(), static_cast<int>(pid.size()));
    EXPECT_EQ(e.kind, ExtractKind::Reject);
    EXPECT_EQ(e.length, 14);

    std::vector<uint8_t> lengthHigh = Bytes("00 01 00 00 01 06");
    e = ExtractFrame(lengthHigh.data(), 6);
    EXPECT_EQ(e.kind, ExtractKind::Reject);
    EXPECT_EQ(e.length, 6);
}

TEST(ExtractFrame, LooksAtNoMoreThanTheReceiveArea)
{
    std::vector<uint8_t> stream(2000, 0x55);
    Extraction e = ExtractFrame(stream.data(), 2000);
    EXPECT_EQ(e.kind, ExtractKind::Reject);
    EXPECT_EQ(e.length, kAreaSize);

    std::vector<uint8_t> longest = Bytes("00 01 00 00 00 FF");
    longest.resize(600, 0);
    e = ExtractFrame(longest.data(), 600);
    EXPECT_EQ(e.kind, ExtractKind::Frame);
    EXPECT_EQ(e.length, kMaxFrameLength);
}

TEST(ExtractFrame, NegativeCountIsTreatedAsTooFew)
{
    std::vector<uint8_t> stream = Bytes(kFc3);
    EXPECT_EQ(ExtractFrame(stream.data(), -1).kind, ExtractKind::Wait);
}

} // namespace
} // namespace korvel
