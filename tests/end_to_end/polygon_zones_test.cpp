// Zones from polygon layers: shares worked out by hand on a 4 x 5 grid of
// 10 m cells (a quarter of four cells, a triangle, a hole, a multipolygon,
// polygons across the DEM's edge, overlapping features, a polygon in
// another coordinate system), a raster zone's outlines against the raster
// zone, a rectangle in degrees against the area of its quadrangle, the
// result's cells, and the usage errors.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>

#include "number_text.h"
#include "run_tool.h"
#include "small_grid.h"

namespace {

// The grid's upper-left corner, in NAD83 / UTM zone 16N (the demo's .prj).
constexpr double kLeft = 739890.0, kTop = 4037800.0;

// Line by line; the last cell has no data.
const char* kCells = "1 2 3 4 5\n6 7 8 9 10\n11 12 13 14 15\n16 17 18 19 -9999\n";

// A ring of points given in cells (x the column, y the line from the top),
// as GeoJSON map coordinates.
std::string ring(std::initializer_list<std::pair<double, double>> cells) {
  std::string out = "[[";
  const auto first = *cells.begin();
  for (const auto& [x, y] : cells) out += shortest_text(kLeft + 10 * x) + "," + shortest_text(kTop - 10 * y) + "],[";
  return out.substr(0, out.size() - 1) + "[" + shortest_text(kLeft + 10 * first.first) + "," + shortest_text(kTop - 10 * first.second) + "]]";
}
std::string square(double x0, double y0, double x1, double y1) {
  return ring({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
}
std::string feature(const std::string& properties, const std::string& geometry) {
  return "{\"type\":\"Feature\",\"properties\":{" + properties + "},\"geometry\":" + geometry + "}";
}
std::string polygon(const std::string& rings) { return "{\"type\":\"Polygon\",\"coordinates\":[" + rings + "]}"; }
std::string layer(const std::string& crs, const std::vector<std::string>& features) {
  std::string out = "{\"type\":\"FeatureCollection\",\"crs\":{\"type\":\"name\",\"properties\":{\"name\":\"" + crs +
                    "\"}},\"features\":[";
  for (std::size_t k = 0; k < features.size(); ++k) out += (k == 0 ? "" : ",") + features[k];
  return out + "]}";
}
constexpr const char* kUtm16 = "urn:ogc:def:crs:EPSG::26916";

struct Folder {
  Folder() {
    std::filesystem::create_directory(dir);
    write_file(dir + "/dem.asc", "ncols 5\nnrows 4\nxllcorner 739890\nyllcorner 4037760\ncellsize 10\n"
                                 "NODATA_value -9999\n" + std::string(kCells));
    std::filesystem::copy_file(MESACROP_EXAMPLES "/demo/jacksboro.prj", dir + "/dem.prj");
  }
  TempDir base;
  std::string dir = base / "p";
};

}  // namespace

TEST(PolygonZones, SharesWorkedByHand) {
  NEED_GDAL_TOOLS();
  const Folder f;
  write_file(f.dir + "/zones.geojson",
             layer(kUtm16,
                   {// 1: a square on the corner of four cells, a quarter of each.
                    feature("\"c\":1", polygon(square(1.5, 0.5, 2.5, 1.5))),
                    // 2: a triangle, half of cell (2, 0).
                    feature("\"c\":2", polygon(ring({{0, 2}, {1, 2}, {0, 3}}))),
                    // 3: cells 2..4 of lines 0..2 but the hole of cell (1, 3).
                    feature("\"c\":3", polygon(square(2, 0, 5, 3) + "," + square(3, 1, 4, 2))),
                    // 4: cells (0, 0) and (3, 3) as one multipolygon.
                    feature("\"c\":4", "{\"type\":\"MultiPolygon\",\"coordinates\":[[" + square(0, 0, 1, 1) + "],[" +
                                           square(3, 3, 4, 4) + "]]}"),
                    // 5: a quarter of cell (0, 0), the rest off the DEM; 6: a
                    // quarter of the cell without data, the rest off the DEM.
                    feature("\"c\":5", polygon(square(-0.5, -0.5, 0.5, 0.5))),
                    feature("\"c\":6", polygon(square(4.5, 3.5, 5.5, 4.5))),
                    // 7: two features that overlap, cells (1, 0) to (1, 2) once;
                    // 8 overlaps them on cell (1, 1).
                    feature("\"c\":7", polygon(square(0, 1, 2, 2))), feature("\"c\":7", polygon(square(1, 1, 3, 2))),
                    feature("\"c\":8", polygon(square(1, 1, 2, 2)))}));
  const CliRun run = run_cli(f.dir, "--table - --zone-field c dem.asc zones.geojson");
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(csv_lines(run.out)[0][3], "partial");
  struct Row {
    const char* cells;
    const char* full;
    const char* partial;
    const char* no_data;
    const char* area;
    const char* outside;
    const char* volume;
    const char* mean;
  };
  const Row expected[] = {
      {"4", "0", "4", "0", "100", "0", "500", "5"},              // (2 + 3 + 7 + 8) x 25
      {"1", "0", "1", "0", "50", "0", "550", "11"},
      {"8", "8", "0", "0", "800", "0", "7200", "9"},             // 3 + 4 + 5 + 8 + 10 + 13 + 14 + 15
      {"2", "2", "0", "0", "200", "0", "2000", "10"},
      {"1", "0", "1", "0", "25", "75", "25", "1"},
      {"1", "0", "1", "1", "0", "100", "0", ""},
      {"3", "3", "0", "0", "300", "0", "2100", "7"},           // (6 + 7 + 8) x 100, once
      {"1", "1", "0", "0", "100", "0", "700", "7"},
  };
  const auto rows = csv_rows(run.out);
  ASSERT_EQ(rows.size(), 8u) << run.out;
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const auto& r = rows[k];
    const Row& e = expected[k];
    EXPECT_EQ(r.at("code"), std::to_string(k + 1));
    EXPECT_EQ(r.at("cells") + " " + r.at("full") + " " + r.at("partial") + " " + r.at("no_data"),
              std::string(e.cells) + " " + e.full + " " + e.partial + " " + e.no_data)
        << "code " << k + 1;
    EXPECT_EQ(r.at("half") + r.at("frame"), "00") << "code " << k + 1;
    EXPECT_NEAR(std::stod(r.at("area_m2")), std::stod(e.area), 1e-9) << "code " << k + 1;
    EXPECT_NEAR(std::stod(r.at("area_outside_m2")), std::stod(e.outside), 1e-9) << "code " << k + 1;
    EXPECT_NEAR(std::stod(r.at("volume_m3")), std::stod(e.volume), 1e-9) << "code " << k + 1;
    if (*e.mean == '\0') {
      EXPECT_EQ(r.count("mean_m"), 0u) << "code " << k + 1;  // an empty last field
    } else {
      EXPECT_NEAR(std::stod(r.at("mean_m")), std::stod(e.mean), 1e-12) << "code " << k + 1;
    }
  }

  // One zone: the same figures; its result keeps the cells at least half
  // covered (--min-share 0.25: the quarters too), the report says so.
  const CliRun one = run_cli(f.dir, "-c 1 --zone-field c --percentiles 50 --report - dem.asc zones.geojson r.asc");
  ASSERT_EQ(one.status, 0) << one.errors;
  for (const char* said : {"\"zone_cells\": {\"all\": 4, \"full\": 0, \"partial\": 4, \"half\": 0,", "\"min_share\": 0.5",
                           "\"zone_area_m2\": 100,", "\"volume_m3\": 500,", "\"area_outside_m2\": 0,",
                           "\"p50_m\": 3,"}) {  // of 2, 3, 7 and 8, each counted once
    EXPECT_NE(one.out.find(said), std::string::npos) << said << "\n" << one.out;
  }
  EXPECT_EQ(read_file(f.dir + "/r.asc").find("2.000000"), std::string::npos);
  ASSERT_EQ(run_cli(f.dir, "-c 1 --zone-field c --min-share 0.25 dem.asc zones.geojson r.asc").status, 0);
  const std::string kept = read_file(f.dir + "/r.asc");
  EXPECT_NE(kept.find("0.000000\t2.000000\t3.000000\t0.000000\t0.000000\t0.000000\t7.000000\t8.000000\t"),
            std::string::npos)
      << kept;
}

TEST(PolygonZones, AnotherCoordinateSystemAndARasterZonesOutlines) {
  NEED_GDAL_TOOLS();
  const Folder f;
  // Cells (1, 1), (1, 2), (2, 1), (2, 2)'s corners in WGS 84 (from NAD83 /
  // UTM zone 16N): transformed back, the same four cells, whole.
  write_file(f.dir + "/wgs84.geojson",
             layer("urn:ogc:def:crs:OGC:1.3:CRS84",
                   {feature("\"c\":1", polygon("[[-84.323031231870,36.455378820613],[-84.322808278362,36.455373816579],"
                                               "[-84.322814473032,36.455193708793],[-84.323037426026,36.455198712795],"
                                               "[-84.323031231870,36.455378820613]]"))}));
  const CliRun run = run_cli(f.dir, "-c 1 --zone-field c --report - dem.asc wgs84.geojson r.asc");
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_NE(run.out.find("\"coordinate_system\": \"WGS 84\", \"transformed_to\": \"NAD83 / UTM zone 16N\""),
            std::string::npos)
      << run.out;
  const auto area = run.out.find("\"zone_area_m2\": ");
  ASSERT_NE(area, std::string::npos);
  EXPECT_NEAR(std::stod(run.out.substr(area + 16)), 400.0, 1e-3) << run.out;
  // (Slivers of a millionth of a metre touch the cells around: the result
  // keeps the four.)
  EXPECT_NE(read_file(f.dir + "/r.asc").find("0.000000\t0.000000\t0.000000\t0.000000\t0.000000\t0.000000\t7.000000\t"
                                            "8.000000\t0.000000\t0.000000\t0.000000\t12.000000\t13.000000\t0.000000\t"),
            std::string::npos);

  // The demo's zone 1, made polygons from its cells' outlines: each of its
  // cells covered whole, no other cell; the same sums as --edge full.
  TempDir demo_base;
  const std::string demo = demo_base / "demo";
  demo_for_gdal(demo);
  shell("cd " + demo + " && cp jacksboro.prj zone.prj && gdal_polygonize.py -q zone.raw -f GPKG zone.gpkg zone DN");
  const CliRun cells = run_cli(demo, "--table - --codes 1 --zone-field DN jacksboro.asc zone.gpkg");
  const CliRun raster = run_cli(demo, "--table - --codes 1 --edge full jacksboro.asc zone.raw");
  ASSERT_EQ(cells.status, 0) << cells.errors;
  const auto p = csv_rows(cells.out), r = csv_rows(raster.out);
  ASSERT_EQ(p.size(), 1u);
  ASSERT_EQ(r.size(), 1u) << raster.errors;
  for (const char* column : {"cells", "full", "no_data", "area_m2", "volume_m3", "min_m", "max_m"}) {
    EXPECT_EQ(p[0].at(column), r[0].at(column)) << column;
  }
  EXPECT_EQ(p[0].at("partial"), "0");
}

TEST(PolygonZones, ARectangleInDegreesHasTheAreaOfItsQuadrangle) {
  NEED_GDAL_TOOLS();
  TempDir base;
  const std::string dir = base / "d";
  std::filesystem::create_directory(dir);
  shell("cd " + dir + " && gdal_create -q -of GTiff -outsize 60 50 -ot Float32 -burn 100 -a_srs EPSG:4326 "
        "-a_ullr 10 60 10.6 59.5 dem.tif");
  // From 10.123 to 10.456 east, 59.6123 to 59.8765 north: lines and columns
  // cut anywhere.
  const double west = 10.123, east = 10.456, south = 59.6123, north = 59.8765;
  write_file(dir + "/box.geojson",
             layer("urn:ogc:def:crs:OGC:1.3:CRS84",
                   {feature("\"c\":1", polygon("[[" + shortest_text(west) + "," + shortest_text(south) + "],[" + shortest_text(east) + "," +
                                               shortest_text(south) + "],[" + shortest_text(east) + "," + shortest_text(north) + "],[" +
                                               shortest_text(west) + "," + shortest_text(north) + "],[" + shortest_text(west) + "," +
                                               shortest_text(south) + "]]"))}));
  const CliRun run = run_cli(dir, "--table - --zone-field c dem.tif box.geojson");
  ASSERT_EQ(run.status, 0) << run.errors;
  // The quadrangle on GRS 80's sibling WGS 84: a^2 (1 - e^2) / 2 x the
  // longitudes' span x the authalic q between the latitudes.
  const double a = 6378137.0, f_inv = 298.257223563, e2 = (2.0 - 1.0 / f_inv) / f_inv, e = std::sqrt(e2);
  auto q = [&](double degrees) {
    const double s = std::sin(degrees * std::numbers::pi / 180.0);
    return (1.0 - e2) * (s / (1.0 - e2 * s * s) + std::log((1.0 + e * s) / (1.0 - e * s)) / (2.0 * e));
  };
  const double expected = a * a / 2.0 * (east - west) * std::numbers::pi / 180.0 * (q(north) - q(south));
  const auto rows = csv_rows(run.out);
  ASSERT_EQ(rows.size(), 1u);
  // Each cell's covered share weighs its ellipsoidal area whole: along the
  // lines the rectangle cuts, the area's change with latitude within a cell
  // is not followed (a few parts in ten million here).
  EXPECT_NEAR(std::stod(rows[0].at("area_m2")), expected, 1e-6 * expected);
  EXPECT_NEAR(std::stod(rows[0].at("volume_m3")), 100.0 * std::stod(rows[0].at("area_m2")), 1e-6 * expected);
  EXPECT_EQ(rows[0].at("area_outside_m2"), "0");
}

TEST(PolygonZones, UsageErrors) {
  NEED_GDAL_TOOLS();
  const Folder f;
  write_file(f.dir + "/zones.geojson",
             layer(kUtm16, {feature("\"c\":1,\"name\":\"a\"", polygon(square(0, 0, 1, 1)))}));
  write_file(f.dir + "/points.geojson",
             layer(kUtm16, {feature("\"c\":1", "{\"type\":\"Point\",\"coordinates\":[739895,4037795]}")}));
  write_file(f.dir + "/mixed.geojson",
             layer(kUtm16, {feature("\"c\":1", polygon(square(0, 0, 1, 1))),
                            feature("\"c\":2", "{\"type\":\"Point\",\"coordinates\":[739895,4037795]}")}));
  shell("cd " + f.dir + " && ogr2ogr -f GPKG two.gpkg zones.geojson -nln a && ogr2ogr -update two.gpkg zones.geojson -nln b");
  write_file(f.dir + "/bare.asc", read_file(f.dir + "/dem.asc"));
  write_file(f.dir + "/zone.raw", std::string(20, '\1'));
  write_file(f.dir + "/zone.txt", "4 5\n");
  struct Case {
    const char* flags;
    int status;
    const char* said;
  };
  const Case cases[] = {
      {"-c 1 --zone-field nope dem.asc zones.geojson r.asc", 2, "the layer zones has no field nope"},
      {"-c 1 --zone-field name dem.asc zones.geojson r.asc", 2, "the field name is not a whole number (String)"},
      {"-c 1 dem.asc points.geojson r.asc", 2, "holds Point geometries, not polygons"},
      {"-c 1 --zone-field c dem.asc mixed.geojson r.asc", 1, "feature 1 is a Point, not a polygon"},
      {"-c 1 --zone-field c --min-share 0 dem.asc zones.geojson r.asc", 2, "--min-share takes a share above 0"},
      {"-c 1 --zone-field c --edge full dem.asc zones.geojson r.asc", 2, "--edge is for raster masks"},
      {"-c 1 --layer x dem.asc zone.raw r.asc", 2, "--layer is for a mask of polygons"},
      {"-c 1 dem.asc two.gpkg r.asc", 2, "choose one of its layers with --layer: a, b"},
      {"-c 1 --layer c dem.asc two.gpkg r.asc", 2, "it has no layer c (its layers: a, b)"},
      {"-c 1 bare.asc zones.geojson r.asc", 1, "the DEM %/bare.asc has no coordinate system to place them on"},
      {"--table - --zone-field c --min-share 0.3 dem.asc zones.geojson", 2, "--min-share is for a RESULT"},
  };
  for (const Case& c : cases) {
    const CliRun run = run_cli(f.dir, c.flags);
    EXPECT_EQ(run.status, c.status) << c.flags << "\n" << run.errors;
    EXPECT_NE(run.errors.find(in_folder(c.said, f.dir)), std::string::npos) << c.flags << "\n" << run.errors;
    EXPECT_FALSE(file_exists(f.dir + "/r.asc")) << c.flags;
  }
  // The layer named is read; a ring that crosses itself is mended, a
  // feature without geometry left out, each said.
  EXPECT_EQ(run_cli(f.dir, "--table - --layer b dem.asc two.gpkg").status, 0);
  write_file(f.dir + "/odd.geojson",
             layer(kUtm16, {feature("\"c\":1", polygon(ring({{0, 0}, {2, 2}, {2, 0}, {0, 2}}))),
                            feature("\"c\":2", "null")}));
  const CliRun odd = run_cli(f.dir, "--table - --zone-field c dem.asc odd.geojson");
  ASSERT_EQ(odd.status, 0) << odd.errors;
  EXPECT_NE(odd.errors.find("feature 0 is not a valid polygon (a ring crosses itself, or touches another): mended"),
            std::string::npos)
      << odd.errors;
  EXPECT_NE(odd.errors.find("feature 1 has no geometry: left out"), std::string::npos) << odd.errors;
  const auto rows = csv_rows(odd.out);
  ASSERT_EQ(rows.size(), 1u) << odd.out;
  EXPECT_EQ(rows[0].at("area_m2"), "200");  // its two triangles, of a cell's area each
}
