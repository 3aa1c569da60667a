#!/usr/bin/env bash
# Runs tarn-import over the files of Debian's assimp-testmodels (/usr/share/assimp/models: the glTF sample models
# and hundreds of files in other formats, broken ones included) and checks that each one either imports, giving
# a scene the engine's own reader loads (tarn-trsinfo), or is refused with exactly one line and nothing written,
# within 10 s and 1 GB (the parser runs under --max-time 10 --max-memory 1024; the whole tool is timed and, with
# GNU time, measured). Prints the counts by format and the slowest and largest files.
#
#   scripts/import-testmodels.sh [BUILD] [PATH...]   BUILD defaults to build/release; PATHs (files or folders,
#                                                   relative to the package's folder) narrow the run
#
# TARN_TESTMODELS names another folder of models. Exit status 1 when a file did neither, or went past a limit;
# 77 when the package is not installed.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
shift || true
models=${TARN_TESTMODELS:-/usr/share/assimp/models}
tool=$build/tools/import/tarn_import
trsinfo=$build/tools/trsinfo/trsinfo
if [[ ! -x $tool || ! -x $trsinfo ]]; then
  echo "import-testmodels: build $build first (tarn_import and trsinfo)" >&2
  exit 2
fi
if [[ ! -d $models ]]; then
  echo "import-testmodels: $models is missing (apt install assimp-testmodels): skipped" >&2
  exit 77
fi
gnu_time=
if /usr/bin/time -f %M true 2>/dev/null; then gnu_time=/usr/bin/time; fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
paths=("$@")
[[ ${#paths[@]} -gt 0 ]] || paths=(.)
mapfile -t files < <(cd "$models" && find "${paths[@]}" -type f | sed 's|^\./||' | LC_ALL=C sort)

declare -A imported refused
bad=0 slowest_ms=0 slowest= largest_kb=0 largest= n=0
for rel in "${files[@]}"; do
  file=$models/$rel
  out=$work/out
  rm -rf "$out"
  mkdir -p "$out"
  base=${rel##*/}
  ext="(none)"
  [[ $base == *.* ]] && ext=${base##*.}
  ext=${ext,,}
  start=$(date +%s%N)
  set +e
  if [[ -n $gnu_time ]]; then
    timeout 60 "$gnu_time" -o "$work/mem" -f %M "$tool" "$file" -o "$out" --max-time 10 --max-memory 1024 \
      2> "$work/err" > /dev/null
  else
    timeout 60 "$tool" "$file" -o "$out" --max-time 10 --max-memory 1024 2> "$work/err" > /dev/null
  fi
  rc=$?
  set -e
  ms=$((($(date +%s%N) - start) / 1000000))
  kb=0
  [[ -n $gnu_time && -s $work/mem ]] && kb=$(tail -n 1 "$work/mem")
  n=$((n + 1))
  if ((ms > slowest_ms)); then slowest_ms=$ms slowest=$rel; fi
  if ((kb > largest_kb)); then largest_kb=$kb largest=$rel; fi
  lines=$(grep -c . "$work/err" || true)
  failures=$(grep -vc ": warning: " "$work/err" || true)
  stem=$base
  [[ $base == *.* ]] && stem=${base%.*}
  verdict=
  if [[ $rc -eq 0 && $failures -eq 0 && -f $out/$stem.TRS ]] && "$trsinfo" "$out/$stem.TRS" > /dev/null 2>&1; then
    imported[$ext]=$((${imported[$ext]:-0} + 1))
  elif [[ $rc -eq 1 && $lines -eq 1 && -z $(ls -A "$out") ]] && grep -q "^tarn-import: $file: " "$work/err"; then
    refused[$ext]=$((${refused[$ext]:-0} + 1))
    [[ -n ${TARN_TESTMODELS_VERBOSE:-} ]] && echo "refused $rel: $(cut -c1-200 "$work/err")"
  else
    verdict="neither imported nor refused in one line (status $rc)"
  fi
  # TARN_TESTMODELS_SANITIZER=1: a sanitizer build, slower, where the parser runs without its memory limit.
  if ((ms > (${TARN_TESTMODELS_SANITIZER:+2 *} 10000))); then verdict="took $ms ms"; fi
  if ((kb > 1048576)) && [[ -z ${TARN_TESTMODELS_SANITIZER:-} ]]; then verdict="peaked at $((kb / 1024)) MB"; fi
  if [[ -n $verdict ]]; then
    bad=$((bad + 1))
    echo "FAIL $rel: $verdict" >&2
    sed 's/^/  /' "$work/err" | head -n 5 >&2
  fi
done

total_in=0 total_out=0
printf '%-10s %9s %9s\n' format imported refused
for ext in $(printf '%s\n' "${!imported[@]}" "${!refused[@]}" | LC_ALL=C sort -u); do
  printf '%-10s %9d %9d\n' "$ext" "${imported[$ext]:-0}" "${refused[$ext]:-0}"
  total_in=$((total_in + ${imported[$ext]:-0}))
  total_out=$((total_out + ${refused[$ext]:-0}))
done
printf '%-10s %9d %9d\n' all "$total_in" "$total_out"
echo "import-testmodels: $n files: $total_in imported, $total_out refused, $bad failed;" \
  "slowest $slowest ($slowest_ms ms)${gnu_time:+, largest $largest ($((largest_kb / 1024)) MB peak)}"
[[ $bad -eq 0 ]]
