#!/usr/bin/env bash
# Checks that the C++ lines changed since BASE (default: main) follow .clang-format; only changed lines are
# looked at, so older code is never reflowed. Prints the wanted layout and exits 1 when a line differs.
# scripts/check-format.sh --fix [BASE] applies that layout to the changed lines instead.
#
# Changed lines come from a rename-aware diff: a file that moved (git mv, with or without edits) counts only the
# lines that differ from where it came from, so moving a file never asks for its old lines to be reflowed. Files
# not yet added to git count whole.
set -euo pipefail
cd "$(dirname "$0")/.."
fix=0
if [[ "${1:-}" == --fix ]]; then fix=1; shift; fi
base=${1:-main}
if ! git rev-parse --quiet --verify "$base^{commit}" >/dev/null; then
  echo "check-format: $base is not in this clone's history (a shallow clone?); nothing checked" >&2
  exit 0
fi
binary=$(command -v clang-format-14 || command -v clang-format || true)
if [[ -z "$binary" ]]; then
  echo "check-format: clang-format not found (Debian package clang-format)" >&2
  exit 2
fi
# python3 comes with clang-format's own git integration, so it is there wherever clang-format is.
exec python3 - "$binary" "$base" "$fix" <<'EOF'
import re
import subprocess
import sys

binary, base, fix = sys.argv[1], sys.argv[2], sys.argv[3] == "1"

# Working tree against BASE, renames paired (-M), zero context: each hunk header gives the new lines' range.
patch = subprocess.run(["git", "diff", "-M", "-U0", "--no-color", "--diff-filter=ACMR", base, "--", "*.cpp", "*.h"],
                       check=True, capture_output=True, text=True).stdout
ranges = {}
path = None
for line in patch.splitlines():
    if line.startswith("+++ "):
        path = line[6:] if line.startswith("+++ b/") else None
        continue
    match = re.match(r"@@ -\d+(?:,\d+)? \+(\d+)(?:,(\d+))? @@", line)
    if match and path:
        start, count = int(match.group(1)), int(match.group(2) or "1")
        if count > 0:
            ranges.setdefault(path, []).append((start, start + count - 1))

# Files not yet added count whole, as they will once committed.
untracked = subprocess.run(["git", "ls-files", "--others", "--exclude-standard", "--", "*.cpp", "*.h"],
                           check=True, capture_output=True, text=True).stdout.split()
for path in untracked:
    with open(path, encoding="utf-8") as f:
        lines = f.read().count("\n") + 1
    ranges[path] = [(1, lines)]

failed = False
for path, spans in sorted(ranges.items()):
    args = [binary, "--style=file"] + [f"--lines={a}:{b}" for a, b in spans]
    if fix:
        subprocess.run(args + ["-i", path], check=True)
        continue
    with open(path, encoding="utf-8") as f:
        before = f.read()
    after = subprocess.run(args + [path], check=True, capture_output=True, text=True).stdout
    if after != before:
        failed = True
        diff = subprocess.run(["diff", "-u", "--label", f"a/{path}", "--label", f"b/{path}", path, "-"],
                              input=after, capture_output=True, text=True).stdout
        sys.stdout.write(diff)
sys.exit(1 if failed else 0)
EOF
