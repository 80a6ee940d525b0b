# Shared steps of the Windows cross build, sourced by build.sh and test.sh
# (and by any script that adds a tool): packages, the cross Qt, googletest,
# configuring a target, copying the DLLs a program needs, running under Wine.
#
# Layout under ROOT:
#   toolchains/winqt, toolchains/winqt32   the cross Qt (unpacked or built)
#   <target>/deps                           googletest and headers for <target>
#   <target>/build                          the CMake build tree (tests run here)
#   <target>/bin                            the programs with every DLL beside them
#   wine                                    the Wine prefix the tests run in
# <target> is x86_64 or i686.

WIN_REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
WIN_TOOLCHAINS_CACHE="$WIN_REPO/../shared/toolchains"
WIN_QT_VERSION=5.15.8
WIN_QT_SOURCE_VERSION=5.15.8+dfsg-11+deb12u3

win_log() { echo "windows: $*" >&2; }
win_die() { echo "windows: error: $*" >&2; exit 1; }

win_triplet() {
  case "$1" in
    x86_64) echo x86_64-w64-mingw32 ;;
    i686) echo i686-w64-mingw32 ;;
    *) win_die "unknown target '$1' (x86_64 or i686)" ;;
  esac
}

# --- packages ---------------------------------------------------------------

WIN_PACKAGES=(
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools
  wine wine64 wine32:i386 binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 xvfb xauth zstd googletest libfast-float-dev
  cmake ninja-build ccache python3 qttools5-dev-tools
)

win_missing_packages() {
  local p status
  for p in "$@"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || echo "$p"
  done
}

# Installs the cross compilers, Wine (64- and 32-bit) and the rest with apt;
# nothing happens when everything is there already.
win_install_packages() {
  local missing
  mapfile -t missing < <(win_missing_packages "${WIN_PACKAGES[@]}" "$@")
  ((${#missing[@]})) || return 0
  win_log "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# --- the cross Qt -----------------------------------------------------------

win_qt_dir() {  # ROOT TARGET
  case "$2" in
    x86_64) echo "$1/toolchains/winqt" ;;
    i686) echo "$1/toolchains/winqt32" ;;
  esac
}

win_qt_cache_file() {
  case "$1" in
    x86_64) echo "winqt-$WIN_QT_VERSION-mingw64.tar.zst 549a4a00c634011865c89ea3395af48a06305da5d6e35470a24ad9fa32f40e79" ;;
    i686) echo "winqt32-$WIN_QT_VERSION-mingw32.tar.zst ec93faf9952c671f9651eb1ae86afd62a5457e3f655c6f44fdb40664653a8c6c" ;;
  esac
}

# Makes ROOT/toolchains/winqt(32) ready: unpacks the cache from
# ../shared/toolchains when it is there and intact, else builds Qt itself.
win_prepare_qt() {  # ROOT TARGET
  local root=$1 target=$2 dir file sum
  dir=$(win_qt_dir "$root" "$target")
  [[ -f "$dir/lib/cmake/Qt5/Qt5Config.cmake" ]] && return 0
  read -r file sum < <(win_qt_cache_file "$target")
  mkdir -p "$root/toolchains"
  if [[ -f "$WIN_TOOLCHAINS_CACHE/$file" ]]; then
    if echo "$sum  $WIN_TOOLCHAINS_CACHE/$file" | sha256sum -c --quiet -; then
      win_log "unpacking $file"
      rm -rf "$dir"
      tar --zstd -xf "$WIN_TOOLCHAINS_CACHE/$file" -C "$root/toolchains"
      [[ -f "$dir/lib/cmake/Qt5/Qt5Config.cmake" ]] || win_die "$file did not unpack to $dir"
      return 0
    fi
    win_log "$file does not match its checksum; building Qt instead"
  fi
  win_build_qt "$root" "$target" "$dir"
}

# Builds qtbase from Debian's own source package with the posix-thread
# MinGW compilers (15-30 minutes on two cores) and installs it into DEST.
win_build_qt() {  # ROOT TARGET DEST
  local root=$1 target=$2 dest=$3 triplet work src shims
  triplet=$(win_triplet "$target")
  work="$root/toolchains/qt-source"
  mkdir -p "$work"
  win_install_packages dpkg-dev perl python3 make
  if ! ls "$work"/qtbase-opensource-src_*.dsc >/dev/null 2>&1; then
    if ! grep -rqs '^deb-src .*debian' /etc/apt/sources.list /etc/apt/sources.list.d/; then
      win_log "adding Debian's source archive to apt"
      cat >/etc/apt/sources.list.d/quillfen-deb-src.list <<'EOF'
deb-src http://deb.debian.org/debian bookworm main
deb-src http://deb.debian.org/debian bookworm-updates main
deb-src http://deb.debian.org/debian-security bookworm-security main
EOF
    fi
    apt-get update -q
    (cd "$work" && { apt-get source --download-only "qtbase-opensource-src=$WIN_QT_SOURCE_VERSION" ||
                     apt-get source --download-only qtbase-opensource-src; })
  fi
  src="$work/qtbase"
  if [[ ! -x "$src/configure" ]]; then
    rm -rf "$src"
    dpkg-source -x "$(ls "$work"/qtbase-opensource-src_*.dsc | head -n1)" "$src"
  fi
  # qmake calls ${CROSS_COMPILE}g++; make that the posix-thread compiler
  # whatever the system's alternatives say.
  shims="$work/shims-$target"
  mkdir -p "$shims"
  local tool
  for tool in gcc g++; do
    ln -sf "/usr/bin/$triplet-$tool-posix" "$shims/$triplet-$tool"
  done
  rm -rf "$work/build-$target"
  mkdir -p "$work/build-$target"
  (
    cd "$work/build-$target"
    export PATH="$shims:$PATH"
    "$src/configure" -prefix "$dest" \
      -xplatform win32-g++ -device-option "CROSS_COMPILE=$triplet-" \
      -opensource -confirm-license -release -shared -strip -nomake examples -nomake tests \
      -no-opengl -no-dbus -no-icu -no-feature-network -no-feature-sql -no-feature-printer \
      -no-feature-vulkan -no-feature-concurrent -no-feature-tabletevent \
      -qt-zlib -qt-libpng -qt-libjpeg -qt-pcre -qt-harfbuzz -qt-freetype
    make -j"$(nproc)"
    make install
  )
  [[ -f "$dest/lib/cmake/Qt5/Qt5Config.cmake" ]] || win_die "Qt build did not install into $dest"
}

# --- googletest and header-only pieces --------------------------------------

# Cross-builds googletest from Debian's source (/usr/src/googletest) into
# ROOT/<target>/deps and links the header-only fast_float in beside it.
win_prepare_deps() {  # ROOT TARGET
  local root=$1 target=$2 deps
  deps="$root/$target/deps"
  mkdir -p "$deps/include"
  ln -sfn /usr/include/fast_float "$deps/include/fast_float"
  [[ -f "$deps/lib/cmake/GTest/GTestConfig.cmake" ]] && return 0
  win_log "building googletest for $target"
  cmake -S /usr/src/googletest -B "$root/$target/googletest-build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$WIN_REPO/tools/windows/mingw-$target.cmake" \
    -DCMAKE_INSTALL_PREFIX="$deps" -DBUILD_SHARED_LIBS=OFF \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache >/dev/null
  cmake --build "$root/$target/googletest-build" -j"$(nproc)"
  cmake --install "$root/$target/googletest-build" >/dev/null
}

# --- configuring and building -----------------------------------------------

# Configures ROOT/<target>/build; extra arguments are CMake options (which
# tools to build, further prefixes). Every tool is off unless switched on.
win_configure() {  # ROOT TARGET [cmake options...]
  local root=$1 target=$2
  shift 2
  cmake -S "$WIN_REPO" -B "$root/$target/build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$WIN_REPO/tools/windows/mingw-$target.cmake" \
    -DWIN_QT_PREFIX="$(win_qt_dir "$root" "$target")" \
    -DWIN_EXTRA_ROOTS="$root/$target/deps" \
    -DFAST_FLOAT_INCLUDE_DIR="$root/$target/deps/include" \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache \
    -DQUILLFEN_NIMBUS=OFF -DQUILLFEN_FRESCO=OFF -DQUILLFEN_TARN3DINSTALL=OFF \
    -DQUILLFEN_TESTS=ON -DQUILLFEN_BENCHMARKS=OFF \
    "$@"
}

win_build_targets() {  # ROOT TARGET cmake-targets...
  local root=$1 target=$2
  shift 2
  cmake --build "$root/$target/build" -j"$(nproc)" --target "$@"
}

# --- deploying ----------------------------------------------------------------

# Folders the DLLs of TARGET are taken from: the compiler's runtime, the
# MinGW sysroot, Qt and any prefix in WIN_DLL_DIRS_<target>.
win_dll_dirs() {  # ROOT TARGET
  local root=$1 target=$2 triplet cxx extra
  triplet=$(win_triplet "$target")
  cxx="$triplet-g++-posix"
  dirname "$("$cxx" -print-file-name=libstdc++-6.dll)"
  echo "/usr/$triplet/lib"
  echo "$(win_qt_dir "$root" "$target")/bin"
  extra="WIN_DLL_DIRS_$target"
  local d
  for d in ${!extra:-}; do echo "$d"; done
}

# Copies into DIR every DLL the programs and DLLs there import, found in
# win_dll_dirs, until nothing is missing; DLLs of Windows itself are not
# found there and stay out.
win_copy_dlls() {  # ROOT TARGET DIR
  local root=$1 target=$2 dir=$3 dirs=() changed=1 f name d
  mapfile -t dirs < <(win_dll_dirs "$root" "$target")
  while ((changed)); do
    changed=0
    for f in "$dir"/*.exe "$dir"/*.dll "$dir"/{platforms,imageformats,styles}/*.dll; do
      [[ -f "$f" ]] || continue
      while read -r name; do
        [[ -e "$dir/$name" ]] && continue
        for d in "${dirs[@]}"; do
          if [[ -f "$d/$name" ]]; then
            cp "$d/$name" "$dir/"
            changed=1
            break
          fi
        done
      done < <(objdump -p "$f" | sed -n 's/^\s*DLL Name: //p')
    done
  done
}

# Copies Qt's plug-ins beside the programs in DIR, where Qt looks for them:
# platforms (windows; offscreen for tests), image formats (the installer's
# JPEG picture) and the native widget styles.
win_copy_qt_plugins() {  # ROOT TARGET DIR
  local qt kind
  qt=$(win_qt_dir "$1" "$2")
  for kind in platforms imageformats styles; do
    if [[ -d "$qt/plugins/$kind" ]]; then
      mkdir -p "$3/$kind"
      cp "$qt/plugins/$kind"/*.dll "$3/$kind/"
    fi
  done
}

# Puts the named programs of the build into ROOT/<target>/bin with what they
# need; the build's own bin folder gets the same DLLs so the tests run there.
win_deploy() {  # ROOT TARGET program...
  local root=$1 target=$2 p built bin
  shift 2
  built="$root/$target/build/bin"
  bin="$root/$target/bin"
  mkdir -p "$bin"
  for p in "$@"; do
    [[ -f "$built/$p" ]] || win_die "$built/$p was not built"
    cp "$built/$p" "$bin/"
  done
  local d
  for d in "$bin" "$built"; do
    win_copy_qt_plugins "$root" "$target" "$d"
    win_copy_dlls "$root" "$target" "$d"
  done
}

# --- Wine -------------------------------------------------------------------

# 32-bit Wine is a 32-bit Linux program. Some virtual machines' kernels run
# none ("Exec format error"); there it runs under qemu-user's emulation,
# which binfmt_misc hands every 32-bit x86 program to. Wine maps its shared
# user data at a fixed address that qemu's default guest layout already
# holds, so the guest gets an explicit address space below it.
# Succeeds when 32-bit Wine runs, natively or emulated.
WIN_I386_BINFMT=quillfen-i386
win_enable_32bit() {
  # Read by qemu alone; also right when another tool registered it.
  export QEMU_RESERVED_VA=0xf7000000
  /usr/lib/wine/wine --version >/dev/null 2>&1 && return 0
  [[ -x /usr/lib/wine/wine ]] || return 1
  win_install_packages qemu-user
  local misc=/proc/sys/fs/binfmt_misc
  if [[ ! -e "$misc/register" ]]; then
    mount -t binfmt_misc binfmt_misc "$misc" 2>/dev/null || return 1
  fi
  if [[ ! -e "$misc/$WIN_I386_BINFMT" ]]; then
    win_log "32-bit programs run under qemu-i386 on this machine"
    printf '%s' ":$WIN_I386_BINFMT:M::"'\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'":"'\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'":/usr/bin/qemu-i386:F" \
      >"$misc/register" 2>/dev/null || return 1
  fi
  /usr/lib/wine/wine --version >/dev/null 2>&1
}

# The Wine prefix of ROOT, made on first use. 64-bit, so it runs both kinds
# of program (32-bit ones through wine32).
win_wine_env() {  # ROOT
  export WINEPREFIX="$1/wine"
  export WINEARCH=win64
  export WINEDEBUG=${WINEDEBUG:--all}
  # No debugger on a crash: it would only hold the run for minutes.
  export WINEDLLOVERRIDES="mscoree,mshtml=,winedbg.exe=d"
  # The prefix gets its 32-bit half only when 32-bit Wine runs as it is made.
  local win32=0
  win_enable_32bit && win32=1
  if [[ -f "$WINEPREFIX/system.reg" ]] && ((win32)) &&
     [[ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]]; then
    win_log "the Wine prefix $WINEPREFIX lacks its 32-bit half; making it again"
    rm -rf "$WINEPREFIX"
  fi
  if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    win_log "creating the Wine prefix $WINEPREFIX"
    # Through the 64-bit loader: Debian's wineboot script may pick the
    # 32-bit one, which not every kernel runs, and a prefix left unmade
    # here would only be filled by the first test.
    /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    [[ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ]] ||
      win_die "Wine could not make the prefix $WINEPREFIX"
    if ((win32)) && [[ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]]; then
      win_die "Wine made the prefix $WINEPREFIX without its 32-bit half"
    fi
  fi
}
