#!/usr/bin/env bash
# Runs every test of the build folder given (core, tool, GUI and end-to-end),
# then the core and tool tests once more in a core-only build with
# AddressSanitizer and UBSan ($ASAN_DIR, default build-asan; MERU_SKIP_ASAN=1
# leaves that run out). GUI tests run offscreen; end-to-end tests start their
# own X server.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
asan=${ASAN_DIR:-build-asan}
case "$asan" in /*) ;; *) asan="$root/$asan" ;; esac

export QT_QPA_PLATFORM=offscreen
(cd "$build" &&
  ctest --output-on-failure --timeout 600 -j "$(nproc)" -LE e2e &&
  ctest --output-on-failure --timeout 600 -L e2e)

if [ "${MERU_SKIP_ASAN:-0}" != 1 ]; then
  echo "== core and tool tests with AddressSanitizer and UBSan ($asan)"
  san="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
  cmake -S "$root" -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMERU_BUILD_GUI=OFF -DMERU_BUILD_TESTS=ON -DMERU_BUILD_BENCH=OFF -DMERU_BUILD_FUZZ=OFF \
    -DCMAKE_CXX_FLAGS="$san" -DCMAKE_EXE_LINKER_FLAGS="$san" >/dev/null
  cmake --build "$asan" -j "$(nproc)"
  # Memory figures of the tool tests mean nothing under the sanitizers.
  (cd "$asan" && MERU_SANITIZED=1 ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --output-on-failure --timeout 900 -j "$(nproc)" -L 'core|tools')
fi
