// The rasters users have, made with GDAL's own tools: GeoTIFFs of negative
// altitudes, of cells without data, in degrees, in feet, Cloud-Optimized;
// rotated rasters and masks off the DEM's grid refused; masks of codes above
// 255; every result read back through GDAL.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "files/library_raster.h"
#include "run_tool.h"

namespace {

// The demo folder with ESRI BIL headers, which GDAL's tools read.
struct Folder {
  Folder() { demo_for_gdal(dir); }
  void calc(const std::string& calc, const std::string& type, const std::string& out, const std::string& more = "") {
    shell("cd " + dir + " && gdal_calc.py --quiet -A jacksboro_m2.raw --calc='" + calc + "' --type=" + type +
          " --outfile=" + out + " " + more);
  }
  std::string json(const std::string& name) { return read_file(dir + "/" + name); }
  TempDir base;
  std::string dir = base / "demo";
};

// A number of a JSON report, by its key.
double figure(const std::string& json, const std::string& key) {
  const std::size_t at = json.find("\"" + key + "\": ");
  return at == std::string::npos ? NAN : std::strtod(json.c_str() + at + key.size() + 4, nullptr);
}

// Every cell of a raster as GDAL reads it, as doubles.
std::vector<double> cells_of(const std::string& dir, const std::string& raster) {
  shell("cd " + dir + " && gdal_translate -q -ot Float64 -of ENVI " + raster + " cells.bin");
  const std::string bytes = read_file(dir + "/cells.bin");
  std::vector<double> values(bytes.size() / 8);
  std::memcpy(values.data(), bytes.data(), values.size() * 8);
  return values;
}

}  // namespace

TEST(GeoTiff, DemsOfEveryKindGiveTheVolumesAndResultsTheirCellsCall) {
  NEED_GDAL_TOOLS();
  Folder f;
  // The raw DEM in metres as Float64: the same doubles, the same volume to the last bit.
  f.calc("A/10.0", "Float64", "f64.tif");
  ASSERT_EQ(run_cli(f.dir, "-c 1 --dem-unit dm jacksboro_m2.raw zone.raw raw_m2.raw").status, 0);
  ASSERT_EQ(run_cli(f.dir, "-c 1 f64.tif zone.raw res.tif").status, 0);
  EXPECT_EQ(figure(f.json("res.json"), "volume_m3"), figure(f.json("raw_m2.json"), "volume_m3"));
  // The coordinate system of the .prj beside the raw DEM, which GDAL read too.
  EXPECT_NE(f.json("res.json").find("\"coordinate_system\": \"NAD83 / UTM zone 16N\", \"epsg\": 26916"),
            std::string::npos)
      << f.json("res.json");

  // Int16 below the sea: kept bit for bit in the zone, the hypsometric value outside.
  f.calc("A/10-1000", "Int16", "low.tif");
  shell("cd " + f.dir + " && gdal_translate -q zone.raw zone.tif");
  const CliRun low = run_cli(f.dir, "-c 2 -a 7.5 low.tif zone.tif low_out.tif");
  ASSERT_EQ(low.status, 0) << low.errors;
  const std::vector<double> dem = cells_of(f.dir, "low.tif"), out = cells_of(f.dir, "low_out.tif");
  const std::string mask = read_file(f.dir + "/zone.raw");
  ASSERT_EQ(out.size(), mask.size());
  double lowest = 0;
  for (std::size_t k = 0; k < mask.size(); ++k) {
    ASSERT_EQ(out[k], mask[k] == 2 ? dem[k] : 7.5) << k;
    if (mask[k] == 2) lowest = std::min(lowest, dem[k]);
  }
  EXPECT_LT(lowest, 0);
  EXPECT_NE(shell("gdalinfo " + f.dir + "/low_out.tif").find("COMPRESSION=DEFLATE"), std::string::npos);

  // Float32 with cells without data, in and out of the zone.
  f.calc("where((A>10000)+(A<3000),-9999,A/10)", "Float32", "holes.tif", "--NoDataValue=-9999");
  ASSERT_EQ(run_cli(f.dir, "-c 1 holes.tif zone.raw holes_out.tif").status, 0);
  const std::vector<double> holes = cells_of(f.dir, "holes.tif"), holes_out = cells_of(f.dir, "holes_out.tif");
  long long in_zone = 0;
  for (std::size_t k = 0; k < mask.size(); ++k) {
    const bool empty = holes[k] == -9999;
    if (mask[k] == 1) in_zone += empty ? 1 : 0;
    ASSERT_EQ(holes_out[k], mask[k] == 1 ? holes[k] : 0.0) << k;
  }
  ASSERT_GT(in_zone, 0);
  EXPECT_EQ(figure(f.json("holes_out.json"), "no_data"), in_zone);
  EXPECT_NE(shell("gdalinfo " + f.dir + "/holes_out.tif").find("NoData Value=-9999"), std::string::npos);

  // A Cloud-Optimized GeoTIFF reads as the GeoTIFF it came from.
  shell("cd " + f.dir + " && gdal_translate -q -of COG holes.tif cog.tif");
  ASSERT_EQ(run_cli(f.dir, "-c 1 cog.tif zone.raw cog_out.tif").status, 0);
  EXPECT_EQ(figure(f.json("cog_out.json"), "volume_m3"), figure(f.json("holes_out.json"), "volume_m3"));

  // A grid's result as a GeoTIFF: its corner, cells and coordinate system.
  ASSERT_EQ(run_cli(f.dir, "-c 1 jacksboro.asc zone.raw grid.tif").status, 0);
  const std::string info = shell("gdalinfo " + f.dir + "/grid.tif");
  EXPECT_NE(info.find("Origin = (739890.000000000000000,4055760.000000000000000)"), std::string::npos) << info;
  EXPECT_NE(info.find("UTM zone 16N"), std::string::npos) << info;
}

TEST(GeoTiff, CellAreasInDegreesAndFeetAreTrueAreas) {
  NEED_GDAL_TOOLS();
  Folder f;
  // 50 x 40 cells of 0.01 degree from 60 N, 100 m high, all in the zone.
  shell("cd " + f.dir + " && gdal_create -q -of GTiff -outsize 40 50 -ot Float32 -burn 100 -a_srs EPSG:4326 "
        "-a_ullr 10 60 10.4 59.5 deg.tif && gdal_create -q -of GTiff -outsize 40 50 -ot Byte -burn 1 "
        "-a_srs EPSG:4326 -a_ullr 10 60 10.4 59.5 deg_zone.tif");
  const CliRun run = run_cli(f.dir, "-c 1 deg.tif deg_zone.tif deg_out.tif");
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.errors.find("degrees"), std::string::npos) << "no degree warning";
  const std::string report = f.json("deg_out.json");
  EXPECT_NE(report.find("\"cell_areas\": \"ellipsoidal\""), std::string::npos) << report;
  // The area element of WGS 84, M(phi) N(phi) cos(phi), integrated over each
  // line by Simpson's rule: inner lines 1 .. 48, inner columns 1 .. 38 in
  // full; the frame left out.
  const double a = 6378137.0, f_inv = 298.257223563, e2 = (2 - 1 / f_inv) / f_inv, rad = M_PI / 180;
  auto element = [&](double phi) {
    const double w = 1 - e2 * std::sin(phi) * std::sin(phi);
    return a * (1 - e2) / std::pow(w, 1.5) * a / std::sqrt(w) * std::cos(phi);
  };
  double volume = 0, smallest = INFINITY;
  for (int line = 1; line <= 48; ++line) {
    const double north = (60 - 0.01 * line) * rad, south = (60 - 0.01 * (line + 1)) * rad;
    double area = 0;
    const int steps = 200;
    for (int s = 0; s <= steps; ++s) {
      const double weight = s == 0 || s == steps ? 1 : s % 2 == 1 ? 4 : 2;
      area += weight * element(south + (north - south) * s / steps);
    }
    area *= (north - south) / steps / 3 * 0.01 * rad;
    smallest = std::min(smallest, area);
    for (int column = 1; column <= 38; ++column) volume += 100 * area;
  }
  EXPECT_NEAR(figure(report, "volume_m3") / volume, 1.0, 1e-9) << report;
  EXPECT_LT(figure(report, "min") / smallest, 1.0) << "line 0, further north, is smaller still";

  // 5 x 5 cells of 10 US survey feet, 100 ft high: 9 inner cells in full.
  shell("cd " + f.dir + " && gdal_create -q -of GTiff -outsize 5 5 -ot Float32 -burn 100 -a_srs EPSG:2229 "
        "-a_ullr 0 50 50 0 feet.tif && gdal_edit.py -units ft feet.tif && gdal_create -q -of GTiff -outsize 5 5 "
        "-ot Byte -burn 1 -a_srs EPSG:2229 -a_ullr 0 50 50 0 feet_zone.tif");
  ASSERT_EQ(run_cli(f.dir, "-c 1 feet.tif feet_zone.tif feet_out.tif").status, 0);
  const double side = 10 * 1200.0 / 3937.0;
  EXPECT_NEAR(figure(f.json("feet_out.json"), "volume_m3"), 9 * 100 * 0.3048 * side * side, 1e-6);
  EXPECT_NE(f.json("feet_out.json").find("\"vertical_unit\": \"ft\", \"vertical_unit_assumed\": false"),
            std::string::npos);
}

TEST(GeoTiff, MasksOfWideCodesAndRastersTheToolCannotPlaceAreToldApart) {
  NEED_GDAL_TOOLS();
  Folder f;
  // Codes above 255 (an Int32 mask): code 70001 is the zone of byte code 1.
  shell("cd " + f.dir + " && gdal_calc.py --quiet -A zone.raw --calc='A+70000' --type=Int32 --outfile=wide.tif");
  ASSERT_EQ(run_cli(f.dir, "-c 1 --dem-unit dm jacksboro_m2.raw zone.raw byte_m2.raw").status, 0);
  ASSERT_EQ(run_cli(f.dir, "-c 70001 --dem-unit dm jacksboro_m2.raw wide.tif wide_m2.raw").status, 0);
  EXPECT_EQ(read_file(f.dir + "/wide_m2.raw"), read_file(f.dir + "/byte_m2.raw"));
  const CliRun absent = run_cli(f.dir, "-c 1 --dem-unit dm jacksboro_m2.raw wide.tif none_m2.raw");
  EXPECT_NE(absent.errors.find("the code 1 selects no cell: the mask " + f.dir + "/wide.tif holds the codes 70000, "
                               "70001, 70002"),
            std::string::npos)
      << absent.errors;

  struct Case {
    const char* make;
    const char* flags;
    const char* said;
  };
  const Case cases[] = {
      {"gdal_translate -q -a_ullr 739900 4055760 759880 4037760 zone.tif off.tif", "-c 1 jacksboro.asc off.tif o.tif",
       "does not lie on the grid of the DEM"},
      {"gdal_translate -q -of VRT zone.tif rot.vrt && sed -i 's|<GeoTransform>.*</GeoTransform>|<GeoTransform>"
       "739890, 90, 5, 4055760, 5, -90</GeoTransform>|' rot.vrt",
       "-c 1 rot.vrt zone.raw o.tif", "has a rotated geotransform, which is not read"},
      {"gdal_translate -q -a_srs EPSG:32615 zone.tif other.tif", "-c 1 f64.tif other.tif o.tif",
       "must be the same"},
      {"gdal_calc.py --quiet -A zone.raw --calc='A+0.5' --type=Float32 --outfile=half.tif",
       "-c 1 jacksboro.asc half.tif o.tif", "holds 0.5 at line 0, column 0: a mask holds whole numbers"},
  };
  f.calc("A/10.0", "Float64", "f64.tif");
  shell("cd " + f.dir + " && gdal_edit.py -a_srs EPSG:32614 f64.tif && gdal_translate -q zone.raw zone.tif && "
        "gdal_edit.py -a_srs EPSG:32614 zone.tif");
  for (const Case& c : cases) {
    shell("cd " + f.dir + " && " + c.make);
    const CliRun run = run_cli(f.dir, c.flags);
    EXPECT_EQ(run.status, 1) << c.flags << run.errors;
    EXPECT_NE(run.errors.find(c.said), std::string::npos) << c.flags << run.errors;
    EXPECT_FALSE(file_exists(f.dir + "/o.tif")) << c.flags;
  }
}

TEST(GeoTiff, TheDialogOffersGeoTiff) {
  NEED_GDAL_TOOLS();
  Folder f;
  f.calc("A/10.0", "Float64", "f64.tif");
  shell("cd " + f.dir + " && gdal_translate -q zone.raw zone.tif");
  const ToolRun run = run_tool(f.base.path(), "demo\nf64\n2\nzone\n2\n1\n0\n0\nres\n2\n");
  ASSERT_EQ(run.status, 0) << run.transcript;
  EXPECT_NE(run.transcript.find("\t\t2 ====> GeoTIFF"), std::string::npos);
  EXPECT_EQ(run.transcript.find("Are these values"), std::string::npos) << "no unit question";
  EXPECT_EQ(figure(f.json("res.json"), "volume_m3"), 5953239180.0);
  EXPECT_TRUE(file_exists(f.dir + "/res.tif"));
}
