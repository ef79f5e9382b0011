// Files pass both ways between the tool and GDAL, a GIS library nobody here
// wrote: the tool's grids and raw results open in GDAL with the same values,
// and the grids and bitmaps GDAL writes load in the tool.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "run_tool.h"

namespace {

bool have_gdal() {
  static const bool found = std::system("command -v gdal_translate >/dev/null 2>&1 && "
                                        "command -v gdalinfo >/dev/null 2>&1 && "
                                        "command -v gdal_calc.py >/dev/null 2>&1") == 0;
  return found;
}

#define NEED_GDAL()                                                                                 \
  if (!have_gdal()) GTEST_SKIP() << "gdal-bin is not installed, so the GDAL interop tests cannot run " \
                                    "(.ci/run installs it)"


// The demo folder, with EHdr headers beside its raw DEM and raw mask so that
// GDAL reads them as rasters.
struct DemoForGdal {
  DemoForGdal() {
    std::filesystem::copy(MESACROP_EXAMPLES "/demo", dir);
    std::filesystem::copy(dir + "/jacksboro_m2.raw", work + "/dem.raw");
    write_file(work + "/dem.hdr",
               "BYTEORDER I\nLAYOUT BIL\nNROWS 200\nNCOLS 222\nNBANDS 1\nNBITS 16\nPIXELTYPE UNSIGNEDINT\n"
               "ULXMAP 739935\nULYMAP 4055715\nXDIM 90\nYDIM 90\n");
    std::filesystem::copy(dir + "/zone.raw", work + "/zone.raw");
    write_file(work + "/zone.hdr", "BYTEORDER I\nLAYOUT BIL\nNROWS 200\nNCOLS 222\nNBANDS 1\nNBITS 8\n");
  }
  // Runs the tool in the demo folder and returns a result file.
  std::string run(const std::string& answers, const std::string& result) {
    const ToolRun r = run_tool(base.path(), answers);
    EXPECT_EQ(r.status, 0) << r.transcript;
    return read_file(dir + "/" + result);
  }
  TempDir base;
  std::string dir = base / "demo";
  std::string work = base.path();
};

std::vector<double> doubles_of(const std::string& bytes) {
  std::vector<double> values(bytes.size() / sizeof(double));
  std::memcpy(values.data(), bytes.data(), values.size() * sizeof(double));
  return values;
}

}  // namespace

TEST(Gdal, OpensTheToolsGridWithTheSameSizeCornerAndDoubles) {
  NEED_GDAL();
  DemoForGdal demo;
  const std::string grid = demo.run("demo\njacksboro\n1\n0\n1\nzone\n1\n1\n0\n1\nres\n0\n739890\n4037760\n", "res.asc");
  const std::string info = shell("gdalinfo " + demo.dir + "/res.asc");
  EXPECT_NE(info.find("Size is 222, 200"), std::string::npos) << info;
  EXPECT_NE(info.find("Origin = (739890.000000000000000,4055760.000000000000000)"), std::string::npos) << info;
  EXPECT_NE(info.find("Pixel Size = (90.000000000000000,-90.000000000000000)"), std::string::npos) << info;

  shell("gdal_translate -q -oo DATATYPE=Float64 -of ENVI " + demo.dir + "/res.asc " + demo.work + "/res64.bin");
  const std::vector<double> gdal_values = doubles_of(read_file(demo.work + "/res64.bin"));
  std::istringstream body(grid.substr(grid.find("-9999.9999\n") + 11));
  std::vector<double> ours;
  for (std::string token; body >> token;) ours.push_back(std::strtod(token.c_str(), nullptr));
  ASSERT_EQ(ours.size(), 200u * 222u);
  ASSERT_EQ(gdal_values.size(), ours.size());
  for (std::size_t k = 0; k < ours.size(); ++k) ASSERT_EQ(gdal_values[k], ours[k]) << "cell " << k;
}

TEST(Gdal, GridsWrittenByGdalGiveTheSameResultAsTheRawDem) {
  NEED_GDAL();
  DemoForGdal demo;
  // The raw DEM in decimetres, code 1, saved in decimetres.
  const std::string from_raw = demo.run("demo\njacksboro\n1\n0\n1\nzone\n1\n1\n0\n1\nres\n1\n0\n", "res_m2.raw");
  const std::string in_metres = demo.work + "/metres.tif";
  shell("gdal_calc.py --quiet -A " + demo.work + "/dem.raw --calc=A/10.0 --type=Float64 --outfile=" + in_metres);
  struct Case {
    const char* name;
    std::string options;
    const char* source;
  };
  const Case cases[] = {
      {"float with NODATA_value", "-a_nodata -9999", "metres.tif"},
      {"float without a nodata line", "-a_nodata none", "metres.tif"},
  };
  for (const Case& c : cases) {
    shell("gdal_translate -q -of AAIGrid " + c.options + " " + demo.work + "/" + c.source + " " + demo.dir + "/g.asc");
    const std::string grid = read_file(demo.dir + "/g.asc");
    EXPECT_EQ(grid.find("NODATA_value") != std::string::npos, c.options == "-a_nodata -9999") << c.name;
    EXPECT_EQ(demo.run("demo\ng\n0\nzone\n1\n1\n0\n1\nres\n1\n0\n1\n", "res_m2.raw"), from_raw) << c.name;

    // The same grid with its corner given by the centre of the corner cell.
    std::string centred = grid;
    centred.replace(centred.find("xllcorner    739890.000000000000"), 32, "xllcenter    739935");
    centred.replace(centred.find("yllcorner    4037760.000000000000"), 33, "yllcenter    4037805");
    write_file(demo.dir + "/g.asc", centred);
    EXPECT_EQ(demo.run("demo\ng\n0\nzone\n1\n1\n0\n1\nres\n1\n0\n1\n", "res_m2.raw"), from_raw) << c.name;
    EXPECT_NE(read_file(demo.dir + "/res_m2.hdr").find("ULXMAP 739935\nULYMAP 4055715\n"), std::string::npos);
  }

  // An integer grid of the stored decimetres is a DEM "in metres" of those
  // numbers: saved in metres it gives back the raw DEM's cells.
  const std::string raw_as_metres =
      demo.run("demo\njacksboro\n1\n0\n0\nzone\n1\n1\n0\n1\nres\n1\n0\n", "res_m2.raw");
  shell("gdal_translate -q -of AAIGrid " + demo.work + "/dem.raw " + demo.dir + "/i.asc");
  EXPECT_EQ(read_file(demo.dir + "/i.asc").find("NODATA"), std::string::npos);
  EXPECT_EQ(demo.run("demo\ni\n0\nzone\n1\n1\n0\n1\nres\n1\n0\n0\n", "res_m2.raw"), raw_as_metres);
}

TEST(Gdal, GridsWithNonSquareCellsAreRefusedNamingDx) {
  NEED_GDAL();
  DemoForGdal demo;
  std::string header = read_file(demo.work + "/dem.hdr");
  header.replace(header.find("YDIM 90"), 7, "YDIM 45");  // cells twice as wide as high
  write_file(demo.work + "/dem.hdr", header);
  shell("gdal_translate -q -of AAIGrid " + demo.work + "/dem.raw " + demo.dir + "/ns.asc");
  ASSERT_NE(read_file(demo.dir + "/ns.asc").find("dx "), std::string::npos);
  const ToolRun r = run_tool(demo.base.path(), "demo\nns\n0\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.transcript.find("ns.asc gives its cell size as \"dx\""), std::string::npos) << r.transcript;
}

TEST(Gdal, BitmapMasksWrittenByGdalAreRead) {
  NEED_GDAL();
  DemoForGdal demo;
  const std::string from_raw_mask = demo.run("demo\njacksboro\n1\n0\n1\nzone\n1\n2\n0\n1\nres\n1\n0\n", "res_m2.raw");
  struct Case {
    const char* name;
    const char* bands;
    std::size_t offset;
  };
  for (const Case& c : {Case{"one band: 8 bits with a palette", "", 1078}, Case{"three grey bands: 24 bits", "-b 1 -b 1 -b 1", 54}}) {
    shell(std::string("gdal_translate -q -of BMP ") + c.bands + " " + demo.work + "/zone.raw " + demo.dir + "/g.bmp");
    const std::string bmp = read_file(demo.dir + "/g.bmp");
    EXPECT_EQ(static_cast<unsigned char>(bmp[10]) | static_cast<unsigned char>(bmp[11]) << 8, static_cast<int>(c.offset))
        << c.name;
    EXPECT_EQ(demo.run("demo\njacksboro\n1\n0\n1\ng\n0\n2\n0\n1\nres\n1\n0\n", "res_m2.raw"), from_raw_mask) << c.name;
  }
}

TEST(Gdal, BitmapsOfOtherLayoutsAreRefusedWithTheBitmapMessage) {
  DemoForGdal demo;
  const Bytes plain = bitmap_bytes(222, 200, 8, Bytes(200 * 222, 1));
  // Run-length encoded 8-bit data, as image editors write paletted images.
  Bytes rle(plain.begin(), plain.begin() + 1078);
  rle[30] = 1;
  for (int line = 0; line < 200; ++line) rle.insert(rle.end(), {222, 1, 0, 0});
  rle.insert(rle.end(), {0, 1});
  // A version 5 header (124 bytes): the palette, then the pixels, further on.
  Bytes v5(plain.begin(), plain.begin() + 54);
  v5[14] = 124;
  v5[10] = 0x8A, v5[11] = 0x04;  // offset 1162 = 14 + 124 + 1024
  v5.resize(14 + 124, 0);
  v5.insert(v5.end(), plain.begin() + 54, plain.end());
  for (const auto& [name, bytes] : {std::pair{"RLE8", rle}, {"V5 header", v5}}) {
    write_bytes(demo.dir + "/odd.bmp", bytes);
    const ToolRun r = run_tool(demo.base.path(), "demo\njacksboro\n1\n0\n1\nodd\n0\n");
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_NE(r.transcript.find("odd.bmp cannot be read as a bitmap: a mask bitmap must be uncompressed, 8 bits per "
                                "pixel with a 256-colour palette, or 24 bits per pixel"),
              std::string::npos)
        << name << r.transcript;
  }
}

TEST(Gdal, OpensRawResultsThroughTheirHeader) {
  NEED_GDAL();
  DemoForGdal demo;
  struct Case {
    const char* name;
    const char* answers;
    const char* result;
    const char* type;
    bool georeferenced;
  };
  const Case cases[] = {
      {"raw DEM, 16 bits", "demo\njacksboro\n1\n0\n1\nzone\n1\n1\n0\n1\nres\n1\n0\n", "res_m2", "Type=UInt16", false},
      {"grid, 32 bits in centimetres", "demo\njacksboro\n0\nzone\n1\n1\n-5\n1\nres\n1\n1\n2\n", "res_m4", "Type=Int32",
       true},
  };
  for (const Case& c : cases) {
    const std::string raster = demo.run(c.answers, std::string(c.result) + ".raw");
    const std::string path = demo.dir + "/" + c.result + ".raw";
    const std::string info = shell("gdalinfo " + path);
    EXPECT_NE(info.find("Driver: EHdr/"), std::string::npos) << c.name << info;
    EXPECT_NE(info.find("Size is 222, 200"), std::string::npos) << c.name;
    EXPECT_NE(info.find(c.type), std::string::npos) << c.name;
    EXPECT_EQ(info.find("Origin = (739890.000000000000000,4055760.000000000000000)") != std::string::npos,
              c.georeferenced)
        << c.name << info;
    shell("gdal_translate -q -of ENVI " + path + " " + demo.work + "/copy.bin");
    EXPECT_EQ(read_file(demo.work + "/copy.bin"), raster) << c.name;  // every value, as GDAL reads it
  }
}

TEST(Gdal, ReadsTheResultsCellsWithoutDataAndCoordinateSystem) {
  NEED_GDAL();
  TempDir base;
  const std::string dir = base / "t";
  std::filesystem::create_directory(dir);
  write_file(dir + "/dem.asc", "ncols 3\nnrows 3\nxllcorner 500000\nyllcorner 4000000\ncellsize 10\n"
                               "NODATA_value -9999\n1 2 3\n4 -9999 6\n7 8 9\n");
  shell("gdalsrsinfo -o wkt_esri --single-line EPSG:32631 > " + dir + "/dem.prj");
  write_bytes(dir + "/zone.raw", Bytes(9, 1));
  write_file(dir + "/zone.txt", "3 3\n");
  for (const char* answers : {"0\n", "1\n1\n0\n"}) {
    const ToolRun r = run_tool(base.path(), std::string("t\ndem\n0\nzone\n1\n1\n0\n0\nres\n") + answers);
    ASSERT_EQ(r.status, 0) << r.transcript;
  }
  for (const char* result : {"res.asc", "res_m4.raw"}) {
    const std::string info = shell("gdalinfo -stats " + dir + "/" + result);
    EXPECT_NE(info.find("UTM zone 31N"), std::string::npos) << result << info;
    EXPECT_NE(info.find("NoData Value="), std::string::npos) << result << info;
    // Eight cells with data, from 1 to 9: the marked one is left out.
    EXPECT_NE(info.find("Minimum=1.000, Maximum=9.000"), std::string::npos) << result << info;
    EXPECT_NE(info.find("STATISTICS_VALID_PERCENT=88.89"), std::string::npos) << result << info;
  }
}
