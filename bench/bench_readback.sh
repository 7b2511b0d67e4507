#!/bin/sh
# Reading back and timing a 1 GB job against `wc -l` on the same file, side by side:
#   bench/bench_readback.sh BUILD_DIR [FOLDER] [MEGABYTES]
# Writes a GRBL raster job from a noise picture, repeats it up to the size, then times
# `wc -l` and `pyrolith-cli check` (reader, pre-flight check and planner model) on it, and
# check without the serial line (BaudRate=0): what the model of the stream costs. Each check
# runs three times.
set -e
build=${1:-build}
folder=${2:-$(mktemp -d)}
megabytes=${3:-1024}
cli="$build/bin/pyrolith-cli"
profile="$(dirname "$0")/../examples/grbl-laser.prf"

/usr/bin/convert -size 1500x1500 xc:gray50 -seed 7 +noise Random -colorspace gray \
  -threshold 50% -type truecolor BMP3:"$folder/noise.bmp"
"$cli" --profile "$profile" --set IndicateBoundary=0 "$folder/noise.bmp" "$folder/one.gcode" >/dev/null
: > "$folder/job.gcode"
target=$((megabytes * 1024 * 1024))
while [ "$(stat -c %s "$folder/job.gcode")" -lt "$target" ]; do
  cat "$folder/one.gcode" >> "$folder/job.gcode"
done
bytes=$(stat -c %s "$folder/job.gcode")
cat "$folder/job.gcode" > /dev/null  # into the page cache for both

# Wall time and processor time (user + system) of each: on a busy machine the processor
# time is the fairer figure.
/usr/bin/time -f "%e %U %S" -o "$folder/wc.txt" wc -l "$folder/job.gcode" > "$folder/lines.txt"
# Three runs of each, taken in turns; the fastest of each counts (a shared machine only ever
# slows a run down).
: > "$folder/cli.all"
: > "$folder/plan.all"
for run in 1 2 3; do
  /usr/bin/time -f "%e %U %S" -a -o "$folder/cli.all" \
    "$cli" check --profile "$profile" "$folder/job.gcode" > "$folder/check.txt" 2>/dev/null
  /usr/bin/time -f "%e %U %S" -a -o "$folder/plan.all" \
    "$cli" check --profile "$profile" --set BaudRate=0 "$folder/job.gcode" > /dev/null 2>&1
done
sort -n "$folder/cli.all" | head -1 > "$folder/cli.txt"
sort -n "$folder/plan.all" | head -1 > "$folder/plan.txt"
awk -v b="$bytes" -v e="$(cat "$folder/check.txt")" -v l="$(cut -d' ' -f1 "$folder/lines.txt")" \
  -v w="$(cat "$folder/wc.txt")" -v c="$(cat "$folder/cli.txt")" \
  -v p="$(cat "$folder/plan.txt")" 'BEGIN {
  split(w, W, " "); split(c, C, " "); split(p, P, " "); mb = b / 1048576;
  wcpu = W[2] + W[3]; ccpu = C[2] + C[3];
  if (wcpu < 0.01) wcpu = 0.01;
  printf "file: %.0f MB, %d lines; %s\n", mb, l, e;
  printf "                     wall      MB/s   processor  MB/s\n";
  printf "wc -l:              %6.2f s %6.0f   %6.2f s %6.0f\n", W[1], mb / W[1], wcpu, mb / wcpu;
  printf "pyrolith-cli check: %6.2f s %6.0f   %6.2f s %6.0f\n", C[1], mb / C[1], ccpu, mb / ccpu;
  printf "check / wc -l: %.1f x the wall time, %.1f x the processor time\n", C[1] / W[1], ccpu / wcpu;
  pcpu = P[2] + P[3]; if (pcpu < 0.01) pcpu = 0.01;
  printf "check / check without the serial line: %.2f x the wall time, %.2f x the processor time\n", C[1] / P[1], ccpu / pcpu;
}'
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
rm -f "$folder/job.gcode" "$folder/one.gcode" "$folder/noise.bmp" "$folder"/check.txt \
  "$folder"/wc.txt "$folder"/cli.txt "$folder"/plan.txt "$folder"/lines.txt \
  "$folder"/cli.all "$folder"/plan.all
