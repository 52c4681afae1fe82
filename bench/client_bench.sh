#!/usr/bin/env bash
# The client window's polling rate against the trivial limit server, beside the load generator's
# rate against the same server in the same run, then a flood of exception replies.
#
#   bench/client_bench.sh [seconds, default 3] [flood seconds, default 60] [rounds, default 4]
#
# Everything runs on CPU 0, so a rate is the cost of a poll (client plus server) on one core.
# The load generator and the client take turns, round by round, and the script prints each
# round's ratio and their median: on a shared machine the rates of one round say little.
#
# Needs a build with the benchmarks (build/bench/korvel_client_poll_bench). Every process it
# starts is ended by its PID; all traffic stays on loopback.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
SECONDS_RUN=${1:-3}
FLOOD=${2:-60}
ROUNDS=${3:-4}
# shellcheck source=limit_server.sh
. "$ROOT/bench/limit_server.sh"
ratios=()
for round in $(seq 1 "$ROUNDS"); do
  gen=$(taskset -c 0 "$OUT/loadgen" -p "$PORT" -c 1 -f 3 -q 10 -t "$SECONDS_RUN" -n 100000000)
  client=$(taskset -c 0 "$ROOT/build/bench/korvel_client_poll_bench" rate "$PORT" "$SECONDS_RUN" 2>/dev/null | sed -n 's/^client polls\/s //p')
  rps=$(echo "$gen" | sed -n 's/.*rps=\([0-9]*\).*/\1/p')
  ratio=$(awk -v c="$client" -v g="$rps" 'BEGIN { printf "%.2f", c / g }')
  ratios+=("$ratio")
  echo "round $round: load generator $rps/s, client $client polls/s, ratio $ratio"
done
echo "median ratio: $(printf '%s\n' "${ratios[@]}" | sort -n | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }')"
"$ROOT/build/bench/korvel_client_poll_bench" exceptions "$FLOOD" 2>/dev/null | grep -v '^This plugin'
