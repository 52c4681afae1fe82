// The variable-list file: what is written and what loading makes of a file.
#include "common/numeric.h"
#include "common/variable_list.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace korvel {
namespace {

RegisterList Ascending()
{
    RegisterList list{};
    for (int i = 0; i < kVariableListRows; ++i) {
        list[static_cast<size_t>(i)] = i;
    }
    return list;
}

std::string Join(std::initializer_list<std::string> lines)
{
    std::string out;
    for (const auto& line : lines) {
        out += line + "\r\n";
    }
    return out;
}

std::string NumbersZeroTo25()
{
    std::string out;
    for (int i = 0; i < kVariableListRows; ++i) {
        out += std::to_string(i) + "\r\n";
    }
    return out;
}

TEST(VariableListWrite, ExampleFileByteForByte)
{
    RegisterStore store;
    store.setHolding(5, 1234);
    store.setInput(7, 1);
    const std::string expected = Join({"#Korvel 1.8.2", "//", "2000005|1234", "1000007|1", "#EOR"}) +
                                 NumbersZeroTo25() + "#EOVLI\r\n" + NumbersZeroTo25() +
                                 Join({"#EOVLH", "//", "// 2 (1/1)", "// 09/12/2026 14:05:09", "#EOF"});
    EXPECT_EQ(WriteVariableList(store, Ascending(), Ascending(), "09/12/2026 14:05:09"), expected);
}

TEST(VariableListWrite, InputBeforeHoldingPerAddressAndCounts)
{
    RegisterStore store;
    EXPECT_THAT(WriteVariableList(store, Ascending(), Ascending(), "d"), ::testing::HasSubstr("\r\n// 0 (0/0)\r\n"));
    store.setHolding(3, 1);
    store.setInput(3, 65535);
    store.setInput(65535, 9);
    const std::string text = WriteVariableList(store, Ascending(), Ascending(), "d");
    EXPECT_THAT(text, ::testing::StartsWith("#Korvel 1.8.2\r\n//\r\n1000003|65535\r\n2000003|1\r\n1065535|9\r\n#EOR"));
    EXPECT_THAT(text, ::testing::HasSubstr("\r\n// 3 (2/1)\r\n"));
}

TEST(VariableListWrite, HexLabelsAreWrittenInDecimal)
{
    RegisterListLabels labels;
    for (int i = 0; i < kVariableListRows; ++i) {
        labels[static_cast<size_t>(i)] = HexText(0xFFE6 + i);
    }
    const RegisterList list = LabelsToRegisters(labels, true);
    EXPECT_EQ(list[0], 65510);
    EXPECT_EQ(list[25], 65535);
    RegisterStore store;
    EXPECT_THAT(WriteVariableList(store, list, Ascending(), "d"), ::testing::HasSubstr("#EOR\r\n65510\r\n65511\r\n"));
    labels[3] = "XYZ";
    EXPECT_THROW(LabelsToRegisters(labels, true), ConversionError);
}

class VariableListRead : public ::testing::Test {
  protected:
    VariableListLoad load(const std::string& text, bool hex = false) { return ReadVariableList(text, store, hex); }
    RegisterStore store;
};

TEST_F(VariableListRead, RoundTripRestoresValuesAndLists)
{
    RegisterStore source;
    source.setHolding(0, 65535);
    source.setHolding(65535, 12);
    source.setInput(100, 3);
    RegisterList lists = Ascending();
    lists[25] = 65535;
    const std::string file = WriteVariableList(source, lists, Ascending(), "d");

    store.setHolding(1, 99); // not in the file: cleared
    store.setInput(2, 99);
    const VariableListLoad result = load(file);
    ASSERT_TRUE(result.ok) << result.messageText();
    EXPECT_EQ(store.holding(0), 65535);
    EXPECT_EQ(store.holding(65535), 12);
    EXPECT_EQ(store.input(100), 3);
    EXPECT_EQ(store.holding(1), 0);
    EXPECT_EQ(store.input(2), 0);
    EXPECT_EQ(result.inputCount, 26);
    EXPECT_EQ(result.holdCount, 26);
    EXPECT_EQ(result.inputLabels[25], "65535");
    EXPECT_EQ(result.holdLabels[4], "4");
}

TEST_F(VariableListRead, ValuesKeepTheirLow16Bits)
{
    ASSERT_TRUE(load(Join({"2000001|65535", "2000002|-1", "2000003|65536", "1000004|$10", "#EOR"})).ok);
    EXPECT_EQ(store.holding(1), 65535);
    EXPECT_EQ(store.holding(2), 65535);
    EXPECT_EQ(store.holding(3), 0);
    EXPECT_EQ(store.input(4), 16);
}

TEST_F(VariableListRead, HexModeTurnsListsInto4DigitHexLabels)
{
    const VariableListLoad result = load(Join({"#EOR", "10", "65535", "#EOVLI", "0", "#EOVLH"}), true);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.inputCount, 2);
    EXPECT_EQ(result.inputLabels[0], "000A");
    EXPECT_EQ(result.inputLabels[1], "FFFF");
    EXPECT_EQ(result.holdCount, 1);
    EXPECT_EQ(result.holdLabels[0], "0000");
}

TEST_F(VariableListRead, CommentsOnlyInTheFirstColumnAndIndentedLinesLoad)
{
    ASSERT_TRUE(load(Join({"//x", "   2000001|5", "\t1000002|6", "", "   ", "#Other 9.9", "#EOR", "  7  "})).ok);
    EXPECT_EQ(store.holding(1), 5);
    EXPECT_EQ(store.input(2), 6);
    const VariableListLoad failed = load(Join({"2000001|5", "  // indented comment", "2000002|6"}));
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.failingLine, 2);
    EXPECT_EQ(failed.messageText(), "'// inde' is not a valid integer value\nLine 2: "
                                    "  // indented comment");
    EXPECT_EQ(store.holding(1), 5);
    EXPECT_EQ(store.holding(2), 0);
}

TEST_F(VariableListRead, BlanksAfterTheValueDoNotFailTheLine)
{
    ASSERT_TRUE(load(Join({"2000001|5  ", "1000002|1234\t", "  2000003|7 ", "#EOR"})).ok);
    EXPECT_EQ(store.holding(1), 5);
    EXPECT_EQ(store.input(2), 1234);
    EXPECT_EQ(store.holding(3), 7);
}

TEST_F(VariableListRead, NothingAfterEofIsRead)
{
    const VariableListLoad result =
        load(Join({"2000001|5", "#EOR", "#EOVLI", "#EOVLH", "ignored in section 3", "#EOF", "2000002|6", "garbage"}));
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(store.holding(2), 0);
    // Line ends of any kind.
    ASSERT_TRUE(load("2000001|5\n1000001|6\r2000002|7").ok);
    EXPECT_EQ(store.holding(1), 5);
    EXPECT_EQ(store.input(1), 6);
    EXPECT_EQ(store.holding(2), 7);
}

TEST_F(VariableListRead, FailureLeavesRegistersClearedAndLoadedUpToTheFailingLine)
{
    store.setHolding(50, 50);
    const VariableListLoad result = load(Join({"#Korvel 1.8.2", "2000001|5", "2000002|x", "2000003|7"}));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.failingLine, 3);
    EXPECT_EQ(result.messageText(), "'x' is not a valid integer value\nLine 3: 2000002|x");
    EXPECT_EQ(store.holding(1), 5);
    EXPECT_EQ(store.holding(2), 0);
    EXPECT_EQ(store.holding(3), 0);
    EXPECT_EQ(store.holding(50), 0);
}

TEST_F(VariableListRead, KeysOutsideBothRangesFail)
{
    for (const char* line : {"3000000|1", "0000005|1", "1065536|1", "2065536|1", "9999999|1"}) {
        const VariableListLoad result = load(Join({"2000001|5", line}));
        EXPECT_FALSE(result.ok) << line;
        EXPECT_EQ(result.failingLine, 2) << line;
        EXPECT_THAT(result.error, ::testing::HasSubstr("outside")) << line;
    }
    EXPECT_TRUE(load(Join({"1065535|1", "2065535|2", "1000000|3", "2000000|4"})).ok);
    EXPECT_EQ(store.input(65535), 1);
    EXPECT_EQ(store.holding(0), 4);
}

TEST_F(VariableListRead, ListsLongerThan26EntriesFail)
{
    std::string lines = "#EOR\r\n";
    for (int i = 0; i < 27; ++i) {
        lines += std::to_string(i) + "\r\n";
    }
    const VariableListLoad result = load(lines);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.failingLine, 28);
    EXPECT_EQ(result.inputCount, 26);
    const VariableListLoad hold = load("#EOR\r\n#EOVLI\r\n" + lines.substr(6));
    EXPECT_FALSE(hold.ok);
    EXPECT_THAT(hold.error, ::testing::HasSubstr("holding"));
}

TEST_F(VariableListRead, ListEntriesMustBeDecimalRegisterNumbersInBothModes)
{
    for (bool hex : {false, true}) {
        for (const char* entry : {"1A", "$10", "-1", "65536", "1 2"}) {
            const VariableListLoad result = load(Join({"#EOR", "3", entry}), hex);
            EXPECT_FALSE(result.ok) << entry << " hex " << hex;
            EXPECT_EQ(result.failingLine, 3) << entry;
            EXPECT_EQ(result.inputCount, 1) << entry;
        }
    }
}

TEST_F(VariableListRead, LongOrControlLadenLinesAreQuotedShortAndEscaped)
{
    struct Row {
        std::string section; // what comes before the bad line
        std::string line;
    };
    const std::string huge(10 * 1024 * 1024, '7');
    const Row rows[] = {
        {"", "2000001|" + huge + "x"}, {"#EOR\r\n", huge + "x"}, {"", std::string("2000001|\x1b[2J\0x", 14)}};
    for (const Row& row : rows) {
        const VariableListLoad result = load(row.section + row.line + "\r\n");
        ASSERT_FALSE(result.ok);
        const std::string text = result.messageText();
        EXPECT_LT(text.size(), 700u) << text.substr(0, 300);
        EXPECT_TRUE(std::none_of(text.begin(), text.end(), [](char ch) { return ch >= 0 && ch < ' ' && ch != '\n'; }));
        if (row.line.size() > 1000)
            EXPECT_THAT(text, ::testing::HasSubstr("... (" + std::to_string(row.line.size())));
        else
            EXPECT_EQ(text, "'\\x1B[2J\\x00x' is not a valid integer value\nLine 1: 2000001|\\x1B[2J\\x00x");
    }
}

// Files that are no register file are refused before anything is read from them.
TEST(VariableListFileRead, OnlyRegularFilesOfARegisterFilesSizeAreRead)
{
    char pattern[] = "/tmp/korvel-load-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::filesystem::path dir = pattern;
    std::ofstream(dir / "good.korvel") << "2000001|5\r\n";
    ASSERT_EQ(::mkfifo((dir / "fifo.korvel").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", dir / "zero.korvel");
    std::filesystem::create_directory(dir / "folder.korvel");
    std::ofstream(dir / "big.korvel").close();
    std::filesystem::resize_file(dir / "big.korvel", kMaxVariableListBytes + 1);
    const struct {
        const char* name;
        const char* why;
    } rows[] = {{"good.korvel", ""},
                {"fifo.korvel", "it is not a regular file"},
                {"zero.korvel", "it is not a regular file"},
                {"folder.korvel", "it is a folder"},
                {"big.korvel", "it is larger than a variable-list file can be (4194305 bytes; at most 4194304)"},
                {"missing.korvel", "No such file or directory"}};
    for (const auto& row : rows) {
        std::string content = "old";
        EXPECT_EQ(ReadVariableListFile((dir / row.name).string(), content), row.why) << row.name;
        EXPECT_EQ(content, *row.why ? "" : "2000001|5\r\n") << row.name;
    }
    std::filesystem::remove_all(dir);
}

TEST(VariableListExtension, LastSixCharactersInAnyCase)
{
    EXPECT_TRUE(HasVariableListExtension("/tmp/set.korvel"));
    EXPECT_TRUE(HasVariableListExtension("/tmp/SET.KORVEL"));
    EXPECT_TRUE(HasVariableListExtension("x.KorVel"));
    EXPECT_FALSE(HasVariableListExtension("/tmp/set.txt"));
    EXPECT_FALSE(HasVariableListExtension("orvel"));
    EXPECT_FALSE(HasVariableListExtension("/tmp/set.korvel "));
}

} // namespace
} // namespace korvel
