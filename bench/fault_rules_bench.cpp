// Cost of the fault rules per request: ten rules that match nothing must cost next to nothing
// beside the engine's own work (no allocation, no draw), and a rule that fires shows what a plan
// costs.
#include "allocation_count.h"
#include "faults/fault_rules.h"
#include "server/server_engine.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

using bench::g_allocations;

namespace {

using namespace korvel;

const std::vector<uint8_t> kFc3x10 = {0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x01, 0x03, 0x00, 0x00, 0x00, 0x0A};

// Ten rules in the scopes a user writes, none of which an FC3 of unit 1 from 127.0.0.1 on
// connection 1 at address 0 falls into.
FaultRuleSet TenMisses()
{
    FaultRuleSet set;
    for (int i = 0; i < 10; ++i) {
        FaultRule rule;
        rule.name = "miss " + std::to_string(i);
        rule.kind = FaultKind::Delay;
        rule.delay.ms = 50;
        rule.probability = 0.5;
        switch (i % 5) {
        case 0:
            rule.functions = {16};
            break;
        case 1:
            rule.units = {{2, 9}};
            break;
        case 2:
            rule.addresses = {{100, 199}};
            break;
        case 3:
            rule.peer = PeerScope{0x0A000000, 0xFF000000};
            break;
        default:
            rule.connection = 2;
            break;
        }
        set.rules.push_back(rule);
    }
    return set;
}

void Report(benchmark::State& state, uint64_t allocations)
{
    state.counters["allocs_per_request"] =
        static_cast<double>(allocations) / static_cast<double>(state.iterations() ? state.iterations() : 1);
}

// The engine alone, then the engine followed by the evaluation, as the runtime will call them.
void RunEngine(benchmark::State& state, FaultRules* rules)
{
    RegisterStore store;
    store.ascendingHolding();
    ServerEngine engine(store);
    engine.connectionAccepted(1, "127.0.0.1", 0);
    uint32_t now = 0;
    const uint64_t before = g_allocations.load();
    for (auto _ : state) {
        const ProcessResult result = engine.process(1, kFc3x10, ++now);
        if (rules != nullptr) {
            const FaultRequest facts = FaultRequestOf(result.request, 1, 0x7F000001, now);
            FaultPlan plan = rules->evaluate(facts, result.reply);
            benchmark::DoNotOptimize(plan);
        }
        benchmark::DoNotOptimize(result);
    }
    Report(state, g_allocations.load() - before);
}

void BM_EngineFc3x10(benchmark::State& state)
{
    RunEngine(state, nullptr);
}

void BM_EngineFc3x10TenRulesMatchNothing(benchmark::State& state)
{
    FaultRules rules(TenMisses());
    RunEngine(state, &rules);
    if (rules.firedTotal() != 0) {
        state.SkipWithError("a rule fired");
    }
}

// The evaluation alone, for an FC3 x 10 request from 127.0.0.1 on connection 1.
void Evaluate(benchmark::State& state, FaultRules rules)
{
    const std::vector<uint8_t> reply(29, 0);
    const FaultRequest facts = FaultRequestOf(kFc3x10, 1, 0x7F000001, 0);
    const uint64_t before = g_allocations.load();
    for (auto _ : state) {
        FaultPlan plan = rules.evaluate(facts, reply);
        benchmark::DoNotOptimize(plan);
    }
    Report(state, g_allocations.load() - before);
}

void BM_EvaluateTenRulesMatchNothing(benchmark::State& state)
{
    Evaluate(state, FaultRules(TenMisses()));
}

void BM_EvaluateOneRuleFires(benchmark::State& state)
{
    FaultRule rule;
    rule.name = "pid";
    rule.kind = FaultKind::WrongPid;
    Evaluate(state, FaultRules(FaultRuleSet{1, {rule}}));
}

} // namespace

BENCHMARK(BM_EngineFc3x10);
BENCHMARK(BM_EngineFc3x10TenRulesMatchNothing);
BENCHMARK(BM_EvaluateTenRulesMatchNothing);
BENCHMARK(BM_EvaluateOneRuleFires);

BENCHMARK_MAIN();
