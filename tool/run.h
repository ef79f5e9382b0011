// A run: what the user chose (the job), the inputs it opened once for the
// whole run (each its own facts), the folder of its result and, once
// measured, the zone's figures. The steps of work/ take it; the sources are
// the only ones to know their files.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "job.h"
#include "raster/source.h"
#include "zone/zone.h"

struct Run {
  std::string folder;  // the result's folder, ending in a separator
  Job job;
  std::unique_ptr<DemSource> dem;    // open once loaded (or being loaded)
  std::unique_ptr<MaskSource> mask;
  std::unique_ptr<DemSource> reference;  // the surface the DEM is compared with, when chosen
  ZoneFigures zone;                  // the zone's volume (when asked) and extremes
  Levels levels;                     // the curves' levels as the passes take them
  AltitudeKeys keys;                 // the DEM's altitudes as keys, for the percentiles
  std::unique_ptr<KeySelection> selection;  // the percentiles' search, in the passes of a measure
  bool zone_measured = false;

  const DemFacts& dem_facts() const { return dem->facts(); }
  const RasterGeometry& geometry() const { return dem->facts().geometry; }
};
