#!/usr/bin/env bash
# Runs every benchmark binary of the bench build and every bench/*.py script,
# printing their figures; results also land in <build>/bench-results/.
set -uo pipefail
build=${1:-build-bench}
here=$(cd "$(dirname "$0")" && pwd)
out="$build/bench-results"
mkdir -p "$out"
status=0
for b in "$build"/bench/bench_*; do
  [ -f "$b" ] && [ -x "$b" ] || continue  # not the *_autogen folders
  name=$(basename "$b")
  echo "== $name"
  # The Qt benchmarks need no display; the scripts below start X of their own.
  QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$b" --benchmark_out="$out/$name.json" --benchmark_out_format=json || status=1
done
for s in "$here"/*.py; do
  [ -f "$s" ] || continue
  echo "== $(basename "$s")"
  python3 "$s" --build "$build" --out "$out" || status=1
done
exit $status
