# Sourced by the window benchmarks: builds the limit server and the load generator into a
# temporary folder $OUT, starts the limit server on CPU 0 on a free loopback port $PORT (its PID in
# $SERVER), and ends it and removes $OUT when the calling script exits. Needs $ROOT.
OUT=$(mktemp -d)
cc -O2 -Wall -Wextra -Werror -o "$OUT/limit_server" "$ROOT/bench/peers/limit_server.c"
cc -O2 -Wall -Wextra -Werror -o "$OUT/loadgen" "$ROOT/bench/peers/loadgen.c"
PORT=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
taskset -c 0 "$OUT/limit_server" "$PORT" >/dev/null 2>&1 &
SERVER=$!
trap 'kill $SERVER 2>/dev/null || true; wait $SERVER 2>/dev/null || true; rm -rf "$OUT"' EXIT
for _ in $(seq 1 50); do ss -ltn | grep -q ":$PORT " && break; sleep 0.1; done
