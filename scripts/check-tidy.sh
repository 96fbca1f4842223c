#!/usr/bin/env bash
# clang-tidy over the Qt-free core and meru-file, with the checks of
# .clang-tidy (every finding is an error). Needs the build folder's
# compile_commands.json. Usage: check-tidy.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: check-tidy.sh BUILD_DIR}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mapfile -t files < <(find src/core tools -name '*.cpp' | sort)
echo "check-tidy: ${#files[@]} files"
printf '%s\n' "${files[@]}" | xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet
echo "check-tidy: clean"
