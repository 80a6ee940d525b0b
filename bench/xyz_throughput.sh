#!/bin/sh
# End-to-end XYZ conversion throughput of nimbusconvert.
#
# Writes a generated XYZ file of at least 1 GB (override with XYZ_LINES; 33
# million lines of "easting,northing,height" make 1.023 GB) into
# ${TMPDIR:-/tmp}, converts it with build/bin/nimbusconvert under
# /usr/bin/time, and prints input MB/s and peak resident memory. Then it times
# the reader's in-place parser against a string-stream parser on the first
# 3,000,000 lines' worth of such data (parsing only, no splitting or writing;
# the string-stream parser needs about a minute per GB). The generated file is
# removed afterwards unless KEEP_XYZ=1.
#
# Usage: bench/xyz_throughput.sh [BUILD_DIR]     (default: build)
# Needs the targets nimbusconvert and convert_bench.
set -eu

build=${1:-build}
lines=${XYZ_LINES:-33000000}
dir=${TMPDIR:-/tmp}
input="$dir/xyz_throughput_$lines.xyz"
output="$dir/xyz_throughput_$lines.ilas"

if [ ! -s "$input" ]; then
    echo "writing $lines lines to $input"
    "$build/bin/convert_bench" --write-xyz "$input" "$lines"
fi
bytes=$(wc -c < "$input")
echo "input: $input ($bytes bytes)"

timing="$dir/xyz_throughput_time.txt"
/usr/bin/time -v "$build/bin/nimbusconvert" "$input" 2> "$timing" > /dev/null || {
    cat "$timing"
    exit 1
}
grep -E '^(converted|failed|note):' "$timing" || true

# "Elapsed (wall clock) time (h:mm:ss or m:ss): 0:07.12"
wall=$(sed -n 's/.*Elapsed (wall clock) time.*: //p' "$timing")
rss_kb=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$timing")
seconds=$(echo "$wall" | awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }')
awk -v b="$bytes" -v s="$seconds" -v r="$rss_kb" 'BEGIN {
    printf "nimbusconvert: %.2f s, %.1f MB/s of XYZ input, peak RSS %.0f MB\n", s, b / 1e6 / s, r / 1024
}'
rm -f "$output" "$timing"

sample="$dir/xyz_throughput_sample.xyz"
"$build/bin/convert_bench" --write-xyz "$sample" 3000000
"$build/bin/convert_bench" --parse-baseline "$sample"
rm -f "$sample"
if [ "${KEEP_XYZ:-0}" != 1 ]; then
    rm -f "$input"
fi
