#include "master/queries_in_flight.h"

#include <algorithm>

namespace korvel {

void QueriesInFlight::sent(const ClientQueryState& query, bool oneOff)
{
    if (!oneOff) {
        for (Sent& s : queries_) {
            if (!s.oneOff) {
                s.superseded = true;
                s.awaited = false;
            }
        }
    }
    queries_.push_back({query, oneOff, true, false});
    while (queries_.size() > kRemembered) {
        queries_.pop_front();
    }
}

ClientQueryState QueriesInFlight::answer(uint16_t ti, const ClientQueryState& last)
{
    // Replies come in the order of their queries: with equal identifiers the oldest query is answered.
    const auto match =
        std::find_if(queries_.begin(), queries_.end(), [ti](const Sent& s) { return s.query.TICounter == ti; });
    if (match == queries_.end()) {
        const auto oldest = std::find_if(queries_.begin(), queries_.end(), [](const Sent& s) { return s.awaited; });
        if (oldest != queries_.end()) {
            queries_.erase(oldest);
        }
        return last;
    }
    ClientQueryState judged = match->query;
    judged.ClientUID = last.ClientUID;
    if (match->superseded) {
        judged.TICounter = last.TICounter; // a late reply
    }
    queries_.erase(match);
    return judged;
}

bool QueriesInFlight::awaited() const
{
    return std::any_of(queries_.begin(), queries_.end(), [](const Sent& s) { return s.awaited; });
}

void QueriesInFlight::endWaits()
{
    for (Sent& s : queries_) {
        s.awaited = false;
    }
}

} // namespace korvel
