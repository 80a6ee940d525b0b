#!/usr/bin/env bash
# Remakes the README's screenshots from the programs as they run under Xvfb:
#   docs/nimbus-idle.png, nimbus-converting.png, nimbus-summary.png
#   tarn3dinstall/docs/page1_agreement.png, page2_version.png, page3_install.png
# Usage: docs/make-screenshots.sh [BUILD_DIR]   (default: build)
# Builds the two screenshot tools into BUILD_DIR (configuring it if needed).
# Nimbus converts copies of samples/hillside.xyz and a real LAZ file from
# ../shared/testdata in a temporary folder; the installer runs against a
# generated registry export, package and plug-in folders, also temporary.
# The pictures replace the old ones only when every one of them was taken.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -m "${1:-$here/build}")
real_input="$here/../shared/testdata/las/pdal/lone-star.laz"

missing=()
for tool in xvfb-run Xvfb xauth cmake fc-list; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
if ((${#missing[@]})); then
  echo "make-screenshots: missing ${missing[*]}; run 'bash .ci/setup' first (it installs xvfb, xauth, cmake, fontconfig)" >&2
  exit 1
fi
if [[ -z "$(fc-list :lang=zh-cn family)" ]]; then
  echo "make-screenshots: no font with Chinese glyphs; run 'bash .ci/setup' (it installs fonts-wqy-microhei)" >&2
  exit 1
fi
for input in "$here/samples/hillside.xyz" "$real_input"; do
  [[ -f "$input" ]] || { echo "make-screenshots: no input $input" >&2; exit 1; }
done

if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
fi
# Tarn3DInstall's build step puts image/ beside the programs.
cmake --build "$build" --target nimbus_gui_screenshots tarn3d_screenshots Tarn3DInstall

work=$(mktemp -d "${TMPDIR:-/tmp}/make-screenshots.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/pictures"

on_x() {
  xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
    env -u QT_SCALE_FACTOR -u QT_STYLE_OVERRIDE QT_QPA_PLATFORM=xcb "$@"
}

# Nimbus: the tool copies its inputs to a temporary folder of its own.
on_x "$build/bin/nimbus_gui_screenshots" "$work/pictures" "$here/samples/hillside.xyz" "$real_input"

# Installer: a package as it ships beside the program, and two CAD profiles
# whose plug-in folders the install page really fills.
package="$work/Tarn3D-setup"
mkdir -p "$package/TARN3D/x64/tarn3d_Dll" "$package/TARN3D/x64/AutoCAD2018" "$package/TARN3D/x64/AutoCAD2019" \
  "$package/TARN3D/system" "$package/TARN3D/BLOCKS"
for file in tarn3d_Dll/Tarn3DCore.dll tarn3d_Dll/Tarn3DView.dll AutoCAD2018/tarn3D.arx AutoCAD2019/tarn3D.arx; do
  echo "$file" >"$package/TARN3D/x64/$file"
done
echo "menu" >"$package/TARN3D/system/tarn3d.cuix"
echo "marks" >"$package/TARN3D/BLOCKS/survey-marks.dwg"
registry="$work/profiles.reg"
{
  printf 'Windows Registry Editor Version 5.00\r\n'
  for profile in "Tarn10.1 R22.0 ACAD-2001:804" "Tarn10.1 R23.0 ACAD-3001:804"; do
    read -r name release product <<<"$profile"
    plugin="$work/CAD/$release/$name"
    mkdir -p "$plugin/BIN" "$plugin/SYSTEM" "$plugin/BLOCKS"
    printf 'acetutil.arx\r\n' >"$plugin/SYSTEM/acad.rx"
    printf '\r\n[HKEY_CURRENT_USER\\Software\\Autodesk\\AutoCAD\\%s\\%s\\Profiles\\%s\\General]\r\n' \
      "$release" "$product" "$name"
    printf '"ACAD"="%s;%s;%s"\r\n' "$plugin/SYSTEM" "$plugin/BIN" "$plugin/BLOCKS"
  done
} >"$registry"
# The wizard finds image/ in its working folder.
(cd "$build/bin" && TARN3D_REGISTRY_FILE="$registry" \
  on_x "$build/bin/tarn3d_screenshots" "$work/pictures" "$package" "Tarn10.1 for AutoCAD2018 x64")

for name in nimbus-idle nimbus-converting nimbus-summary; do
  mv "$work/pictures/$name.png" "$here/docs/"
done
for name in page1_agreement page2_version page3_install; do
  mv "$work/pictures/$name.png" "$here/tarn3dinstall/docs/"
done
echo "make-screenshots: pictures written to docs/ and tarn3dinstall/docs/; look at them before committing"
