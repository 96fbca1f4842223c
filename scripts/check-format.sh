#!/usr/bin/env bash
# Fails when a C++ file of the tree is not formatted as .clang-format says;
# names the files. `scripts/check-format.sh --fix` formats them in place.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mapfile -t files < <(find src tools tests bench fuzz \( -name '*.cpp' -o -name '*.h' \) | sort)
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
bad=()
for f in "${files[@]}"; do
  if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then bad+=("$f"); fi
done
if [ ${#bad[@]} -gt 0 ]; then
  printf 'not formatted: %s\n' "${bad[@]}"
  echo "check-format: ${#bad[@]} of ${#files[@]} files; run scripts/check-format.sh --fix"
  exit 1
fi
echo "check-format: ${#files[@]} files formatted"
