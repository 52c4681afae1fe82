// Cost of the client's series edits on its poll lists: a series 1..65535 merged into a full list
// (the slowest merge there is), into a sparse list, and removed again. The goal is well under
// 100 ms per merge, so that the busy cursor only blinks.
#include "master/poll_lists.h"

#include <benchmark/benchmark.h>
#include <cstdint>

namespace {

using korvel::ApplySeries;
using korvel::kFlagHoldingRead;
using korvel::PollList;
using korvel::RegisterStore;
using korvel::SeriesBounds;

constexpr SeriesBounds kEverything{1, 65535};

// Fills the list with every `step`-th address from 1 on.
void FillEvery(PollList& list, RegisterStore& store, int32_t step)
{
    ApplySeries(list, kEverything, true, store);
    for (int32_t a = 1; a <= 65535; a += step) {
        list.entries[list.count++] = a;
    }
}

void RunMerge(benchmark::State& state, int32_t step, bool remove)
{
    RegisterStore store;
    PollList list(kFlagHoldingRead);
    for (auto _ : state) {
        state.PauseTiming();
        FillEvery(list, store, step);
        state.ResumeTiming();
        ApplySeries(list, kEverything, remove, store);
        benchmark::DoNotOptimize(list.count);
    }
    state.counters["entries"] = list.count;
}

void BM_MergeIntoFullList(benchmark::State& state)
{
    RunMerge(state, 1, false);
}
void BM_MergeIntoEveryOtherAddress(benchmark::State& state)
{
    RunMerge(state, 2, false);
}
void BM_RemoveFromFullList(benchmark::State& state)
{
    RunMerge(state, 1, true);
}

} // namespace

BENCHMARK(BM_MergeIntoFullList)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MergeIntoEveryOtherAddress)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RemoveFromFullList)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
