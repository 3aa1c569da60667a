#!/usr/bin/env bash
# Checks that the C++ lines changed since BASE (default: main) follow .clang-format; only changed lines are
# looked at, so older code is never reflowed. Prints the wanted layout and exits 1 when a line differs.
# scripts/check-format.sh --fix applies that layout to the changed lines instead.
set -euo pipefail
cd "$(dirname "$0")/.."
fix=0
if [[ "${1:-}" == --fix ]]; then fix=1; shift; fi
base=${1:-main}
if ! git rev-parse --quiet --verify "$base^{commit}" >/dev/null; then
  echo "check-format: $base is not in this clone's history (a shallow clone?); nothing checked" >&2
  exit 0
fi
tool=$(command -v git-clang-format-14 || command -v git-clang-format || true)
if [[ -z "$tool" ]]; then
  echo "check-format: git-clang-format not found (Debian package clang-format)" >&2
  exit 2
fi
if [[ $fix == 1 ]]; then
  exec "$tool" --binary "$(command -v clang-format-14 || command -v clang-format)" "$base" -- '*.cpp' '*.h'
fi
out=$("$tool" --binary "$(command -v clang-format-14 || command -v clang-format)" --diff "$base" -- '*.cpp' '*.h' || true)
if [[ -z "$out" || "$out" == "no modified files to format" || "$out" == "clang-format did not modify any files" ]]; then
  exit 0
fi
printf '%s\n' "$out"
exit 1
