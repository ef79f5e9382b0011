// The inputs of a run opened and loaded with every choice at once (the
// command line; the dialog asks between the sources' steps), the codes'
// warning and the dimensions' lines.
#include <cmath>
#include <cstdarg>

#include <algorithm>
#include <array>

#include "fatal.h"
#include "files/library_raster.h"
#include "formats/registry.h"
#include "number_text.h"
#include "text.h"
#include "work.h"

void note(std::ostream& notes, const char* format, ...) {
  va_list args;
  va_start(args, format);
  notes << vtext(format, args);
  va_end(args);
}

void load_dem(Run& run, std::ostream& notes, const PassProgress& progress) {
  const DemChoice& choice = run.job.dem;
  run.dem = open_dem(choice);
  DemSource& dem = *run.dem;
  const unsigned needs = dem.needs();
  for (const DemNeed need : {kNeedsSize, kNeedsPixelSize, kNeedsUnit}) {
    const bool chosen = need == kNeedsSize ? choice.lines.has_value()
                        : need == kNeedsPixelSize ? choice.pixel_size.has_value()
                                                  : choice.unit.has_value();
    if ((needs & need) != 0 && !chosen) throw MissingChoice{dem.missing_choice(need)};
  }
  const RasterGeometry& g = dem.facts().geometry;
  if ((needs & kNeedsSize) == 0 && choice.lines) {
    note(notes, "\n\tWarning: --size %d,%d is not used for the DEM: %s gives %d lines and %d columns\n",
         *choice.lines, *choice.columns, dem.facts().size_origin.c_str(), g.nb_lig, g.nb_col);
  }
  dem.load(choice, notes, progress);
  if ((needs & kNeedsPixelSize) == 0 && choice.pixel_size) {
    note(notes, "\n\tWarning: --pixel-size %s is not used: %s gives %s\n", shortest_text(*choice.pixel_size).c_str(),
         dem.facts().size_origin.c_str(), shortest_text(g.dpix_size).c_str());
  }
}

void load_mask(Run& run, std::ostream& notes) {
  const MaskChoice& choice = run.job.mask;
  run.mask = open_mask(choice);
  MaskSource& mask = *run.mask;
  if (mask.needs_size() && !choice.lines) throw MissingChoice{mask.missing_choice()};
  if (!mask.needs_size() && choice.lines) {
    note(notes, "\n\tWarning: --size %d,%d is not used for the mask: its descriptor %s gives %d lines and %d columns\n",
         *choice.lines, *choice.columns, mask.facts().descriptor_path.c_str(), mask.facts().lines,
         mask.facts().columns);
  }
  mask.load(choice, run.dem_facts(), run.job.dem.path, notes);
}

namespace {

// A raster's grid in map coordinates (x = t0 + column t1, y = t3 + line t5),
// when it has one.
std::optional<std::array<double, 6>> grid_of(const DemFacts& facts) {
  const RasterGeometry& g = facts.geometry;
  if (facts.gdal && facts.gdal->georeferenced) {
    std::array<double, 6> t{};
    std::copy(facts.gdal->transform, facts.gdal->transform + 6, t.begin());
    return t;
  }
  if (!g.placed) return std::nullopt;
  return std::array<double, 6>{g.X_min, g.map_cell(), 0.0, g.Y_min + g.nb_lig * g.map_cell(), 0.0, -g.map_cell()};
}

std::string coordinate_system_of(const DemFacts& facts) {
  return facts.gdal ? facts.gdal->wkt : facts.geometry.has_prj ? facts.geometry.prj : "";
}

bool nearly_equal(double a, double b) { return std::fabs(a - b) <= 1e-9 * std::max({std::fabs(a), std::fabs(b), 1e-300}); }

}  // namespace

void load_reference(Run& run, std::ostream& notes, const PassProgress& progress) {
  DemChoice choice = run.job.reference->surface;
  const std::string& path = choice.path;
  const std::string& dem_path = run.job.dem.path;
  const DemFacts& dem = run.dem_facts();
  run.reference = open_dem(choice);
  DemSource& surface = *run.reference;
  // A raw surface without descriptor lies on the DEM's grid.
  if ((surface.needs() & kNeedsSize) != 0) choice.lines = dem.geometry.nb_lig, choice.columns = dem.geometry.nb_col;
  if ((surface.needs() & kNeedsPixelSize) != 0) choice.pixel_size = dem.geometry.dpix_size;
  if ((surface.needs() & kNeedsUnit) != 0 && !choice.unit) {
    throw MissingChoice{"--reference-unit m|dm|cm|mm is required for the raw reference " + path +
                        ": the unit of its stored values (a wrong one makes every change wrong)"};
  }
  surface.load(choice, notes, progress);
  const RasterGeometry& g = surface.facts().geometry;
  const RasterGeometry& d = dem.geometry;
  if (g.nb_lig != d.nb_lig || g.nb_col != d.nb_col) {
    fatal_stop(text("\n\n\tThe reference %s has %d lines and %d columns, the DEM %s %d lines and %d columns: they "
                    "must lie on the same grid\n",
                    path.c_str(), g.nb_lig, g.nb_col, dem_path.c_str(), d.nb_lig, d.nb_col));
  }
  const std::optional<std::array<double, 6>> ours = grid_of(dem), theirs = grid_of(surface.facts());
  bool same = nearly_equal(g.dpix_size, d.dpix_size);
  for (int k = 0; same && ours && theirs && k < 6; ++k) same = nearly_equal((*ours)[k], (*theirs)[k]);
  if (!same) {
    auto grid_text = [](const std::optional<std::array<double, 6>>& t, const RasterGeometry& geometry) {
      if (!t) return text("cells of %s m", shortest_text(geometry.dpix_size).c_str());
      return text("cells that start at (%s, %s) and measure %s x %s", shortest_text((*t)[0]).c_str(),
                  shortest_text((*t)[3]).c_str(), shortest_text((*t)[1]).c_str(), shortest_text((*t)[5]).c_str());
    };
    fatal_stop(text("\n\n\tThe reference %s does not lie on the grid of the DEM %s: the DEM has %s, the reference "
                    "%s\n",
                    path.c_str(), dem_path.c_str(), grid_text(ours, d).c_str(), grid_text(theirs, g).c_str()));
  }
  const std::string dem_system = coordinate_system_of(dem), reference_system = coordinate_system_of(surface.facts());
  // Texts that differ may say the same system (.prj files of two tools):
  // GDAL tells, where this build has it.
  if (!dem_system.empty() && !reference_system.empty() && dem_system != reference_system &&
      (!gdal_available() || !same_coordinate_system(dem_system, reference_system))) {
    fatal_stop(text("\n\n\tThe reference %s is in another coordinate system than the DEM %s: they must be the "
                    "same\n",
                    path.c_str(), dem_path.c_str()));
  }
}

void show_dimensions(const Run& run, std::ostream& out) {
  note(out, "\n\n\tTHE DIGITAL ELEVATION MODEL HAS : ");
  note(out, "\n\t            %d LINES", run.geometry().nb_lig);
  note(out, "\n\t        AND %d COLUMNS\n", run.geometry().nb_col);
}

void code_warning(Run& run, std::ostream& notes) {
  const long long code = run.job.zone.code;
  MaskSource& mask = *run.mask;
  if (mask.codes_take_a_pass() ? !run.zone_measured || run.zone.zone_cells > 0 : mask.holds(code)) return;
  note(notes, "\n\tWarning: the code %lld selects no cell: the mask %s holds the codes %s\n", code,
       run.job.mask.path.c_str(), mask.codes_text().c_str());
}
