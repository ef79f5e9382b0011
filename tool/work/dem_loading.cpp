// Loading the input DEM: its size, the range of a raw DEM, every cell of a
// grid checked. The cells stay in the file; later steps read them again in
// bands.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <limits>
#include <string_view>

#include "fatal.h"
#include "files/file_names.h"
#include "files/formats.h"
#include "files/input_file.h"
#include "files/output_file.h"
#include "nrutil.h"
#include "raster/bands.h"
#include "text.h"
#include "work.h"

namespace {

// The descriptor that was missing, written whole now that the DEM has loaded.
void write_new_descriptor(const RunState& st, std::ostream& notes, int mind, int maxd) {
  const RasterGeometry& g = st.dem.geometry;
  try {
    OutputFile descriptor;
    descriptor.create(st.dem.descriptor_path);
    descriptor.write(dem_descriptor_text(g.nb_lig, g.nb_col, raw_type(st.job.dem.itype).cell_bytes, mind, maxd,
                                         g.dpix_size));
    descriptor.publish();
  } catch (const FatalStop& failure) {
    note(notes, "\n\tWarning: the descriptor could not be written, the run goes on%s", failure.message.c_str());
  }
}

// Reads the .prj file beside the DEM, when there is one.
void read_coordinate_system(RunState& st, std::ostream& notes) {
  constexpr std::size_t kLongest = 1 << 20;  // coordinate systems are a few hundred bytes
  RasterGeometry& g = st.dem.geometry;
  const std::string path = beside(st.job.dem.path, ".prj");
  InputFile prj = open_input(path);
  if (!prj) return;
  std::string content(kLongest + 1, '\0');
  content.resize(std::fread(content.data(), 1, content.size(), prj.get()));
  if (std::ferror(prj.get()) || content.size() > kLongest) {
    note(notes, "\n\tWarning: %s could not be read as a coordinate system: results get no .prj file\n", path.c_str());
    return;
  }
  g.has_prj = true;
  g.prj = std::move(content);
}

// What a header beside a raw DEM (NAME_m2.hdr, as GDAL writes it) says: the
// no-data value, whose cells have no data as a grid's NODATA_value, and
// where the raster lies.
void read_raw_header(RunState& st, std::ostream& notes) {
  const std::string path = beside(st.job.dem.path, ".hdr");
  InputFile file = open_input(path);
  if (!file) return;
  std::string content(64 * 1024, '\0');
  content.resize(std::fread(content.data(), 1, content.size(), file.get()));
  const RasterHeader header = read_raster_header(content);
  if (header.placed) {
    st.dem.header_corner = Corner{header.west, header.north - st.dem.geometry.nb_lig * header.ydim};
  }
  if (!header.nodata) return;
  const RawType& type = raw_type(st.job.dem.itype);
  const double value = *header.nodata;
  if (value != std::trunc(value) || value < type.lowest || value > type.highest) {
    note(notes, "\n\tWarning: %s declares the no-data value %s, which no %d-bit cell can hold: every cell has data\n",
         path.c_str(), shortest_text(value).c_str(), type.bits);
    return;
  }
  st.dem.stored_nodata = static_cast<long long>(value);
  st.dem.geometry.has_nodata = true;
  note(notes, "\n\tCells holding %lld (the no-data value of %s) have no data\n", *st.dem.stored_nodata, path.c_str());
}

// Why the DEM's coordinates look like degrees, or "" when they do not.
std::string degrees_reason(const RasterGeometry& g) {
  if (g.has_prj) {
    const std::size_t bom = g.prj.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;  // as Windows editors begin a text
    const std::size_t start = g.prj.find_first_not_of(" \t\r\n", bom);
    const std::string_view wkt = start == std::string::npos ? std::string_view() : std::string_view(g.prj).substr(start);
    const bool geographic = wkt.rfind("GEOGCS", 0) == 0 || wkt.rfind("GEOGCRS", 0) == 0;
    const bool projected = wkt.find("PROJCS") != std::string_view::npos || wkt.find("PROJCRS") != std::string_view::npos;
    return geographic && !projected ? "its .prj file describes a geographic coordinate system" : "";
  }
  if (g.placed && g.dpix_size < 0.01 && std::fabs(g.X_min) <= 180.0 && std::fabs(g.Y_min) <= 90.0) {
    return text("its cell size is %s and its lower-left corner (%s, %s) lies within 180 and 90",
                shortest_text(g.dpix_size).c_str(), shortest_text(g.X_min).c_str(), shortest_text(g.Y_min).c_str());
  }
  return "";
}

}  // namespace

void warn_if_degrees(const RunState& st, std::ostream& notes) {
  const std::string reason = degrees_reason(st.dem.geometry);
  if (reason.empty()) return;
  note(notes, "\n\n\tWarning: the coordinates of %s look like degrees (%s)."
              "\n\tThe cell size is taken as metres, so areas and volumes will be wrong: reproject the DEM"
              "\n\tto a projected coordinate system first, for example with gdalwarp -t_srs EPSG:326xx%s\n",
       st.job.dem.path.c_str(), reason.c_str(),
       st.dem.gdal ? ",\n\tor give it its coordinate system (gdal_edit.py -a_srs EPSG:4326) for true areas" : "");
}

void note(std::ostream& notes, const char* format, ...) {
  va_list args;
  va_start(args, format);
  notes << vtext(format, args);
  va_end(args);
}

bool read_dem_descriptor(RunState& st) {
  RasterGeometry& g = st.dem.geometry;
  InputFile descriptor = open_input(st.dem.descriptor_path);
  if (!descriptor) return false;
  // Its bytes per cell and range are not used: the choices and the loading
  // give them.
  int val = 0, mind = 0, maxd = 0;
  read_dem_descriptor(descriptor.get(), g.nb_lig, g.nb_col, val, mind, maxd, g.dpix_size);
  check_dimensions(g.nb_lig, g.nb_col, "The descriptor " + st.dem.descriptor_path);
  check_pixel_size(g.dpix_size, "The descriptor " + st.dem.descriptor_path);
  return true;
}

StoredRange raw_dem_range(RunState& st, std::ostream& notes, bool extremes) {
  const RasterGeometry& g = st.dem.geometry;
  const RawType& type = raw_type(st.job.dem.itype);
  const std::string& path = st.job.dem.path;
  InputFile raster = open_required(path);
  st.dem.stamp = file_stamp(raster.get());
  const std::uint64_t surplus = raster_surplus(raster.get(), path, g.nb_lig, g.nb_col, type.cell_bytes);
  if (surplus > 0) {
    note(notes, "\n\tWarning: %s holds %llu bytes more than %d lines x %d columns x %d bytes; they are not read\n",
         path.c_str(), static_cast<unsigned long long>(surplus), g.nb_lig, g.nb_col, type.cell_bytes);
  }
  read_raw_header(st, notes);
  if (!extremes) return {};

  // The true smallest and largest stored values of the cells with data, a
  // band of cells at a time.
  const std::size_t chunk_cells = static_cast<std::size_t>(std::min<long long>(kBandCells, g.cells()));
  const std::size_t cell_bytes = static_cast<std::size_t>(type.cell_bytes);
  Vector<unsigned char> bytes = new_vector(ucvecteur, frucvecteur, chunk_cells * cell_bytes, "DEM lines");
  std::int32_t low = std::numeric_limits<std::int32_t>::max(), high = std::numeric_limits<std::int32_t>::min();
  std::optional<std::int32_t> skipped;
  if (st.dem.stored_nodata) skipped = static_cast<std::int32_t>(*st.dem.stored_nodata);
  for (long long done = 0; done < g.cells();) {
    const std::size_t n = static_cast<std::size_t>(std::min<long long>(static_cast<long long>(chunk_cells), g.cells() - done));
    read_raw_lines(raster.get(), path, bytes.data(), n * cell_bytes, static_cast<int>(done / g.nb_col), 1);
    raw_extremes(bytes.data(), n, type, low, high, skipped);
    done += static_cast<long long>(n);
  }
  check_unchanged(raster.get(), path, st.dem.stamp);
  if (low > high) low = high = 0;  // no cell with data
  return {low, high};
}

void raw_dem_loaded(RunState& st, const StoredRange& range, std::ostream& notes) {
  st.coef = kScaleCoef[st.job.dem.unit.value_or(0)];
  if (st.dem.stored_nodata) st.dem.geometry.nodata = static_cast<std::int32_t>(*st.dem.stored_nodata) / st.coef;
  st.dem.areas.planar_m2 = st.dem.geometry.dpix_size * st.dem.geometry.dpix_size;
  if (st.job.dem.write_descriptor) write_new_descriptor(st, notes, range.low, range.high);
  read_coordinate_system(st, notes);
  warn_if_degrees(st, notes);
}

void load_grid(RunState& st, std::ostream& notes, const PassProgress& progress) {
  const std::string& path = st.job.dem.path;
  InputFile file = open_required(path);
  st.dem.stamp = file_stamp(file.get());
  GridReader grid(file.get(), path);
  RasterGeometry& g = st.dem.geometry;
  g = grid.read_header();
  check_dimensions(g.nb_lig, g.nb_col, "The grid " + path);
  check_pixel_size(g.dpix_size, "The grid " + path);
  st.dem.areas.planar_m2 = g.dpix_size * g.dpix_size;
  if (static_cast<std::uint64_t>(g.cells()) > grid.max_values_left()) {
    fatal_stop(text("\n\n\tThe grid %s announces %d lines x %d columns, more values than the file can hold\n",
                    path.c_str(), g.nb_lig, g.nb_col));
  }
  // Every cell is read now, so that a grid that cannot be read whole stops
  // the run here, before the mask is asked for; the values go to the spill
  // file, from which the later passes read them much faster than from text.
  st.dem.spill.create(folder_of(path));
  const BandShape shape = band_shape(g);
  Matrix<double> band = new_matrix(dmatrice, frdmatrice, shape.width, shape.lines, "DEM lines");
  for (int first = 0; first < g.nb_lig; first += shape.lines) {
    const int count = std::min(shape.lines, g.nb_lig - first);
    for (int column = 0; column < g.nb_col; column += shape.width) {
      const int width = std::min(shape.width, g.nb_col - column);
      grid.read_lines(band.get(), first, count, column, width,
                      [&](int line) { progress("reading the grid", line, g.nb_lig); });
      for (int k = 0; k < count; ++k) st.dem.spill.write(band[k], static_cast<std::size_t>(width));
    }
  }
  progress("reading the grid", g.nb_lig, g.nb_lig);
  if (grid.has_more_values()) {
    note(notes, "\n\tWarning: %s holds more values than its %d lines x %d columns; they are not read\n",
         path.c_str(), g.nb_lig, g.nb_col);
  }
  check_unchanged(file.get(), path, st.dem.stamp);
  read_coordinate_system(st, notes);
  warn_if_degrees(st, notes);
}

void show_dimensions(const RunState& st, std::ostream& out) {
  note(out, "\n\n\tTHE DIGITAL ELEVATION MODEL HAS : ");
  note(out, "\n\t            %d LINES", st.dem.geometry.nb_lig);
  note(out, "\n\t        AND %d COLUMNS\n", st.dem.geometry.nb_col);
}

void take_dem_size_choices(RunState& st, const std::string& source) {
  RasterGeometry& g = st.dem.geometry;
  const DemChoice& dem = st.job.dem;
  if (dem.lines && dem.columns) {
    g.nb_lig = *dem.lines;
    g.nb_col = *dem.columns;
    check_dimensions(g.nb_lig, g.nb_col, source);
  }
  if (dem.pixel_size) g.dpix_size = *dem.pixel_size;
}
