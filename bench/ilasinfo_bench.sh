#!/bin/sh
# ilasinfo on one ilas file: times the summary and the full format check,
# three runs each, and prints the medians, the check's million points per
# second and the peak RSS. The file is read once first so the timing
# measures ilasinfo, not the disk.
#
#   bench/ilasinfo_bench.sh BUILD_DIR FILE.ilas
set -eu
if [ $# -ne 2 ]; then
    echo "usage: $0 BUILD_DIR FILE.ilas" >&2
    exit 2
fi
tool="$1/bin/ilasinfo"
file=$2
if [ ! -x "$tool" ]; then
    echo "missing $tool (build the target ilasinfo first)" >&2
    exit 2
fi
if [ ! -r "$file" ]; then
    echo "cannot read $file" >&2
    exit 2
fi
scratch=$(mktemp -d "${TMPDIR:-/tmp}/ilasinfo_bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

points=$("$tool" --json "$file" | sed -n 's/.*"pointCount":\([0-9]*\).*/\1/p')
if [ -z "$points" ]; then
    echo "$file is not a complete ilas file:" >&2
    "$tool" "$file" >&2 || true
    exit 1
fi
cat "$file" > /dev/null

# Runs ilasinfo with the given options three times; prints the median wall
# time in seconds, the CPU seconds (user + system) of that run and the
# largest peak RSS in kB. The mapped file's pages count towards the RSS.
timed() {
    for run in 1 2 3; do
        /usr/bin/time -f "%e %M %U %S" -o "$scratch/time" "$tool" "$@" "$file" > "$scratch/out" 2>&1 || {
            cat "$scratch/out" >&2
            exit 1
        }
        tail -n 1 "$scratch/time"
    done | sort -n | awk 'NR == 2 { t = $1; c = $3 + $4 } { if ($2 > m) m = $2 } END { print t, c, m }'
}

set -- $(timed)
summary_s=$1 summary_kb=$3
set -- $(timed --check)
check_s=$1 check_cpu=$2 check_kb=$3
awk -v n="$points" -v ss="$summary_s" -v sk="$summary_kb" -v cs="$check_s" -v cc="$check_cpu" -v ck="$check_kb" 'BEGIN {
    printf "ilasinfo summary of %d points: %.2f s (median of 3), peak RSS %.0f MB\n", n, ss, sk / 1024
    rate = cs > 0 ? n / cs / 1e6 : 0
    printf "ilasinfo --check of %d points: %.2f s (median of 3), %.1f million points/s, CPU %.2f s, peak RSS %.0f MB\n", n, cs, rate, cc, ck / 1024
}'
