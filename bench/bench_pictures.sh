#!/bin/sh
# Picture speed against ImageMagick, the peak memory of a JPEG to Floyd-Steinberg conversion
# against a 24-bit bitmap of the same size in the palette mode, and the peak memory of
# pyrolith-cli per pixel on pictures of 100 megapixels in every kind the job reads large:
# 16-bit PNG, transparent (RGBA) PNG, JPEG, TIFF and 24-bit bitmap; and the peak memory of
# the window's document loading the JPEG.
# Usage: bench/bench_pictures.sh BUILD_DIR [FOLDER]
set -e
build=${1:-build}
folder=${2:-$(mktemp -d)}
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
"$build/bench/bench_pictures" "$folder"
MAGICK_CONFIGURE_PATH=$folder /usr/bin/convert "$folder/bench-10000x8000.jpg" -type TrueColor \
  "BMP3:$folder/bench.bmp"
for job in "bench.bmp Palette" "bench-10000x8000.jpg FloydSteinberg"; do
  set -- $job
  /usr/bin/time -v "$build/bench/bench_pictures" --once "$folder/$1" "$folder/out.bmp" "$2" \
    2>"$folder/time.txt"
  echo "$1 in mode $2: $(grep 'Maximum resident' "$folder/time.txt")"
done

# 10000 x 10000 pictures made from the JPEG by libvips' own command.
pixels=100000000
big=$folder/big-10000x10000
if [ ! -f "$big.bmp" ]; then
  vips resize "$folder/bench-10000x8000.jpg" "$big.v" 1 --vscale 1.25
  vips colourspace "$big.v" "$big-16.v" rgb16
  vips pngsave "$big-16.v" "$big-16.png" --compression 1
  vips bandjoin_const "$big.v" "$big-rgba.v" 200
  vips pngsave "$big-rgba.v" "$big-rgba.png" --compression 1
  vips jpegsave "$big.v" "$big.jpg" --Q 90
  vips tiffsave "$big.v" "$big.tif"
  MAGICK_CONFIGURE_PATH=$folder /usr/bin/convert "$big.jpg" -type TrueColor "BMP3:$big.bmp"
  rm -f "$big.v" "$big-16.v" "$big-rgba.v"
fi
for picture in "$big-16.png" "$big-rgba.png" "$big.jpg" "$big.tif" "$big.bmp"; do
  for mode in Palette FloydSteinberg; do
    /usr/bin/time -v "$build/bin/pyrolith-cli" --set "ImageMode=$mode" "$picture" \
      "$folder/out.gcode" >/dev/null 2>"$folder/time.txt"
    kb=$(grep 'Maximum resident' "$folder/time.txt" | tr -dc 0-9)
    echo "pyrolith-cli $(basename "$picture") in mode $mode: peak $kb kB," \
      "$(echo "scale=2; $kb * 1024 / $pixels" | bc) bytes a pixel"
  done
done
# The window's document loading the 10000 x 8000 JPEG offscreen.
if [ -x "$build/bench/bench_window_memory" ]; then
  for mode in Palette FloydSteinberg; do
    QT_QPA_PLATFORM=offscreen "$build/bench/bench_window_memory" \
      "$folder/bench-10000x8000.jpg" "$mode" 2>/dev/null
  done
fi
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
rm -f "$folder/time.txt" "$folder/out.bmp" "$folder/out.gcode" "$folder/bench.bmp" \
  "$folder/policy.xml"
