// Cost of one request in the server engine: copy in, checks, execution, reply, counters.
#include "allocation_count.h"
#include "server/server_engine.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <new>
#include <vector>

using bench::g_allocations;

namespace {

using korvel::ProcessResult;
using korvel::RegisterStore;
using korvel::ServerEngine;

void RunRequest(benchmark::State& state, std::initializer_list<uint8_t> frame, bool forcedException = false)
{
    RegisterStore store;
    store.ascendingHolding();
    store.ascendingInput();
    ServerEngine engine(store);
    engine.connectionAccepted(1, "127.0.0.1", 0);
    if (forcedException) {
        engine.settings.ReturnExceptionActive = true;
        engine.settings.ForcedExceptionCode = 4;
    }
    const std::vector<uint8_t> bytes(frame);
    uint32_t now = 0;
    int replyBytes = 0;
    const uint64_t allocationsBefore = g_allocations.load();
    for (auto _ : state) {
        ProcessResult result = engine.process(1, bytes, ++now);
        benchmark::DoNotOptimize(result);
        replyBytes = result.replyLength;
    }
    const uint64_t allocations = g_allocations.load() - allocationsBefore;
    if (replyBytes == 0) {
        state.SkipWithError("no reply was built");
    }
    state.counters["reply_bytes"] = replyBytes;
    state.counters["allocs_per_request"] =
        static_cast<double>(allocations) / static_cast<double>(state.iterations() ? state.iterations() : 1);
}

void BM_Fc3x10(benchmark::State& state)
{
    RunRequest(state, {0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x01, 0x03, 0x00, 0x00, 0x00, 0x0A});
}

void BM_Fc3x125(benchmark::State& state)
{
    RunRequest(state, {0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x01, 0x03, 0x00, 0x00, 0x00, 0x7D});
}

void BM_Fc16x10(benchmark::State& state)
{
    RunRequest(state,
               {0x00, 0x01, 0x00, 0x00, 0x00, 0x1B, 0x01, 0x10, 0x00, 0x64, 0x00, 0x0A, 0x14, 0x00, 0x01, 0x00, 0x02,
                0x00, 0x03, 0x00, 0x04, 0x00, 0x05, 0x00, 0x06, 0x00, 0x07, 0x00, 0x08, 0x00, 0x09, 0x00, 0x0A});
}

// Writes 4 registers at 200, reads 10 at 198.
void BM_Fc23(benchmark::State& state)
{
    RunRequest(state, {0x00, 0x01, 0x00, 0x00, 0x00, 0x13, 0x01, 0x17, 0x00, 0xC6, 0x00, 0x0A, 0x00,
                       0xC8, 0x00, 0x04, 0x08, 0x11, 0x11, 0x22, 0x22, 0x33, 0x33, 0x44, 0x44});
}

// An unserved function code: failed check, exception 1.
void BM_ExceptionReply(benchmark::State& state)
{
    RunRequest(state, {0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x01, 0x41});
}

// FC3 x 10 executed, then replaced by the forced exception.
void BM_ForcedException(benchmark::State& state)
{
    RunRequest(state, {0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x01, 0x03, 0x00, 0x00, 0x00, 0x0A}, true);
}

} // namespace

BENCHMARK(BM_Fc3x10);
BENCHMARK(BM_Fc3x125);
BENCHMARK(BM_Fc16x10);
BENCHMARK(BM_Fc23);
BENCHMARK(BM_ExceptionReply);
BENCHMARK(BM_ForcedException);

BENCHMARK_MAIN();
