#!/usr/bin/env bash
# Runs every test of the build folder given (core, tool, GUI and end-to-end).
# GUI tests run offscreen; end-to-end tests start their own X server.
set -euo pipefail
build=${1:-build}
export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure --timeout 600 -j "$(nproc)" -LE e2e
ctest --output-on-failure --timeout 600 -L e2e
