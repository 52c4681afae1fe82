#!/usr/bin/env bash
# The client window's polling rate against the trivial limit server, beside the load generator's
# rate against the same server in the same run, then a flood of exception replies.
#
#   bench/client_bench.sh [seconds, default 5] [flood seconds, default 60]
#
# Needs a build with the benchmarks (build/bench/korvel_client_poll_bench). Every process it
# starts is ended by its PID; all traffic stays on loopback.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
SECONDS_RUN=${1:-5}
FLOOD=${2:-60}
OUT=$(mktemp -d)
cc -O2 -Wall -Wextra -Werror -o "$OUT/limit_server" "$ROOT/bench/peers/limit_server.c"
cc -O2 -Wall -Wextra -Werror -o "$OUT/loadgen" "$ROOT/bench/peers/loadgen.c"
PORT=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
"$OUT/limit_server" "$PORT" >/dev/null 2>&1 &
SERVER=$!
trap 'kill $SERVER 2>/dev/null || true; wait $SERVER 2>/dev/null || true; rm -rf "$OUT"' EXIT
for _ in $(seq 1 50); do ss -ltn | grep -q ":$PORT " && break; sleep 0.1; done
echo "load generator: $("$OUT/loadgen" -p "$PORT" -c 1 -f 3 -q 10 -t "$SECONDS_RUN" -n 100000000)"
"$ROOT/build/bench/korvel_client_poll_bench" rate "$PORT" "$SECONDS_RUN" 2>/dev/null | grep -v '^This plugin'
"$ROOT/build/bench/korvel_client_poll_bench" exceptions "$FLOOD" 2>/dev/null | grep -v '^This plugin'
