#!/bin/sh
# usage: texinfo_bands.sh TEXINFO CORPUS_DIR WORK_DIR
# texinfo --png converts level 0 at the image's own size a band of rows at a time; asked for the same size with
# --size it loads a whole texture instead. Both must write the same PNG for every file of the corpus and for an
# image of several bands (a 512 x 600 text PPM: 512 rows a band).
set -u
texinfo=$1 corpus=$2 work=$3
mkdir -p "$work"
awk 'BEGIN { print "P3 512 600 255"; for (y = 0; y < 600; y++) for (x = 0; x < 512; x++)
             print (x * 7 + y * 3) % 256, y % 256, x % 256 }' > "$work/bands.ppm"
status=0 compared=0
for f in "$corpus"/*/* "$work/bands.ppm"; do
    info=$("$texinfo" "$f" 2>/dev/null) || continue
    w=$(echo "$info" | sed -n 's/^Width: *//p')
    h=$(echo "$info" | sed -n 's/^Height: *//p')
    "$texinfo" "$f" --png "$work/bands.png" >/dev/null 2>&1 || continue
    if ! "$texinfo" "$f" --png "$work/whole.png" --size "${w}x$h" --filter none >/dev/null 2>&1 ||
       ! cmp -s "$work/bands.png" "$work/whole.png"; then
        echo "differs: $f"
        status=1
    fi
    compared=$((compared + 1))
done
echo "compared $compared files"
[ "$compared" -gt 40 ] || status=1
exit $status
