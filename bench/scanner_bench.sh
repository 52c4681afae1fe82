#!/usr/bin/env bash
# A scan of all 65536 holding registers by the scanner window against the trivial limit server,
# beside the load generator's round trip to the same server in the same run (one connection, one
# request outstanding, one register per request): the scan's time against 65536 round trips, and
# the scanner's resident memory before and after.
#
#   bench/scanner_bench.sh
#
# Needs a build with the benchmarks (build/bench/korvel_scanner_bench). Every process it starts is
# ended by its PID; all traffic stays on loopback.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=$(mktemp -d)
cc -O2 -Wall -Wextra -Werror -o "$OUT/limit_server" "$ROOT/bench/peers/limit_server.c"
cc -O2 -Wall -Wextra -Werror -o "$OUT/loadgen" "$ROOT/bench/peers/loadgen.c"
PORT=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
"$OUT/limit_server" "$PORT" >/dev/null 2>&1 &
SERVER=$!
trap 'kill $SERVER 2>/dev/null || true; wait $SERVER 2>/dev/null || true; rm -rf "$OUT"' EXIT
for _ in $(seq 1 50); do ss -ltn | grep -q ":$PORT " && break; sleep 0.1; done
rtt() { "$OUT/loadgen" -p "$PORT" -c 1 -f 3 -q 1 -n 65536 -t 60; }
BEFORE=$(rtt)
SCAN=$("$ROOT/build/bench/korvel_scanner_bench" "$PORT" 2>/dev/null | grep -v '^This plugin')
AFTER=$(rtt)
echo "load generator before: $BEFORE"
echo "scanner:               $SCAN"
echo "load generator after:  $AFTER"
/usr/bin/python3 - "$BEFORE" "$AFTER" "$SCAN" <<'PY'
import re, sys
rps = [float(re.search(r"rps=([0-9.]+)", s).group(1)) for s in sys.argv[1:3]]
total = int(re.search(r"total_ms=([0-9]+)", sys.argv[3]).group(1))
growth = int(re.search(r"rss_growth_kb=(-?[0-9]+)", sys.argv[3]).group(1))
rtt_ms = 65536 * 1000.0 / (sum(rps) / 2)
print(f"65536 x round trip = {rtt_ms:.0f} ms; scan = {total} ms; ratio = {total / rtt_ms:.2f} (goal: within 2); "
      f"memory growth = {growth / 1024:.1f} MB (goal: under 64)")
PY
