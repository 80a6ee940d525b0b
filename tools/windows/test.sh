#!/usr/bin/env bash
# Runs the Windows builds' tests under Wine:
#   tools/windows/test.sh ROOT
# ROOT is the folder tools/windows/build.sh built into. Every test program
# runs in ROOT/<target>/build/bin (64-bit ones under wine64, 32-bit ones
# under wine32) inside one private Xvfb display; a program that fails, hangs
# or prints nothing fails the run. Then each tool's extra checks run.
# A tool is one tests_<name> function (and optionally check_<name>) below
# plus its name in a target's list.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
source "$(dirname "${BASH_SOURCE[0]}")/fresco.sh"

(($# == 1)) || win_die "usage: $0 ROOT"
ROOT=$(cd "$1" && pwd)

# Windows programs open windows (offscreen Qt still needs Wine's desktop).
if [[ -z "${QUILLFEN_WIN_TEST_DISPLAY:-}" ]]; then
  export QUILLFEN_WIN_TEST_DISPLAY=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash "${BASH_SOURCE[0]}" "$ROOT"
fi

WIN_TESTS_x86_64=(common nimbus tarn3dinstall fresco)
WIN_TESTS_i686=(common tarn3dinstall)

# tests_<name>: the tool's test programs (in the build's bin folder); QtTest
# programs carry ":qtest" (under Wine they print their log only to a file).
tests_common() {
  echo quillfen_native_tests.exe
}
tests_nimbus() {
  echo store_records_test.exe store_rtree_test.exe store_partition_test.exe store_kdorder_test.exe \
    store_file_test.exe store_pipeline_test.exe nimbus_ilas_tests.exe nimbus_las_tests.exe \
    nimbus_las_convert_tests.exe nimbus_pcd_tests.exe nimbus_e57_tests.exe nimbus_convert_tests.exe \
    nimbusconvert_tests.exe ilasinfo_tests.exe \
    nimbus_gui_progressbar_test.exe:qtest nimbus_gui_window_test.exe:qtest \
    nimbus_gui_conversion_test.exe:qtest nimbus_gui_termination_test.exe:qtest \
    nimbus_gui_translation_test.exe:qtest
}
tests_tarn3dinstall() {
  echo tarn3d_detection_test.exe tarn3d_package_test.exe tarn3d_unattended_test.exe tarn3d_wizard_test.exe:qtest
}

# check_nimbus: the Windows nimbusconvert.exe writes the same ilas bytes as
# the Linux build (QUILLFEN_LINUX_BUILD, default build/ of this checkout) on
# real samples, one of them with a Chinese name, into a Chinese-named folder;
# bytes 146-208 (the creation time) aside.
NIMBUS_SAMPLES=(
  las/laspy/simple.las las/laspy/plane.laz las/laz-perf/autzen_trim.laz las/laz-rs/point-time-color.las
  pcd/pcl/bunny.pcd pcd/pdal/utm17_space.pcd
  e57/libe57-test-data/ColouredCubeFloat.e57 "e57/libe57-test-data/测试点云.e57"
)
check_nimbus() {  # TARGET
  local target=$1 linux exe work sample name ok=1
  linux="${QUILLFEN_LINUX_BUILD:-$WIN_REPO/build}/bin/nimbusconvert"
  exe="$ROOT/$target/bin/nimbusconvert.exe"
  if [[ ! -x "$linux" ]]; then
    echo "FAIL $target nimbusconvert: no Linux build at $linux to compare with"
    return 1
  fi
  work="$ROOT/$target/compare"
  rm -rf "$work"
  mkdir -p "$work/linux" "$work/输出"
  for sample in "${NIMBUS_SAMPLES[@]}"; do
    "$linux" -q -o "$work/linux" "$WIN_REPO/../shared/testdata/$sample" >/dev/null 2>&1 || true
  done
  # Under Wine, Z: is the Linux root.
  local inputs=()
  for sample in "${NIMBUS_SAMPLES[@]}"; do
    inputs+=("Z:$(echo "$WIN_REPO/../shared/testdata/$sample" | tr / '\\')")
  done
  (cd "$work" && /usr/lib/wine/wine64 "$exe" -q -o "Z:$(echo "$work/输出" | tr / '\\')" "${inputs[@]}" \
     >"$work/windows.log" 2>&1) || true
  for sample in "${NIMBUS_SAMPLES[@]}"; do
    name=$(basename "${sample%.*}").ilas
    if [[ ! -f "$work/linux/$name" ]]; then
      echo "FAIL $target nimbusconvert: the Linux build wrote no $name"
      ok=0
    elif [[ ! -f "$work/输出/$name" ]]; then
      echo "FAIL $target nimbusconvert: nimbusconvert.exe wrote no $name ($(head -c 300 "$work/windows.log"))"
      ok=0
    elif ! cmp -s <(head -c 146 "$work/linux/$name") <(head -c 146 "$work/输出/$name") ||
         ! cmp -s <(tail -c +210 "$work/linux/$name") <(tail -c +210 "$work/输出/$name") ||
         [[ $(stat -c %s "$work/linux/$name") != $(stat -c %s "$work/输出/$name") ]]; then
      echo "FAIL $target nimbusconvert: $name differs from the Linux build's"
      ok=0
    fi
  done
  if ((ok)); then
    echo "ok   $target nimbusconvert: ${#NIMBUS_SAMPLES[@]} samples byte-identical to the Linux build"
    return 0
  fi
  return 1
}

export WINEQT_QPA_PLATFORM=offscreen
# Fresco renders through the host's Mesa in software.
export LIBGL_ALWAYS_SOFTWARE=1
# Wine reads arguments and file names in the Unix locale's encoding.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
win_wine_env "$ROOT"

failures=0
summary=()
crashes=()

wine_loader() {  # TARGET
  case "$1" in
    x86_64) echo /usr/lib/wine/wine64 ;;
    i686) echo /usr/lib/wine/wine ;;
  esac
}

# Runs one test program; adds its counts to the target's totals.
run_test() {  # TARGET PROGRAM[:qtest]
  local target=$1 program=${2%:qtest} dir log rc=0 passed failed skipped args=()
  dir="$ROOT/$target/build/bin"
  log="$ROOT/$target/test-logs/${program%.exe}.log"
  mkdir -p "$(dirname "$log")"
  rm -f "$log" "$log.qtest" "$log".crash*
  if [[ "$2" == *:qtest ]]; then
    args=(-o "Z:$(echo "$log.qtest" | tr / '\\'),txt")
  fi
  if [[ ! -f "$dir/$program" ]]; then
    echo "FAIL $target/$program: not built"
    failures=$((failures + 1))
    return
  fi
  run_once() { (cd "$dir" && timeout 1200 "$(wine_loader "$target")" "./$program" "${args[@]}" >"$log" 2>&1); }
  run_once || rc=$?
  # qemu-user now and then crashes itself under Wine's threads ("qemu:
  # uncaught target signal"), most often in the first 32-bit run of a
  # widget program: such a run gets up to two more, named here and in the
  # summary, and the log of each crashed run is kept (.crash1, .crash2). A
  # crash of our own programs under Wine ("wine: Unhandled ...") is a
  # failure like any other.
  local attempt=1
  while ((attempt < 3)) && grep -qsE '^qemu: uncaught target signal' "$log"; do
    echo "WARN $target/$program: $(grep -m1 -hE '^qemu: ' "$log" | cut -c1-160); running it once more (log of this run: $log.crash$attempt)"
    crashes+=("$target/$program")
    mv "$log" "$log.crash$attempt"
    [[ -f "$log.qtest" ]] && mv "$log.qtest" "$log.crash$attempt.qtest"
    attempt=$((attempt + 1))
    rc=0
    run_once || rc=$?
  done
  if [[ -f "$log.qtest" ]]; then
    cat "$log.qtest" >>"$log"
  fi
  # gtest: "[  PASSED  ] 12 tests." / "[  FAILED  ] 2 tests, listed below:"
  # QtTest: "Totals: 5 passed, 0 failed, 1 skipped, ..."
  passed=$(sed -n -e 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' -e 's/^Totals: \([0-9]*\) passed.*/\1/p' "$log" | awk '{s+=$1} END {print s+0}')
  failed=$(sed -n -e 's/^\[  FAILED  \] \([0-9]*\) test.*/\1/p' -e 's/^Totals: [0-9]* passed, \([0-9]*\) failed.*/\1/p' "$log" | awk '{s+=$1} END {print s+0}')
  skipped=$(sed -n -e 's/^\[  SKIPPED \] \([0-9]*\) test.*/\1/p' -e 's/^Totals: [0-9]* passed, [0-9]* failed, \([0-9]*\) skipped.*/\1/p' "$log" | awk '{s+=$1} END {print s+0}')
  eval "passed_$target=\$((passed_$target + passed)) failed_$target=\$((failed_$target + failed)) skipped_$target=\$((skipped_$target + skipped))"
  if [[ ! -s "$log" ]]; then
    echo "FAIL $target/$program: printed nothing (exit $rc)"
    failures=$((failures + 1))
  elif ((rc != 0 || failed > 0 || passed == 0)); then
    echo "FAIL $target/$program: exit $rc, $passed passed, $failed failed (log: $log)"
    grep -E '^\[  FAILED  \]|^FAIL!|Failure|error|^wine: Unhandled' "$log" | head -n 40 || true
    failures=$((failures + 1))
  else
    echo "ok   $target/$program: $passed passed, $skipped skipped"
  fi
}

# A program built for TARGET must find every DLL it imports beside it or in
# Windows itself: lists what is missing from ROOT/<target>/bin.
check_deployment() {  # TARGET
  local target=$1 bin f name missing=0
  bin="$ROOT/$target/bin"
  for f in "$bin"/*.exe "$bin"/*.dll "$bin"/{platforms,imageformats,styles}/*.dll; do
    [[ -f "$f" ]] || continue
    while read -r name; do
      [[ -e "$bin/$name" ]] && continue
      # Windows' own DLLs (and the API sets) ship with every system.
      if [[ -e "$WINEPREFIX/drive_c/windows/system32/${name,,}" || "${name,,}" == api-ms-win-* ]]; then
        continue
      fi
      echo "FAIL $target/bin: $(basename "$f") needs $name, which is not beside it"
      missing=1
    done < <(objdump -p "$f" | sed -n 's/^\s*DLL Name: //p')
  done
  if ((missing)); then
    failures=$((failures + 1))
  else
    echo "ok   $target/bin: every imported DLL is beside the programs"
  fi
}

for target in x86_64 i686; do
  tests_var="WIN_TESTS_${target}[@]"
  eval "passed_$target=0 failed_$target=0 skipped_$target=0"
  check_deployment "$target"
  if [[ "$target" == i686 ]] && ! win_enable_32bit; then
    echo "FAIL i686: this machine cannot run 32-bit programs (wine32 missing or a kernel without 32-bit support)"
    if [[ -x /usr/lib/wine/wine && "${QUILLFEN_WIN_ALLOW_NO_WIN32:-}" == 1 ]]; then
      echo "     QUILLFEN_WIN_ALLOW_NO_WIN32=1: the i686 tests are NOT RUN and the run goes on"
      summary+=("i686: NOT RUN (no 32-bit support on this machine)")
    else
      failures=$((failures + 1))
      summary+=("i686: NOT RUN")
    fi
    continue
  fi
  for tool in "${!tests_var}"; do
    for program in $(tests_"$tool"); do
      run_test "$target" "$program"
    done
    if declare -F "check_$tool" >/dev/null; then
      "check_$tool" "$target" || failures=$((failures + 1))
    fi
  done
  eval "summary+=(\"$target: \$passed_$target passed, \$failed_$target failed, \$skipped_$target skipped\")"
done
wineserver -k 2>/dev/null || true

printf '%s\n' "${summary[@]}"
if ((${#crashes[@]})); then
  echo "qemu crashed, so run again: ${crashes[*]}"
fi
if ((failures)); then
  echo "windows tests: $failures failure(s)"
  exit 1
fi
echo "windows tests: all passed"
