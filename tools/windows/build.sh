#!/usr/bin/env bash
# Cross-builds the Windows programs and their tests:
#   tools/windows/build.sh ROOT
# installs what it needs (apt), takes the cross Qt from ../shared/toolchains
# (or builds it), then builds each target's tools into ROOT/<target>; the
# programs land in ROOT/<target>/bin with every DLL they need beside them.
# A tool is one tool_<name> function below plus its name in a target's list.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
source "$(dirname "${BASH_SOURCE[0]}")/fresco.sh"

(($# == 1)) || win_die "usage: $0 ROOT"
mkdir -p "$1"
ROOT=$(cd "$1" && pwd)

# Which tools each target gets.
WIN_TOOLS_x86_64=(nimbus tarn3dinstall fresco)
WIN_TOOLS_i686=(tarn3dinstall)

# tool_<name> OPTION|PROGRAMS: its CMake switch, the programs it ships.
tool_nimbus() {
  case "$1" in
    OPTION) echo -DQUILLFEN_NIMBUS=ON ;;
    PROGRAMS) echo Nimbus.exe nimbusconvert.exe ilasinfo.exe ;;
  esac
}
tool_tarn3dinstall() {
  case "$1" in
    OPTION) echo -DQUILLFEN_TARN3DINSTALL=ON ;;
    PROGRAMS) echo Tarn3DInstall.exe ;;
  esac
}

build_target() {  # TARGET
  local target=$1 tools_var options=() programs=() t
  tools_var="WIN_TOOLS_${target}[@]"
  win_prepare_qt "$ROOT" "$target"
  win_prepare_deps "$ROOT" "$target"
  for t in "${!tools_var}"; do
    if declare -F "prepare_$t" >/dev/null; then "prepare_$t" "$target"; fi
    options+=($(tool_"$t" OPTION))
    programs+=($(tool_"$t" PROGRAMS))
  done
  win_configure "$ROOT" "$target" "${options[@]}"
  cmake --build "$ROOT/$target/build" -j"$(nproc)"
  win_deploy "$ROOT" "$target" "${programs[@]}"
  for t in "${!tools_var}"; do
    if declare -F "deploy_$t" >/dev/null; then "deploy_$t" "$target"; fi
  done
  # The installer finds its pictures relative to its own folder.
  if [[ -d "$ROOT/$target/build/bin/image" ]]; then
    cp -r "$ROOT/$target/build/bin/image" "$ROOT/$target/bin/"
  fi
  win_log "$target: ${programs[*]} in $ROOT/$target/bin"
}

win_install_packages
for target in x86_64 i686; do
  build_target "$target"
done
