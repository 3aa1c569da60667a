#!/usr/bin/env bash
# Proves the install of a finished build (default build/release): installs it into a temporary prefix, runs the
# installed demo from / (headless, 30 frames, screenshot) and the installed viewer on the demo's scene, runs both
# inspectors on the installed data and the desktop icons and the converter on an installed image, checks the
# viewer's desktop entry and file type, checks that only public headers were installed and that each compiles on
# its own, then copies
# examples/consumer out of the repository and builds it against the prefix with find_package(TarnEngine) and runs
# it: a window, a device and one image loaded on the null backend; examples/cubevolume likewise, drawing on the
# OpenGL backend, and examples/resetwindow, resizing its window once. Everything goes when the script ends.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'echo "test-install: failed at line $LINENO" >&2' ERR
prefix=$work/prefix
data=$prefix/share/tarn/seascene

cmake --install "$build" --prefix "$prefix" >/dev/null
(cd / && "$prefix/bin/tarn-seascene" --headless --frames 30 --screenshot "$work/shot.png")
# grep reads all of its input (no -q), so the inspector never writes into a closed pipe, which pipefail would report.
"$prefix/bin/tarn-texinfo" "$work/shot.png" | grep "^Width: *800$" >/dev/null
"$prefix/bin/tarn-texinfo" "$data/rock.jpg" >/dev/null
"$prefix/bin/tarn-trsinfo" "$data/SeaSimpleMap.TRS" >/dev/null
# The installed converter makes a DXT1 DDS with a full chain that the installed inspector reads.
"$prefix/bin/tarn-texconv" -f DXT1 -o "$work/rock.dds" "$data/rock.jpg" >/dev/null
"$prefix/bin/tarn-texinfo" "$work/rock.dds" | grep "^Format: *D3DFMT_DXT1$" >/dev/null
grep -q "^Exec=tarn-seascene$" "$prefix/share/applications/tarn-seascene.desktop"
# The installed viewer on the installed scene, from /, with the water effects from the demo's installed frames (a
# missing frame would say "no water effects" on standard error); its desktop entry opens the file type it installs.
(cd / && "$prefix/bin/tarn-view" --headless --frames 3 --water --screenshot "$work/view.png" \
  "$data/SeaSimpleMap.TRS") 2>"$work/view.err"
if [[ -s "$work/view.err" ]]; then cat "$work/view.err" >&2; exit 1; fi
"$prefix/bin/tarn-texinfo" "$work/view.png" | grep "^Width: *800$" >/dev/null
grep -q "^Exec=tarn-view %f$" "$prefix/share/applications/tarn-view.desktop"
grep -q "^MimeType=model/x-tarn-scene;$" "$prefix/share/applications/tarn-view.desktop"
grep -q '<glob pattern="\*.trs"/>' "$prefix/share/mime/packages/tarn-view.xml"
for size in 48 128 256; do
  "$prefix/bin/tarn-texinfo" "$prefix/share/icons/hicolor/${size}x${size}/apps/tarn-seascene.png" |
    grep "^Height: *$size$" >/dev/null
done

# Only public headers are installed (no internal/ folder, no test seam), and each compiles on its own against the
# installed tree alone.
include=$prefix/include/tarn
if find "$include" -path '*/internal/*' | grep . >&2; then
  echo "test-install: internal headers were installed" >&2
  exit 1
fi
for seam in platform/FaultInjection.h platform/MessageBoxHook.h platform/TestHooks.h platform/RunnerControl.h \
  math/RoutineTableTesting.h; do
  if [[ -e "$include/$seam" ]]; then
    echo "test-install: the test seam $seam was installed" >&2
    exit 1
  fi
done
headers=0
while IFS= read -r header; do
  printf '#include "%s"\n' "$header" |
    c++ -std=c++20 -Wall -Wextra -Werror -fsyntax-only -I"$include" -x c++ - ||
    { echo "test-install: $header does not compile on its own" >&2; exit 1; }
  headers=$((headers + 1))
done < <(cd "$include" && find . -name '*.h' | sed 's|^\./||' | sort)

cp -r examples/consumer "$work/consumer-src"
cmake -S "$work/consumer-src" -B "$work/consumer" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
output=$(cd / && TARN_D3D9_BACKEND=null "$work/consumer/consumer" --headless "$data/sand.bmp")
if [[ "$output" != *"sand.bmp: 256 x 256, 9 levels" ]]; then
  echo "test-install: the consumer printed '$output'" >&2
  exit 1
fi

# The cube and volume example, built against the install too: it writes its DDS files, loads, filters and draws them
# headless and exits 0 only when everything it reads back matches.
cp -r examples/cubevolume "$work/cubevolume-src"
cmake -S "$work/cubevolume-src" -B "$work/cubevolume" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cubevolume" >/dev/null
(cd / && TARN_D3D9_BACKEND=gl TARN_MESSAGEBOX=stderr "$work/cubevolume/cubevolume" --headless "$work") >/dev/null
# The Reset example, built against the install: it resizes its window once during the run, resets the device from
# WM_SIZE and checks every frame's pixels and occlusion count; exit status 0 only when all of them matched.
cp -r examples/resetwindow "$work/resetwindow-src"
cmake -S "$work/resetwindow-src" -B "$work/resetwindow" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/resetwindow" >/dev/null
reset_output=$(cd / && TARN_D3D9_BACKEND=gl TARN_MESSAGEBOX=stderr "$work/resetwindow/resetwindow" --headless --frames 8)
if [[ "$reset_output" != "resetwindow: 8 frames, 1 resets, "* ]]; then
  echo "test-install: the reset example printed '$reset_output'" >&2
  exit 1
fi
echo "test-install: installed demo, viewer, inspectors, converter, $headers public headers, consumer, cube/volume and reset example projects work ($output)"
