#!/bin/sh
# Whole PCD conversions with two nimbusconvert builds side by side: the
# generated 2,000,000-point cloud as ascii, binary and binary_compressed
# (written once into ${TMPDIR:-/tmp} by pcd_bench), each converted RUNS
# times (default 5) by every build, the builds taking turns. Prints the
# median wall time, points per second and the median peak resident memory
# per build and encoding.
#
# Usage: bench/pcd_convert.sh BUILD_DIR [OTHER_BUILD_DIR...]
#   e.g. bench/pcd_convert.sh ../i22pcd-base/build build
# One of the builds must have pcd_bench; every build needs nimbusconvert.
set -eu

[ $# -ge 1 ] || { echo "usage: $0 BUILD_DIR [OTHER_BUILD_DIR...]" >&2; exit 2; }
runs=${RUNS:-5}
points=2000000
dir=${TMPDIR:-/tmp}
out="$dir/pcd_convert_out"
mkdir -p "$out"
writer=""
for build in "$@"; do
    [ -x "$build/bin/pcd_bench" ] && writer="$build/bin/pcd_bench" && break
done
[ -n "$writer" ] || { echo "no build has bin/pcd_bench" >&2; exit 2; }

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

printf '%-40s %-18s %8s %12s %9s\n' build encoding seconds points/s "RSS MB"
for encoding in ascii binary binary_compressed; do
    input="$dir/pcd_bench_${points}_$encoding.pcd"
    [ -s "$input" ] || "$writer" --write-pcd "$input" "$points" "$encoding"
    # The builds take turns run by run, so that a change in the machine's
    # load falls on all of them alike.
    n=0
    for build in "$@"; do : > "$out/seconds.$n"; : > "$out/rss.$n"; n=$((n + 1)); done
    i=0
    while [ $i -lt "$runs" ]; do
        n=0
        for build in "$@"; do
            /usr/bin/time -f '%e %M' -o "$out/time" "$build/bin/nimbusconvert" -q -o "$out" "$input" > /dev/null 2>&1 || {
                echo "conversion failed: $build $input" >&2; exit 1; }
            read -r s kb < "$out/time"
            echo "$s" >> "$out/seconds.$n"
            echo "$kb" >> "$out/rss.$n"
            n=$((n + 1))
        done
        i=$((i + 1))
    done
    n=0
    for build in "$@"; do
        s=$(median < "$out/seconds.$n")
        kb=$(median < "$out/rss.$n")
        printf '%-40s %-18s %8.2f %12.0f %9.0f\n' "$build" "$encoding" "$s" \
            "$(echo "$points $s" | awk '{ print $1 / $2 }')" "$(echo "$kb" | awk '{ print $1 / 1024 }')"
        n=$((n + 1))
    done
done
rm -rf "$out"
