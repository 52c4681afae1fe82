#!/usr/bin/env bash
# Server benchmark: Korvel (the window and korvel-server) against a trivial "limit" server,
# libmodbus and pymodbus, on loopback.
#
#   bench/run.sh [--rounds N] [--seconds S] [--flood S] [--idle S] [--quick]
#
# Builds what it needs (the C peers and the load generator with cc, korvel with cmake) in
# build-bench/ (or $KORVEL_BENCH_BUILD), starts every server once, each on a free loopback port,
# then runs the four loads against the servers in turn, round after round (the order of the servers
# rotates each round), so that a drift of the machine hits all of them alike. Every server and the
# load generator run on CPU 0 (taskset -c 0): a rate is then the CPU cost of one request on this
# machine. Compare the ratios within one run; absolute rates differ between runs and machines.
#
# It also measures Korvel's idle CPU use with the main window shown, its resident memory after
# start-up, and its resident memory before and after a flood of two connections at full load; and
# korvel-server's resident memory after start-up.
# Results: a table on stdout, raw figures and the table under <build>/bench-out/.
#
# Environment: KORVEL_BENCH_BUILD (build folder), KORVEL and KORVEL_SERVER (use these korvel and
# korvel-server executables instead of building them). Every loop is bounded; only the processes this script starts are ended.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${KORVEL_BENCH_BUILD:-$ROOT/build-bench}
ROUNDS=8
SECONDS_PER_LOAD=1.5
FLOOD_SECONDS=60
IDLE_SECONDS=10
while [ $# -gt 0 ]; do
  case "$1" in
    --rounds) ROUNDS=$2; shift 2 ;;
    --seconds) SECONDS_PER_LOAD=$2; shift 2 ;;
    --flood) FLOOD_SECONDS=$2; shift 2 ;;
    --idle) IDLE_SECONDS=$2; shift 2 ;;
    --quick) ROUNDS=2; SECONDS_PER_LOAD=0.5; FLOOD_SECONDS=5; IDLE_SECONDS=2; shift ;;
    *) echo "usage: $0 [--rounds N] [--seconds S] [--flood S] [--idle S] [--quick]" >&2; exit 2 ;;
  esac
done

PY=/usr/bin/python3
PEERS=$BUILD/bench-peers
OUT=$BUILD/bench-out
STAMP=$(date -u +%Y%m%dT%H%M%SZ)
RUN=$OUT/run-$STAMP
mkdir -p "$PEERS" "$RUN"
LOAD_START=$(cut -d' ' -f1-3 /proc/loadavg)

# ---- build ------------------------------------------------------------------------------------
CFLAGS="-O2 -Wall -Wextra -Werror"
cc $CFLAGS -o "$PEERS/loadgen" "$ROOT/bench/peers/loadgen.c"
cc $CFLAGS -o "$PEERS/limit_server" "$ROOT/bench/peers/limit_server.c"
# shellcheck disable=SC2046
cc $CFLAGS $(pkg-config --cflags libmodbus) -o "$PEERS/libmodbus_server" \
  "$ROOT/bench/peers/libmodbus_server.c" $(pkg-config --libs libmodbus)
if [ -z "${KORVEL:-}" ] || [ -z "${KORVEL_SERVER:-}" ]; then
  if [ ! -f "$BUILD/build.ninja" ]; then
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  fi
  cmake --build "$BUILD" --target korvel korvel-server -j2 >/dev/null
  KORVEL=${KORVEL:-$BUILD/korvel}
  KORVEL_SERVER=${KORVEL_SERVER:-$BUILD/korvel-server}
fi
# Run a copy, so that a rebuild during the run does not change the program under test; its traffic
# logs go to the run folder (KORVEL_LOG_DIR) and are deleted at the end.
cp "$KORVEL" "$RUN/korvel"
cp "$KORVEL_SERVER" "$RUN/korvel-server"

# ---- servers ----------------------------------------------------------------------------------
PIDS=()
cleanup() {
  for pid in "${PIDS[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${PIDS[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  rm -f "$RUN"/Korvel*.log "$RUN/korvel" "$RUN/korvel-server"
}
trap cleanup EXIT

free_port() {
  "$PY" -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# Waits (at most 30 s) until something listens on the port.
wait_listening() {
  local port=$1 pid=$2
  for _ in $(seq 300); do
    if ss -Htln "sport = :$port" | grep -q .; then return 0; fi
    if ! kill -0 "$pid" 2>/dev/null; then echo "server on port $port exited" >&2; return 1; fi
    sleep 0.1
  done
  echo "nothing listens on port $port after 30 s" >&2
  return 1
}

declare -A PORT PID
start_server() { # name command...
  local name=$1; shift
  local port; port=$(free_port)
  PORT[$name]=$port
  "$@" "$port" >"$RUN/$name.out" 2>&1 &
  PID[$name]=$!
  PIDS+=("$!")
}

start_korvel() { # name [extra environment...]
  local name=$1; shift
  local port; port=$(free_port)
  PORT[$name]=$port
  mkdir -p "$RUN/$name-atoms"
  env QT_QPA_PLATFORM=offscreen KORVEL_PORT="$port" KORVEL_ATOM_DIR="$RUN/$name-atoms" KORVEL_LOG_DIR="$RUN" \
    KORVEL_MESSAGE_LOG="$RUN/$name-messages.txt" "$@" \
    taskset -c 0 "$RUN/korvel" >"$RUN/$name.out" 2>&1 &
  PID[$name]=$!
  PIDS+=("$!")
}

# korvel-server: the same server without a window, quiet, as a pipeline runs it.
start_korvel_server() { # name [arguments...]
  local name=$1; shift
  local port; port=$(free_port)
  PORT[$name]=$port
  mkdir -p "$RUN/$name-atoms"
  env KORVEL_ATOM_DIR="$RUN/$name-atoms" taskset -c 0 "$RUN/korvel-server" --port "$port" --quiet "$@" \
    >"$RUN/$name.out" 2>&1 &
  PID[$name]=$!
  PIDS+=("$!")
}

SERVERS=(limit libmodbus pymodbus korvel korvel-log korvel-server)
start_server limit taskset -c 0 "$PEERS/limit_server"
start_server libmodbus taskset -c 0 "$PEERS/libmodbus_server"
start_server pymodbus taskset -c 0 "$PY" "$ROOT/bench/peers/pymodbus_server.py"
start_korvel korvel
# KORVEL_AUTORECORD=1: recording starts when a client connects ("Interpretive" is on by default).
start_korvel korvel-log KORVEL_AUTORECORD=1
start_korvel_server korvel-server
for s in "${SERVERS[@]}"; do wait_listening "${PORT[$s]}" "${PID[$s]}"; done

rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

KPID=${PID[korvel]}
# Let the start-up finish (first paint, timers started) before looking at memory and idle CPU.
sleep 2
RSS_START=$(rss_kb "$KPID")
RSS_SERVER_START=$(rss_kb "${PID[korvel-server]}")
echo "korvel-server resident memory after start-up ${RSS_SERVER_START} kB"
T0=$(cpu_ticks "$KPID"); W0=$(date +%s.%N)
sleep "$IDLE_SECONDS"
T1=$(cpu_ticks "$KPID"); W1=$(date +%s.%N)
IDLE_CPU=$(awk -v t="$((T1 - T0))" -v hz="$(getconf CLK_TCK)" -v a="$W0" -v b="$W1" \
  'BEGIN {printf "%.2f", 100 * t / hz / (b - a)}')
echo "korvel idle: ${IDLE_CPU}% of a core over ${IDLE_SECONDS} s, resident memory after start-up ${RSS_START} kB"

# ---- rounds -----------------------------------------------------------------------------------
LOADS=("fc3x10-1conn:-c 1 -f 3 -q 10" "fc3x10-2conn:-c 2 -f 3 -q 10" "fc16x10-1conn:-c 1 -f 16 -q 10"
       "fc3x125-1conn:-c 1 -f 3 -q 125")
RAW=$RUN/raw.tsv
printf 'round\tserver\tload\trps\tp50_us\tp99_us\tn\terrors\n' >"$RAW"
n=${#SERVERS[@]}
for round in $(seq "$ROUNDS"); do
  echo "round $round of $ROUNDS"
  for load in "${LOADS[@]}"; do
    name=${load%%:*}
    read -r -a args <<<"${load#*:}"
    for k in $(seq 0 $((n - 1))); do
      s=${SERVERS[$(((k + round) % n))]}
      line=$(taskset -c 0 "$PEERS/loadgen" -p "${PORT[$s]}" "${args[@]}" -t "$SECONDS_PER_LOAD" \
        -n 2000000 2>>"$RUN/loadgen-errors.txt") || true
      rps=$(sed -n 's/.*rps=\([0-9.]*\).*/\1/p' <<<"$line")
      p50=$(sed -n 's/.*p50_us=\([0-9.]*\).*/\1/p' <<<"$line")
      p99=$(sed -n 's/.*p99_us=\([0-9.]*\).*/\1/p' <<<"$line")
      cnt=$(sed -n 's/.* n=\([0-9]*\).*/\1/p' <<<"$line")
      err=$(sed -n 's/.*errors=\([0-9]*\).*/\1/p' <<<"$line")
      printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$round" "$s" "$name" "${rps:-0}" "${p50:-0}" \
        "${p99:-0}" "${cnt:-0}" "${err:-1}" >>"$RAW"
    done
  done
done

# ---- flood and memory -------------------------------------------------------------------------
RSS_BEFORE=$(rss_kb "$KPID")
FLOOD=$(taskset -c 0 "$PEERS/loadgen" -p "${PORT[korvel]}" -c 2 -f 3 -q 10 -t "$FLOOD_SECONDS" \
  -n 20000000 2>>"$RUN/loadgen-errors.txt") || true
# The server sees both clients leave within a moment; give it one second, then look.
sleep 1
RSS_AFTER=$(rss_kb "$KPID")
echo "korvel flood (2 connections, FC3 x 10, ${FLOOD_SECONDS} s): $FLOOD"
echo "korvel resident memory before ${RSS_BEFORE} kB, after ${RSS_AFTER} kB"

# Every server must still be running: one that died mid-run would make its figures meaningless.
for s in "${SERVERS[@]}"; do
  kill -0 "${PID[$s]}" 2>/dev/null || echo "WARNING: server $s is no longer running" >&2
done

# ---- summary ----------------------------------------------------------------------------------
{
  echo "machine: $(nproc) CPUs, $(sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -1), kernel $(uname -r)"
  echo "load average at start $LOAD_START, at end $(cut -d' ' -f1-3 /proc/loadavg)"
} | tee "$RUN/machine.txt"
"$PY" - "$RAW" "$IDLE_CPU" "$RSS_START" "$RSS_BEFORE" "$RSS_AFTER" "$FLOOD" "$ROUNDS" \
  "$SECONDS_PER_LOAD" "$RSS_SERVER_START" <<'EOF' | tee -a "$RUN/machine.txt"
import statistics, sys
raw, idle, rss_start, rss_before, rss_after, flood, rounds, secs, rss_server = sys.argv[1:10]
rows = [l.rstrip("\n").split("\t") for l in open(raw)][1:]
loads = ["fc3x10-1conn", "fc3x10-2conn", "fc16x10-1conn", "fc3x125-1conn"]
servers = ["limit", "libmodbus", "pymodbus", "korvel", "korvel-log", "korvel-server"]
med = {}
per_round = {}  # (server, load) -> {round: rps}
for x in rows:
    per_round.setdefault((x[1], x[2]), {})[x[0]] = float(x[3])
def ratio(a, b):
    """Median over the rounds of a's rate divided by b's rate in the same round."""
    ra, rb = per_round.get(a, {}), per_round.get(b, {})
    q = [ra[k] / rb[k] for k in ra if rb.get(k)]
    return statistics.median(q) if q else 0.0
print(f"\n{rounds} rounds of {secs} s per load and server, all on CPU 0; medians over the rounds")
print("(x limit: median over the rounds of the rate divided by the limit server's rate in that round)")
print(f"{'load':<15}{'server':<12}{'req/s':>9}{'p50 us':>9}{'p99 us':>9}{'x limit':>9}{'errors':>8}")
for load in loads:
    for s in servers:
        r = [x for x in rows if x[1] == s and x[2] == load]
        if not r:
            continue
        rps = statistics.median(float(x[3]) for x in r)
        p50 = statistics.median(float(x[4]) for x in r)
        p99 = statistics.median(float(x[5]) for x in r)
        errs = sum(int(x[7]) for x in r)
        med[(s, load)] = rps
        print(f"{load:<15}{s:<12}{rps:>9.0f}{p50:>9.1f}{p99:>9.1f}{ratio((s, load), ('limit', load)):>9.2f}{errs:>8}")
    print()
rb, ra = int(rss_before), int(rss_after)
growth = 100.0 * (ra - rb) / rb if rb else 0
targets = [
    ("korvel FC3x10 1 conn >= 1.05 x libmodbus", ratio(("korvel", "fc3x10-1conn"), ("libmodbus", "fc3x10-1conn")), 1.05),
    ("korvel FC3x10 1 conn >= 0.90 x limit", ratio(("korvel", "fc3x10-1conn"), ("limit", "fc3x10-1conn")), 0.90),
    ("korvel FC3x10 2 conn >= 0.85 x limit", ratio(("korvel", "fc3x10-2conn"), ("limit", "fc3x10-2conn")), 0.85),
    ("interpretive log >= 0.5 x no log (FC3x10 1 conn)", ratio(("korvel-log", "fc3x10-1conn"), ("korvel", "fc3x10-1conn")), 0.5),
    ("korvel-server FC3x10 1 conn >= 0.95 x limit", ratio(("korvel-server", "fc3x10-1conn"), ("limit", "fc3x10-1conn")), 0.95),
    ("korvel-server FC3x10 1 conn >= 1.1 x libmodbus", ratio(("korvel-server", "fc3x10-1conn"), ("libmodbus", "fc3x10-1conn")), 1.1),
    ("korvel-server FC3x10 2 conn >= 0.85 x limit", ratio(("korvel-server", "fc3x10-2conn"), ("limit", "fc3x10-2conn")), 0.85),
]
print("targets")
for text, value, goal in targets:
    print(f"  {text:<50} {value:6.2f}  {'met' if value >= goal else 'MISSED'}")
print(f"  {'idle CPU < 1 % of a core':<50} {float(idle):5.2f}%  {'met' if float(idle) < 1.0 else 'MISSED'}")
print(f"  {'resident memory after flood within 5 %':<50} {growth:+5.1f}%  {'met' if abs(growth) <= 5.0 else 'MISSED'}"
      f"  ({rb} kB -> {ra} kB; start-up {rss_start} kB)")
print(f"  {'korvel-server resident memory after start-up < 20 MB':<50} {int(rss_server) / 1024:5.1f} MB"
      f"  {'met' if int(rss_server) < 20 * 1024 else 'MISSED'}")
print(f"  flood: {flood}")
EOF
mv "$RUN/machine.txt" "$RUN/summary.txt"
echo "raw figures: $RAW, table: $RUN/summary.txt"
