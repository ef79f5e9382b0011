#!/usr/bin/env bash
# GDAL for the Windows program, cross-compiled with MinGW-w64 from Debian's
# source packages of the versions the Linux build uses, with only what the
# tool needs of it:
#
#   zlib, libdeflate, SQLite, libtiff, PROJ (with its proj.db), GEOS, then
#   GDAL with the GeoTIFF/COG, VRT, MEM, ERDAS .img, raw (EHdr, ENVI...) and
#   ASCII grid rasters and the GeoPackage, Shapefile, GeoJSON and FlatGeobuf
#   layers; its own copies of libgeotiff and json-c; no network driver, no
#   curl, no Python, no programs.
#
# Every library is static, so that the tool's GDAL module, linked against
# them, is one DLL that needs no other.
#
#   windows/build-gdal.sh          builds (or finds) the prefix, prints its path
#
# The prefix is $MESACROP_WINDOWS_CACHE (by default ~/.cache/mesacrop)/
# windows-gdal-KEY, KEY a hash of this script, the cross-compiler's toolchain
# file and the source versions: a second run on the same machine prints it at
# once. It is complete when it holds the file `complete`; a prefix without it
# (a build cut off) is built again from nothing. The sources are unpacked and
# built in KEY.work beside it, removed once the prefix is complete.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
script=$root/windows/build-gdal.sh
toolchain=$root/cmake/mingw-w64.cmake
host=x86_64-w64-mingw32
jobs=$(nproc)
say() { echo "build-gdal: $*" >&2; }

# ---- the prefix ------------------------------------------------------------------

# Source package, and the binary package whose source version the Linux
# build uses (installed first when missing).
sources=(zlib:zlib1g-dev libdeflate:libdeflate-dev sqlite3:libsqlite3-dev tiff:libtiff-dev proj:libproj-dev
         geos:libgeos-dev gdal:libgdal-dev)
apt_updated=no
install() {
  say "installing $*"
  [ "$apt_updated" = yes ] || { apt-get update -qq && apt_updated=yes; }
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" >&2
}
need=()
for entry in "${sources[@]}"; do
  dpkg-query -W -f '${Status}' "${entry#*:}" 2>/dev/null | grep -q 'ok installed' || need+=("${entry#*:}")
done
[ ${#need[@]} -eq 0 ] || install "${need[@]}"
declare -A version built
for entry in "${sources[@]}"; do
  version[${entry%%:*}]=$(dpkg-query -W -f '${source:Version}' "${entry#*:}")
done
key=$( { cat "$script" "$toolchain"; for entry in "${sources[@]}"; do echo "${entry%%:*}=${version[${entry%%:*}]}"; done; } |
  sha256sum | cut -c1-16)
cache=${MESACROP_WINDOWS_CACHE:-$HOME/.cache/mesacrop}
prefix=$cache/windows-gdal-$key
if [ -f "$prefix/complete" ]; then
  echo "$prefix"
  exit 0
fi

# ---- what the build needs on this machine -------------------------------------

need=()
command -v dpkg-source >/dev/null || need+=(dpkg-dev)
command -v "$host-g++-posix" >/dev/null || need+=(g++-mingw-w64-x86-64-posix)
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
command -v make >/dev/null || need+=(make)
command -v gcc >/dev/null || need+=(gcc)
# SQLite's amalgamation is made with Tcl; PROJ's proj.db with the sqlite3 program.
command -v tclsh >/dev/null || need+=(tcl)
command -v sqlite3 >/dev/null || need+=(sqlite3)
[ ${#need[@]} -eq 0 ] || install "${need[@]}"

# The source packages, from apt's deb-src entries: added for Debian's archives
# when there are none.
deb_src_file=/etc/apt/sources.list.d/mesacrop-deb-src.sources
if ! grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  say "adding the deb-src entries of Debian's archives ($deb_src_file)"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && grep -q 'debian.org' "$f" && sed -e 's/^Types: deb$/Types: deb-src/' "$f"
    echo
  done > "$deb_src_file.new"
  if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb \(.*debian\.org.*\)$/deb-src \1/p' /etc/apt/sources.list > "${deb_src_file%.sources}.list"
  fi
  mv "$deb_src_file.new" "$deb_src_file"
  apt_updated=no
fi
[ "$apt_updated" = yes ] || apt-get update -qq

work=$prefix.work
rm -rf "$prefix" "$work"
mkdir -p "$prefix/lib" "$prefix/include" "$work"
started=$(date +%s)
# Nothing of this machine's own libraries: pkg-config knows the prefix's alone.
export PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig PKG_CONFIG_PATH=""

# Unpacks source package $1 (patches applied) in $work; its folder in $tree.
# The Linux build's version when the archive has it, else the newest of the
# same upstream version that it has (an archive may keep only the latest
# Debian revision of a package).
fetch() {
  local package=$1 wanted=${version[$1]} upstream
  upstream=${wanted#*:}
  upstream=${upstream%-*}
  local candidates
  candidates=$( { echo "$wanted"; apt-cache showsrc "$package" | sed -n 's/^Version: //p' | sort -rV; } | awk '!seen[$0]++')
  for v in $candidates; do
    local u=${v#*:}
    [ "${u%-*}" = "$upstream" ] || continue
    if (cd "$work" && apt-get source -qq "$package=$v" >/dev/null 2>"$work/$package.fetch.log"); then
      [ "$v" = "$wanted" ] || say "$package: the archive has no $wanted, built $v (the same upstream version)"
      built[$package]=$v
      tree=$(find "$work" -maxdepth 1 -type d -name "$package-${upstream%.dfsg}*" | head -n 1)
      [ -n "$tree" ] && return 0
    fi
  done
  say "$package: no source package of version $upstream can be fetched:"
  cat "$work/$package.fetch.log" >&2
  exit 1
}

# Runs a command, its output appended to the log $1; on failure, the end of
# the log is shown and the build stops.
logged() {
  local log=$1
  shift
  "$@" >> "$log" 2>&1 || { tail -n 40 "$log" >&2; say "failed: $* (the whole log: $log)"; exit 1; }
}

# CMake, cross-compiling into the prefix.
cmake_build() {  # source folder, options...
  local source=$1
  shift
  logged "$source.log" cmake -S "$source" -B "$source/build-windows" -G Ninja -Wno-dev -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_FIND_ROOT_PATH="$prefix" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF "$@"
  logged "$source.log" cmake --build "$source/build-windows" -j "$jobs"
  logged "$source.log" cmake --install "$source/build-windows"
}

step() {
  say "$1 (${version[$1]}) at $(( $(date +%s) - started )) s"
}

# ---- the libraries -------------------------------------------------------------------

step zlib
fetch zlib
for name in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate inftrees trees uncompr zutil; do
  logged "$work/zlib.log" "$host-gcc-posix" -O2 -DNDEBUG -c "$tree/$name.c" -o "$work/$name.o"
done
logged "$work/zlib.log" "$host-ar" rcs "$prefix/lib/libz.a" "$work"/*.o
rm "$work"/*.o
cp "$tree/zlib.h" "$tree/zconf.h" "$prefix/include/"

step libdeflate
fetch libdeflate
logged "$work/libdeflate.log" make -C "$tree" CC="$host-gcc-posix" AR="$host-ar" -j "$jobs" libdeflatestatic.lib
cp "$tree/libdeflatestatic.lib" "$prefix/lib/libdeflate.a"
cp "$tree/libdeflate.h" "$prefix/include/"

# The amalgamation (sqlite3.c) is made by the native build, then compiled for
# Windows with what GDAL and PROJ ask of it: thread safety, R-trees (the
# GeoPackage's spatial index) and the columns' metadata; extensions cannot be
# loaded.
step sqlite3
fetch sqlite3
mkdir -p "$work/sqlite-native"
(cd "$work/sqlite-native" && logged "$work/sqlite3.log" "$tree/configure" && logged "$work/sqlite3.log" make sqlite3.c)
logged "$work/sqlite3.log" "$host-gcc-posix" -O2 -DNDEBUG -DSQLITE_THREADSAFE=1 -DSQLITE_ENABLE_RTREE=1 -DSQLITE_ENABLE_COLUMN_METADATA=1 \
  -DSQLITE_OMIT_LOAD_EXTENSION=1 -c "$work/sqlite-native/sqlite3.c" -o "$work/sqlite3.o"
logged "$work/sqlite3.log" "$host-ar" rcs "$prefix/lib/libsqlite3.a" "$work/sqlite3.o"
cp "$work/sqlite-native/sqlite3.h" "$tree/src/sqlite3ext.h" "$prefix/include/"

step tiff
fetch tiff
cmake_build "$tree" -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF -Dcxx=OFF \
  -Dzlib=ON -Dlibdeflate=ON -Djpeg=OFF -Dold-jpeg=OFF -Djbig=OFF -Dlerc=OFF -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF

# PROJ and GDAL would look for their data (and GDAL for its plugins) in this
# machine's prefix, a path that a Windows machine may hold something else
# at: without these definitions they look only where the program tells
# them (PROJ's data beside it), or where the user's PROJ_DATA, GDAL_DATA or
# GDAL_DRIVER_PATH say.
step proj
fetch proj
sed -i 's|^add_definitions(-DPROJ_DATA="${PROJ_DATA_PATH}")|# (no data folder of the build machine)|' "$tree/src/lib_proj.cmake"
cmake_build "$tree" -DENABLE_CURL=OFF -DENABLE_TIFF=ON -DBUILD_APPS=OFF -DEXE_SQLITE3="$(command -v sqlite3)"

step geos
fetch geos
cmake_build "$tree" -DBUILD_BENCHMARKS=OFF -DBUILD_DOCUMENTATION=OFF -DBUILD_GEOSOP=OFF

step gdal
fetch gdal
sed -i 's|^set(GDAL_PREFIX ${CMAKE_INSTALL_PREFIX})|unset(GDAL_PREFIX)|' "$tree/cmake/helpers/configure.cmake"
sed -i 's|^target_compile_definitions(cpl PRIVATE INST_DATA="${INST_DATA_PATH}")||' "$tree/port/CMakeLists.txt"
sed -i 's|PROPERTY COMPILE_DEFINITIONS INST_DATA="${INST_DATA_PATH}" INSTALL_PLUGIN_FULL_DIR="${INSTALL_PLUGIN_FULL_DIR}")|PROPERTY COMPILE_DEFINITIONS)|' \
  "$tree/gcore/CMakeLists.txt"
cmake_build "$tree" -DGDAL_USE_EXTERNAL_LIBS=OFF -DGDAL_USE_INTERNAL_LIBS=OFF \
  -DGDAL_USE_ZLIB=ON -DGDAL_USE_DEFLATE=ON -DGDAL_USE_TIFF=ON -DGDAL_USE_SQLITE3=ON -DGDAL_USE_GEOS=ON \
  -DGDAL_USE_GEOTIFF_INTERNAL=ON -DGDAL_USE_JSONC_INTERNAL=ON -DGDAL_USE_SHAPELIB_INTERNAL=ON \
  -DGDAL_BUILD_OPTIONAL_DRIVERS=OFF -DOGR_BUILD_OPTIONAL_DRIVERS=OFF \
  -DGDAL_ENABLE_DRIVER_RAW=ON -DGDAL_ENABLE_DRIVER_AAIGRID=ON \
  -DOGR_ENABLE_DRIVER_SQLITE=ON -DOGR_ENABLE_DRIVER_GPKG=ON -DOGR_ENABLE_DRIVER_FLATGEOBUF=ON \
  -DBUILD_APPS=OFF -DBUILD_PYTHON_BINDINGS=OFF -DBUILD_JAVA_BINDINGS=OFF -DBUILD_CSHARP_BINDINGS=OFF \
  -DENABLE_GNM=OFF

{ for entry in "${sources[@]}"; do echo "${entry%%:*} ${built[${entry%%:*}]}"; done; } > "$prefix/versions"
rm -rf "$work"
touch "$prefix/complete"
# Prefixes of earlier versions of this script are not used again.
find "$cache" -maxdepth 1 -name 'windows-gdal-*' ! -name "windows-gdal-$key" -exec rm -rf {} +
say "built in $(( $(date +%s) - started )) s"
echo "$prefix"
