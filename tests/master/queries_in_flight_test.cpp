#include "master/queries_in_flight.h"

#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace korvel {
namespace {

// A row is a script of what happened on the connection, each token in turn:
//   L<ti> a list query sent, O<ti> a one-off sent, E the cycle timer fired (or the mode changed),
//   R<ti> a reply came.
// For every reply, in order: the query its judgement used ("L1#0": the frame of the first token), the
// identifier it is judged against, and whether a query is still awaited afterwards (+/-).
struct InFlightCase {
    const char* name;
    const char* script;
    std::vector<std::string> judged;
};

class InFlightTest : public testing::TestWithParam<InFlightCase> {};

TEST_P(InFlightTest, EachReplyJudgedAgainstTheQueryItAnswers)
{
    QueriesInFlight inFlight;
    std::vector<std::string> tags; // tag of the frame sent, by the number in QueryFrame[8]
    ClientQueryState last;
    last.ClientUID = 9;
    std::vector<std::string> judged;
    std::istringstream script(GetParam().script);
    std::string token;
    while (script >> token) {
        const int ti = token.size() > 1 ? std::stoi(token.substr(1)) : 0;
        if (token[0] == 'L' || token[0] == 'O') {
            last.TICounter = ti;
            last.QueryFrame[8] = static_cast<uint8_t>(tags.size());
            tags.push_back(token + "#" + std::to_string(tags.size()));
            inFlight.sent(last, token[0] == 'O');
        } else if (token[0] == 'E') {
            inFlight.endWaits();
        } else {
            const ClientQueryState q = inFlight.answer(static_cast<uint16_t>(ti), last);
            EXPECT_EQ(q.ClientUID, 9) << "the unit chosen now";
            judged.push_back(tags[q.QueryFrame[8]] + "@" + std::to_string(q.TICounter) +
                             (inFlight.awaited() ? "+" : "-"));
        }
    }
    EXPECT_EQ(judged, GetParam().judged);
}

std::string InFlightName(const testing::TestParamInfo<InFlightCase>& info)
{
    return info.param.name;
}

const InFlightCase kInFlightRows[] = {
    {"OneListQuery", "L1 R1", {"L1#0@1-"}},
    {"ListReplyWhileAOneOffIsAwaited", "L1 O2 R1 R2", {"L1#0@1+", "O2#1@2-"}},
    {"OneOffAnsweredFirst", "L1 O2 R2 R1", {"O2#1@2+", "L1#0@1-"}},
    // The next list query replaces the one before: its late reply is judged against the last TI.
    {"LateReplyOfAReplacedListQuery", "L1 E L2 R1 R2", {"L1#0@2+", "L2#1@2-"}},
    {"ReplacedWhileCyclic", "L1 L2 L3 R1 R2 R3", {"L1#0@3+", "L2#1@3+", "L3#2@3-"}},
    // A one-off is no list query: it is judged against itself even after the monitoring time.
    {"OneOffReplyAfterTheMonitoringTime", "O1 E L2 R1 R2", {"O1#0@1+", "L2#1@2-"}},
    {"OneOffNotWaitedForAfterTheMonitoringTime", "O1 E L2 R2", {"L2#1@2-"}},
    // An identifier nobody sent: judged against the last query, it ends the oldest wait.
    {"UnknownIdentifier", "L1 R7", {"L1#0@1-"}},
    {"UnknownIdentifierWhileTwoAreAwaited", "L1 O2 R7 R2", {"O2#1@2+", "O2#1@2-"}},
    // "TI always '00 00'": replies come in the order of their queries.
    {"ForcedZeroInOrder", "L0 O0 R0 R0", {"L0#0@0+", "O0#1@0-"}},
    {"ForcedZeroLateReplyKeepsItsOwnAddresses", "L0 E L0 R0 R0", {"L0#0@0+", "L0#1@0-"}},
};
INSTANTIATE_TEST_SUITE_P(Replies, InFlightTest, testing::ValuesIn(kInFlightRows), InFlightName);

TEST(QueriesInFlight, RemembersABoundedNumberAndForgetsOnClear)
{
    QueriesInFlight inFlight;
    ClientQueryState q;
    for (int ti = 1; ti <= 40; ++ti) {
        q.TICounter = ti;
        inFlight.sent(q, true); // one-offs a partner never answers
    }
    EXPECT_EQ(inFlight.size(), QueriesInFlight::kRemembered);
    EXPECT_EQ(inFlight.answer(40, q).TICounter, 40);
    EXPECT_TRUE(inFlight.awaited());
    inFlight.clear();
    EXPECT_FALSE(inFlight.awaited());
}

} // namespace
} // namespace korvel
