#!/usr/bin/env bash
# Times the real mesacrop on generated data through each path, against GDAL,
# against the cost of just moving the bytes and against a line-streaming
# floor program, prints a table and each target against what was measured.
#
#   bench/run.sh [--raw N] [--grid N] [--runs N] [--scale N] [--compare OLD_BINARY]
#
# Defaults: a 10000 x 10000 raw DEM (and one of half its side, to show that
# the memory does not grow with the DEM), a 3000 x 3000 grid, 5 timed runs
# after one warm-up; medians are printed. Data are generated once into
# bench/data/ (several GB for the default sizes).
#   --scale N     also runs a raw N x N DEM once (40000: 3.2 GB, made on request)
#   --wide L      the wide GeoTIFF case: 20000 columns x L lines (default 5000;
#                 0 leaves it out)
#   --compare B   runs every path with the binary B too and compares the
#                 results byte for byte (md5)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
raw=10000 grid=3000 runs=5 scale=0 compare= wide=5000
while [ $# -gt 0 ]; do
  case $1 in
    --raw) raw=$2; shift 2 ;;
    --grid) grid=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --scale) scale=$2; shift 2 ;;
    --wide) wide=$2; shift 2 ;;
    --compare) compare=$(cd "$(dirname "$2")" && pwd)/$(basename "$2"); shift 2 ;;
    *) echo "usage: $0 [--raw N] [--grid N] [--runs N] [--scale N] [--wide L] [--compare OLD_BINARY]" >&2; exit 2 ;;
  esac
done
command -v /usr/bin/time >/dev/null || { echo "bench needs /usr/bin/time (Debian package time)" >&2; exit 1; }

cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" --target mesacrop bench_generate bench_floor >/dev/null
tool=$root/build/tool/mesacrop
floor=$root/build/bench/bench_floor
data=$root/bench/data
half=$((raw / 2))
make_data() {  # folder lines kind
  mkdir -p "$data/$1"
  [ -f "$data/$1/zone.txt" ] && { [ "$3" != raw ] || [ -f "$data/$1/zones.txt" ]; } ||
    "$root/build/bench/bench_generate" "$data/$1" "$2" "$2" "$3"
}
rawdir=raw$raw halfdir=raw$half griddir=grid$grid
make_data $rawdir $raw raw
make_data $halfdir $half raw
make_data $griddir $grid grid
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# One timed command: prints "wall user sys maxrss_kB".
timed() {
  /usr/bin/time -f "%e %U %S %M" -o "$scratch/time" "$@" >/dev/null 2>&1
  cat "$scratch/time"
}
# Median of each column over the runs, after one warm-up.
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
measure() {
  local clean=$1; shift
  eval "$clean"
  # A command that fails is timed for nothing: said, and listed at the end.
  if ! "$@" >/dev/null 2>&1; then
    echo "bench: this command failed, its times measure nothing: $*" >&2
    echo "$*" >> "$scratch/failed"
  fi
  : > "$scratch/runs"
  for _ in $(seq "$runs"); do
    eval "$clean"
    timed "$@" >> "$scratch/runs"
  done
  echo "$(cut -d' ' -f1 "$scratch/runs" | median) $(cut -d' ' -f2 "$scratch/runs" | median)" \
       "$(cut -d' ' -f3 "$scratch/runs" | median) $(cut -d' ' -f4 "$scratch/runs" | median)"
}
tool_run() {  # binary folder answers...
  local binary=$1 folder=$2; shift 2
  printf '%s\n' "$folder" "$@" > "$scratch/answers.$$"
  MESACROP_IMAGES=$data $binary < "$scratch/answers.$$"
}
export -f tool_run
export tool data scratch

# The paths: name, folder, answers.
declare -A folder answers
folder[raw_raw]=$rawdir;   answers[raw_raw]="dem 1 0 1 zone 1 1 0 0 res 1 0"
folder[half_raw]=$halfdir; answers[half_raw]="dem 1 0 1 zone 1 1 0 0 res 1 0"
folder[raw_bmp]=$rawdir;   answers[raw_bmp]="dem 1 0 1 zone 0 1 0 0 res 1 0"
folder[grid_grid]=$griddir; answers[grid_grid]="dem 0 zone 1 1 0 0 res 0"
folder[raw_grid]=$rawdir;  answers[raw_grid]="dem 1 0 1 zone 1 1 0 1 res 0 0 0"
folder[grid_raw]=$griddir; answers[grid_raw]="dem 0 zone 1 1 0 1 res 1 1 1"
paths="raw_raw half_raw raw_bmp grid_grid raw_grid grid_raw"

declare -A result
clean_results="rm -f $data/$rawdir/res* $data/$halfdir/res* $data/$griddir/res*"
for p in $paths; do
  # shellcheck disable=SC2086
  result[$p]=$(measure "$clean_results" bash -c "tool_run $tool ${folder[$p]} ${answers[$p]}")
done
# The grid text of a run: read (grid input) and written (grid output).
grid_in=$(stat -c %s "$data/$griddir/dem.asc")
eval "$clean_results"
tool_run "$tool" $griddir dem 0 zone 1 1 0 1 res 0 >/dev/null; grid_out=$(stat -c %s "$data/$griddir/res.asc")
tool_run "$tool" $rawdir dem 1 0 1 zone 1 1 0 1 res 0 0 0 >/dev/null; raw_grid_out=$(stat -c %s "$data/$rawdir/res.asc")
eval "$clean_results"

# The floors: the line-streaming program, and just moving the grid's bytes.
result[floor_raw]=$(measure "rm -f $scratch/out" "$floor" "$data/$rawdir/dem_m2.raw" "$data/$rawdir/zone.raw" "$scratch/out" $raw $raw 1)
result[floor_grid]=$(measure "rm -f $scratch/out" bash -c "cat $data/$griddir/dem.asc $data/$griddir/zone.raw >/dev/null; head -c $grid_out /dev/zero > $scratch/out")

have_gdal=no
if command -v gdal_translate >/dev/null && command -v gdal_calc.py >/dev/null; then
  have_gdal=yes
  printf 'BYTEORDER I\nLAYOUT BIL\nNROWS %s\nNCOLS %s\nNBANDS 1\nNBITS 16\nPIXELTYPE UNSIGNEDINT\n' "$raw" "$raw" > "$data/$rawdir/dem_m2.hdr"
  printf 'BYTEORDER I\nLAYOUT BIL\nNROWS %s\nNCOLS %s\nNBANDS 1\nNBITS 8\n' "$raw" "$raw" > "$data/$rawdir/zone.hdr"
  result[gdal_grid]=$(measure "rm -f $scratch/g.asc" gdal_translate -q -of AAIGrid "$data/$griddir/dem.asc" "$scratch/g.asc")
  result[gdal_calc]=$(measure "rm -f $scratch/c.*" gdal_calc.py --quiet -A "$data/$rawdir/dem_m2.raw" -B "$data/$rawdir/zone.raw" \
    --calc="A*(B==1)" --type=UInt16 --format=EHdr --outfile="$scratch/c.raw")
fi

# GeoTIFF: a Float32 DEM (DEFLATE, tiled) and a Byte mask made from the raw
# ones, at both sizes; the tool against gdal_calc.py writing the same masked
# GeoTIFF with the same creation options, plus a numpy sum for the volume.
have_geotiff=no
# GDAL's Python bindings are those of the system's Python (python3-gdal).
gdal_python=$(command -v /usr/bin/python3 || command -v python3)
if [ $have_gdal = yes ] && "$tool" --help | grep -q GeoTIFF && "$gdal_python" -c "from osgeo import gdal" 2>/dev/null; then
  have_geotiff=yes
  tiff_options="--co TILED=YES --co COMPRESS=DEFLATE --co PREDICTOR=3 --co BIGTIFF=IF_SAFER --co NUM_THREADS=ALL_CPUS"
  for d in $rawdir $halfdir; do
    n=${d#raw}
    [ -f "$data/$d/dem_m2.hdr" ] || printf 'BYTEORDER I\nLAYOUT BIL\nNROWS %s\nNCOLS %s\nNBANDS 1\nNBITS 16\nPIXELTYPE UNSIGNEDINT\n' "$n" "$n" > "$data/$d/dem_m2.hdr"
    [ -f "$data/$d/zone.hdr" ] || printf 'BYTEORDER I\nLAYOUT BIL\nNROWS %s\nNCOLS %s\nNBANDS 1\nNBITS 8\n' "$n" "$n" > "$data/$d/zone.hdr"
    # shellcheck disable=SC2086
    [ -f "$data/$d/dem.tif" ] || gdal_calc.py --quiet -A "$data/$d/dem_m2.raw" --calc="A/10.0" --type=Float32 \
      $tiff_options --outfile="$data/$d/dem.tif"
    [ -f "$data/$d/zone.tif" ] || gdal_translate -q -co TILED=YES -co COMPRESS=DEFLATE "$data/$d/zone.raw" "$data/$d/zone.tif"
    # 10 m cells in UTM zone 31N
    gdal_edit.py -a_srs EPSG:32631 -a_ullr 500000 $((4000000 + n * 10)) $((500000 + n * 10)) 4000000 "$data/$d/dem.tif"
    gdal_edit.py -a_srs EPSG:32631 -a_ullr 500000 $((4000000 + n * 10)) $((500000 + n * 10)) 4000000 "$data/$d/zone.tif"
  done
  result[tif_tif]=$(measure "rm -f $data/$rawdir/res.*" "$tool" -q -c 1 "$data/$rawdir/dem.tif" "$data/$rawdir/zone.tif" "$data/$rawdir/res.tif")
  result[tif_half]=$(measure "rm -f $data/$halfdir/res.*" "$tool" -q -c 1 "$data/$halfdir/dem.tif" "$data/$halfdir/zone.tif" "$data/$halfdir/res.tif")
  cat > "$scratch/volume.py" <<'PY'
import sys
import numpy as np
from osgeo import gdal
dem, zone = gdal.Open(sys.argv[1]), gdal.Open(sys.argv[2])
code = int(sys.argv[3]) if len(sys.argv) > 3 else 1
a, b = dem.GetRasterBand(1), zone.GetRasterBand(1)
t = dem.GetGeoTransform()
total = 0.0
for y in range(0, dem.RasterYSize, 256):
    n = min(256, dem.RasterYSize - y)
    z = b.ReadAsArray(0, y, dem.RasterXSize, n) == code
    total += float(a.ReadAsArray(0, y, dem.RasterXSize, n).astype(np.float64)[z].sum())
print(total * abs(t[1] * t[5]))
PY
  # The table of the 50 zones over the Float32 GeoTIFF, plain and with
  # percentiles (a pass more or two), and what GDAL alone takes to open it.
  tif=$data/$rawdir/dem.tif zones=$data/$rawdir/zones.raw
  result[tif_table]=$(measure "rm -f $scratch/t.csv" "$tool" -q --table "$scratch/t.csv" "$tif" "$zones")
  result[tif_pct]=$(measure "rm -f $scratch/t.csv" "$tool" -q --table "$scratch/t.csv" --percentiles 5,50,95 "$tif" "$zones")
  result[gdalinfo]=$(measure true gdalinfo "$tif")
  # shellcheck disable=SC2086
  result[calc_tif]=$(measure "rm -f $scratch/c.tif" bash -c "gdal_calc.py --quiet -A $data/$rawdir/dem.tif -B $data/$rawdir/zone.tif \
    --calc='where(B==1,A,0)' --type=Float32 $tiff_options --outfile=$scratch/c.tif && $gdal_python $scratch/volume.py $data/$rawdir/dem.tif $data/$rawdir/zone.tif")
  rm -f "$data/$rawdir"/res.* "$data/$halfdir"/res.*
fi

# Every zone at once: the table of the 50-code mask against one single-code
# run on the same files (the command line), GRASS's r.univar and two numpy
# scripts; and the single-code command-line run against the floor and the
# plain numpy script users write.
rd=$data/$rawdir
result[cli_one]=$(measure "rm -f $rd/res_m2.*" "$tool" -q -c 1 --dem-unit dm "$rd/dem_m2.raw" "$rd/zone.raw" "$rd/res_m2.raw")
result[cli_zones]=$(measure "rm -f $rd/res_m2.*" "$tool" -q -c 7 --dem-unit dm "$rd/dem_m2.raw" "$rd/zones.raw" "$rd/res_m2.raw")
result[table]=$(measure "rm -f $scratch/t.csv" "$tool" -q --dem-unit dm --table "$scratch/t.csv" "$rd/dem_m2.raw" "$rd/zones.raw")
# The percentiles of the same 50 zones, right after the plain table.
result[pct]=$(measure "rm -f $scratch/t.csv" "$tool" -q --dem-unit dm --table "$scratch/t.csv" --percentiles 5,50,95 \
  "$rd/dem_m2.raw" "$rd/zones.raw")
# Storage curves and the change between two surveys, on the same 50 zones,
# right after the plain table: the table with 200 levels' curves, and with a
# second survey (the DEM raised or lowered by up to 2 m in a pattern of
# patches, made once with numpy).
result[curves]=$(measure "rm -f $scratch/t.csv $scratch/c.csv" "$tool" -q --dem-unit dm --table "$scratch/t.csv" \
  --levels 0:3980:20 --curves "$scratch/c.csv" "$rd/dem_m2.raw" "$rd/zones.raw")
numpy_python=$(command -v /usr/bin/python3 || command -v python3)
have_numpy=no
"$numpy_python" -c "import numpy" 2>/dev/null && have_numpy=yes
have_change=no
if [ $have_numpy = yes ]; then
  have_change=yes
  [ -f "$rd/ref_m2.raw" ] || "$numpy_python" - "$rd" $raw <<'PY'
import sys, numpy as np
folder, n = sys.argv[1], int(sys.argv[2])
d = np.memmap(folder + "/dem_m2.raw", np.uint16, "r", shape=(n, n))
j = np.arange(n, dtype=np.int64)
with open(folder + "/ref_m2.raw", "wb") as out:
    for y in range(0, n, 500):
        i = np.arange(y, min(y + 500, n), dtype=np.int64)[:, None]
        change = ((i * 7 + j * 13) % 41 - 20) * ((i // 1000 + j // 1000) % 3 != 0)
        np.clip(d[y:y + 500].astype(np.int64) + change, 0, 65535).astype(np.uint16).tofile(out)
PY
  result[change]=$(measure "rm -f $scratch/t.csv" "$tool" -q --dem-unit dm --table "$scratch/t.csv" \
    --reference "$rd/ref_m2.raw" --reference-unit dm "$rd/dem_m2.raw" "$rd/zones.raw")
fi
rm -f "$rd"/res_m2.*
# Zones from polygons: about 1 000 (and 10 000) watershed-like polygons over
# the raw DEM, in a folder of their own where a .hdr and a .prj place it,
# made once from the 50-zone mask by bench/polygons.py (each block of the
# mask cut into 20, or 156, along wavy lines); the same zones rasterized once
# to a UInt16 GeoTIFF; and gdal_rasterize of the layer with a numpy bincount
# per zone (the centre rule only). Memory against what GDAL alone takes to
# open the layer (ogrinfo -ro -so).
have_polygons=no
if [ $have_gdal = yes ] && [ $have_numpy = yes ] && "$numpy_python" -c "from osgeo import ogr" 2>/dev/null; then
  have_polygons=yes
  pd=$data/polygons$raw
  mkdir -p "$pd"
  for f in dem_m2.raw dem_m2.txt zones.raw; do ln -sf "$rd/$f" "$pd/$f"; done
  east=$((500000 + raw * 10)) north=$((4000000 + raw * 10))
  printf 'BYTEORDER I\nLAYOUT BIL\nNROWS %s\nNCOLS %s\nNBANDS 1\nNBITS 16\nPIXELTYPE UNSIGNEDINT\nULXMAP 500005\nULYMAP %s\nXDIM 10\nYDIM 10\n' \
    "$raw" "$raw" $((north - 5)) > "$pd/dem_m2.hdr"
  [ -f "$pd/dem_m2.prj" ] || "$numpy_python" -c "from osgeo import osr; s = osr.SpatialReference(); s.ImportFromEPSG(32631)
s.MorphToESRI(); print(s.ExportToWkt(), end='')" > "$pd/dem_m2.prj"
  [ -f "$pd/basins1000.gpkg" ] || "$numpy_python" "$root/bench/polygons.py" "$pd" $raw 4 5 "$pd/basins1000.gpkg" >/dev/null
  [ -f "$pd/basins10000.gpkg" ] || "$numpy_python" "$root/bench/polygons.py" "$pd" $raw 12 13 "$pd/basins10000.gpkg" >/dev/null
  polygons=$(ogrinfo -ro -so "$pd/basins1000.gpkg" basins | awk '/Feature Count/ { print $3 }')
  many=$(ogrinfo -ro -so "$pd/basins10000.gpkg" basins | awk '/Feature Count/ { print $3 }')
  grid_of_dem="-te 500000 4000000 $east $north -tr 10 10"
  # shellcheck disable=SC2086
  [ -f "$pd/basins1000.tif" ] || gdal_rasterize -q -a code -ot UInt16 $grid_of_dem -co TILED=YES -co COMPRESS=DEFLATE \
    "$pd/basins1000.gpkg" "$pd/basins1000.tif"
  result[poly_table]=$(measure "rm -f $scratch/t.csv" "$tool" -q --dem-unit dm --table "$scratch/t.csv" --zone-field code \
    "$pd/dem_m2.raw" "$pd/basins1000.gpkg")
  result[poly_raster]=$(measure "rm -f $scratch/t.csv" "$tool" -q --dem-unit dm --table "$scratch/t.csv" \
    "$pd/dem_m2.raw" "$pd/basins1000.tif")
  result[poly_many]=$(measure "rm -f $scratch/t.csv" "$tool" -q --dem-unit dm --table "$scratch/t.csv" --zone-field code \
    "$pd/dem_m2.raw" "$pd/basins10000.gpkg")
  # A mask of 1 280 zones (the polygons rasterized): the percentiles' memory.
  result[pct_many_plain]=$(measure "rm -f $scratch/t.csv" "$tool" -q --dem-unit dm --table "$scratch/t.csv" \
    "$pd/dem_m2.raw" "$pd/basins1000.tif")
  result[pct_many]=$(measure "rm -f $scratch/t.csv" "$tool" -q --dem-unit dm --table "$scratch/t.csv" \
    --percentiles 5,50,95 "$pd/dem_m2.raw" "$pd/basins1000.tif")
  result[ogrinfo]=$(measure true ogrinfo -ro -so "$pd/basins1000.gpkg")
  result[ogrinfo_many]=$(measure true ogrinfo -ro -so "$pd/basins10000.gpkg")
  cat > "$scratch/rasterized.py" <<'PY'
import sys, numpy as np
from osgeo import gdal
dem, zones, n = sys.argv[1], sys.argv[2], int(sys.argv[3])
d = np.memmap(dem, np.uint16, 'r', shape=(n, n))
zones_dataset = gdal.Open(zones)  # a band outlives its dataset only while this holds it
z = zones_dataset.GetRasterBand(1)
count, volume = np.zeros(65536, np.int64), np.zeros(65536)
for y in range(0, n, 500):
    h = min(500, n - y)
    c = z.ReadAsArray(0, y, n, h).ravel()
    count += np.bincount(c, minlength=65536)
    volume += np.bincount(c, weights=d[y:y + h].ravel() * 10.0, minlength=65536)
PY
  # shellcheck disable=SC2086
  result[poly_peer]=$(measure "rm -f $scratch/r.tif" bash -c "gdal_rasterize -q -a code -ot UInt16 $grid_of_dem \
    $pd/basins1000.gpkg $scratch/r.tif && $numpy_python $scratch/rasterized.py $pd/dem_m2.raw $scratch/r.tif $raw")
  if "$numpy_python" -c "import shapely, pyproj" 2>/dev/null; then
    "$numpy_python" "$root/bench/polygon_accuracy.py" "$tool" "$pd" "$pd/basins1000.gpkg" > "$scratch/accuracy" 2>&1 ||
      echo "the accuracy check failed" >> "$scratch/accuracy"
  else
    echo "shapely or pyproj missing (python3-shapely, python3-pyproj): no accuracy check" > "$scratch/accuracy"
  fi
fi
if [ $have_numpy = yes ]; then
  cat > "$scratch/histogram.py" <<'PY'
import sys, numpy as np
dem, codes, n = sys.argv[1], sys.argv[2], int(sys.argv[3])
d, c = np.memmap(dem, np.uint16, 'r', shape=(n, n)), np.memmap(codes, np.uint8, 'r', shape=(n, n))
counts = np.zeros(50 * 65536, np.int64)
for y in range(0, n, 256):
    counts += np.bincount(c[y:y + 256].ravel().astype(np.int64) * 65536 + d[y:y + 256].ravel(), minlength=50 * 65536)
h = counts.reshape(50, 65536)
print((h * np.arange(65536)).sum(axis=1)[:3] / 10.0)
PY
  cat > "$scratch/bincount.py" <<'PY'
import sys, numpy as np
dem, codes, n = sys.argv[1], sys.argv[2], int(sys.argv[3])
d, c = np.memmap(dem, np.uint16, 'r', shape=(n, n)), np.memmap(codes, np.uint8, 'r', shape=(n, n))
sums = np.zeros(50)
for y in range(0, n, 256):
    sums += np.bincount(c[y:y + 256].ravel(), weights=d[y:y + 256].ravel() / 10.0, minlength=50)
print(sums[:3])
PY
  cat > "$scratch/plain.py" <<'PY'
import sys, numpy as np
dem, mask, out, n = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
lines = 256
a, m = np.empty(lines * n, np.uint16), np.empty(lines * n, np.uint8)
total = 0
with open(dem, 'rb') as fd, open(mask, 'rb') as fm, open(out, 'wb') as fo:
    for y in range(0, n, lines):
        k = min(lines, n - y) * n
        fd.readinto(memoryview(a)[:k]); fm.readinto(memoryview(m)[:k])
        r = a[:k] * (m[:k] == 1)
        total += int(r.sum(dtype=np.int64))
        r.tofile(fo)
print(total)
PY
  result[np_hist]=$(measure true "$numpy_python" "$scratch/histogram.py" "$rd/dem_m2.raw" "$rd/zones.raw" $raw)
  result[np_bincount]=$(measure true "$numpy_python" "$scratch/bincount.py" "$rd/dem_m2.raw" "$rd/zones.raw" $raw)
  # Each zone's percentiles as numpy users write them: the cells sorted by
  # zone, then np.percentile of each zone's slice.
  cat > "$scratch/percentiles.py" <<'PY'
import sys, numpy as np
dem, codes, n = sys.argv[1], sys.argv[2], int(sys.argv[3])
d = np.fromfile(dem, np.uint16) / 10.0
c = np.fromfile(codes, np.uint8)
order = np.argsort(c, kind="stable")
c, d = c[order], d[order]
bounds = np.searchsorted(c, np.arange(257))
for z in range(256):
    if bounds[z + 1] > bounds[z]:
        np.percentile(d[bounds[z]:bounds[z + 1]], [5, 50, 95], method="inverted_cdf")
PY
  result[np_pct]=$(measure true "$numpy_python" "$scratch/percentiles.py" "$rd/dem_m2.raw" "$rd/zones.raw" $raw)
  result[np_plain]=$(measure "rm -f $scratch/plain.out" "$numpy_python" "$scratch/plain.py" "$rd/dem_m2.raw" "$rd/zone.raw" "$scratch/plain.out" $raw)
fi
# Their peers: numpy's loop over the levels (one run: minutes), and
# gdal_calc.py's difference summed by numpy's bincount.
once() {  # like measure, a single run without warm-up
  local clean=$1; shift
  eval "$clean"
  timed "$@"
}
if [ $have_numpy = yes ]; then
  cat > "$scratch/levels.py" <<'PY'
import sys, numpy as np
dem, codes, n = sys.argv[1], sys.argv[2], int(sys.argv[3])
levels = np.arange(200) * 20.0
d, c = np.memmap(dem, np.uint16, 'r', shape=(n, n)), np.memmap(codes, np.uint8, 'r', shape=(n, n))
area_below, volume_below = np.zeros((200, 50)), np.zeros((200, 50))
for y in range(0, n, 1000):
    a, z = d[y:y + 1000].ravel() / 10.0, c[y:y + 1000].ravel()
    for k, level in enumerate(levels):
        below = a < level
        area_below[k] += np.bincount(z[below], minlength=50) * 100.0
        volume_below[k] += np.bincount(z[below], weights=level - a[below], minlength=50) * 100.0
print(volume_below[-1, :3])
PY
  result[np_levels]=$(once true "$numpy_python" "$scratch/levels.py" "$rd/dem_m2.raw" "$rd/zones.raw" $raw)
  if [ $have_geotiff = yes ]; then
    cp "$rd/dem_m2.hdr" "$rd/ref_m2.hdr"
    cat > "$scratch/change.py" <<'PY'
import sys, numpy as np
from osgeo import gdal
difference, codes, n = gdal.Open(sys.argv[1]), sys.argv[2], int(sys.argv[3])
c = np.memmap(codes, np.uint8, 'r', shape=(n, n))
band = difference.GetRasterBand(1)
fill, cut, changed = np.zeros(50), np.zeros(50), np.zeros(50)
for y in range(0, n, 256):
    rows = min(256, n - y)
    dd, z = band.ReadAsArray(0, y, n, rows).astype(np.float64).ravel(), c[y:y + rows].ravel()
    fill += np.bincount(z, weights=np.maximum(dd, 0) * 100.0, minlength=50)
    cut += np.bincount(z, weights=np.maximum(-dd, 0) * 100.0, minlength=50)
    changed += np.bincount(z, weights=dd != 0, minlength=50)
print(fill[:3], cut[:3])
PY
    # shellcheck disable=SC2086
    result[np_change]=$(measure "rm -f $scratch/d.tif" bash -c "gdal_calc.py --quiet -A $rd/dem_m2.raw -B $rd/ref_m2.raw \
      --calc='(A.astype(float)-B)/10.0' --type=Float32 $tiff_options --outfile=$scratch/d.tif && \
      $numpy_python $scratch/change.py $scratch/d.tif $rd/zones.raw $raw")
  fi
else
  echo "numpy is missing (apt-get install python3-numpy): the curves' and the change's peers are not timed"
fi

have_grass=no
command -v grass >/dev/null || [ "$(id -u)" != 0 ] ||
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq grass-core >/dev/null 2>&1 || true
if command -v grass >/dev/null; then
  have_grass=yes
  printf 'BYTEORDER I\nLAYOUT BIL\nNROWS %s\nNCOLS %s\nNBANDS 1\nNBITS 8\n' "$raw" "$raw" > "$rd/zones.hdr"
  grass -c EPSG:32631 "$scratch/grassdb/bench" -e >/dev/null 2>&1
  grass "$scratch/grassdb/bench/PERMANENT" --exec bash -c "r.in.gdal -o --quiet input=$rd/dem_m2.raw output=dem && \
    r.in.gdal -o --quiet input=$rd/zones.raw output=zones && g.region raster=dem" >/dev/null 2>&1
  result[grass]=$(measure true grass "$scratch/grassdb/bench/PERMANENT" --exec r.univar -t --quiet map=dem zones=zones)
  result[grass_pct]=$(measure true grass "$scratch/grassdb/bench/PERMANENT" --exec r.univar -e -t --quiet \
    percentile=5,50,95 map=dem zones=zones)
else
  echo "GRASS is not installed (apt-get install grass-core): r.univar is not timed"
fi

# A wide raster: 20000 columns of Float32, DEFLATE, tiled 256 x 256, so that
# a band of lines spans a row of 79 tiles; and 50 zones of UInt16 codes. One
# zone to a GeoTIFF against gdal_calc.py + numpy, every zone against GRASS's
# r.univar; and the same two runs with GDAL's cache held at 24 MiB.
have_wide=no
if [ "$wide" -gt 0 ] && [ $have_geotiff = yes ]; then
  have_wide=yes
  wd=$data/wide20000x$wide
  mkdir -p "$wd"
  [ -f "$wd/zones.tif" ] || "$gdal_python" - "$wd" "$wide" <<'PY'
import sys, numpy as np
from osgeo import gdal, osr
folder, lines, columns = sys.argv[1], int(sys.argv[2]), 20000
srs = osr.SpatialReference(); srs.ImportFromEPSG(32631)
options = ["TILED=YES", "COMPRESS=DEFLATE", "BIGTIFF=IF_SAFER", "NUM_THREADS=ALL_CPUS"]
dem = gdal.GetDriverByName("GTiff").Create(folder + "/dem.tif", columns, lines, 1, gdal.GDT_Float32, options + ["PREDICTOR=3"])
zones = gdal.GetDriverByName("GTiff").Create(folder + "/zones.tif", columns, lines, 1, gdal.GDT_UInt16, options)
for d in (dem, zones):
    d.SetGeoTransform((500000, 10, 0, 4000000 + lines * 10, 0, -10)); d.SetProjection(srs.ExportToWkt())
x = np.arange(columns, dtype=np.float64)
for y in range(0, lines, 256):
    n = min(256, lines - y)
    yy = np.arange(y, y + n, dtype=np.float64)[:, None]
    z = 500 + 300 * np.sin(x / 1700.0) * np.cos(yy / 1300.0) + 40 * np.sin(x / 97.0 + yy / 83.0)
    dem.GetRasterBand(1).WriteArray(z.astype(np.float32), 0, y)
    codes = (np.floor(yy / (lines / 5.0)) * 10 + np.floor(x / (columns / 10.0))).astype(np.uint16)
    zones.GetRasterBand(1).WriteArray(np.broadcast_to(codes, (n, columns)), 0, y)
dem = zones = None
PY
  result[wide_one]=$(measure "rm -f $wd/res.*" "$tool" -q -c 23 "$wd/dem.tif" "$wd/zones.tif" "$wd/res.tif")
  result[wide_table]=$(measure "rm -f $scratch/w.csv" "$tool" -q --table "$scratch/w.csv" "$wd/dem.tif" "$wd/zones.tif")
  result[wide_one_24]=$(measure "rm -f $wd/res.*" env GDAL_CACHEMAX=24 "$tool" -q -c 23 "$wd/dem.tif" "$wd/zones.tif" "$wd/res.tif")
  result[wide_table_24]=$(measure "rm -f $scratch/w.csv" env GDAL_CACHEMAX=24 "$tool" -q --table "$scratch/w.csv" "$wd/dem.tif" "$wd/zones.tif")
  # shellcheck disable=SC2086
  result[wide_calc]=$(measure "rm -f $scratch/wc.tif" bash -c "gdal_calc.py --quiet -A $wd/dem.tif -B $wd/zones.tif \
    --calc='where(B==23,A,0)' --type=Float32 $tiff_options --outfile=$scratch/wc.tif && $gdal_python $scratch/volume.py $wd/dem.tif $wd/zones.tif 23")
  rm -f "$wd"/res.*
  if [ $have_grass = yes ]; then
    grass -c EPSG:32631 "$scratch/grassdb/wide" -e >/dev/null 2>&1
    grass "$scratch/grassdb/wide/PERMANENT" --exec bash -c "r.in.gdal -o --quiet input=$wd/dem.tif output=dem && \
      r.in.gdal -o --quiet input=$wd/zones.tif output=zones && g.region raster=dem" >/dev/null 2>&1
    result[wide_grass]=$(measure true grass "$scratch/grassdb/wide/PERMANENT" --exec r.univar -t --quiet map=dem zones=zones)
    # The same GeoTIFFs read through GDAL (r.external), as the tool reads them.
    grass "$scratch/grassdb/wide/PERMANENT" --exec bash -c "r.external -o --quiet input=$wd/dem.tif output=xdem && \
      r.external -o --quiet input=$wd/zones.tif output=xzones" >/dev/null 2>&1
    result[wide_grass_x]=$(measure true grass "$scratch/grassdb/wide/PERMANENT" --exec r.univar -t --quiet map=xdem zones=xzones)
  fi
fi

field() { echo "${result[$1]}" | cut -d' ' -f"$2"; }
ratio() { awk -v a="$(field "$1" 1)" -v b="$(field "$2" 1)" 'BEGIN { printf "%.2f", a / b }'; }
peak_mib() { awk -v r="$(field "$1" 4)" 'BEGIN { printf "%.1f", r / 1024 }'; }
row() {  # key label cells text_in text_out
  local key=$1 label=$2 cells=$3 tin=$4 tout=$5
  awk -v l="$label" -v w="$(field "$key" 1)" -v u="$(field "$key" 2)" -v s="$(field "$key" 3)" -v r="$(field "$key" 4)" \
      -v c="$cells" -v ti="$tin" -v to="$tout" 'BEGIN {
    printf "| %-44s | %7.2f | %6.2f | %6.2f | %9.1f | %8.1f | %8s | %8s |\n", l, w, u, s, r / 1024, w * 1e9 / c,
      (ti > 0 ? sprintf("%.0f", ti / w / 1e6) : ""), (to > 0 ? sprintf("%.0f", to / w / 1e6) : "") }'
}
rc=$((raw * raw)) hc=$((half * half)) gc=$((grid * grid))
echo
echo "mesacrop benchmark, $(date +%Y-%m-%d), $(nproc) cores, $(uname -m); medians of $runs runs"
echo
echo "| path                                         | wall s  | user s | sys s  | peak MiB  | ns/cell  | MB/s in  | MB/s out |"
echo "|----------------------------------------------|---------|--------|--------|-----------|----------|----------|----------|"
row raw_raw "raw ${raw}x$raw -> raw 16-bit, volume" $rc 0 0
row half_raw "raw ${half}x$half -> raw 16-bit, volume" $hc 0 0
row raw_bmp "raw ${raw}x$raw, bitmap mask -> raw 16-bit" $rc 0 0
row grid_grid "grid ${grid}x$grid -> grid, volume" $gc "$grid_in" "$grid_out"
row raw_grid "raw ${raw}x$raw -> grid" $rc 0 "$raw_grid_out"
row grid_raw "grid ${grid}x$grid -> raw 32-bit" $gc "$grid_in" 0
row floor_raw "floor: line-streaming program, raw" $rc 0 0
row floor_grid "floor: grid bytes in and out" $gc 0 0
if [ $have_gdal = yes ]; then
  row gdal_calc "gdal_calc.py masking the raw DEM" $rc 0 0
  row gdal_grid "gdal_translate -of AAIGrid" $gc "$grid_in" "$grid_in"
fi
row cli_one "command line raw ${raw}x$raw -> raw 16-bit, volume" $rc 0 0
row cli_zones "command line, one code of 50 -> raw 16-bit" $rc 0 0
row table "table of 50 codes, raw ${raw}x$raw" $rc 0 0
row pct "  with --percentiles 5,50,95" $rc 0 0
[ $have_numpy = yes ] && row np_pct "numpy: sort by zone, np.percentile a zone" $rc 0 0
[ -n "${result[grass_pct]:-}" ] && row grass_pct "GRASS r.univar -e -t zones= percentile=5,50,95" $rc 0 0
[ $have_numpy = yes ] && row np_hist "numpy: histogram of code x value" $rc 0 0
[ $have_numpy = yes ] && row np_bincount "numpy: bincount with weights" $rc 0 0
[ $have_numpy = yes ] && row np_plain "numpy: plain single-code script" $rc 0 0
[ $have_grass = yes ] && row grass "GRASS r.univar -t zones=" $rc 0 0
row curves "table of 50 codes with 200 levels' curves" $rc 0 0
[ $have_change = yes ] && row change "table of 50 codes against a second survey" $rc 0 0
[ $have_numpy = yes ] && row np_levels "numpy: loop over 200 levels (one run)" $rc 0 0
[ -n "${result[np_change]:-}" ] && row np_change "gdal_calc.py difference + numpy bincount" $rc 0 0
if [ $have_polygons = yes ]; then
  row poly_table "table of $polygons polygons (GeoPackage)" $rc 0 0
  row poly_raster "  the same zones rasterized (UInt16 GeoTIFF)" $rc 0 0
  row poly_many "table of $many polygons (GeoPackage)" $rc 0 0
  row poly_peer "gdal_rasterize + numpy bincount per zone" $rc 0 0
  row pct_many_plain "table of $polygons zones (UInt16 GeoTIFF mask)" $rc 0 0
  row pct_many "  with --percentiles 5,50,95" $rc 0 0
  row ogrinfo "ogrinfo -ro -so, $polygons polygons" $rc 0 0
  row ogrinfo_many "ogrinfo -ro -so, $many polygons" $rc 0 0
fi
if [ $have_geotiff = yes ]; then
  row tif_tif "GeoTIFF ${raw}x$raw Float32 -> GeoTIFF, volume" $rc 0 0
  row tif_half "GeoTIFF ${half}x$half Float32 -> GeoTIFF, volume" $hc 0 0
  row calc_tif "gdal_calc.py GeoTIFF + numpy volume" $rc 0 0
  row tif_table "table of 50 codes, GeoTIFF Float32" $rc 0 0
  row tif_pct "  with --percentiles 5,50,95" $rc 0 0
  row gdalinfo "gdalinfo of the GeoTIFF (GDAL alone)" $rc 0 0
fi

if [ $have_wide = yes ]; then
  wc=$((20000 * wide))
  row wide_one "GeoTIFF 20000x$wide Float32 -> GeoTIFF, one zone" $wc 0 0
  row wide_one_24 "  the same, GDAL_CACHEMAX=24 (the old cap)" $wc 0 0
  row wide_calc "gdal_calc.py GeoTIFF + numpy volume, wide" $wc 0 0
  row wide_table "table of 50 zones, GeoTIFF 20000x$wide" $wc 0 0
  row wide_table_24 "  the same, GDAL_CACHEMAX=24 (the old cap)" $wc 0 0
  [ -n "${result[wide_grass]:-}" ] && row wide_grass "GRASS r.univar -t zones=, wide, imported" $wc 0 0
  [ -n "${result[wide_grass_x]:-}" ] && row wide_grass_x "GRASS r.univar -t zones=, the GeoTIFFs" $wc 0 0
fi

verdict() { awk -v v="$1" -v t="$2" -v dir="$3" 'BEGIN { ok = dir == "min" ? v >= t : v <= t; print ok ? "met" : "MISSED" }'; }
echo
echo "Targets:"
floor_ratio=$(ratio raw_raw floor_raw)
echo "  raw -> raw within 1.5 x the line-streaming floor:    $floor_ratio x   $(verdict "$floor_ratio" 1.5 max)"
if [ $have_gdal = yes ]; then
  calc_ratio=$(ratio gdal_calc raw_raw)
  grid_ratio=$(ratio gdal_grid grid_grid)
  echo "  raw -> raw at least 3 x faster than gdal_calc.py:    $calc_ratio x   $(verdict "$calc_ratio" 3 min)"
  echo "  grid -> grid at least 15 x faster than gdal_translate: $grid_ratio x   $(verdict "$grid_ratio" 15 min)"
fi
table_ratio=$(ratio table cli_zones)
echo "  table of 50 codes within 1.3 x one single-code run:   $table_ratio x   $(verdict "$table_ratio" 1.3 max)"
cli_floor=$(ratio cli_one floor_raw)
echo "  command-line raw -> raw within 1.5 x the floor:       $cli_floor x   $(verdict "$cli_floor" 1.5 max)"
if [ $have_numpy = yes ]; then
  echo "  table at least 3 x faster than the numpy histogram:  $(ratio np_hist table) x   $(verdict "$(ratio np_hist table)" 3 min)"
  echo "  command-line run not slower than plain numpy:        $(ratio np_plain cli_one) x   $(verdict "$(ratio np_plain cli_one)" 1 min)"
fi
if [ $have_grass = yes ]; then
  echo "  table at least 3 x faster than GRASS r.univar:       $(ratio grass table) x   $(verdict "$(ratio grass table)" 3 min)"
fi
pct_ratio=$(ratio pct table)
echo "  percentiles of 50 zones within 1.5 x the plain table: $pct_ratio x   $(verdict "$pct_ratio" 1.5 max)"
echo "  peak with percentiles at most 64 MiB:                 $(peak_mib pct) MiB   $(verdict "$(peak_mib pct)" 64 max)"
[ $have_numpy = yes ] && echo "  percentiles against numpy (sort, np.percentile): $(ratio np_pct pct) x faster, numpy's peak $(peak_mib np_pct) MiB"
[ -n "${result[grass_pct]:-}" ] && echo "  percentiles against GRASS r.univar -e: $(ratio grass_pct pct) x faster, GRASS's peak $(peak_mib grass_pct) MiB"
curves_ratio=$(ratio curves table)
echo "  curves at 200 levels within 1.5 x the plain table:   $curves_ratio x   $(verdict "$curves_ratio" 1.5 max)"
echo "  peak with the curves at most 64 MiB:                  $(peak_mib curves) MiB   $(verdict "$(peak_mib curves)" 64 max)"
if [ $have_numpy = yes ]; then
  echo "  curves at least 20 x faster than numpy's level loop:  $(ratio np_levels curves) x   $(verdict "$(ratio np_levels curves)" 20 min)"
fi
if [ $have_change = yes ]; then
  change_ratio=$(ratio change table)
  echo "  cut and fill within 1.6 x the plain table:           $change_ratio x   $(verdict "$change_ratio" 1.6 max)"
  echo "  peak with a second survey at most 64 MiB:             $(peak_mib change) MiB   $(verdict "$(peak_mib change)" 64 max)"
  if [ -n "${result[np_change]:-}" ]; then
    echo "  cut and fill at least 3 x faster than gdal_calc.py + bincount: $(ratio np_change change) x   $(verdict "$(ratio np_change change)" 3 min)"
  fi
fi
if [ $have_polygons = yes ]; then
  above() { awk -v a="$(peak_mib "$1")" -v b="$(peak_mib "$2")" 'BEGIN { printf "%.1f", a - b }'; }
  echo "  polygon table within 2 x the same zones rasterized:  $(ratio poly_table poly_raster) x   $(verdict "$(ratio poly_table poly_raster)" 2 max)"
  echo "  polygon table at least 2 x faster than gdal_rasterize + bincount: $(ratio poly_peer poly_table) x   $(verdict "$(ratio poly_peer poly_table)" 2 min)"
  echo "  polygon peak at most 40 MiB above ogrinfo's: $polygons polygons $(above poly_table ogrinfo) MiB   $(verdict "$(above poly_table ogrinfo)" 40 max), $many polygons $(above poly_many ogrinfo_many) MiB   $(verdict "$(above poly_many ogrinfo_many)" 40 max)"
  sed 's/^/  accuracy: /' "$scratch/accuracy"
fi
if [ $have_geotiff = yes ]; then
  tif_pct_ratio=$(ratio tif_pct tif_table)
  tif_pct_above=$(awk -v a="$(peak_mib tif_pct)" -v b="$(peak_mib gdalinfo)" 'BEGIN { printf "%.1f", a - b }')
  echo "  percentiles of a Float32 GeoTIFF within 2.5 x its plain table: $tif_pct_ratio x   $(verdict "$tif_pct_ratio" 2.5 max)"
  echo "  their peak at most 56 MiB above gdalinfo's: $tif_pct_above MiB   $(verdict "$tif_pct_above" 56 max)"
fi
if [ $have_polygons = yes ]; then
  many_above=$(awk -v a="$(peak_mib pct_many)" -v b="$(peak_mib gdalinfo)" 'BEGIN { printf "%.1f", a - b }')
  echo "  percentiles of $polygons zones (GeoTIFF mask): $(ratio pct_many pct_many_plain) x the plain table, peak $many_above MiB above gdalinfo's   $(verdict "$many_above" 56 max)"
fi
if [ $have_geotiff = yes ]; then
  tif_ratio=$(ratio calc_tif tif_tif)
  echo "  GeoTIFF -> GeoTIFF at least 2 x faster than gdal_calc.py + numpy: $tif_ratio x   $(verdict "$tif_ratio" 2 min)"
  tif_growth=$(awk -v a="$(peak_mib tif_tif)" -v b="$(peak_mib tif_half)" 'BEGIN { d = a - b; printf "%.1f", d < 0 ? -d : d }')
  echo "  GeoTIFF peak at most 64 MiB: ${raw}^2 $(peak_mib tif_tif) MiB, ${half}^2 $(peak_mib tif_half) MiB ($tif_growth apart)   $(verdict "$(peak_mib tif_tif)" 64 max)"
fi
if [ $have_wide = yes ]; then
  echo "  wide GeoTIFF at least 2 x faster than gdal_calc.py + numpy: $(ratio wide_calc wide_one) x   $(verdict "$(ratio wide_calc wide_one)" 2 min)"
  if [ -n "${result[wide_grass]:-}" ]; then
    echo "  wide table at least 3 x faster than GRASS r.univar on the same GeoTIFFs: $(ratio wide_grass_x wide_table) x   $(verdict "$(ratio wide_grass_x wide_table)" 3 min)"
    echo "    (GRASS on its own imported rasters, the import not timed: $(ratio wide_grass wide_table) x)"
  fi
  echo "  wide GeoTIFF peak (one zone, table): $(peak_mib wide_one) MiB, $(peak_mib wide_table) MiB; with the old cap $(peak_mib wide_one_24) MiB, $(peak_mib wide_table_24) MiB"
fi
for p in raw_raw half_raw grid_grid raw_grid grid_raw; do
  echo "  peak of $p at most 64 MiB:                $(peak_mib $p) MiB   $(verdict "$(peak_mib $p)" 64 max)"
done
bitmap_bound=$(awk -v c=$rc 'BEGIN { printf "%.1f", 64 + c / 1048576 }')
echo "  peak with a bitmap mask at most 64 MiB + 1 B/cell ($bitmap_bound MiB): $(peak_mib raw_bmp) MiB   $(verdict "$(peak_mib raw_bmp)" "$bitmap_bound" max)"
growth=$(awk -v a="$(peak_mib raw_raw)" -v b="$(peak_mib half_raw)" 'BEGIN { d = a - b; printf "%.1f", d < 0 ? -d : d }')
echo "  peak of ${raw}^2 and ${half}^2 equal within 4 MiB:     $growth MiB apart   $(verdict "$growth" 4 max)"

if [ "$scale" -gt 0 ]; then
  make_data raw$scale "$scale" raw
  eval "rm -f $data/raw$scale/res*"
  big=$(timed bash -c "tool_run $tool raw$scale ${answers[raw_raw]}")
  rm -f "$data/raw$scale"/res*
  result[big]=$big
  echo
  echo "Scale: raw ${scale}x$scale ($((scale * scale * 2 / 1000000)) MB) -> raw 16-bit with the volume, one run:"
  row big "raw ${scale}x$scale -> raw 16-bit, volume" $((scale * scale)) 0 0
fi

if [ -s "$scratch/failed" ]; then
  echo
  echo "These commands FAILED; their rows and ratios measure nothing:"
  sed 's/^/  /' "$scratch/failed"
fi

if [ -n "$compare" ]; then
  echo
  echo "Results of $compare and of this build, byte for byte (files the other build writes too):"
  for p in $paths; do
    for which in old new; do
      binary=$tool
      [ $which = old ] && binary=$compare
      eval "$clean_results"
      # shellcheck disable=SC2086
      tool_run "$binary" ${folder[$p]} ${answers[$p]} >/dev/null 2>&1 || true
      (cd "$data/${folder[$p]}" && md5sum res*) > "$scratch/md5.$which.$p"
    done
    common=$(grep -F -f <(awk '{ print "  " $2 }' "$scratch/md5.old.$p") "$scratch/md5.new.$p" || true)
    added=$(awk '{ print $2 }' "$scratch/md5.new.$p" | grep -v -x -F -f <(awk '{ print $2 }' "$scratch/md5.old.$p") | tr '\n' ' ' || true)
    if [ "$common" = "$(cat "$scratch/md5.old.$p")" ]; then
      echo "  $p: identical: $(echo "$common" | tr '\n' ' ')${added:+ (new files: $added)}"
    else
      echo "  $p: DIFFERENT"; diff "$scratch/md5.old.$p" "$scratch/md5.new.$p" || true
    fi
  done
  eval "$clean_results"
fi
