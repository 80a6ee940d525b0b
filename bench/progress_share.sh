#!/bin/sh
# How early a conversion's progress shows something: for one sizeable input
# of every format, the time at which nimbusconvert's progress line first
# shows at least 20 % and the whole run's time, as the user watching a
# terminal sees them. The rule the converter keeps: at least 20 % is on
# screen before 60 % of the run's time has passed.
#
#   bench/progress_share.sh BUILD_DIR
#
# The inputs are made once into $BENCH_DATA (default /tmp/nimbus-progress;
# never inside the repository) and reused on later runs:
#   terrain-10m.laz   a link to ../shared/benchdata/terrain-10m.laz
#   terrain.las       its 10,000,000 points exported as LAS (point format 0)
#   terrain.xyz       the same points as "x y z" lines (about 310 MB)
#   terrain.dat       the same as "name,code,x,y,z" lines
#   terrain.pts       a point count, then "x y z intensity r g b" lines
#   terrain.pcd       binary PCD, x, y, z as F8
#   terrain-ascii.pcd the same as ascii PCD
#   terrain.ply       binary little-endian PLY, x, y, z as double
#   cloud-bc.pcd      6,000,000 generated points, binary_compressed PCD (its
#                     body is unpacked whole before the first point)
#   scan-10m.e57      10,000,000 generated E57 records in one scan (the test
#                     data holds no sizeable scan)
# Each input is converted $RUNS times (default 3) with the output in a
# scratch folder, under a pseudo terminal so that nimbusconvert draws its
# progress line as it does for a user (at most ten times a second). Per
# format the medians of the runs are printed: seconds to the first value of
# at least 20 %, the run's seconds, and their ratio; "ok" when the ratio is
# below 0.60.
#
# Needs python3 (for the pseudo terminal) and, to make the inputs, perl and
# BUILD_DIR's ilasinfo, pcd_bench and e57_bench.
set -eu

if [ $# -lt 1 ]; then
    echo "usage: $0 BUILD_DIR" >&2
    exit 2
fi
bin="$1/bin"
repo=$(cd "$(dirname "$0")/.." && pwd)
data=${BENCH_DATA:-/tmp/nimbus-progress}
runs=${RUNS:-3}
for tool in nimbusconvert ilasinfo pcd_bench e57_bench; do
    if [ ! -x "$bin/$tool" ]; then
        echo "missing $bin/$tool" >&2
        exit 2
    fi
done
mkdir -p "$data"

# --- inputs -----------------------------------------------------------------

laz="$repo/../shared/benchdata/terrain-10m.laz"
ln -sf "$laz" "$data/terrain-10m.laz"

if [ ! -s "$data/terrain.xyz" ] || [ ! -s "$data/terrain.las" ]; then
    echo "exporting the points of terrain-10m.laz" >&2
    scratch=$(mktemp -d "$data/export.XXXXXX")
    trap 'rm -rf "$scratch"' EXIT
    "$bin/nimbusconvert" -q --min-cell-points 1 -o "$scratch" "$laz"
    "$bin/ilasinfo" --export "$scratch/terrain.las" "$scratch/terrain-10m.ilas"
    "$bin/ilasinfo" --export "$scratch/terrain.xyz" "$scratch/terrain-10m.ilas"
    mv "$scratch/terrain.las" "$scratch/terrain.xyz" "$data/"
    rm -rf "$scratch"
fi
# The text and cloud files are written from the XYZ lines.
make_from_xyz() { # NAME PERL-PROGRAM
    if [ ! -s "$data/$1" ]; then
        echo "writing $data/$1" >&2
        perl -e "$2" "$data/terrain.xyz" > "$data/$1.tmp"
        mv "$data/$1.tmp" "$data/$1"
    fi
}
make_from_xyz terrain.dat 'while (<>) { @v = split; print "P$.,1,$v[0],$v[1],$v[2]\n" }'
make_from_xyz terrain.pts '
    open(my $in, "<", $ARGV[0]) or die; my $n = 0; $n++ while <$in>; print "$n\n"; seek($in, 0, 0);
    while (<$in>) { chomp; print "$_ 0 128 128 128\n" }'
make_from_xyz terrain.pcd '
    open(my $in, "<", $ARGV[0]) or die; my $n = 0; $n++ while <$in>; seek($in, 0, 0);
    print "# .PCD v0.7\nVERSION 0.7\nFIELDS x y z\nSIZE 8 8 8\nTYPE F F F\nCOUNT 1 1 1\n",
          "WIDTH $n\nHEIGHT 1\nVIEWPOINT 0 0 0 1 0 0 0\nPOINTS $n\nDATA binary\n";
    binmode STDOUT; while (<$in>) { print pack("d<3", split) }'
make_from_xyz terrain-ascii.pcd '
    open(my $in, "<", $ARGV[0]) or die; my $n = 0; $n++ while <$in>; seek($in, 0, 0);
    print "# .PCD v0.7\nVERSION 0.7\nFIELDS x y z\nSIZE 8 8 8\nTYPE F F F\nCOUNT 1 1 1\n",
          "WIDTH $n\nHEIGHT 1\nVIEWPOINT 0 0 0 1 0 0 0\nPOINTS $n\nDATA ascii\n";
    while (<$in>) { print }'
make_from_xyz terrain.ply '
    open(my $in, "<", $ARGV[0]) or die; my $n = 0; $n++ while <$in>; seek($in, 0, 0);
    print "ply\nformat binary_little_endian 1.0\nelement vertex $n\n",
          "property double x\nproperty double y\nproperty double z\nend_header\n";
    binmode STDOUT; while (<$in>) { print pack("d<3", split) }'
if [ ! -s "$data/cloud-bc.pcd" ]; then
    "$bin/pcd_bench" --write-pcd "$data/cloud-bc.pcd.tmp" 6000000 binary_compressed
    mv "$data/cloud-bc.pcd.tmp" "$data/cloud-bc.pcd"
fi
if [ ! -s "$data/scan-10m.e57" ]; then
    "$bin/e57_bench" --write-e57 "$data/scan-10m.e57.tmp" 10000000
    mv "$data/scan-10m.e57.tmp" "$data/scan-10m.e57"
fi

# --- measuring --------------------------------------------------------------

out=$(mktemp -d "$data/out.XXXXXX")
trap 'rm -rf "$out"' EXIT
# Read from the page cache, not the disk.
cat "$data"/terrain.* "$laz" "$data/cloud-bc.pcd" "$data/scan-10m.e57" > /dev/null

echo "nimbusconvert of $1, median of $runs runs, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-24s %10s %9s %7s\n' input "to 20 % s" "run s" ratio
for input in terrain-10m.laz terrain.las scan-10m.e57 terrain.xyz terrain.dat terrain.pts terrain.pcd \
             terrain-ascii.pcd cloud-bc.pcd terrain.ply; do
    python3 - "$runs" "$input" "$bin/nimbusconvert" -o "$out" "$data/$input" <<'EOF'
import os, pty, re, statistics, subprocess, sys, time

runs, label, command = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
percent = re.compile(rb"(\d+(?:\.\d+)?)%")
firsts, totals = [], []
for _ in range(runs):
    master, slave = pty.openpty()
    start = time.monotonic()
    child = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=slave)
    os.close(slave)
    first, pending = None, b""
    while True:
        try:
            chunk = os.read(master, 65536)
        except OSError:  # the child has closed the terminal
            break
        if not chunk:
            break
        now = time.monotonic() - start
        pending += chunk
        # Redraws are separated by carriage returns or newlines; the last
        # one may still be growing, but a number followed by "%" is complete.
        *shown, pending = re.split(rb"[\r\n]", pending)
        for line in shown + [pending]:
            for value in percent.findall(line):
                if first is None and float(value) >= 20.0:
                    first = now
    status = child.wait()
    total = time.monotonic() - start
    os.close(master)
    if status != 0:
        sys.exit(f"{label}: nimbusconvert ended with status {status}")
    firsts.append(first if first is not None else total)
    totals.append(total)
ratios = [f / t for f, t in zip(firsts, totals)]
ratio = statistics.median(ratios)
print(f"{label:<24} {statistics.median(firsts):10.2f} {statistics.median(totals):9.2f} {ratio:7.2f}"
      f"  {'ok' if ratio < 0.6 else 'TOO LATE'}   (ratios {' '.join(f'{r:.2f}' for r in ratios)})")
EOF
    rm -f "$out"/*
done
