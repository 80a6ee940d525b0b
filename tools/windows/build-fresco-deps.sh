#!/usr/bin/env bash
# Builds Fresco's libraries for 64-bit Windows from Debian 12's source
# packages with Debian's MinGW-w64 (posix threads), into PREFIX: zlib (Debian's
# libz-mingw-w64-dev), libjpeg-turbo, libpng, SQLite, PROJ and GDAL (GTiff,
# HFA, MEM and VRT), OpenSceneGraph (the libraries Fresco uses and the .osg,
# .osgb, JPEG, PNG and RGB plug-ins). The result is what
# ../shared/toolchains/fresco-deps-mingw64.tar.zst holds: relocatable, with a
# CMake toolchain file in PREFIX/share/cmake/mingw64-toolchain.cmake, the DLLs
# in PREFIX/bin and PREFIX/bin/osgPlugins-3.6.5, proj.db in PREFIX/share/proj.
# About 11 minutes on two cores.
#
# Usage: tools/windows/build-fresco-deps.sh PREFIX   (JOBS=N, WORK=DIR for the
# sources and build trees; default PREFIX.work)
set -euo pipefail

if (($# != 1)); then
  echo "usage: $0 PREFIX" >&2
  exit 2
fi
prefix=$(realpath -m "$1")
work=$(realpath -m "${WORK:-$prefix.work}")
jobs=${JOBS:-$(nproc)}
host=x86_64-w64-mingw32
started=$SECONDS

packages=(cmake ninja-build make zstd dpkg-dev g++-mingw-w64-x86-64-posix
          gcc-mingw-w64-x86-64-posix libz-mingw-w64-dev sqlite3 tcl)
missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
export DEBIAN_FRONTEND=noninteractive
if ((${#missing[@]})); then
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
# apt-get source needs the archive's source lines.
if ! grep -rqs '^[[:space:]]*deb-src\|^Types:.*deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  echo "deb-src http://deb.debian.org/debian bookworm main" \
    > /etc/apt/sources.list.d/quillfen-deb-src.list
  apt-get update -q
fi

mkdir -p "$prefix"/{bin,lib,include,share/cmake} "$work"

# The toolchain file: finds the prefix relative to itself, so the tree can
# be moved; WIN_QT_PREFIX and WIN_EXTRA_ROOTS add a cross-built Qt and e.g.
# googletest to what find_package() searches.
cat > "$prefix/share/cmake/mingw64-toolchain.cmake" <<'CMAKE'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
get_filename_component(FRESCO_WIN_DEPS "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)
set(WIN_QT_PREFIX "${WIN_QT_PREFIX}" CACHE PATH "cross-built Qt 5")
set(WIN_EXTRA_ROOTS "${WIN_EXTRA_ROOTS}" CACHE STRING "further cross-built prefixes")
set(CMAKE_FIND_ROOT_PATH ${FRESCO_WIN_DEPS} ${WIN_QT_PREFIX} ${WIN_EXTRA_ROOTS} /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The static archives of the set before import libraries.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a .dll.a .lib)
find_program(QUILLFEN_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(QUILLFEN_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUILLFEN_WINE64})
endif()
CMAKE
toolchain=$prefix/share/cmake/mingw64-toolchain.cmake
cross=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release
       -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix")

# source PACKAGE: unpacks Debian's source package once; prints its folder.
source_of() {
  local package=$1
  local dir
  dir=$(find "$work/src/$package" -mindepth 1 -maxdepth 1 -type d 2>/dev/null | head -n 1)
  if [[ -z $dir ]]; then
    mkdir -p "$work/src/$package"
    (cd "$work/src/$package" && apt-get source -q "$package" >&2)
    dir=$(find "$work/src/$package" -mindepth 1 -maxdepth 1 -type d | head -n 1)
  fi
  printf '%s' "$dir"
}

step() { echo "build-fresco-deps: $* ($((SECONDS - started)) s)"; }

# zlib: Debian's own MinGW build, static.
step zlib
cp /usr/$host/include/zlib.h /usr/$host/include/zconf.h "$prefix/include/"
cp /usr/$host/lib/libz.a "$prefix/lib/"

step libjpeg-turbo
src=$(source_of libjpeg-turbo)
cmake -S "$src" -B "$work/build/jpeg" "${cross[@]}" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
  -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF -DWITH_JPEG8=OFF >/dev/null
cmake --build "$work/build/jpeg" -j"$jobs" >/dev/null
cmake --install "$work/build/jpeg" >/dev/null

step libpng
src=$(source_of libpng1.6)
cmake -S "$src" -B "$work/build/png" "${cross[@]}" -DPNG_SHARED=OFF -DPNG_STATIC=ON \
  -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DZLIB_INCLUDE_DIR="$prefix/include" \
  -DZLIB_LIBRARY="$prefix/lib/libz.a" >/dev/null
cmake --build "$work/build/png" -j"$jobs" >/dev/null
cmake --install "$work/build/png" >/dev/null

# SQLite: the amalgamation is made on the host, then compiled for Windows.
step sqlite3
src=$(source_of sqlite3)
if [[ ! -f $work/build/sqlite-host/sqlite3.c ]]; then
  mkdir -p "$work/build/sqlite-host"
  (cd "$work/build/sqlite-host" && "$src/configure" >/dev/null && make sqlite3.c >/dev/null)
fi
amalgamation=$work/build/sqlite-host
$host-gcc-posix -O2 -DSQLITE_ENABLE_RTREE=1 -DSQLITE_ENABLE_COLUMN_METADATA=1 \
  -DSQLITE_THREADSAFE=1 -c "$amalgamation/sqlite3.c" -o "$work/build/sqlite3.o"
$host-ar rcs "$prefix/lib/libsqlite3.a" "$work/build/sqlite3.o"
cp "$amalgamation/sqlite3.h" "$amalgamation/sqlite3ext.h" "$prefix/include/"

step PROJ
src=$(source_of proj)
cmake -S "$src" -B "$work/build/proj" "${cross[@]}" -DBUILD_SHARED_LIBS=OFF \
  -DENABLE_TIFF=OFF -DENABLE_CURL=OFF -DBUILD_APPS=OFF -DBUILD_TESTING=OFF \
  -DEXE_SQLITE3=/usr/bin/sqlite3 -DSQLite3_INCLUDE_DIR="$prefix/include" \
  -DSQLite3_LIBRARY="$prefix/lib/libsqlite3.a" >/dev/null
cmake --build "$work/build/proj" -j"$jobs" >/dev/null
cmake --install "$work/build/proj" >/dev/null

step GDAL
src=$(source_of gdal)
# Debian's tarball lacks two data files that the install step lists.
sed -i '/cubewerx_extra\.wkt/d; /ecw_cs\.wkt/d' "$src/data/CMakeLists.txt"
cmake -S "$src" -B "$work/build/gdal" "${cross[@]}" -DBUILD_SHARED_LIBS=ON \
  -DGDAL_BUILD_OPTIONAL_DRIVERS=OFF -DOGR_BUILD_OPTIONAL_DRIVERS=OFF \
  -DGDAL_USE_EXTERNAL_LIBS=OFF -DGDAL_USE_TIFF_INTERNAL=ON -DGDAL_USE_GEOTIFF_INTERNAL=ON \
  -DGDAL_USE_ZLIB=ON -DGDAL_USE_JPEG=ON -DGDAL_USE_SQLITE3=ON \
  -DGDAL_ENABLE_DRIVER_HFA=ON \
  -DBUILD_APPS=OFF -DBUILD_TESTING=OFF -DBUILD_PYTHON_BINDINGS=OFF -DBUILD_JAVA_BINDINGS=OFF \
  -DBUILD_CSHARP_BINDINGS=OFF \
  -DPROJ_INCLUDE_DIR="$prefix/include" -DPROJ_LIBRARY="$prefix/lib/libproj.a" \
  -DZLIB_INCLUDE_DIR="$prefix/include" -DZLIB_LIBRARY="$prefix/lib/libz.a" \
  -DJPEG_INCLUDE_DIR="$prefix/include" -DJPEG_LIBRARY="$prefix/lib/libjpeg.a" \
  -DSQLite3_INCLUDE_DIR="$prefix/include" -DSQLite3_LIBRARY="$prefix/lib/libsqlite3.a" \
  >/dev/null
cmake --build "$work/build/gdal" -j"$jobs" >/dev/null
cmake --install "$work/build/gdal" >/dev/null

step OpenSceneGraph
src=$(source_of openscenegraph)
# A narrowing that C++ forbids: the function returns a LONG.
sed -i 's/unsigned int result = ::ChangeDisplaySettingsEx/LONG result = ::ChangeDisplaySettingsEx/' \
  "$src/src/osgViewer/GraphicsWindowWin32.cpp"
# C++14: C++17's std::byte clashes with windows.h in one file. Without
# OSG_DETERMINE_WIN_VERSION=OFF the build passes an empty -D_WIN32_WINNT=.
cmake -S "$src" -B "$work/build/osg" "${cross[@]}" -DCMAKE_CXX_STANDARD=14 \
  -DDYNAMIC_OPENSCENEGRAPH=ON -DDYNAMIC_OPENTHREADS=ON -DOSG_WINDOWING_SYSTEM=Win32 \
  -DOSG_DETERMINE_WIN_VERSION=OFF -DBUILD_OSG_APPLICATIONS=OFF -DBUILD_OSG_EXAMPLES=OFF \
  -DBUILD_OSG_PLUGINS_BY_DEFAULT=OFF -DBUILD_OSG_PLUGIN_OSG=ON -DBUILD_OSG_PLUGIN_JPEG=ON \
  -DBUILD_OSG_PLUGIN_PNG=ON -DBUILD_OSG_PLUGIN_RGB=ON -DBUILD_DOCUMENTATION=OFF \
  -DJPEG_INCLUDE_DIR="$prefix/include" -DJPEG_LIBRARY="$prefix/lib/libjpeg.a" \
  -DPNG_PNG_INCLUDE_DIR="$prefix/include" -DPNG_LIBRARY="$prefix/lib/libpng16.a" \
  -DZLIB_INCLUDE_DIR="$prefix/include" -DZLIB_LIBRARY="$prefix/lib/libz.a" >/dev/null
# Only the libraries Fresco loads and the plug-ins its tiles need.
cmake --build "$work/build/osg" -j"$jobs" --target OpenThreads osg osgDB osgUtil osgGA osgText \
  osgViewer osgdb_osg osgdb_serializers_osg osgdb_jpeg osgdb_png osgdb_rgb >/dev/null
osgbuild=$work/build/osg
cp -r "$src/include/OpenThreads" "$src"/include/osg* "$prefix/include/"
cp -r "$osgbuild"/include/* "$prefix/include/"
for library in OpenThreads osg osgDB osgUtil osgGA osgText osgViewer; do
  cp "$osgbuild/lib/lib$library.dll.a" "$prefix/lib/"
  cp "$osgbuild/bin/lib$library.dll" "$prefix/bin/"
done
mkdir -p "$prefix/bin/osgPlugins-3.6.5"
for plugin in osg serializers_osg jpeg png rgb; do
  cp "$osgbuild/bin/osgPlugins-3.6.5/mingw_osgdb_$plugin.dll" "$prefix/bin/osgPlugins-3.6.5/"
done

# The MinGW runtime the DLLs were linked against.
for runtime in libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll; do
  cp "$($host-g++-posix -print-file-name="$runtime")" "$prefix/bin/" 2>/dev/null \
    || cp "/usr/$host/lib/$runtime" "$prefix/bin/"
done

[[ -f $prefix/share/proj/proj.db ]] || { echo "build-fresco-deps: proj.db missing" >&2; exit 1; }
step "done: $prefix"
