#!/bin/sh
# End-to-end LAS -> ilas speed: writes a generated LAS file of N points
# (default 20,000,000, about 680 MB) into a scratch folder, converts it with
# nimbusconvert and prints points per second and peak memory.
#
#   bench/las_end_to_end.sh [BUILD_DIR] [POINTS]
set -eu
build=${1:-build}
points=${2:-20000000}
bin="$build/bin"
for tool in las_bench nimbusconvert; do
    if [ ! -x "$bin/$tool" ]; then
        echo "missing $bin/$tool (build the targets las_bench and nimbusconvert first)" >&2
        exit 2
    fi
done
scratch=$(mktemp -d "${TMPDIR:-/tmp}/las_e2e.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
"$bin/las_bench" --write-las "$scratch/cloud.las" "$points"
# Read the input once so the timing measures conversion, not the disk.
cat "$scratch/cloud.las" > /dev/null
start=$(date +%s.%N)
/usr/bin/time -f "%M %U %S" -o "$scratch/rss" "$bin/nimbusconvert" "$scratch/cloud.las" > "$scratch/log" 2>&1 || {
    cat "$scratch/log" >&2
    exit 1
}
end=$(date +%s.%N)
awk -v s="$start" -v e="$end" -v n="$points" '{
    t = e - s
    printf "converted %d points in %.2f s: %.2f million points/s, peak RSS %.0f MB, CPU %.2f s user + %.2f s system\n", n, t, n / t / 1e6, $1 / 1024, $2, $3
}' "$scratch/rss"
ls -l "$scratch/cloud.ilas" | awk '{ printf "ilas size %d bytes\n", $5 }'
