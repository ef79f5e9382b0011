// What GDAL rasters may do to a run: read only local files, give their
// altitudes in the units, scales and bands they declare, stop on cells and
// geotransforms no DEM has, and get GeoTIFF results that keep what a GIS
// needs. The rasters are made with GDAL's own tools.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/wait.h>
#include <sys/socket.h>
#include <unistd.h>

#include "files/library_raster.h"
#include "run_tool.h"

namespace {

// The demo DEM in metres (dem.tif, Float32) and its zones (zone.tif), in
// UTM zone 16N, made from the raw files with headers GDAL reads.
struct Rasters {
  Rasters() {
    demo_for_gdal(dir);
    make("gdal_calc.py --quiet -A jacksboro_m2.raw --calc='A/10.0' --type=Float32 --outfile=dem.tif && "
         "gdal_translate -q -a_srs EPSG:26916 zone.raw zone.tif");
  }
  void make(const std::string& commands) { shell("cd " + dir + " && " + commands); }
  CliRun run(const std::string& flags) { return run_cli(dir, flags); }
  std::string file(const std::string& name) { return read_file(dir + "/" + name); }
  TempDir base;
  std::string dir = base / "demo";
};

// A number of a JSON report, by its key.
double figure(const std::string& json, const std::string& key) {
  const std::size_t at = json.find("\"" + key + "\": ");
  return at == std::string::npos ? NAN : std::strtod(json.c_str() + at + key.size() + 4, nullptr);
}

// The zone's lowest or highest altitude in a report.
double altitude(const std::string& json, const std::string& key) {
  return figure(json.substr(json.find("\"altitude_m\"")), key);
}

constexpr double kVolume = 5953239180.148315;  // zone 1 of dem.tif: Float32 metres

}  // namespace

TEST(GdalDoor, RastersThatReadBeyondTheirOwnFilesAreRefused) {
  NEED_GDAL_TOOLS();
  Rasters r;
  // A listener on the loopback: a source that reaches it would connect.
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  const std::string port = std::to_string(ntohs(address.sin_port));
  auto vrt = [](const std::string& band) {
    return "<VRTDataset rasterXSize=\"222\" rasterYSize=\"200\"><GeoTransform>739890, 90, 0, 4055760, 0, -90"
           "</GeoTransform>" + band + "</VRTDataset>";
  };
  auto source = [&](const std::string& name, const char* relative = "0") {
    return vrt("<VRTRasterBand dataType=\"Float32\" band=\"1\"><SimpleSource><SourceFilename relativeToVRT=\"" +
               std::string(relative) + "\">" + name + "</SourceFilename><SourceBand>1</SourceBand></SimpleSource>"
               "</VRTRasterBand>");
  };
  write_file(r.dir + "/curl.tif", source("/vsicurl/http://127.0.0.1:" + port + "/dem.tif"));
  write_file(r.dir + "/memory.tif", source("MEM:::DATAPOINTER=0x400000,PIXELS=222,LINES=200,DATATYPE=Byte"));
  write_file(r.dir + "/raw.tif", vrt("<VRTRasterBand dataType=\"Byte\" band=\"1\" subClass=\"VRTRawRasterBand\">"
                                     "<SourceFilename relativeToVRT=\"0\">/etc/passwd</SourceFilename>"
                                     "</VRTRasterBand>"));
  write_file(r.dir + "/nested.tif", source("raw.tif", "1"));
  write_file(r.dir + "/stdin.tif", source("/vsistdin/"));
  r.make("ogr2ogr -q -f GPKG zones.gpkg /vsistdin/ <<'EOF'\n{\"type\": \"FeatureCollection\", \"features\": "
         "[{\"type\": \"Feature\", \"properties\": {\"code\": 1}, \"geometry\": {\"type\": \"Polygon\", "
         "\"coordinates\": [[[740000, 4040000], [745000, 4040000], [745000, 4045000], [740000, 4040000]]]}}]}\nEOF");
  struct Case {
    const char* flags;
    const char* said;
  };
  const Case cases[] = {
      {"-c 1 curl.tif zone.tif o.tif", "is not a local file: mesacrop reads local files only"},
      {"-c 1 memory.tif zone.tif o.tif", "its source MEM:::DATAPOINTER=0x400000"},
      {"-c 1 raw.tif zone.tif o.tif", "it reads a file as raw bytes (VRTRawRasterBand)"},
      {"-c 1 nested.tif zone.tif o.tif", "it reads a file as raw bytes (VRTRawRasterBand)"},
      {"-c 1 stdin.tif zone.tif o.tif", "its source /vsistdin/ is not a local file"},
      {"-c 1 dem.tif zones.gpkg o.tif", "feature 1 cannot be transformed from WGS 84 to the DEM's NAD83 / UTM zone 16N"},
  };
  for (const Case& c : cases) {
    const CliRun run = r.run(c.flags);
    const std::string said = in_folder(c.said, r.dir);
    EXPECT_EQ(run.status, 1) << c.flags << run.errors;
    EXPECT_NE(run.errors.find(said), std::string::npos) << c.flags << "\n" << run.errors;
    EXPECT_FALSE(file_exists(r.dir + "/o.tif")) << c.flags;
  }
  // A polygon layer whose source is a database on the network.
  write_file(r.dir + "/pg.vrt", "<OGRVRTDataSource><OGRVRTLayer name=\"a\"><SrcDataSource>PG:host=127.0.0.1 port=" +
                                    port + " dbname=x</SrcDataSource></OGRVRTLayer></OGRVRTDataSource>");
  const CliRun pg = r.run("-c 1 dem.tif pg.vrt o.tif");
  EXPECT_EQ(pg.status, 1) << pg.errors;
  EXPECT_NE(pg.errors.find("Failed to open datasource"), std::string::npos) << pg.errors;
  EXPECT_FALSE(file_exists(r.dir + "/o.tif"));
  EXPECT_LT(accept(listener, nullptr, nullptr), 0) << "a source reached the network";
  close(listener);
}

TEST(GdalDoor, AltitudesInTheUnitScaleAndBandTheRasterDeclares) {
  NEED_GDAL_TOOLS();
  Rasters r;
  // The same altitudes as decimetres, centimetres with a scale, feet, three bands.
  r.make("gdal_calc.py --quiet -A jacksboro_m2.raw --calc='A' --type=Int16 --outfile=dm.tif && "
         "gdal_translate -q dm.tif scaled.tif && gdal_edit.py -scale 0.1 scaled.tif && "
         "gdal_translate -q dm.tif named.tif && gdal_edit.py -units dm named.tif && "
         "gdal_translate -q dm.tif unknown.tif && gdal_edit.py -units furlong unknown.tif && "
         "gdal_calc.py --quiet -A dem.tif --calc='A/0.3048' --type=Float64 --outfile=feet.tif && "
         "gdal_translate -q -a_srs EPSG:2276 feet.tif texas.tif && gdal_translate -q -a_srs EPSG:2276 zone.tif "
         "texas_zone.tif && gdal_calc.py --quiet -A dem.tif --calc='A*2' --type=Float32 --outfile=twice.tif && "
         "gdal_merge.py -q -separate -o bands.tif dem.tif twice.tif dem.tif");
  struct Case {
    const char* flags;
    int status;
    double volume;     // of the report, when the run goes through
    const char* said;  // on standard error
  };
  const Case cases[] = {
      {"-c 1 scaled.tif zone.tif o.tif", 0, 5953239180.0, ""},
      {"-c 1 named.tif zone.tif o.tif", 0, 5953239180.0, ""},
      {"-c 1 --dem-unit dm dm.tif zone.tif o.tif", 0, 5953239180.0, ""},
      {"-c 1 --dem-unit centimetres unknown.tif zone.tif o.tif", 0, 595323918.0, ""},
      {"-c 1 unknown.tif zone.tif o.tif", 2, NAN, "gives its altitudes in \"furlong\", a unit mesacrop does not know"},
      {"-c 1 texas.tif texas_zone.tif o.tif", 2, NAN,
       "is in US survey foot: give the altitudes' unit with --dem-unit m, dm, cm, mm, ft or us-ft (us-ft is likely)"},
      {"-c 1 bands.tif zone.tif o.tif", 0, kVolume, "has 3 bands: band 1 is read (--band N reads another)"},
      {"-c 1 --band 2 bands.tif zone.tif o.tif", 0, 2 * kVolume, ""},
      {"-c 1 --band 4 bands.tif zone.tif o.tif", 1, NAN, "cannot be read (it has 3 bands, and no band 4)"},
      {"-c 1 --band 2 jacksboro.asc zone.tif o.tif", 2, NAN, "--band is for a DEM read through GDAL"},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(r.dir + "/o.json");
    const CliRun run = r.run(c.flags);
    EXPECT_EQ(run.status, c.status) << c.flags << run.errors;
    EXPECT_NE(run.errors.find(c.said), std::string::npos) << c.flags << "\n" << run.errors;
    if (!std::isnan(c.volume)) {
      EXPECT_DOUBLE_EQ(figure(r.file("o.json"), "volume_m3"), c.volume) << c.flags;
    }
  }
  // A feet DEM's GeoTIFF holds metres, says so, and a no-data value its cells hold.
  ASSERT_EQ(r.run("-c 1 --dem-unit ft texas.tif texas_zone.tif o.tif").status, 0);
  const std::string info = shell("gdalinfo " + r.dir + "/o.tif");
  EXPECT_NE(info.find("Unit Type: metre"), std::string::npos) << info;
  EXPECT_NE(info.find("NoData Value=-9999"), std::string::npos) << info;
  EXPECT_NE(r.file("o.json").find("\"no_data_value\": -9999,"), std::string::npos) << r.file("o.json");
}

TEST(GdalDoor, CellsAndGeotransformsNoDemHasStopTheRun) {
  NEED_GDAL_TOOLS();
  Rasters r;
  r.make("gdal_calc.py --quiet -A dem.tif --calc='where(A>800, A, nan)' --type=Float32 --outfile=nan.tif && "
         "gdal_edit.py -unsetnodata nan.tif && gdal_translate -q -a_nodata nan nan.tif nan_nodata.tif && "
         "gdal_translate -q -a_srs EPSG:4326 dem.tif labelled.tif && gdal_translate -q -a_srs EPSG:4326 zone.tif "
         "labelled_zone.tif && gdal_translate -q -a_ullr 0 1e300 2.22e302 0 dem.tif huge.tif && "
         "gdal_translate -q -a_ullr 0 1e300 2.22e302 0 zone.tif huge_zone.tif && "
         "gdal_create -q -of GTiff -outsize 222 200 -ot Float32 -burn 100 -a_ullr 10 60 10.222 59.8 degrees.tif && "
         "gdal_create -q -of GTiff -outsize 222 200 -ot Byte -burn 1 -a_ullr 10 60 10.222 59.8 degrees_zone.tif");
  struct Case {
    const char* flags;
    int status;
    const char* said;
  };
  const Case cases[] = {
      {"-c 1 nan.tif zone.tif o.tif", 1, "The DEM %/nan.tif holds nan at line 0, column 0, which is not a finite number"},
      {"-c 1 nan_nodata.tif zone.tif o.tif", 0, ""},
      {"-c 1 labelled.tif labelled_zone.tif o.tif", 1, "places it from latitude 4055760 to 4037760"},
      {"-c 1 huge.tif huge_zone.tif o.tif", 1, "which no place has"},
      {"-c 1 -a 1e39 dem.tif zone.tif o.tif", 1, "The result holds 1e+39, beyond what a GeoTIFF's Float32 cells hold"},
      {"-c 1 degrees.tif degrees_zone.tif o.tif", 0, "look like degrees"},
  };
  for (const Case& c : cases) {
    const CliRun run = r.run(c.flags);
    const std::string said = in_folder(c.said, r.dir);
    EXPECT_EQ(run.status, c.status) << c.flags << run.errors;
    EXPECT_NE(run.errors.find(said), std::string::npos) << c.flags << "\n" << run.errors;
    EXPECT_EQ(file_exists(r.dir + "/o.tif"), c.status == 0 && std::string(c.flags).find("o.tif") != std::string::npos)
        << c.flags;
    std::filesystem::remove(r.dir + "/o.tif");
  }
  // The dialog warns of degrees too.
  r.make("cp degrees.tif deg.tif && cp degrees_zone.tif deg_zone.tif");
  const ToolRun dialog = run_tool(r.base.path(), "demo\ndeg\n2\ndeg_zone\n2\n1\n0\n0\nres\n2\n");
  EXPECT_EQ(dialog.status, 0) << dialog.transcript;
  EXPECT_NE(dialog.transcript.find("look like degrees"), std::string::npos) << dialog.transcript;
}

TEST(GdalDoor, MaskBandsSignedBytesAndCodesOfEveryType) {
  NEED_GDAL_TOOLS();
  Rasters r;
  // Cells above 950 m valid by a mask band (.msk); signed bytes from a raw
  // file with its header; masks of reals and of 32-bit codes.
  r.make("gdal_calc.py --quiet -A dem.tif --calc='(A>950)*255' --type=Float32 --outfile=valid.tif && "
         "gdal_merge.py -q -separate -o two.tif dem.tif valid.tif && gdal_translate -q -b 1 -mask 2 two.tif masked.tif && "
         "gdal_calc.py --quiet -A zone.tif --calc='A' --type=Float32 --outfile=real.tif && "
         "gdal_calc.py --quiet -A zone.tif --calc='A+4294967290' --type=UInt32 --outfile=wide.tif");
  std::string bytes(200 * 222, '\0');
  for (std::size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<char>(k % 7 == 0 ? -5 : 3);
  write_file(r.dir + "/signed.bil", bytes);
  write_file(r.dir + "/signed.hdr", "BYTEORDER I\nLAYOUT BIL\nNROWS 200\nNCOLS 222\nNBANDS 1\nNBITS 8\n"
                                    "PIXELTYPE SIGNEDINT\nULXMAP 739935\nULYMAP 4055715\nXDIM 90\nYDIM 90\n");
  ASSERT_EQ(r.run("-c 1 dem.tif zone.tif byte.tif").status, 0);
  const CliRun masked = r.run("-c 1 masked.tif zone.tif o.tif");
  EXPECT_EQ(masked.status, 0) << masked.errors;
  const std::string zone = r.file("zone.raw"), dem = r.file("o.json");
  EXPECT_GT(figure(dem, "no_data"), 0);
  EXPECT_NE(masked.errors.find("have no data (the DEM's mask band)"), std::string::npos) << masked.errors;
  EXPECT_LT(figure(dem, "volume_m3"), kVolume);
  EXPECT_GT(altitude(dem, "min"), 950);

  const CliRun signed_run = r.run("-c 1 signed.bil zone.tif s.tif");
  EXPECT_EQ(signed_run.status, 0) << signed_run.errors;
  EXPECT_EQ(altitude(r.file("s.json"), "min"), -5);
  EXPECT_EQ(altitude(r.file("s.json"), "max"), 3);

  for (const char* flags : {"-c 1 dem.tif real.tif o.tif", "-c 4294967291 dem.tif wide.tif o.tif"}) {
    const CliRun run = r.run(flags);
    EXPECT_EQ(run.status, 0) << flags << run.errors;
    EXPECT_EQ(figure(r.file("o.json"), "volume_m3"), figure(r.file("byte.json"), "volume_m3")) << flags;
  }
}

TEST(GdalDoor, GeoTiffResultsKeepTheirCoordinateSystemAndLoseTheirOldSidecars) {
  NEED_GDAL_TOOLS();
  Rasters r;
  // Equal Earth: GeoTIFF keys cannot hold it, GDAL keeps it in an .aux.xml.
  r.make("gdal_translate -q -a_srs '+proj=eqearth +datum=WGS84' dem.tif ee.tif && "
         "gdal_translate -q -a_srs '+proj=eqearth +datum=WGS84' zone.tif ee_zone.tif");
  CliRun run = r.run("-c 1 ee.tif ee_zone.tif ee_out.tif");
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_NE(shell("gdalinfo " + r.dir + "/ee_out.tif").find("Equal Earth"), std::string::npos);
  EXPECT_NE(r.file("ee_out.json").find("\"files\": [\"ee_out.tif\", \"ee_out.tif.aux.xml\", \"ee_out.json\"]"),
            std::string::npos)
      << r.file("ee_out.json");
  EXPECT_TRUE(temporaries_in(r.dir).empty());

  // Statistics a GIS computed on an earlier result go with it.
  ASSERT_EQ(r.run("-c 1 dem.tif zone.tif res.tif").status, 0);
  shell("gdalinfo -stats " + r.dir + "/res.tif");
  ASSERT_TRUE(file_exists(r.dir + "/res.tif.aux.xml"));
  ASSERT_EQ(r.run("-c 2 dem.tif zone.tif res.tif").status, 0);
  EXPECT_FALSE(file_exists(r.dir + "/res.tif.aux.xml"));

  // The hypsometric value that is the no-data value is said.
  r.make("gdal_translate -q -a_nodata 0 dem.tif zero.tif");
  run = r.run("-c 1 zero.tif zone.tif z.tif");
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_NE(run.errors.find("the cells outside the zone get 0, which is also the result's no-data value"),
            std::string::npos)
      << run.errors;
}

TEST(GdalDoor, WithoutProjsDataNoRasterOrLayerIsOpened) {
  NEED_GDAL_TOOLS();
  Rasters r;
  // A DEM in degrees would otherwise pass for one without coordinate system.
  r.make("gdal_translate -q -a_srs EPSG:4326 -a_ullr -97.5 33.3 -97.3 33.12 dem.tif degrees.tif");
  const char* had = std::getenv("PROJ_DATA");
  const std::string kept = had != nullptr ? had : "";
  setenv("PROJ_DATA", (r.base / "nowhere").c_str(), 1);
  for (const char* flags : {"-c 1 degrees.tif zone.tif o.tif", "--table - dem.tif zone.tif"}) {
    const CliRun run = r.run(flags);
    EXPECT_EQ(run.status, 1) << flags;
    EXPECT_NE(run.errors.find("(PROJ's data cannot be found, so that no coordinate system can be read: "),
              std::string::npos)
        << flags << "\n" << run.errors;
  }
  if (had != nullptr) {
    setenv("PROJ_DATA", kept.c_str(), 1);
  } else {
    unsetenv("PROJ_DATA");
  }
  EXPECT_FALSE(file_exists(r.dir + "/o.tif"));
}

TEST(GdalDoor, AFailedGeoTiffCostsNoMoreDiskThanItWrote) {
  NEED_GDAL_TOOLS();
  Rasters r;
  // 138 bytes declaring 10^6 x 10^6 cells in one strip that is not there.
  auto tiff = [](int bits, int format) {
    std::string b = std::string("II*\0", 4) + std::string("\x0c\0\0\0\0\0\0\0", 8);
    auto u16 = [&](unsigned v) { b += static_cast<char>(v & 0xff), b += static_cast<char>(v >> 8); };
    auto u32 = [&](unsigned v) { u16(v & 0xffff), u16(v >> 16); };
    const unsigned entries[][3] = {{256, 4, 1000000}, {257, 4, 1000000}, {258, 3, static_cast<unsigned>(bits)},
                                   {259, 3, 1}, {262, 3, 1}, {273, 4, 8}, {277, 3, 1}, {278, 4, 1000000},
                                   {279, 4, 4}, {339, 3, static_cast<unsigned>(format)}};
    u16(10);
    for (const auto& e : entries) {
      u16(e[0]), u16(e[1]), u32(1);
      if (e[1] == 3) u16(e[2]), u16(0); else u32(e[2]);
    }
    u32(0);
    return b;
  };
  write_file(r.dir + "/huge.tif", tiff(32, 3));
  write_file(r.dir + "/huge_zone.tif", tiff(8, 1));
  // Every byte the run writes, counted by strace: GDAL would fill the
  // GeoTIFF's 15 million empty tiles, 16 GB, as it closes the file.
  if (std::system("command -v strace >/dev/null") != 0) GTEST_SKIP() << "strace is missing (.ci/run installs it)";
  const std::string trace = r.base / "trace";
  const int status =
      std::system(("cd " + r.dir + " && timeout 120 strace -f -qq -e trace=write,pwrite64 -e signal=none -o " + trace +
                   " " MESACROP_BINARY " -c 1 --pixel-size 1 huge.tif huge_zone.tif o.tif 2>" + r.base / "errors")
                      .c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  EXPECT_NE(read_file(r.base / "errors").find("could not be read at line 0"), std::string::npos)
      << read_file(r.base / "errors");
  std::istringstream lines(read_file(trace));
  double written = 0;
  for (std::string line; std::getline(lines, line);) {
    const std::size_t equals = line.rfind(" = ");
    if (equals != std::string::npos) written += std::max(0.0, std::strtod(line.c_str() + equals + 3, nullptr));
  }
  EXPECT_LT(written, 1e6);
  EXPECT_TRUE(temporaries_in(r.dir).empty());
}
