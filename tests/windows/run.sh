#!/usr/bin/env bash
# The Windows package under Wine, unpacked in c:\Program Files\Géo\: its
# unit tests, then whole runs on the demo data in c:\images\ (the default
# base directory), each compared byte for byte with the Linux build's
# results of the same answers (the paths in the reports aside), a fatal
# stop, an end of answers, a result set replacing an older one; then GDAL's
# rasters and polygon layers beside the Linux build's, what GDAL may not
# open, and PROJ's data found beside the program.
#
#   tests/windows/run.sh LINUX_BUILD WINDOWS_BUILD   (after make package-windows)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
linux_build=$(cd "${1:-build}" && pwd)
windows_build=$(cd "${2:-build-windows}" && pwd)
linux_tool=$linux_build/tool/mesacrop

# A quiet prefix of our own, made once.
export WINEPREFIX=$windows_build/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  timeout 300 wineboot -i >/dev/null 2>&1
fi
wine=$(command -v wine64 || command -v wine)

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

echo "== the package"
zip=$(ls "$windows_build"/mesacrop-*-windows.zip)
install="$WINEPREFIX/drive_c/Program Files/Géo/mesacrop"
rm -rf "$install" && mkdir -p "${install%/mesacrop}"
(cd "${install%/mesacrop}" && cmake -E tar xf "$zip")
windows_tool=$install/mesacrop.exe
if [ -f "$windows_tool" ] && [ -f "$install/mesacrop_gdal.dll" ] && [ -f "$install/proj/proj.db" ] &&
   [ -z "$(cd "$install" && ls | grep -iv '^\(mesacrop.exe\|mesacrop_gdal.dll\|proj\|README.md\|demo\)$' || true)" ]; then
  pass "$(basename "$zip") holds mesacrop.exe, mesacrop_gdal.dll, proj/, README.md and demo/ ($(du -k "$zip" | cut -f1) KiB)"
else
  fail "the package holds: $(cd "$install" && ls | tr '\n' ' ')"
fi
# Every DLL the program and the module import is one Windows has.
for program in mesacrop.exe mesacrop_gdal.dll; do
  missing=""
  for dll in $(x86_64-w64-mingw32-objdump -p "$install/$program" | sed -n 's/^\s*DLL Name: //p'); do
    [ -n "$(find "$WINEPREFIX/drive_c/windows/system32" -maxdepth 1 -iname "$dll")" ] || missing+=" $dll"
  done
  if [ -z "$missing" ]; then pass "$program needs no DLL that Windows lacks"; else fail "$program needs$missing"; fi
done

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
(cd "$images/demo" && timeout 120 "$wine" "$windows_tool" -c 1 jacksboro.asc zone.raw res.png < /dev/null \
  > "$windows_build/transcript" 2>&1) || status=$?
if [ "$status" -eq 2 ] && grep -q '^mesacrop: the result "res.png" is named in none of the accepted forms' "$windows_build/transcript"; then
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

echo "== GDAL rasters and polygon layers, Windows beside Linux"
# The inputs, made once by this machine's GDAL: a Float32 DEFLATE tiled
# GeoTIFF DEM with no-data cells and its GeoTIFF mask, in UTM; the same two
# placed in degrees; polygon zones in the DEM's coordinate system
# (GeoJSON, Shapefile, FlatGeobuf) and in WGS 84 (GeoPackage).
inputs=$windows_build/gdal-inputs
# The Python that has GDAL's bindings (Debian's, python3-gdal).
gdal_python=python3
python3 -c 'from osgeo import gdal' 2>/dev/null || gdal_python=/usr/bin/python3
rm -rf "$inputs" && cp -R "$root/examples/demo" "$inputs"
(
  cd "$inputs"
  gdal_calc.py --quiet -A jacksboro.asc --calc="where(A < 300, -9999, A)" --NoDataValue=-9999 --type=Float32 \
    --co TILED=YES --co BLOCKXSIZE=64 --co BLOCKYSIZE=64 --co COMPRESS=DEFLATE --outfile=dem.tif
  gdal_translate -q -ot Byte -a_srs jacksboro.prj -a_ullr 739890 4055760 759870 4037760 zone.bmp mask.tif
  gdal_translate -q -a_srs EPSG:4326 -a_ullr -97.5 33.3 -97.3 33.12 dem.tif degrees.tif
  gdal_translate -q -a_srs EPSG:4326 -a_ullr -97.5 33.3 -97.3 33.12 mask.tif degrees_mask.tif
  cat > zones.json <<'EOF'
{"type": "FeatureCollection", "features": [
 {"type": "Feature", "properties": {"basin": 1}, "geometry": {"type": "Polygon", "coordinates":
  [[[741000, 4040000], [745000, 4040000], [745000, 4044000], [741000, 4044000], [741000, 4040000]]]}},
 {"type": "Feature", "properties": {"basin": 2}, "geometry": {"type": "Polygon", "coordinates":
  [[[746000, 4045000], [755000, 4046000], [750000, 4054000], [746000, 4045000]],
   [[749000, 4047000], [751000, 4047000], [750000, 4049000], [749000, 4047000]]]}},
 {"type": "Feature", "properties": {"basin": 3}, "geometry": {"type": "MultiPolygon", "coordinates":
  [[[[739000, 4050000], [741333, 4050000], [741333, 4052717], [739000, 4052717], [739000, 4050000]]],
   [[[756000, 4038000], [761000, 4038000], [758000, 4041000], [756000, 4038000]]]]}}]}
EOF
  ogr2ogr -q -f GeoJSON -a_srs EPSG:26916 zones.geojson zones.json
  ogr2ogr -q -f GPKG -t_srs EPSG:4326 zones_wgs84.gpkg zones.geojson
  ogr2ogr -q -f "ESRI Shapefile" zones.shp zones.geojson
  ogr2ogr -q -f FlatGeobuf zones.fgb zones.geojson
  rm zones.json
)
# Both programs with the same flags in FOLDER (below c:\images\ and its
# Linux twin), then each named result compared: rasters cell for cell by
# this machine's GDAL (size, geotransform, coordinate system, no-data),
# other files byte for byte with the folder's path aside.
both() {  # what folder "flags" results...
  local what=$1 folder=$2 flags=$3
  shift 3
  rm -rf "${images:?}/$folder" "${linux_images:?}/$folder"
  mkdir -p "$images" "$linux_images"
  cp -R "$inputs" "$images/$folder"
  cp -R "$inputs" "$linux_images/$folder"
  # shellcheck disable=SC2086
  (cd "$linux_images/$folder" && "$linux_tool" -q $flags > /dev/null 2>&1) || { fail "$what: the Linux run failed"; return; }
  status=0
  # shellcheck disable=SC2086
  (cd "$images/$folder" && timeout 120 "$wine" "$windows_tool" -q $flags < /dev/null > "$windows_build/transcript" 2>&1) ||
    status=$?
  if [ "$status" -ne 0 ]; then
    fail "$what: exit status $status"; tail -n 5 "$windows_build/transcript"; return
  fi
  local windows_folder="C:\\images\\$folder\\"
  for name in "$@"; do
    if [[ $name == *.tif ]]; then
      "$gdal_python" "$root/tests/windows/same_raster.py" "$linux_images/$folder/$name" "$images/$folder/$name" ||
        { fail "$what: $name differs"; return; }
    elif ! cmp -s <(normalised "$linux_images/$folder/$name" "$linux_images/$folder/") \
                  <(normalised "$images/$folder/$name" "$windows_folder"); then
      fail "$what: $name differs"
      diff <(normalised "$linux_images/$folder/$name" "$linux_images/$folder/") \
        <(normalised "$images/$folder/$name" "$windows_folder") | head -n 6
      return
    fi
  done
  pass "$what: $* as on Linux"
  rm -rf "${images:?}/$folder" "${linux_images:?}/$folder"
}
both "GeoTIFF DEM (Float32, DEFLATE, tiled, no-data), GeoTIFF mask -> GeoTIFF" demo "-c 1 dem.tif mask.tif res.tif" \
  res.tif res.json
# (Zone 1 has 875 cells with data; zone 2 lies below 300 m, all no-data.)
both "a DEM in degrees: the ellipsoidal volume to the last bit" demo "-c 1 degrees.tif degrees_mask.tif res.tif" \
  res.tif res.json
both "the table of every zone of a GeoTIFF mask" demo "--table zones.csv --base 500 dem.tif mask.tif" zones.csv
both "polygon zones in the DEM's coordinate system (GeoJSON)" demo \
  "--table zones.json --zone-field basin dem.tif zones.geojson" zones.json
both "polygon zones in WGS 84 (GeoPackage), transformed by PROJ" demo \
  "--table zones.json --zone-field basin dem.tif zones_wgs84.gpkg" zones.json
both "polygon zones of a Shapefile" demo \
  "--table shp.csv --zone-field basin dem.tif zones.shp" shp.csv
both "polygon zones of a FlatGeobuf" demo "--table fgb.csv --zone-field basin dem.tif zones.fgb" fgb.csv
both "a polygon zone's result" demo "-c 2 --zone-field basin --min-share 0.25 dem.tif zones.geojson res.tif" \
  res.tif res.json
both "a GeoTIFF in the folder données" "données" "-c 1 dem.tif mask.tif res.tif" res.tif res.json

echo "== PROJ's data beside the program"
# Without it, coordinate systems cannot be read: the run stops saying so;
# PROJ_DATA, when set, names where it is (handed over in UTF-8: PROJ would
# read it in the system's code page, which loses the é).
mv "$install/proj" "$install/proj-elsewhere" && mkdir "$install/proj"
rm -rf "$images/demo" && cp -R "$inputs" "$images/demo"
status=0
(cd "$images/demo" && timeout 120 "$wine" "$windows_tool" -q --table - --zone-field basin dem.tif zones_wgs84.gpkg \
  < /dev/null > "$windows_build/transcript" 2>&1) || status=$?
if [ "$status" -eq 1 ] && grep -q 'proj.db' "$windows_build/transcript"; then
  pass "without proj.db beside the program the run stops naming it"
else
  fail "without proj.db: status $status"; tail -n 5 "$windows_build/transcript"
fi
status=0
(cd "$images/demo" && PROJ_DATA='C:\Program Files\Géo\mesacrop\proj-elsewhere' timeout 120 "$wine" "$windows_tool" -q \
  --table - --zone-field basin dem.tif zones_wgs84.gpkg < /dev/null > "$windows_build/transcript" 2>&1) || status=$?
if [ "$status" -eq 0 ] && [ "$(grep -c '' "$windows_build/transcript")" -eq 4 ]; then
  pass "PROJ_DATA names another folder of PROJ's data"
else
  fail "PROJ_DATA: status $status"; tail -n 5 "$windows_build/transcript"
fi
rmdir "$install/proj" && mv "$install/proj-elsewhere" "$install/proj"

echo "== what GDAL may not open"
# Rasters whose sources are not local files, or that read any file as
# cells, stop the run naming the input; a listener on the loopback sees no
# connection.
listener_log=$windows_build/listener.log
rm -f "$listener_log"
python3 - "$listener_log" <<'PY' &
import socket, sys
s = socket.socket()
s.bind(("127.0.0.1", 0))
s.listen(4)
s.settimeout(300)
open(sys.argv[1], "w").write("%d\n" % s.getsockname()[1])
try:
    s.accept()
    open(sys.argv[1], "a").write("connected\n")
except OSError:
    pass
PY
listener=$!
for _ in $(seq 50); do [ -s "$listener_log" ] && break; sleep 0.1; done
port=$(head -n 1 "$listener_log")
vrt() {  # file band
  printf '<VRTDataset rasterXSize="222" rasterYSize="200"><GeoTransform>739890, 90, 0, 4055760, 0, -90</GeoTransform>%s</VRTDataset>' \
    "$2" > "$images/demo/$1"
}
source_band() {  # source relativeToVRT
  printf '<VRTRasterBand dataType="Float32" band="1"><SimpleSource><SourceFilename relativeToVRT="%s">%s</SourceFilename><SourceBand>1</SourceBand></SimpleSource></VRTRasterBand>' \
    "$2" "$1"
}
vrt curl.tif "$(source_band "/vsicurl/http://127.0.0.1:$port/dem.tif" 0)"
vrt memory.tif "$(source_band "MEM:::DATAPOINTER=0x400000,PIXELS=222,LINES=200,DATATYPE=Byte" 0)"
vrt raw.tif '<VRTRasterBand dataType="Byte" band="1" subClass="VRTRawRasterBand"><SourceFilename relativeToVRT="1">mask.tif</SourceFilename></VRTRasterBand>'
vrt nested.tif "$(source_band raw.tif 1)"
vrt stdin.tif "$(source_band /vsistdin/ 0)"
declare -a refusals=(
  "curl.tif|is not a local file: mesacrop reads local files only"
  "memory.tif|its source MEM:::DATAPOINTER=0x400000"
  "raw.tif|it reads a file as raw bytes (VRTRawRasterBand)"
  "nested.tif|it reads a file as raw bytes (VRTRawRasterBand)"
  "stdin.tif|its source /vsistdin/ is not a local file"
)
for entry in "${refusals[@]}"; do
  name=${entry%%|*}
  status=0
  (cd "$images/demo" && timeout 120 "$wine" "$windows_tool" -q -c 1 "$name" mask.tif o.tif < /dev/null \
    > "$windows_build/transcript" 2>&1) || status=$?
  if [ "$status" -eq 1 ] && grep -qF "${entry#*|}" "$windows_build/transcript" && [ ! -e "$images/demo/o.tif" ]; then
    pass "$name is refused: ${entry#*|}"
  else
    fail "$name: status $status"; tail -n 5 "$windows_build/transcript"
  fi
done
kill "$listener" 2>/dev/null || true
wait "$listener" 2>/dev/null || true
if grep -q connected "$listener_log"; then fail "a source reached the network"; else pass "no source reached the network"; fi

rm -rf "$images/demo" "$linux_images"
if [ $failures -gt 0 ]; then
  echo "$failures Windows check(s) failed"
  exit 1
fi
echo "every Windows check passed"
