#!/bin/bash
# End-to-end conversion speed of nimbusconvert on inputs of every size.
#
#   bench/pipeline.sh BUILD_DIR
#
# Generates its inputs once into $BENCH_DATA (default /tmp/nimbus-bench; never
# inside the repository) and reuses them on later runs:
#   las10m.las     10,000,000 points, LAS point format 0
#   las20m600.las  20,000,600 points, point format 2 (colour): two buffers,
#                  the second one tiny
#   las50m.las     50,000,000 points, point format 0 (three buffers)
#   cloud.xyz      about 1 GB of "x,y,z" lines (33,000,000 lines)
#   terrain-10m.laz  a link to ../shared/benchdata/terrain-10m.laz
#   e57-10m.e57    10,000,000 E57 records (scaled-integer x, y, z, 8-bit
#                  colours, one scan with a pose), from BUILD_DIR's e57_bench
# Each input is converted once untimed ($WARMUP_RUNS, default 1) and then
# $RUNS times (default 3), each timed run after $PAUSE seconds of idling
# (default 0); per input the script prints
# the median wall time, M points/s (MB/s for text), CPU seconds (user +
# system) and peak RSS, all from /usr/bin/time -v.
#
# Every ilas file written is then checked with `ilasinfo --check`; the
# 50,000,000-point one is also timed with ilasinfo (summary and full check)
# and stays on disk at $BENCH_DATA/las50m.ilas for benchmarks that read it.
# Further lines: call `measure LABEL UNIT AMOUNT COMMAND...` below; UNIT is
# "points" (AMOUNT points, M points/s) or "bytes" (AMOUNT bytes, MB/s).
#
# Back-to-back runs reuse memory the previous run has just freed. On a
# virtual machine whose host takes freed memory back after a moment (this
# one does within a few seconds), a conversion started after a pause, as a
# user starts one, first has to get its memory from the host again:
# PAUSE=8 WARMUP_RUNS=0 measures that case.
#
# The inputs are generated with BUILD_DIR's las_bench and convert_bench; to
# compare two builds, run the newer one first (older ones may lack the LAS
# point-format option) or point both at the same $BENCH_DATA.
set -eu

if [ $# -lt 1 ]; then
    echo "usage: $0 BUILD_DIR" >&2
    exit 2
fi
build=$1
bin="$build/bin"
repo=$(cd "$(dirname "$0")/.." && pwd)
data=${BENCH_DATA:-/tmp/nimbus-bench}
runs=${RUNS:-3}
warmups=${WARMUP_RUNS:-1}
pause=${PAUSE:-0}
mkdir -p "$data"

for tool in nimbusconvert ilasinfo; do
    if [ ! -x "$bin/$tool" ]; then
        echo "missing $bin/$tool" >&2
        exit 2
    fi
done

# --- inputs -----------------------------------------------------------------

make_las() { # NAME POINTS FORMAT
    if [ ! -s "$data/$1" ]; then
        echo "writing $data/$1 ($2 points, point format $3)" >&2
        "$bin/las_bench" --write-las "$data/$1.tmp" "$2" "$3"
        mv "$data/$1.tmp" "$data/$1"
    fi
}
make_las las10m.las 10000000 0
make_las las20m600.las 20000600 2
make_las las50m.las 50000000 0
if [ ! -s "$data/cloud.xyz" ]; then
    echo "writing $data/cloud.xyz (33,000,000 lines)" >&2
    "$bin/convert_bench" --write-xyz "$data/cloud.xyz.tmp" 33000000
    mv "$data/cloud.xyz.tmp" "$data/cloud.xyz"
fi
laz="$repo/../shared/benchdata/terrain-10m.laz"
# The output is written beside the input, so the shared file is linked.
ln -sf "$laz" "$data/terrain-10m.laz"

# --- measuring --------------------------------------------------------------

# Prints one line: label, median wall s, rate, median CPU s, median peak RSS.
measure() { # LABEL UNIT AMOUNT COMMAND...
    local label=$1 unit=$2 amount=$3
    shift 3
    local walls="" cpus="" rsss="" i timing
    timing=$(mktemp "${TMPDIR:-/tmp}/pipeline_time.XXXXXX")
    # Untimed first runs: on a virtual machine, memory the guest has never
    # touched is backed by the host on first use, which made the first run of
    # each input up to twice as slow as the rest.
    for i in $(seq "$warmups"); do
        "$@" > /dev/null 2>&1 || true
    done
    for i in $(seq "$runs"); do
        sleep "$pause"
        if ! /usr/bin/time -v "$@" > /dev/null 2> "$timing"; then
            echo "$label: run $i failed" >&2
            cat "$timing" >&2
            rm -f "$timing"
            return 1
        fi
        walls="$walls $(sed -n 's/.*Elapsed (wall clock) time.*: //p' "$timing" \
            | awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }')"
        cpus="$cpus $(awk -F': ' '/User time|System time/ { s += $2 } END { print s }' "$timing")"
        rsss="$rsss $(sed -n 's/.*Maximum resident set size (kbytes): //p' "$timing")"
    done
    rm -f "$timing"
    median() { echo "$@" | tr ' ' '\n' | sed '/^$/d' | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
    local wall cpu rss
    wall=$(median $walls)
    cpu=$(median $cpus)
    rss=$(median $rsss)
    awk -v l="$label" -v u="$unit" -v a="$amount" -v w="$wall" -v c="$cpu" -v r="$rss" -v all="$walls" 'BEGIN {
        # /usr/bin/time counts in hundredths: a quicker run shows as 0 s.
        if (w == 0) rate = "  (under 0.01 s) "
        else rate = (u == "bytes") ? sprintf("%7.1f MB/s      ", a / 1e6 / w) : sprintf("%7.2f M points/s", a / 1e6 / w)
        printf "%-22s %7.2f s  %s  %6.2f CPU-s  %6.0f MB peak RSS   (runs:%s s)\n", l, w, rate, c, r / 1024, all
    }'
}

convert="$bin/nimbusconvert"

# Reading from the page cache, not the disk, is what is measured.
cat "$data"/las10m.las "$data"/las20m600.las "$data"/las50m.las "$data"/cloud.xyz "$laz" > /dev/null

echo "nimbusconvert of $build, median of $runs runs (after ${pause} s idle each, $warmups warm-up), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)${NIMBUS_HUGE_PAGES:+, NIMBUS_HUGE_PAGES=$NIMBUS_HUGE_PAGES}"
measure "LAS 10,000,000"  points 10000000 "$convert" "$data/las10m.las"
measure "LAS 20,000,600"  points 20000600 "$convert" "$data/las20m600.las"
measure "LAS 50,000,000"  points 50000000 "$convert" "$data/las50m.las"
measure "LAZ terrain-10m" points 10000000 "$convert" "$data/terrain-10m.laz"
measure "XYZ cloud.xyz"   bytes "$(stat -c %s "$data/cloud.xyz")" "$convert" "$data/cloud.xyz"

# E57, when the build has its benchmark: generated once like the others,
# converted, checked and removed here.
if [ -x "$bin/e57_bench" ]; then
    if [ ! -s "$data/e57-10m.e57" ]; then
        echo "writing $data/e57-10m.e57 (10,000,000 records)" >&2
        "$bin/e57_bench" --write-e57 "$data/e57-10m.e57.tmp" 10000000
        mv "$data/e57-10m.e57.tmp" "$data/e57-10m.e57"
    fi
    cat "$data/e57-10m.e57" > /dev/null
    measure "E57 10,000,000"  points 10000000 "$convert" "$data/e57-10m.e57"
    if ! "$bin/ilasinfo" --check "$data/e57-10m.ilas" > /dev/null; then
        echo "ilasinfo --check failed on $data/e57-10m.ilas" >&2
        exit 1
    fi
    rm -f "$data/e57-10m.ilas"
fi

outputs="$data/las10m.ilas $data/las20m600.ilas $data/las50m.ilas $data/terrain-10m.ilas $data/cloud.ilas"
if ! "$bin/ilasinfo" --check $outputs > /dev/null; then
    echo "ilasinfo --check failed on an output:" >&2
    "$bin/ilasinfo" --check $outputs >&2 || true
    exit 1
fi
echo "ilasinfo --check: every output passes"
cat "$data/las50m.ilas" > /dev/null
measure "ilasinfo summary 50M" points 50000000 "$bin/ilasinfo" "$data/las50m.ilas"
measure "ilasinfo --check 50M" points 50000000 "$bin/ilasinfo" --check "$data/las50m.ilas"
rm -f "$data/las10m.ilas" "$data/las20m600.ilas" "$data/terrain-10m.ilas" "$data/cloud.ilas"
echo "50,000,000-point ilas kept at $data/las50m.ilas"
