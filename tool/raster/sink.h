// The results of a run: a sink per format, each in a file of its own under
// formats/, found through formats/registry.h.
//
// Before writing, the run asks a sink what it cannot hold (fit_problem) and
// how many bytes it takes at the least. Then the lifecycle is fixed:
//   begin    adds its files to the result set (temporary names);
//   take     writes each band of the pass, in file order (it may change
//            the band's altitudes);
//   finish   once the zone's figures are known: what needs them (a raw
//            result's descriptor and header), or its library's file closed.
// The run adds the report and the .prj, for every format, and puts the set
// in place.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "files/file_names.h"
#include "files/result_set.h"
#include "raster/bands.h"
#include "raster/geometry.h"

struct Run;

class ResultSink {
 public:
  virtual ~ResultSink() = default;

  // Its files: the raster and the report always; a raw result's descriptor
  // and header; the .prj beside the formats that do not hold their
  // coordinate system ("" for those that do).
  virtual ResultFiles files() const = 0;
  // Files a library keeps beside an earlier result of the name, which go
  // with it.
  virtual std::vector<std::string> stale_sidecars() const { return {}; }
  // "raw 16-bit", "ascii grid", "GeoTIFF": what the report calls it.
  virtual const char* format_name() const = 0;
  // Why it cannot hold the result as chosen, "" when it can (from the
  // zone's figures when they are measured).
  virtual std::string fit_problem(const Run& run) const = 0;
  // True when it cannot but hold the result, before the zone is measured.
  virtual bool fits_unmeasured(const Run&) const { return false; }
  // The bytes it takes at the least on the disk.
  virtual double least_bytes(const RasterGeometry& geometry) const = 0;
  // The value it declares for cells without data, which the hypsometric
  // value should not be; none when it declares none.
  virtual std::optional<double> declared_nodata(const Run&) const { return std::nullopt; }

  // The name of its writing pass ("writing the raster"), and how it wants
  // the DEM's cells (`measuring`: the pass measures the zone too).
  virtual const char* pass_name() const = 0;
  virtual BandCells cells(const Run&, bool) const { return BandCells::metres; }

  virtual void begin(const Run& run, ResultSet& set) = 0;
  virtual void take(const Run& run, const Band& band) = 0;
  virtual void finish(const Run& run, ResultSet& set) = 0;

  // What the report says of it: its geometry (a grid's corner chosen for a
  // raw DEM; no .prj for a GeoTIFF), the files a library added beside it,
  // the no-data value it declares.
  virtual RasterGeometry report_geometry(const Run& run) const;
  virtual std::vector<std::string> sidecars() const { return {}; }
  virtual std::optional<double> report_nodata() const { return std::nullopt; }
};
