# Fresco's part of the Windows build and tests, sourced by build.sh and
# test.sh after common.sh (both set ROOT). Fresco is built for x86_64 only:
# libfresco.dll is loaded by 64-bit CAD hosts.
#
# Its libraries (OpenSceneGraph, GDAL with PROJ, and what they use) come from
# ../shared/toolchains/fresco-deps-mingw64.tar.zst, unpacked to
# ROOT/toolchains/fdeps, or, when that is absent, are built from Debian's
# source packages by build-fresco-deps.sh (about 11 minutes on two cores).
# Beside the programs go the DLLs, the scene graph's plug-ins in
# osgPlugins-3.6.5/, and share/proj/proj.db one level up, where PROJ looks
# relative to the DLL holding it.

FRESCO_DEPS_FILE=fresco-deps-mingw64.tar.zst
FRESCO_DEPS_SHA256=ba727e71b5e56b7e75b9c2f440346034004e5e19586e5d3f687c356ad2ab5456

fresco_deps_dir() {
  echo "$ROOT/toolchains/fdeps"
}

# Makes the libraries ready and names their DLL folder for win_deploy.
prepare_fresco() {  # TARGET
  local deps cache
  deps=$(fresco_deps_dir)
  cache="$WIN_TOOLCHAINS_CACHE/$FRESCO_DEPS_FILE"
  if [[ ! -f "$deps/share/cmake/mingw64-toolchain.cmake" ]]; then
    mkdir -p "$ROOT/toolchains"
    if [[ -f "$cache" ]] && echo "$FRESCO_DEPS_SHA256  $cache" | sha256sum -c --quiet -; then
      win_log "unpacking $FRESCO_DEPS_FILE"
      rm -rf "$deps"
      tar --zstd -xf "$cache" -C "$ROOT/toolchains"
    else
      [[ -f "$cache" ]] && win_log "$FRESCO_DEPS_FILE does not match its checksum; building"
      bash "$WIN_REPO/tools/windows/build-fresco-deps.sh" "$deps"
    fi
    [[ -f "$deps/share/cmake/mingw64-toolchain.cmake" ]] || win_die "no Fresco libraries in $deps"
  fi
  export WIN_DLL_DIRS_x86_64="$deps/bin"
}

tool_fresco() {
  case "$1" in
    OPTION) echo "-DQUILLFEN_FRESCO=ON -DWIN_EXTRA_ROOTS=$ROOT/x86_64/deps;$(fresco_deps_dir)" ;;
    PROGRAMS) echo libfresco.dll fresco-render.exe ;;
  esac
}

# The plug-ins and proj.db beside the programs, and beside the test programs.
deploy_fresco() {  # TARGET
  local deps dir
  deps=$(fresco_deps_dir)
  for dir in "$ROOT/$1/bin" "$ROOT/$1/build/bin"; do
    mkdir -p "$dir/osgPlugins-3.6.5" "$dir/../share"
    cp "$deps"/bin/osgPlugins-3.6.5/*.dll "$dir/osgPlugins-3.6.5/"
    rm -rf "$dir/../share/proj"
    cp -r "$deps/share/proj" "$dir/../share/"
  done
}

tests_fresco() {
  echo fresco_class_tests.exe fresco_mosaic_tests.exe fresco_tileset_tests.exe \
    fresco_log_tests.exe fresco_orthoviewer_tests.exe fresco_job_tests.exe fresco_cli_tests.exe
}

# End to end: Production_5 rendered by the Windows and the Linux
# fresco-render (QUILLFEN_LINUX_BUILD, default build/ of this checkout), as a
# GeoTIFF and as an Imagine raster, byte for byte.
check_fresco() {  # TARGET
  local target=$1 linux exe set work format files ok=1
  linux="${QUILLFEN_LINUX_BUILD:-$WIN_REPO/build}/bin/fresco-render"
  exe="$ROOT/$target/bin/fresco-render.exe"
  set=$(realpath "$WIN_REPO/../shared/testdata/osgb/Production_5")
  if [[ ! -x "$linux" ]]; then
    echo "FAIL $target fresco-render: no Linux build at $linux to compare with"
    return 1
  fi
  work="$ROOT/$target/compare-fresco"
  for format in .tif .img; do
    rm -rf "$work"
    mkdir -p "$work/linux" "$work/windows"
    LIBGL_ALWAYS_SOFTWARE=1 "$linux" --resolution 0.2 --format "$format" \
      --output "$work/linux" "$set" >"$work/linux.log" 2>&1 || true
    (cd "$work" && LIBGL_ALWAYS_SOFTWARE=1 /usr/lib/wine/wine64 "$exe" --resolution 0.2 \
       --format "$format" --output "Z:$work/windows" "Z:$set" >"$work/windows.log" 2>&1) || true
    files=$(cd "$work/linux" && ls -A)
    if [[ -z "$files" || "$files" != "$(cd "$work/windows" && ls -A)" ]]; then
      echo "FAIL $target fresco-render: the builds wrote different files ($format): " \
        "$(head -c 300 "$work/windows.log")"
      ok=0
      continue
    fi
    for f in $files; do
      if ! cmp -s "$work/linux/$f" "$work/windows/$f"; then
        echo "FAIL $target fresco-render: $f differs from the Linux build's"
        ok=0
      fi
    done
    ((ok)) && echo "ok   $target fresco-render: Production_5 $format byte-identical to the Linux build ($files)"
  done
  check_fresco_without_context "$target" "$exe" "$set" || ok=0
  ((ok))
}

# Without an OpenGL context the program says so in one line, exits 1 and
# writes nothing. Wine draws through the host's Mesa, which makes no context
# when its drivers are looked for in an empty folder: a Windows machine
# without a graphics driver, as far as the program can tell.
check_fresco_without_context() {  # TARGET EXE SET
  local target=$1 exe=$2 set=$3 work rc=0 expected err
  work="$ROOT/$target/compare-fresco"
  rm -rf "$work"
  mkdir -p "$work/none" "$work/empty"
  (cd "$work" && LIBGL_ALWAYS_SOFTWARE=1 LIBGL_DRIVERS_PATH="$work/empty" /usr/lib/wine/wine64 "$exe" \
     --resolution 0.5 --output "Z:$work/none" "Z:$set" >"$work/stdout.log" 2>"$work/stderr.log") || rc=$?
  expected="fresco-render: no OpenGL context: the display driver cannot make an off-screen OpenGL surface"
  # The host's Mesa says why in lines of its own; the program's are the rest.
  err=$(tr -d '\r' <"$work/stderr.log" | grep -v '^libGL error: ' || true)
  if ((rc == 1)) && [[ "$err" == "$expected" && -z "$(ls -A "$work/none")" ]]; then
    echo "ok   $target fresco-render: without an OpenGL context one line says so, exit 1, nothing written"
    return 0
  fi
  echo "FAIL $target fresco-render: without an OpenGL context: exit $rc, said '$err', wrote '$(ls -A "$work/none")'"
  return 1
}
