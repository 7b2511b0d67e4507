#!/bin/sh
# Job writer speed against cp, the save with its check against dd conv=fsync, and the peak
# memory: bench/bench_job.sh BUILD_DIR [FOLDER] [WIDTH] [HEIGHT]
# (the dense job of 86 MB: bench/bench_job.sh build /tmp 4000 3000)
set -e
build=${1:-build}
folder=${2:-$(mktemp -d)}
/usr/bin/time -v "$build/bench/bench_job" "$folder" ${3:-10000} ${4:-${3:-10000}} 2>"$folder/time.txt"
grep -E 'Maximum resident|Elapsed' "$folder/time.txt"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
rm -f "$folder/time.txt"
