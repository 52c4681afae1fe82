// The queries the client has sent on its connection and not yet had a reply to. Each reply is
// judged against the query it answers, found by its transaction identifier, and the reply-driven
// polling modes send the next query only once no query is awaited any more, so that a second
// query sent while one is awaited (a one-off request, the step after a monitoring time that
// passed, a change of mode) never leaves two in flight for good.
//
// A list query is superseded by the next list query: it is no longer awaited, and its reply, should
// it still come, is judged as a late one (against the identifier of the query sent last, so that it
// reports "Incorrect TI" unless every query carries identifier 0). A one-off request stays until
// its reply; the cycle timer's firing and a change of mode end the wait for every query sent before
// (their replies are still judged against them).
#pragma once

#include "master/query_building.h"

#include <cstddef>
#include <cstdint>
#include <deque>

namespace korvel {

class QueriesInFlight {
  public:
    // At most this many queries are remembered; the oldest is forgotten first.
    static constexpr size_t kRemembered = 16;

    // `query` was sent (its TICounter is the query's identifier, its frame the query's bytes).
    void sent(const ClientQueryState& query, bool oneOff);
    // What a reply with identifier `ti` is judged against, given the query state `last` of the
    // query sent last. The query it answers is forgotten. A reply whose identifier no remembered
    // query carries is judged against `last` and ends the wait for the oldest awaited query.
    // The unit identifier is always `last`'s (the one chosen now).
    ClientQueryState answer(uint16_t ti, const ClientQueryState& last);
    // A query is sent whose reply has not come.
    bool awaited() const;
    // Nothing sent so far is awaited any more; replies are still judged against their queries.
    void endWaits();
    void clear() { queries_.clear(); }
    size_t size() const { return queries_.size(); }

  private:
    struct Sent {
        ClientQueryState query;
        bool oneOff = false;
        bool awaited = true;
        bool superseded = false; // a later list query replaced this list query
    };
    std::deque<Sent> queries_; // oldest first
};

} // namespace korvel
