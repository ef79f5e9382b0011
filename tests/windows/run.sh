#!/usr/bin/env bash
# The Windows program under Wine: its unit tests, then whole runs on the demo
# data in c:\images\ (the default base directory), each compared byte for
# byte with the Linux build's results of the same answers (the paths in the
# reports aside), a fatal stop, an end of answers, and a result set replacing
# an older one.
#
#   tests/windows/run.sh LINUX_BUILD WINDOWS_BUILD
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
linux_build=$(cd "${1:-build}" && pwd)
windows_build=$(cd "${2:-build-windows}" && pwd)
linux_tool=$linux_build/tool/mesacrop
windows_tool=$windows_build/tool/mesacrop.exe

# A quiet prefix of our own, made once.
export WINEPREFIX=$windows_build/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  timeout 300 wineboot -i >/dev/null 2>&1
fi
wine=$(command -v wine64 || command -v wine)

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

echo "== unit tests under Wine"
if timeout 600 "$wine" "$windows_build/tests/unit_tests.exe" --gtest_brief=1 > "$windows_build/unit_tests.log" 2>&1; then
  pass "unit tests: $(grep -o '[0-9]* tests from [0-9]* test suites ran' "$windows_build/unit_tests.log")"
else
  tail -n 40 "$windows_build/unit_tests.log"
  fail "unit tests"
fi

images=$WINEPREFIX/drive_c/images
linux_images=$windows_build/linux-images
fresh_demo() {
  rm -rf "$images/demo" "$linux_images/demo"
  mkdir -p "$images" "$linux_images"
  cp -R "$root/examples/demo" "$images/demo"
  cp -R "$root/examples/demo" "$linux_images/demo"
}
# Runs the Windows program in c:\images\ with the answers; its status in $status.
run_windows() {
  printf '%s\n' "$@" > "$windows_build/answers"
  status=0
  (cd "$images" && env -u MESACROP_IMAGES timeout 120 "$wine" "$windows_tool" < "$windows_build/answers" > "$windows_build/transcript" 2>&1) || status=$?
}
run_linux() {
  printf '%s\n' "$@" > "$windows_build/answers"
  MESACROP_IMAGES=$linux_images "$linux_tool" < "$windows_build/answers" > "$windows_build/linux-transcript" 2>&1
}
# The bytes of a result file with the run's folder path written as FOLDER, as
# the report (.txt) and the JSON (.json, backslashes escaped) give it.
normalised() {
  python3 - "$1" "$2" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
folder = sys.argv[2].encode()
for spelling in (folder, folder.replace(b"\\", b"\\\\")):
    data = data.replace(spelling, b"FOLDER")
sys.stdout.buffer.write(data)
PY
}
same_results() {  # what [the Windows folder as the run spells it]
  local what=$1 windows_folder=${2:-'c:\images\demo\'} names
  names=$(cd "$linux_images/demo" && ls res* 2>/dev/null | tr '\n' ' ')
  if [ "$names" != "$(cd "$images/demo" && ls res* 2>/dev/null | tr '\n' ' ')" ]; then
    fail "$what: the results differ: Linux [$names], Windows [$(cd "$images/demo" && ls res* | tr '\n' ' ')]"
    return
  fi
  for name in $names; do
    if ! cmp -s <(normalised "$linux_images/demo/$name" "$linux_images/demo/") \
                <(normalised "$images/demo/$name" "$windows_folder"); then
      fail "$what: $name differs"
      return
    fi
  done
  pass "$what: $names byte for byte as on Linux"
}

echo "== whole runs, Windows beside Linux"
declare -a runs=(
  "raw 16-bit DEM, raw mask -> raw 16-bit with the volume|demo jacksboro 1 0 1 zone 1 1 0 0 res 1 0"
  "grid DEM, bitmap mask -> raw 32-bit in decimetres|demo jacksboro 0 zone 0 2 -1.5 1 res 1 1 1"
  "raw 16-bit DEM, bitmap mask -> grid|demo jacksboro 1 0 1 zone 0 1 250 1 res 0 739890 4037760"
  "grid DEM, raw mask -> grid with the volume|demo jacksboro 0 zone 1 0 0 0 res 0"
)
for entry in "${runs[@]}"; do
  what=${entry%%|*}
  # shellcheck disable=SC2086
  set -- ${entry#*|}
  fresh_demo
  run_linux "$@"
  run_windows "$@"
  if [ "$status" -ne 0 ]; then
    fail "$what: exit status $status"; tail -n 20 "$windows_build/transcript"; continue
  fi
  same_results "$what"
done

echo "== stops"
fresh_demo
run_windows demo nope 1 0
if [ "$status" -eq 1 ] && grep -q 'File c:\\images\\demo\\nope_m2.raw unknown' "$windows_build/transcript"; then
  pass "a missing DEM stops the run with its message and status 1"
else
  fail "missing DEM: status $status"; cat "$windows_build/transcript" | tail -n 5
fi
run_windows demo jacksboro 1 0
if [ "$status" -eq 1 ] && grep -q 'The answers ended before the dialog was complete' "$windows_build/transcript"; then
  pass "the end of the answers stops the run with status 1"
else
  fail "end of answers: status $status"
fi

echo "== a result set replacing an older one"
fresh_demo
run_windows demo jacksboro 1 0 1 zone 1 1 0 0 res 1 0
if grep -qF 'applied to c:\images\demo\jacksboro_m2.raw ' "$images/demo/res_m2.txt"; then
  pass "paths are shown the Windows way in the report (c:\images\demo\jacksboro_m2.raw)"
else
  fail "paths are not shown the Windows way"; cat "$images/demo/res_m2.txt"
fi
first=$(md5sum < "$images/demo/res_m2.raw")
# The DEM loses its coordinate system: the result's copy of it must go too.
rm "$images/demo/jacksboro_m2.prj"
run_windows demo jacksboro 1 0 1 zone 1 1 100 0 res 1 0
if [ "$status" -eq 0 ] && [ "$(md5sum < "$images/demo/res_m2.raw")" != "$first" ] && \
   grep -q 'corresponding altitude 100.000000' "$images/demo/res_m2.txt" && [ ! -e "$images/demo/res_m2.prj" ] && \
   [ -z "$(cd "$images/demo" && ls -A | grep '^\.mesacrop-' || true)" ]; then
  pass "the new set replaced the old one whole (raster, descriptor, the old .prj gone, no temporary file left)"
else
  fail "replacing a result set: status $status"; ls -la "$images/demo"
fi

echo "== the command line"
# From c:\images with a path of \ (and one of /), beside the Linux program's
# command line run in the demo folder.
fresh_demo
(cd "$linux_images/demo" && "$linux_tool" -c 1 --dem-unit dm jacksboro_m2.raw zone.bmp res_m2.raw) || fail "Linux command line"
status=0
(cd "$images" && timeout 120 "$wine" "$windows_tool" -c 1 --dem-unit dm 'demo\jacksboro_m2.raw' demo/zone.bmp \
  'demo\res_m2.raw' < /dev/null > "$windows_build/transcript" 2>&1) || status=$?
if [ "$status" -eq 0 ]; then
  # The working directory's drive, as the system spells it: C:
  same_results "command line, raw DEM, bitmap mask -> raw 16-bit" 'C:\images\demo\'
else
  fail "command line: exit status $status"; tail -n 5 "$windows_build/transcript"
fi
status=0
(cd "$images/demo" && timeout 120 "$wine" "$windows_tool" -c 1 jacksboro.asc zone.raw res.tif < /dev/null \
  > "$windows_build/transcript" 2>&1) || status=$?
if [ "$status" -eq 2 ] && grep -q '^mesacrop: the result "res.tif" is named in none of the accepted forms' "$windows_build/transcript"; then
  pass "a result name of no accepted form is a usage error (status 2)"
else
  fail "usage error: status $status"; head -n 3 "$windows_build/transcript"
fi

echo "== a folder with an accented name"
# Typed in UTF-8, or in the system's code page (Latin-1 "donn\xe9es"): the
# same folder, the same result as on Linux, and the path in UTF-8.
for spelling in "$(printf 'donn\xc3\xa9es')" "$(printf 'donn\xe9es')"; do
  shown=$(printf '%s' "$spelling" | od -An -tx1 | tr -s ' ')
  fresh_demo
  rm -rf "$images/données"
  mv "$images/demo" "$images/données"
  run_linux demo jacksboro 1 0 1 zone 1 1 0 0 res 1 0
  run_windows "$spelling" jacksboro 1 0 1 zone 1 1 0 0 res 1 0
  if [ "$status" -ne 0 ] || ! cmp -s "$images/données/res_m2.raw" "$linux_images/demo/res_m2.raw"; then
    fail "données typed as$shown: status $status"; tail -n 5 "$windows_build/transcript"
  elif ! grep -qF 'applied to c:\images\données\jacksboro_m2.raw ' "$images/données/res_m2.txt"; then
    fail "données typed as$shown: the report names another path"; head -c 300 "$images/données/res_m2.txt"
  else
    pass "the folder données typed as$shown: the result as on Linux, the path in UTF-8 in the report"
  fi
  rm -rf "$images/données"
done

rm -rf "$images/demo" "$linux_images"
if [ $failures -gt 0 ]; then
  echo "$failures Windows check(s) failed"
  exit 1
fi
echo "every Windows check passed"
