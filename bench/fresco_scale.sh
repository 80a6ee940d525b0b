#!/bin/sh
# Orthoimage size against time and memory: generates a 20 x 20 tile set of
# 1000 x 1000 ground units and renders it with fresco-render into one GeoTIFF
# of about 100, 400 and 900 megapixels, printing seconds, megapixels per
# second and peak RSS per run. Runs itself under xvfb-run when there is no
# display.
#
#   bench/fresco_scale.sh BUILD_DIR [MPIX...]
#
# FRESCO_TILESET_GEN names another generator (e.g. to measure an older build
# that has none); FRESCO_SCALE_CHECKSUM=1 prints each band's checksum;
# FRESCO_SCALE_ARGS adds options to fresco-render (e.g. "--co COMPRESS=DEFLATE").
set -eu
build=${1:?usage: bench/fresco_scale.sh BUILD_DIR [MPIX...]}
shift
sizes=${*:-100 400 900}
if [ -z "${DISPLAY:-}" ] && [ -z "${FRESCO_SCALE_XVFB:-}" ]; then
    FRESCO_SCALE_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
        env LIBGL_ALWAYS_SOFTWARE=1 "$0" "$build" $sizes
fi
build=$(cd "$build" && pwd)
render="$build/bin/fresco-render"
gen=${FRESCO_TILESET_GEN:-$build/bin/fresco_tileset_gen}
for tool in "$render" "$gen"; do
    if [ ! -x "$tool" ]; then
        echo "missing $tool (build the targets fresco-render and fresco_tileset_gen)" >&2
        exit 2
    fi
done
scratch=$(mktemp -d "${TMPDIR:-/tmp}/fresco_scale.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
"$gen" "$scratch/Scale"
mkdir "$scratch/out"
export XDG_STATE_HOME="$scratch/state"
echo "MPix  width  seconds  MPix/s  peak_RSS_MB"
for mpix in $sizes; do
    # 1000 ground units across: width = 1000 / resolution.
    res=$(awk -v m="$mpix" 'BEGIN { printf "%.10g", 1000 / sqrt(m * 1e6) }')
    LD_LIBRARY_PATH="$build/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
        /usr/bin/time -f "%e %M" -o "$scratch/time" \
        "$render" --resolution "$res" ${FRESCO_SCALE_ARGS:-} --output "$scratch/out" \
        "$scratch/Scale" > "$scratch/log" 2>&1 || {
        cat "$scratch/log" >&2
        exit 1
    }
    width=$(gdalinfo "$scratch/out/Scale.tif" | awk '/^Size is/ { sub(",", "", $3); print $3 * $4 / 1e6 " " $3 }')
    awk -v w="$width" '{ split(w, p, " "); printf "%-5.0f %-6d %-8.1f %-7.1f %.0f\n", p[1], p[2], $1, p[1] / $1, $2 / 1024 }' "$scratch/time"
    if [ -n "${FRESCO_SCALE_CHECKSUM:-}" ]; then
        gdalinfo -checksum "$scratch/out/Scale.tif" | awk '/Checksum=/ { printf "  %s", $0 } END { print "" }'
    fi
    rm -f "$scratch/out/Scale.tif"
done
