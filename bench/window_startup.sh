#!/usr/bin/env bash
# Start-to-visible time, CPU time to visible and resident memory of pexal-printer against
# a bare Qt window of the same size, both under one Xvfb, interleaved, several runs each
# (medians). CPU time is the process's own time on a CPU (schedstat) when its window is
# seen mapped: steadier than wall time on a shared machine.
# Usage: bench/window_startup.sh [build-dir] [runs]
set -euo pipefail
if [ -z "${PEXAL_VIRTUAL_DISPLAY:-}" ]; then
  exec "$(dirname "$0")/../scripts/xvfb-session" "$0" "$@"
fi
build=${1:-build}
runs=${2:-7}
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=xcb TMPDIR="$work"

# Prints "milliseconds-to-visible resident-KiB cpu-microseconds" for one start.
measure() {
  local program=$1 title=$2 start pid end cpu
  start=$(date +%s%N)
  "$program" 2>>"$work/errors" &
  pid=$!
  until xwininfo -name "$title" 2>/dev/null | grep -q 'Map State: IsViewable'; do
    kill -0 "$pid" 2>/dev/null || { cat "$work/errors" >&2; exit 1; }
  done
  end=$(date +%s%N)
  cpu=$(awk '{ print int($1 / 1000) }' "/proc/$pid/schedstat")
  sleep 1  # let it settle before reading its memory
  echo "$(((end - start) / 1000000)) $(awk '/VmRSS/ { print $2 }' "/proc/$pid/status") $cpu"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

for _ in $(seq "$runs"); do
  measure "$build/app/pexal-printer" "Pexal Printer" >>"$work/printer"
  measure "$build/bench/pexal_bare_window" "Bare Window" >>"$work/bare"
done

pt=$(cut -d' ' -f1 "$work/printer" | median); pm=$(cut -d' ' -f2 "$work/printer" | median)
pc=$(cut -d' ' -f3 "$work/printer" | median)
bt=$(cut -d' ' -f1 "$work/bare" | median); bm=$(cut -d' ' -f2 "$work/bare" | median)
bc=$(cut -d' ' -f3 "$work/bare" | median)
printf '%-16s %10s %10s %12s\n' "" "visible ms" "CPU us" "resident KiB"
printf '%-16s %10s %10s %12s\n' "pexal-printer" "$pt" "$pc" "$pm" "bare window" "$bt" "$bc" "$bm"
awk -v pt="$pt" -v bt="$bt" -v pm="$pm" -v bm="$bm" -v pc="$pc" -v bc="$bc" \
  'BEGIN { printf "ratio            %10.2f %10.2f %12.2f\n", pt / bt, pc / bc, pm / bm }'
