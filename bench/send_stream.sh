#!/usr/bin/env bash
# pexal-send on a long stream: peak resident memory while it feeds a real printer from a
# 1 GB pipe for 30 s (then SIGINT), and CPU time per byte against a taker that never
# sleeps. Usage: bench/send_stream.sh [build-dir] [seconds]
set -euo pipefail
build=${1:-build}
seconds=${2:-30}
send="$build/tools/pexal-send"
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
export TMPDIR="$work" QT_QPA_PLATFORM=offscreen

"$build/app/pexal-printer" 2>/dev/null &
head -c 1G /dev/zero | tr '\0' 'x' | "$send" --raw 2>"$work/send.txt" &
sleep "$seconds"
pid=$(pgrep -n -f "^$send --raw")
peak=$(awk '/VmHWM/ { print $2 }' "/proc/$pid/status")
kill -INT "$pid"
wait "$pid" 2>/dev/null || status=$?
echo "1 GB piped, ${seconds} s at the printer's pace: peak resident ${peak} KiB, exit ${status:-0}"
echo "  pexal-send said: $(tail -n1 "$work/send.txt")"
kill %1 2>/dev/null || true

# A taker as fast as the port file allows: pexal-send's own cost dominates.
python3 - "$work/dov_port.dat" >/dev/null <<'PY' &
import fcntl, os, sys
fd = os.open(sys.argv[1], os.O_RDWR | os.O_CREAT, 0o600)
while True:
    fcntl.lockf(fd, fcntl.LOCK_EX, 1, 30)
    if os.pread(fd, 1, 30) not in (b"", b"\0"):
        os.pwrite(fd, b"\0", 30)
    fcntl.lockf(fd, fcntl.LOCK_UN, 1, 30)
PY
bytes=20000
TIMEFORMAT='%U %S'
cpu=$( { time head -c "$bytes" /dev/zero | tr '\0' 'y' | "$send" --raw >/dev/null 2>&1; } 2>&1 )
awk -v cpu="$cpu" -v n="$bytes" 'BEGIN { split(cpu, t, " ");
  printf "CPU per byte sent (user + sys, whole pipeline): %.1f us over %d bytes\n", (t[1] + t[2]) * 1e6 / n, n }'
