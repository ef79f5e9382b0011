// The inputs of a run opened and loaded with every choice at once (the
// command line; the dialog asks between the sources' steps), the codes'
// warning and the dimensions' lines.
#include <cstdarg>

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
