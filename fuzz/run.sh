#!/usr/bin/env bash
# Runs one fuzz target: fuzz/run.sh BUILD_DIR [SECONDS] [TARGET]
#   datafile (default)  the data file reader; the core tests of BUILD_DIR
#                       write its seed files
#   datajson            meru-file build's JSON input; seeds in fuzz/json-seeds
# The fuzzer works on BUILD_DIR/corpus[-TARGET] (kept between runs) for
# SECONDS and fails on any crash, sanitizer report or round-trip mismatch
# (the input is left in BUILD_DIR/fuzz-artifacts/).
set -uo pipefail
build=${1:?usage: fuzz/run.sh BUILD_DIR [SECONDS] [datafile|datajson]}
secs=${2:-60}
target=${3:-datafile}
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$build" && pwd)

fuzzer="$build/fuzz/fuzz_$target"
[ -x "$fuzzer" ] || { echo "run.sh: $fuzzer not built" >&2; exit 2; }

case "$target" in
  datafile)
    seeds="$build/fuzz-seed-corpus"
    corpus="$build/corpus"
    if [ -x "$build/tests/meru_core_tests" ]; then
      "$build/tests/meru_core_tests" --gtest_brief=1 >"$build/fuzz-seed-tests.log" 2>&1 ||
        echo "run.sh: warning: core tests failed (see $build/fuzz-seed-tests.log)" >&2
    fi
    ;;
  datajson)
    seeds="$here/json-seeds"
    corpus="$build/corpus-datajson"
    ;;
  *) echo "run.sh: unknown target $target" >&2; exit 2 ;;
esac
if ! compgen -G "$seeds/*" >/dev/null; then
  echo "run.sh: no seed files in $seeds (build with -DMERU_BUILD_TESTS=ON)" >&2
  exit 2
fi

artifacts="$build/fuzz-artifacts"
log="$build/fuzz-$target.log"
mkdir -p "$corpus" "$artifacts"
cp -n "$seeds"/* "$corpus"/

echo "run.sh: fuzzing $target for ${secs}s on $corpus"
"$fuzzer" -max_len=65536 -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 \
  -dict="$here/$target.dict" -artifact_prefix="$artifacts/" -print_final_stats=1 \
  "$corpus" >"$log" 2>&1
status=$?
if [ "$status" -ne 0 ]; then
  tail -n 60 "$log" >&2
  echo "run.sh: the fuzzer failed (exit $status); see $log and $artifacts" >&2
  exit "$status"
fi
grep -E '^(Done|stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb))' "$log"
echo "run.sh: $target clean after ${secs}s; corpus: $(ls "$corpus" | wc -l) files"
