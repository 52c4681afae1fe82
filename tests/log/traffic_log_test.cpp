// The traffic log file on a hostile disk: full while the header or a block is written, or its
// folder removed while recording.
#include "log/traffic_log.h"
#include "support/file_size_limit.h"

#include <array>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel {
namespace {

namespace fs = std::filesystem;

class TrafficLogDisk : public ::testing::Test {
  protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/korvel-log-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
        path = folder + "/traffic.log";
    }
    void TearDown() override { fs::remove_all(folder); }

    // One request of 12 bytes.
    LogWrite logRequest()
    {
        LogPacketInput in;
        in.count = 12;
        in.source = DecodeSource{work, reply, false, nullptr};
        return log.LogPacket(in);
    }
    static off_t sizeOf(const std::string& file)
    {
        struct stat info {};
        return ::stat(file.c_str(), &info) == 0 ? info.st_size : -1;
    }

    std::string folder;
    std::string path;
    std::array<uint8_t, 513> work{0, 1, 0, 0, 0, 6, 1, 3, 0, 0, 0, 1};
    std::array<uint8_t, 513> reply{};
    TrafficLog log{[] { return 0u; }};
};

TEST_F(TrafficLogDisk, HeaderThatDoesNotFitLeavesNoFile)
{
    {
        testing::FileSizeLimit full(10);
        EXPECT_FALSE(log.start(path, std::string(40, 'h')));
    }
    EXPECT_FALSE(log.LogRecording());
    EXPECT_FALSE(fs::exists(path)) << "an empty or half header file is left behind";
}

TEST_F(TrafficLogDisk, BlockThatDoesNotFitIsCutBackToTheLastWholeBlock)
{
    ASSERT_TRUE(log.start(path, "header"));
    ASSERT_FALSE(logRequest().failed);
    const off_t whole = sizeOf(path);
    {
        testing::FileSizeLimit full(static_cast<rlim_t>(whole + 20)); // part of the next block fits
        const LogWrite write = logRequest();
        EXPECT_TRUE(write.failed);
        EXPECT_FALSE(write.closingFailed);
    }
    EXPECT_FALSE(log.LogRecording());
    EXPECT_EQ(sizeOf(path), whole);
    EXPECT_FALSE(log.lost());
}

TEST_F(TrafficLogDisk, FolderRemovedWhileRecordingIsToldAsLost)
{
    ASSERT_TRUE(log.start(path, "header"));
    ASSERT_FALSE(logRequest().failed);
    fs::remove_all(folder);
    ASSERT_FALSE(logRequest().failed) << "the open file is still written";
    EXPECT_TRUE(log.stop());
    EXPECT_TRUE(log.lost());
    // The next file in a folder that is there again is not lost.
    fs::create_directory(folder);
    ASSERT_TRUE(log.start(path, "header"));
    EXPECT_TRUE(log.stop());
    EXPECT_FALSE(log.lost());
}

} // namespace
} // namespace korvel
