#!/usr/bin/env bash
# Prints the share of one core that glorp uses over 10 s while it shows its
# frames (60 Hz) on a 1920x1080 screen of a private Xvfb. The goal is at most
# 10 %. The CPU time is the program's own (every thread, user and system, from
# /proc/PID/stat), not the X server's.
#
#   bash bench/cpu_share.sh [path/to/glorp]
#
# SCREEN=WxH and SECONDS_MEASURED=N change the screen and the span.
set -euo pipefail
cd "$(dirname "$0")/.."
glorp=${1:-build/glorp}
screen=${SCREEN:-1920x1080}
span=${SECONDS_MEASURED:-10}
[ -x "$glorp" ] || { echo "$glorp is not built: cmake --build build --target glorp" >&2; exit 2; }

xvfb_pid=""
glorp_pid=""
work=$(mktemp -d)
finish() {
    [ -n "$glorp_pid" ] && kill "$glorp_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap finish EXIT

# Xvfb writes the display number it took once it is ready.
mkfifo "$work/number"
Xvfb -displayfd 3 -screen 0 "${screen}x24" -nolisten tcp 3>"$work/number" \
    >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
read -r number <"$work/number"
export DISPLAY=":$number"

"$glorp" /s >"$work/glorp.log" 2>&1 &
glorp_pid=$!
# Start-up builds the tables; measure the frame loop only.
sleep 3
kill -0 "$glorp_pid" 2>/dev/null || { echo "glorp ended early:" >&2; cat "$work/glorp.log" >&2; exit 1; }

ticks() { awk '{ print $14 + $15 }' "/proc/$glorp_pid/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks)
start=$(date +%s%N)
sleep "$span"
after=$(ticks)
end=$(date +%s%N)
awk -v t=$((after - before)) -v hz="$hz" -v ns=$((end - start)) -v s="$screen" \
    'BEGIN { printf "glorp on %s: %.1f %% of one core over %.1f s\n",
             s, 100 * t / hz / (ns / 1e9), ns / 1e9 }'
