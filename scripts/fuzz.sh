#!/usr/bin/env bash
# Runs the libFuzzer targets of the fuzz preset (clang, ASan + UBSan) with allocation limits on, so that an
# allocation bomb or a runaway resident size is a finding like a crash or undefined behaviour.
#
#   scripts/fuzz.sh TARGET SECONDS [libFuzzer options...]   one target for SECONDS
#   scripts/fuzz.sh all SECONDS [libFuzzer options...]      every target in turn, SECONDS each
#
# Targets: texture_ReadImageFuzz, texture_CreateTextureFuzz, texture_ConvertFuzz, texture_DdsFuzz,
# texture_CubeVolumeFuzz, texture_FileLoadFuzz, texture_SaveFuzz, scene_load_fuzz, tools_TexConvFuzz,
# tools_ImportFuzz.
# The seed corpus in the source tree is read, never written; new inputs go to build/fuzz/corpus/TARGET and
# findings (crash-*, leak-*, oom-*, timeout-*, slow-unit-*) to build/fuzz/findings/TARGET. Once a finding is fixed,
# copy it into the target's seed folder, so that ctest replays it from then on.
#
# Limits, from the environment: TARN_FUZZ_MALLOC_MB (largest single allocation, default 512), TARN_FUZZ_RSS_MB
# (resident size, default 2048), TARN_FUZZ_TIMEOUT (seconds per input, default 10), TARN_FUZZ_MAX_LEN (bytes per
# input, default 4096); TARN_FUZZ_JOBS (parallel build jobs, default all cores).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 2 ] || ! [[ $2 =~ ^[0-9]+$ ]]; then
  sed -n '2,19s/^# \{0,1\}//p' "$0" >&2
  exit 2
fi
target=$1
seconds=$2
shift 2

all_targets=(texture_ReadImageFuzz texture_CreateTextureFuzz texture_ConvertFuzz texture_DdsFuzz texture_CubeVolumeFuzz
  texture_FileLoadFuzz texture_SaveFuzz scene_load_fuzz tools_TexConvFuzz tools_ImportFuzz)
build=build/fuzz

# Seed folders of a target (the scene seeds are written by make_scene_corpus).
seeds_of() {
  case $1 in
    texture_ReadImageFuzz | texture_CreateTextureFuzz) echo fuzz/texture/corpus ;;
    texture_ConvertFuzz) echo fuzz/texture/corpus-convert ;;
    texture_DdsFuzz) echo fuzz/texture/corpus-dds ;;
    texture_CubeVolumeFuzz) echo fuzz/texture/corpus-cubevolume ;;
    texture_FileLoadFuzz) echo fuzz/texture/corpus-fileload ;;
    texture_SaveFuzz) echo fuzz/texture/corpus-save ;;
    scene_load_fuzz) echo "$build/corpus/scene_seeds" ;;
    tools_TexConvFuzz) echo fuzz/tools/corpus-texconv ;;
    tools_ImportFuzz) echo fuzz/tools/corpus-import ;;
    *) return 1 ;;
  esac
}

if [ "$target" = all ]; then
  targets=("${all_targets[@]}")
else
  seeds_of "$target" > /dev/null || { echo "unknown target $target (one of: all ${all_targets[*]})" >&2; exit 2; }
  targets=("$target")
fi

cmake --preset fuzz > /dev/null
status=0
for t in "${targets[@]}"; do
  cmake --build "$build" -j "${TARN_FUZZ_JOBS:-$(nproc)}" --target "$t"
  if [ "$t" = scene_load_fuzz ]; then
    cmake --build "$build" -j "$(nproc)" --target make_scene_corpus
    "$(find "$build" -type f -name make_scene_corpus -perm -u+x | head -n 1)" "$build/corpus/scene_seeds"
  fi
  binary=$(find "$build/fuzz" -type f -name "$t" -perm -u+x | head -n 1)
  corpus=$build/corpus/$t
  findings=$build/findings/$t
  mkdir -p "$corpus" "$findings"
  echo "== $t for $seconds s"
  # The scene target writes scratch files into its working directory: run it in its own.
  (cd "$corpus/.." && "$OLDPWD/$binary" \
      -max_total_time="$seconds" \
      -malloc_limit_mb="${TARN_FUZZ_MALLOC_MB:-512}" \
      -rss_limit_mb="${TARN_FUZZ_RSS_MB:-2048}" \
      -timeout="${TARN_FUZZ_TIMEOUT:-10}" \
      -max_len="${TARN_FUZZ_MAX_LEN:-4096}" \
      -artifact_prefix="$OLDPWD/$findings/" \
      -print_final_stats=1 \
      "$@" "$OLDPWD/$corpus" "$OLDPWD/$(seeds_of "$t")") || status=1
done
exit $status
