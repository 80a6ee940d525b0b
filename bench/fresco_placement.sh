#!/bin/sh
# Placement check: is every feature of Fresco's orthoimages within 0.25 px of
# its true place? Renders a tile set with fresco-render (--mask) at several
# resolutions (and split into pieces), renders the same files again with an
# independent reference renderer (fresco_reference_render: every paged level
# frozen at its deepest file, one orthographic camera on the raster's own
# pixel grid), and prints per band of 200 rows and of 200 columns the shift
# of the raster against the reference (fresco_shift_table: dx east, dy
# south, in pixels), the no-data rows and columns inside the model, and the
# largest shift. Runs itself under xvfb-run when there is no display.
#
#   bench/fresco_placement.sh BUILD_DIR [TILESET]
#
# TILESET defaults to the shared Production_5 set (exit status 77 when it is
# absent). RESOLUTIONS (default "0.5 0.2 0.1 0.05 0.02") and SPLITS (RES:LEN
# pairs, default "0.3:20 0.3:100 0.4:50 0.1:50", lengths that are not whole
# numbers of pixels) choose the runs; FRESCO_ARGS adds options to
# fresco-render (e.g. "--tap" or "--supersample 2"); KEEP=DIR keeps the
# rasters there. SELFTEST=1 first checks the measurement itself: a reference
# drawn 0.3 px east and 0.2 px south of the grid must measure as dx = -0.3,
# dy = -0.2 (the estimate is good to about 0.02 px). Exit status 0 when every
# run passes, 1 otherwise.
#
# Takes about 2 minutes on Production_5 (2 cores, Mesa's software GL); the
# 0.02 m raster is 50 megapixels and the table needs about 1.5 GB.
set -eu
build=${1:?usage: bench/fresco_placement.sh BUILD_DIR [TILESET]}
here=$(cd "$(dirname "$0")" && pwd)
tileset=${2:-$here/../../shared/testdata/osgb/Production_5}
if [ ! -d "$tileset/Data" ]; then
    echo "no tile set at $tileset" >&2
    exit 77
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${FRESCO_PLACEMENT_XVFB:-}" ]; then
    FRESCO_PLACEMENT_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
        env LIBGL_ALWAYS_SOFTWARE=1 "$0" "$@"
fi
build=$(cd "$build" && pwd)
tileset=$(cd "$tileset" && pwd)
name=$(basename "$tileset")
render="$build/bin/fresco-render"
reference="$build/bin/fresco_reference_render"
table="$build/bin/fresco_shift_table"
for tool in "$render" "$reference" "$table"; do
    if [ ! -x "$tool" ]; then
        echo "missing $tool (build fresco-render, fresco_reference_render and fresco_shift_table)" >&2
        exit 2
    fi
done
if [ -n "${KEEP:-}" ]; then
    mkdir -p "$KEEP"
    scratch=$(cd "$KEEP" && pwd)
else
    scratch=$(mktemp -d "${TMPDIR:-/tmp}/fresco_placement.XXXXXX")
    trap 'rm -rf "$scratch"' EXIT
fi
export XDG_STATE_HOME="$scratch/state"
export LD_LIBRARY_PATH="$build/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
summary="$scratch/summary"
: > "$summary"
failed=0

# check LABEL RES [SPLIT]: Fresco's raster(s), the reference on their grid,
# the table.
check() {
    label=$1 res=$2 split=${3:-0}
    out="$scratch/$label"
    rm -rf "$out"
    mkdir -p "$out"
    if ! "$render" -q --mask ${FRESCO_ARGS:-} --resolution "$res" --split "$split" --output "$out" "$tileset" \
        > "$out/render.log" 2>&1; then
        cat "$out/render.log" >&2
        echo "$label: fresco-render failed" >> "$summary"
        failed=1
        return
    fi
    if [ "$split" = 0 ]; then
        set -- "$out/$name.tif"
    else
        set -- "$out/$name"_*_*.tif
    fi
    if ! "$reference" "$tileset" "$out/reference.tif" "$@" > "$out/reference.log" 2>&1; then
        cat "$out/reference.log" >&2
        echo "$label: reference render failed" >> "$summary"
        failed=1
        return
    fi
    "$table" --label "$label" "$out/reference.tif" "$@" > "$out/table" || failed=1
    cat "$out/table"
    echo
    grep -E "max [|]shift[|]|no-data rows|edge lines|pieces;|no mask|: (PASS|FAIL)$" "$out/table" >> "$summary"
}

# The measurement itself: the reference drawn on a grid 0.3 px east and
# 0.2 px south, then labelled with the unshifted grid, shows every feature
# 0.3 px west and 0.2 px north of its place.
selftest() {
    out="$scratch/selftest"
    rm -rf "$out"
    mkdir -p "$out"
    "$render" -q --mask ${FRESCO_ARGS:-} --resolution 0.2 --output "$out" "$tileset" > "$out/render.log" 2>&1
    set -- $(gdalinfo "$out/$name.tif" | awk '
        /^Size is/ { gsub(",", ""); w = $3; h = $4 }
        /^Origin =/ { gsub("[(),]", " "); x = $3; y = $4 }
        /^Pixel Size =/ { gsub("[(),]", " "); r = $4 }
        END { printf "%.10f %.10f %.10f %d %d", x, y, r, w, h }')
    x=$1 y=$2 r=$3 w=$4 h=$5
    shifted=$(awk -v x="$x" -v y="$y" -v r="$r" -v w="$w" -v h="$h" \
        'BEGIN { printf "%.10f %.10f %.10f %.10f", x + 0.3 * r, y - 0.2 * r, x + (w + 0.3) * r, y - (h + 0.2) * r }')
    gdal_translate -q -a_ullr $shifted "$out/$name.tif" "$out/grid.tif"
    "$reference" "$tileset" "$out/shifted.tif" "$out/grid.tif" > "$out/reference.log" 2>&1
    "$reference" "$tileset" "$out/reference.tif" "$out/$name.tif" >> "$out/reference.log" 2>&1
    unshifted=$(awk -v x="$x" -v y="$y" -v r="$r" -v w="$w" -v h="$h" \
        'BEGIN { printf "%.10f %.10f %.10f %.10f", x, y, x + w * r, y - h * r }')
    gdal_translate -q -a_ullr $unshifted "$out/shifted.tif" "$out/labelled.tif"
    echo "self-test: expected dx = -0.300, dy = -0.200 in every band"
    "$table" --label self --limit 0.35 "$out/reference.tif" "$out/labelled.tif" || true
    echo
}

if [ -n "${SELFTEST:-}" ]; then
    selftest
fi
for res in ${RESOLUTIONS:-0.5 0.2 0.1 0.05 0.02}; do
    check "$res" "$res"
done
for pair in ${SPLITS:-0.3:20 0.3:100 0.4:50 0.1:50}; do
    check "${pair%%:*}/${pair#*:}" "${pair%%:*}" "${pair#*:}"
done
echo "summary ($tileset${FRESCO_ARGS:+, fresco-render $FRESCO_ARGS}):"
cat "$summary"
exit $failed
