#!/usr/bin/env bash
# Fault rules on the request path: korvel-server with and without rules, against the trivial
# "limit" server and libmodbus, on loopback.
#
#   bench/faults_bench.sh [--rounds N] [--seconds S] [--delayed N] [--quick]
#
# 1. The rate of FC3 x 10 on one connection, every server and the load generator on CPU 0, round
#    after round with the servers' order rotating: korvel-server without rules, korvel-server with
#    ten rules that match nothing (bench/faults/ten-unmatched.toml), the limit server, libmodbus.
# 2. Two connections, connection 1's replies delayed 1 ms (bench/faults/delay-first-1ms.toml):
#    connection 2's p99 against the same load on korvel-server without rules.
# 3. The precision of a fixed 10 ms delay (bench/faults/delay-10ms.toml): N replies on two
#    connections, the error of each reply's latency against 10 ms.
# Builds what it needs in build-bench/ (or $KORVEL_BENCH_BUILD; KORVEL_SERVER uses a given
# korvel-server). Results on stdout and under <build>/bench-out/. Every loop is bounded; only the
# processes this script starts are ended.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${KORVEL_BENCH_BUILD:-$ROOT/build-bench}
ROUNDS=8
SECONDS_PER_LOAD=1.5
DELAYED=10000
while [ $# -gt 0 ]; do
  case "$1" in
    --rounds) ROUNDS=$2; shift 2 ;;
    --seconds) SECONDS_PER_LOAD=$2; shift 2 ;;
    --delayed) DELAYED=$2; shift 2 ;;
    --quick) ROUNDS=2; SECONDS_PER_LOAD=0.5; DELAYED=400; shift ;;
    *) echo "usage: $0 [--rounds N] [--seconds S] [--delayed N] [--quick]" >&2; exit 2 ;;
  esac
done

PEERS=$BUILD/bench-peers
RUN=$BUILD/bench-out/faults-$(date -u +%Y%m%dT%H%M%SZ)
mkdir -p "$PEERS" "$RUN"

CFLAGS="-O2 -Wall -Wextra -Werror"
cc $CFLAGS -o "$PEERS/loadgen" "$ROOT/bench/peers/loadgen.c"
cc $CFLAGS -o "$PEERS/limit_server" "$ROOT/bench/peers/limit_server.c"
# shellcheck disable=SC2046
cc $CFLAGS $(pkg-config --cflags libmodbus) -o "$PEERS/libmodbus_server" \
  "$ROOT/bench/peers/libmodbus_server.c" $(pkg-config --libs libmodbus)
if [ -z "${KORVEL_SERVER:-}" ]; then
  if [ ! -f "$BUILD/build.ninja" ]; then
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  fi
  cmake --build "$BUILD" --target korvel-server -j2 >/dev/null
  KORVEL_SERVER=$BUILD/korvel-server
fi
cp "$KORVEL_SERVER" "$RUN/korvel-server"

PIDS=()
cleanup() {
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -f "$RUN/korvel-server"
}
trap cleanup EXIT

free_port() {
  /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
wait_listening() { # port pid: at most 30 s
  for _ in $(seq 300); do
    if ss -Htln "sport = :$1" | grep -q .; then return 0; fi
    kill -0 "$2" 2>/dev/null || { echo "server on port $1 exited" >&2; return 1; }
    sleep 0.1
  done
  echo "nothing listens on port $1 after 30 s" >&2
  return 1
}

declare -A PORT PID
start() { # name command... (the port is appended)
  local name=$1; shift
  PORT[$name]=$(free_port)
  "$@" "${PORT[$name]}" >"$RUN/$name.out" 2>&1 &
  PID[$name]=$!
  PIDS+=("$!")
}
server() { # name [arguments...]
  local name=$1; shift
  mkdir -p "$RUN/$name-atoms"
  start "$name" env KORVEL_ATOM_DIR="$RUN/$name-atoms" taskset -c 0 "$RUN/korvel-server" --quiet "$@" --port
}

start limit taskset -c 0 "$PEERS/limit_server"
start libmodbus taskset -c 0 "$PEERS/libmodbus_server"
server korvel-server
server korvel-server-10-rules --faults "$ROOT/bench/faults/ten-unmatched.toml"
server korvel-server-delay-c1 --faults "$ROOT/bench/faults/delay-first-1ms.toml"
server korvel-server-delay-10ms --faults "$ROOT/bench/faults/delay-10ms.toml"
for s in "${!PORT[@]}"; do wait_listening "${PORT[$s]}" "${PID[$s]}"; done

field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p" | head -1; }
median() { sort -g | awk '{v[NR]=$1} END {if (NR == 0) print 0; else if (NR % 2) print v[(NR+1)/2]; else print (v[NR/2]+v[NR/2+1])/2}'; }

# ---- 1: the rate with and without rules -------------------------------------------------------
RATE=(korvel-server korvel-server-10-rules limit libmodbus)
printf 'round\tserver\trps\n' >"$RUN/rate.tsv"
for round in $(seq "$ROUNDS"); do
  for k in $(seq 0 $((${#RATE[@]} - 1))); do
    s=${RATE[$(((k + round) % ${#RATE[@]}))]}
    line=$(taskset -c 0 "$PEERS/loadgen" -p "${PORT[$s]}" -c 1 -f 3 -q 10 -t "$SECONDS_PER_LOAD" -n 2000000) || true
    printf '%s\t%s\t%s\n' "$round" "$s" "$(field rps <<<"$line")" >>"$RUN/rate.tsv"
  done
done
declare -A RPS
for s in "${RATE[@]}"; do RPS[$s]=$(awk -v s="$s" '$2 == s {print $3}' "$RUN/rate.tsv" | median); done

# ---- 2: connection 2 beside a delayed connection 1 --------------------------------------------
printf 'round\tserver\tconn2_p99_us\n' >"$RUN/delay-c1.tsv"
for round in $(seq "$ROUNDS"); do
  for s in korvel-server korvel-server-delay-c1; do
    out=$(taskset -c 0 "$PEERS/loadgen" -p "${PORT[$s]}" -c 2 -f 3 -q 10 -t "$SECONDS_PER_LOAD" -n 2000000 -P) || true
    printf '%s\t%s\t%s\n' "$round" "$s" "$(grep '^conn=2 ' <<<"$out" | field p99_us)" >>"$RUN/delay-c1.tsv"
  done
done
C2_PLAIN=$(awk '$2 == "korvel-server" {print $3}' "$RUN/delay-c1.tsv" | median)
C2_DELAY=$(awk '$2 == "korvel-server-delay-c1" {print $3}' "$RUN/delay-c1.tsv" | median)

# ---- 3: a fixed 10 ms delay -------------------------------------------------------------------
# Two connections with one request each in flight: about 200 replies a second.
out=$(taskset -c 0 "$PEERS/loadgen" -p "${PORT[korvel-server-delay-10ms]}" -c 2 -f 3 -q 10 -w 10 \
  -t $((DELAYED / 150 + 10)) -n "$DELAYED") || true
D50=$(field p50_us <<<"$out")
D99=$(field p99_us <<<"$out")
DN=$(field n <<<"$out")

{
  echo "machine: $(nproc) CPUs, $(sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -1), load $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "rounds: $ROUNDS x $SECONDS_PER_LOAD s"
  echo
  echo "FC3 x 10, one connection, CPU 0 (median requests/s):"
  for s in "${RATE[@]}"; do printf '  %-24s %8.0f\n' "$s" "${RPS[$s]}"; done
  awk -v a="${RPS[korvel-server-10-rules]}" -v b="${RPS[korvel-server]}" -v l="${RPS[limit]}" -v m="${RPS[libmodbus]}" 'BEGIN {
    printf "  ten unmatched rules / no rules:   %.3f  (target >= 0.97)\n", a / b
    printf "  korvel-server with rules / limit: %.3f  (target >= 0.95)\n", a / l
    printf "  korvel-server with rules / libmodbus: %.3f  (target >= 1.15)\n", a / m }'
  echo
  echo "two connections, connection 1 delayed 1 ms: connection 2's p99 (median of rounds)"
  awk -v p="$C2_PLAIN" -v d="$C2_DELAY" 'BEGIN {
    printf "  without rules %.1f us, beside the delay %.1f us: ratio %.3f  (target <= 1.10)\n", p, d, d / p }'
  echo
  echo "fixed 10 ms delay, two connections, $DN replies:"
  awk -v a="$D50" -v b="$D99" 'BEGIN {
    printf "  latency p50 %.1f us, p99 %.1f us: error p50 %.1f us, p99 %.1f us  (target p99 <= 1000 us)\n",
      a, b, a - 10000, b - 10000 }'
} | tee "$RUN/summary.txt"
for s in "${!PID[@]}"; do kill -0 "${PID[$s]}" 2>/dev/null || echo "WARNING: server $s is no longer running" >&2; done
