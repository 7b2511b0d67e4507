#!/bin/sh
# Picture speed against ImageMagick and the peak memory of a JPEG to Floyd-Steinberg job
# against today's job (a 24-bit bitmap of the same size in the palette mode).
# Usage: bench/bench_pictures.sh BUILD_DIR [FOLDER]
set -e
build=${1:-build}
folder=${2:-$(mktemp -d)}
"$build/bench/bench_pictures" "$folder"
MAGICK_CONFIGURE_PATH=$folder /usr/bin/convert "$folder/bench-10000x8000.jpg" -type TrueColor \
  "BMP3:$folder/bench.bmp"
for job in "bench.bmp Palette" "bench-10000x8000.jpg FloydSteinberg"; do
  set -- $job
  /usr/bin/time -v "$build/bench/bench_pictures" --once "$folder/$1" "$folder/out.bmp" "$2" \
    2>"$folder/time.txt"
  echo "$1 in mode $2: $(grep 'Maximum resident' "$folder/time.txt")"
done
rm -f "$folder/time.txt" "$folder/out.bmp" "$folder/bench.bmp" "$folder/policy.xml"
