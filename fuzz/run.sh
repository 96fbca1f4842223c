#!/usr/bin/env bash
# Runs the data file fuzzer: fuzz/run.sh BUILD_DIR [SECONDS]
# The core tests of BUILD_DIR write the seed files; the fuzzer then works on
# BUILD_DIR/corpus (kept between runs) for SECONDS and fails on any crash,
# sanitizer report or round-trip mismatch (the input is left in
# BUILD_DIR/fuzz-artifacts/).
set -uo pipefail
build=${1:?usage: fuzz/run.sh BUILD_DIR [SECONDS]}
secs=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$build" && pwd)

fuzzer="$build/fuzz/fuzz_datafile"
[ -x "$fuzzer" ] || { echo "run.sh: $fuzzer not built" >&2; exit 2; }

seeds="$build/fuzz-seed-corpus"
if [ -x "$build/tests/meru_core_tests" ]; then
  "$build/tests/meru_core_tests" --gtest_brief=1 >"$build/fuzz-seed-tests.log" 2>&1 ||
    echo "run.sh: warning: core tests failed (see $build/fuzz-seed-tests.log)" >&2
fi
if ! compgen -G "$seeds/*" >/dev/null; then
  echo "run.sh: no seed files in $seeds (build with -DMERU_BUILD_TESTS=ON)" >&2
  exit 2
fi

corpus="$build/corpus"
artifacts="$build/fuzz-artifacts"
mkdir -p "$corpus" "$artifacts"
cp -n "$seeds"/* "$corpus"/

echo "run.sh: fuzzing for ${secs}s on $corpus"
"$fuzzer" -max_len=65536 -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 \
  -dict="$here/datafile.dict" -artifact_prefix="$artifacts/" -print_final_stats=1 \
  "$corpus" >"$build/fuzz.log" 2>&1
status=$?
if [ "$status" -ne 0 ]; then
  tail -n 60 "$build/fuzz.log" >&2
  echo "run.sh: the fuzzer failed (exit $status); see $build/fuzz.log and $artifacts" >&2
  exit "$status"
fi
grep -E '^(Done|stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb))' "$build/fuzz.log"
echo "run.sh: clean after ${secs}s; corpus: $(ls "$corpus" | wc -l) files"
