#!/usr/bin/env bash
# Runs glorp-bench and prints each figure of the effect beside its baseline:
#     bench/run.sh [build-dir] [extra glorp-bench arguments]
# The build directory defaults to build/ and must hold a Release build with
# glorp-bench built. Figures are medians of CPU time over five repetitions,
# which the other processes on a shared machine disturb least. (Random
# interleaving would shorten each repetition until a frame's first, cold
# pass weighs in, which hits the baseline's larger tables hardest.)
set -euo pipefail
build=${1:-build}
shift || true
bench="$build/glorp-bench"
if [ ! -x "$bench" ]; then
    echo "run.sh: no $bench; build it with: cmake --build $build --target glorp-bench" >&2
    exit 1
fi
json=$(mktemp)
trap 'rm -f "$json"' EXIT
"$bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
         --benchmark_format=json "$@" >"$json"
python3 - "$json" <<'PY'
import json, sys

with open(sys.argv[1]) as f:
    runs = json.load(f)["benchmarks"]
medians = {}
for run in runs:
    if run.get("aggregate_name") != "median":
        continue
    figure, side = run["run_name"].rsplit("/", 1)
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[run["time_unit"]]
    medians.setdefault(figure, {})[side] = run["cpu_time"] * scale

order = ["Frame", "StartUp", "Decode", "LightMap", "TexCoordMaps", "GradientTable", "ShadeTable"]
print(f"{'figure':<16}{'ours (ms)':>12}{'baseline (ms)':>15}{'faster':>9}")
for figure, sides in sorted(medians.items(), key=lambda m: (order + [m[0]]).index(m[0])):
    if "ours" not in sides or "baseline" not in sides:
        continue
    ours, theirs = sides["ours"], sides["baseline"]
    print(f"{figure:<16}{ours:>12.4f}{theirs:>15.4f}{theirs / ours:>8.1f}x")
PY
