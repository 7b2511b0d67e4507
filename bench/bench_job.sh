#!/bin/sh
# Job writer speed against cp and the peak memory: bench/bench_job.sh BUILD_DIR [FOLDER] [SIZE]
set -e
build=${1:-build}
folder=${2:-$(mktemp -d)}
/usr/bin/time -v "$build/bench/bench_job" "$folder" ${3:-10000} 2>"$folder/time.txt"
grep -E 'Maximum resident|Elapsed' "$folder/time.txt"
rm -f "$folder/time.txt"
