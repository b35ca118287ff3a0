#!/usr/bin/env bash
# Start-to-visible time, CPU time to visible and resident memory of pexal-printer against
# a bare Qt window of the same size, both under one Xvfb, interleaved, several runs each
# (medians). CPU time is the process's own time on a CPU (schedstat) at the X event that
# maps its window: steadier than wall time on a shared machine.
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

# Prints "milliseconds-to-map resident-KiB cpu-microseconds" for one start, read at the
# X event that maps the window.
measure() {
  "$build/bench/pexal_map_watch" "$1" 2>>"$work/errors" || { cat "$work/errors" >&2; exit 1; }
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

for _ in $(seq "$runs"); do
  measure "$build/app/pexal-printer" >>"$work/printer"
  measure "$build/bench/pexal_bare_window" >>"$work/bare"
done

pt=$(cut -d' ' -f1 "$work/printer" | median); pm=$(cut -d' ' -f2 "$work/printer" | median)
pc=$(cut -d' ' -f3 "$work/printer" | median)
bt=$(cut -d' ' -f1 "$work/bare" | median); bm=$(cut -d' ' -f2 "$work/bare" | median)
bc=$(cut -d' ' -f3 "$work/bare" | median)
printf '%-16s %10s %10s %12s\n' "" "map ms" "CPU us" "resident KiB"
printf '%-16s %10s %10s %12s\n' "pexal-printer" "$pt" "$pc" "$pm" "bare window" "$bt" "$bc" "$bm"
awk -v pt="$pt" -v bt="$bt" -v pm="$pm" -v bm="$bm" -v pc="$pc" -v bc="$bc" \
  'BEGIN { printf "ratio            %10.2f %10.2f %12.2f\n", pt / bt, pc / bc, pm / bm }'
