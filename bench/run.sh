#!/usr/bin/env bash
# Times the real mesacrop on generated data through each path, against GDAL
# and against the cost of just moving the bytes, and prints a table.
#
#   bench/run.sh [--raw N] [--grid N] [--runs N]
#
# Defaults: a 10000 x 10000 raw DEM, a 3000 x 3000 grid, 5 timed runs after
# one warm-up. Data are generated once into bench/data/ (several GB for the
# default sizes); medians are printed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
raw=10000 grid=3000 runs=5
while [ $# -gt 0 ]; do
  case $1 in
    --raw) raw=$2; shift 2 ;;
    --grid) grid=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    *) echo "usage: $0 [--raw N] [--grid N] [--runs N]" >&2; exit 2 ;;
  esac
done
command -v /usr/bin/time >/dev/null || { echo "bench needs /usr/bin/time (Debian package time)" >&2; exit 1; }

cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" --target mesacrop bench_generate >/dev/null
tool=$root/build/tool/mesacrop
data=$root/bench/data
rawdir=raw$raw griddir=grid$grid
mkdir -p "$data/$rawdir" "$data/$griddir"
[ -f "$data/$rawdir/zone.txt" ] || "$root/build/bench/bench_generate" "$data/$rawdir" "$raw" "$raw" raw
[ -f "$data/$griddir/zone.txt" ] || "$root/build/bench/bench_generate" "$data/$griddir" "$grid" "$grid" grid
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
  "$@" >/dev/null 2>&1 || true
  : > "$scratch/runs"
  for _ in $(seq "$runs"); do
    eval "$clean"
    timed "$@" >> "$scratch/runs"
  done
  echo "$(cut -d' ' -f1 "$scratch/runs" | median) $(cut -d' ' -f2 "$scratch/runs" | median)" \
       "$(cut -d' ' -f3 "$scratch/runs" | median) $(cut -d' ' -f4 "$scratch/runs" | median)"
}
tool_run() {  # folder answers...
  local folder=$1; shift
  printf '%s\n' "$folder" "$@" > "$scratch/answers"
  MESACROP_IMAGES=$data $tool < "$scratch/answers"
}
export -f tool_run
export tool data scratch

declare -A result
clean_results="rm -f $data/$rawdir/res* $data/$griddir/res*"
result[raw_raw]=$(measure "$clean_results" bash -c "tool_run $rawdir dem 1 0 1 zone 1 1 0 0 res 1 0")
result[grid_grid]=$(measure "$clean_results" bash -c "tool_run $griddir dem 0 zone 1 1 0 0 res 0")
result[raw_grid]=$(measure "$clean_results" bash -c "tool_run $rawdir dem 1 0 1 zone 1 1 0 1 res 0 0 0")
result[grid_raw]=$(measure "$clean_results" bash -c "tool_run $griddir dem 0 zone 1 1 0 1 res 1 1 1")
# The grid text of a run: read (grid input) and written (grid output).
grid_in=$(stat -c %s "$data/$griddir/dem.asc")
eval "$clean_results"
tool_run $griddir dem 0 zone 1 1 0 1 res 0 >/dev/null; grid_out=$(stat -c %s "$data/$griddir/res.asc")
tool_run $rawdir dem 1 0 1 zone 1 1 0 1 res 0 0 0 >/dev/null; raw_grid_out=$(stat -c %s "$data/$rawdir/res.asc")
eval "$clean_results"

# The floor: reading the inputs and writing an output of the same size.
raw_out=$((raw * raw * 2))
result[floor_raw]=$(measure "rm -f $scratch/out" bash -c "cat $data/$rawdir/dem_m2.raw $data/$rawdir/zone.raw >/dev/null; head -c $raw_out /dev/zero > $scratch/out")
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

field() { echo "${result[$1]}" | cut -d' ' -f"$2"; }
ratio() { awk -v a="$(field "$1" 1)" -v b="$(field "$2" 1)" 'BEGIN { printf "%.2f", a / b }'; }
row() {  # key label cells text_in text_out
  local key=$1 label=$2 cells=$3 tin=$4 tout=$5
  awk -v l="$label" -v w="$(field "$key" 1)" -v u="$(field "$key" 2)" -v s="$(field "$key" 3)" -v r="$(field "$key" 4)" \
      -v c="$cells" -v ti="$tin" -v to="$tout" 'BEGIN {
    printf "| %-38s | %7.2f | %6.2f | %6.2f | %9.0f | %6.1f | %8s | %8s |\n", l, w, u, s, r / 1024, r * 1024 / c,
      (ti > 0 ? sprintf("%.0f", ti / w / 1e6) : ""), (to > 0 ? sprintf("%.0f", to / w / 1e6) : "") }'
}
rc=$((raw * raw)) gc=$((grid * grid))
echo
echo "mesacrop benchmark, $(date +%Y-%m-%d), $(nproc) cores, $(uname -m); medians of $runs runs"
echo
echo "| path                                   | wall s  | user s | sys s  | peak MiB  | B/cell | MB/s in  | MB/s out |"
echo "|----------------------------------------|---------|--------|--------|-----------|--------|----------|----------|"
row raw_raw "raw ${raw}x$raw -> raw 16-bit, volume" $rc 0 0
row grid_grid "grid ${grid}x$grid -> grid, volume" $gc "$grid_in" "$grid_out"
row raw_grid "raw ${raw}x$raw -> grid" $rc 0 "$raw_grid_out"
row grid_raw "grid ${grid}x$grid -> raw 32-bit" $gc "$grid_in" 0
row floor_raw "floor: raw bytes in and out" $rc 0 0
row floor_grid "floor: grid bytes in and out" $gc 0 0
if [ $have_gdal = yes ]; then
  row gdal_calc "gdal_calc.py masking the raw DEM" $rc 0 0
  row gdal_grid "gdal_translate -of AAIGrid" $gc "$grid_in" "$grid_in"
fi
echo
echo "raw -> raw:   $(ratio raw_raw floor_raw) x the I/O floor$( [ $have_gdal = yes ] && echo ", $(ratio raw_raw gdal_calc) x gdal_calc.py")"
echo "grid -> grid: $(ratio grid_grid floor_grid) x the I/O floor$( [ $have_gdal = yes ] && echo ", gdal_translate takes $(ratio gdal_grid grid_grid) x as long")"
