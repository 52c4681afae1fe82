#!/usr/bin/env bash
# A scan of all 65536 holding registers by the scanner window against the trivial limit server,
# beside the load generator's round trip to the same server in the same run (one connection, one
# request outstanding, one register per request): the scan's time against 65536 round trips, and
# the scanner's resident memory before and after. Rounds alternate load generator and scan; every
# process runs on CPU 0 (taskset -c 0), so that a round trip is the CPU cost of one request on
# this machine, as in bench/run.sh.
#
#   bench/scanner_bench.sh [rounds, default 3]
#
# Needs a build with the benchmarks (build/bench/korvel_scanner_bench). Every process it starts is
# ended by its PID; all traffic stays on loopback.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
ROUNDS=${1:-3}
# shellcheck source=limit_server.sh
. "$ROOT/bench/limit_server.sh"
rtt() { taskset -c 0 "$OUT/loadgen" -p "$PORT" -c 1 -f 3 -q 1 -n 65536 -t 60; }
: >"$OUT/figures"
for round in $(seq 1 "$ROUNDS"); do
  BEFORE=$(rtt)
  SCAN=$(taskset -c 0 "$ROOT/build/bench/korvel_scanner_bench" "$PORT" 2>/dev/null | grep '^registers=')
  AFTER=$(rtt)
  echo "round $round: loadgen $BEFORE | scan $SCAN | loadgen $AFTER"
  echo "$BEFORE|$SCAN|$AFTER" >>"$OUT/figures"
done
/usr/bin/python3 - "$OUT/figures" <<'PY'
import re, statistics, sys
ratios, scans, rtts, growths = [], [], [], []
for line in open(sys.argv[1]):
    before, scan, after = line.split("|")
    rps = [float(re.search(r"rps=([0-9.]+)", s).group(1)) for s in (before, after)]
    rtt_ms = 65536 * 1000.0 / (sum(rps) / 2)
    total = int(re.search(r"total_ms=([0-9]+)", scan).group(1))
    growths.append(int(re.search(r"rss_growth_kb=(-?[0-9]+)", scan).group(1)) / 1024)
    rtts.append(rtt_ms); scans.append(total); ratios.append(total / rtt_ms)
print(f"median of {len(ratios)} rounds: 65536 x round trip = {statistics.median(rtts):.0f} ms; "
      f"scan = {statistics.median(scans):.0f} ms; ratio = {statistics.median(ratios):.2f} "
      f"(rounds: {', '.join(f'{r:.2f}' for r in ratios)}; goal: within 2); "
      f"memory growth = {max(growths):.1f} MB at most (goal: under 64)")
PY
