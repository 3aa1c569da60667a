#!/usr/bin/env bash
# Builds the asan-clang preset (clang's AddressSanitizer and UndefinedBehaviorSanitizer, float-cast-overflow
# included) and runs the tests under it. Every sanitizer report aborts the test that raised it, so a clean run is
# a run without findings.
#
#   scripts/test-sanitizers.sh          the whole suite
#   scripts/test-sanitizers.sh --core   only the texture, scene and fuzz-replay tests (less to build)
#
# Extra cmake configure arguments can come from TARN_SANITIZER_CONFIGURE_ARGS (for example a compiler launcher).
set -euo pipefail
cd "$(dirname "$0")/.."

scope=all
case "${1:-}" in
  "") ;;
  --core) scope=core ;;
  *) echo "usage: $0 [--core]" >&2; exit 2 ;;
esac

preset=asan-clang
build=build/$preset
jobs=$(nproc)
# Leaks count as findings; a report stops the program with a stack trace.
# intercept_tls_get_addr=0: the leak checker's record of dynamic TLS blocks goes wrong for the OpenGL driver's
# modules on this C library (it reads a block at a small bogus address and its own thread-suspending tracer dies
# with SIGSEGV, depending only on where the stack happens to lie, e.g. on the length of the command line). Without
# the interception the checker still scans every thread's stack and static TLS, and still reports real leaks.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:intercept_tls_get_addr=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# shellcheck disable=SC2086  # the extra arguments are meant to split into words
cmake --preset "$preset" ${TARN_SANITIZER_CONFIGURE_ARGS:-}

# Every test program runs with tests/sanitizer/KeepModulesLoaded.c preloaded: the system's libraries unload modules
# before exit (SDL closes the OpenGL driver it opened), and the memory such a module still referred to would be
# reported as leaked from an "<unknown module>". Kept loaded, it stays reachable. The suite's leak probe
# (sanitizer_reports_a_leak_of_ours) proves that a leak of our own is still reported under these settings.
keep_modules=$PWD/$build/tests/sanitizer/libtarn_keep_modules_loaded.so

if [ "$scope" = all ]; then
  cmake --build --preset "$preset" -j "$jobs"
  LD_PRELOAD=$keep_modules ctest --preset "$preset" -j "$jobs" --timeout 900
  exit 0
fi

# The core set: the texture and scene test programs, and the replay of every fuzz corpus.
programs=(tarn_texture_tests texture_readers_tests scene_tests)
replays=$(cmake --build "$build" --target help | sed -n 's/^\([A-Za-z0-9_]*_replay\):.*/\1/p' | sort -u)
# shellcheck disable=SC2086  # one target name per word
cmake --build "$build" -j "$jobs" --target "${programs[@]}" make_scene_corpus $replays tarn_keep_modules_loaded \
  sanitizer_leak_probe
export LD_PRELOAD=$keep_modules
status=0
for program in "${programs[@]}"; do
  path=$(find "$build/tests" -type f -name "$program" -perm -u+x | head -n 1)
  echo "== $program"
  "$path" --gtest_brief=1 || status=1
done
ctest --test-dir "$build" -j "$jobs" --timeout 900 --output-on-failure \
  -R '_replay$|^scene_corpus_make$|^sanitizer_' || status=1
exit $status
