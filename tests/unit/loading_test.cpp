// The sources of the inputs as the steps of a run open and load them: the
// files of a temporary folder, scripted answers for the dialog's steps. The
// cells are read back the way every later step reads them: in bands.
#include <gtest/gtest.h>

#include <sstream>

#include "stop_of.h"
#include "files/input_file.h"
#include "formats/registry.h"
#include "image.h"
#include "raster/bands.h"
#include "run.h"
#include "alps_folder.h"
#include "dialog/dialog.h"
#include "work/work.h"
#include "test_files.h"

namespace {

struct Step {
  explicit Step(const std::string& answers = "") : in(answers) {}
  std::istringstream in;
  std::ostringstream out;
  Console con{in, out, false};
};

const PassProgress kNoProgress = [](const char*, int, int) {};

// A raw DEM of one line with its descriptor, loaded with the unit chosen,
// and a raw mask of ones beside it; its stored range.
StoredRange load_raw(Run& run, const TempDir& dir, const Bytes& bytes, int itype, int cols, int unit,
                     std::string* transcript = nullptr) {
  DemChoice& dem = run.job.dem;
  dem.layout = DemLayout::raw;
  dem.itype = itype;
  dem.unit = unit;
  dem.path = dir / (itype == 0 ? "dem_m2.raw" : "dem_m4.raw");
  write_bytes(dem.path, bytes);
  write_file(beside(dem.path, ".txt"), "1\n" + std::to_string(cols) + "\n2\n0\n0\n10\n");
  run.job.mask.layout = MaskLayout::raw;
  run.job.mask.path = dir / "zone.raw";
  write_bytes(run.job.mask.path, Bytes(static_cast<std::size_t>(cols), 1));
  write_file(dir / "zone.txt", "1 " + std::to_string(cols) + "\n");
  std::ostringstream notes;
  run.dem = open_dem(dem);
  const StoredRange range = *run.dem->stored_range(dem, notes);
  run.dem->load(dem, notes, kNoProgress);
  load_mask(run, notes);
  if (transcript != nullptr) *transcript = notes.str();
  return range;
}

// Every altitude of the DEM as the passes see it, line 0 first.
std::vector<double> altitudes(Run& run) {
  std::vector<double> cells;
  for_each_band(*run.dem, nullptr, *run.mask, [&](const Band& band) {
    for (int k = 0; k < band.count; ++k) cells.insert(cells.end(), band.altitude[k], band.altitude[k] + band.width);
  });
  return cells;
}

}  // namespace

TEST(DemLoading, UnitsDivideTheRawValues) {
  TempDir dir;
  struct Case {
    Bytes bytes;
    int itype;
    int unit;
    double expected;
  };
  for (const Case& c : {Case{le16({12345}), 0, 2, 123.45}, Case{le16({12345}), 0, 3, 12.345},
                        Case{le16({0xFFFF}), 0, 0, 65535.0}, Case{le32({-1}), 1, 1, -0.1},
                        Case{le16({29}), 0, 2, 0.29}}) {
    ::Run run;
    load_raw(run, dir, c.bytes, c.itype, 1, c.unit);
    EXPECT_EQ(altitudes(run), std::vector<double>{c.expected}) << c.unit;
  }
}

TEST(DemLoading, ReportsTheTrueExtremes) {
  TempDir dir;
  struct Case {
    Bytes bytes;
    int itype;
    int mind, maxd;
  };
  for (const Case& c : {Case{le32({2000000, 1500000, 3000000}), 1, 1500000, 3000000},
                        Case{le32({-5, -40, -7}), 1, -40, -5}, Case{le16({7, 65535, 3}), 0, 3, 65535}}) {
    ::Run run;
    const StoredRange range = load_raw(run, dir, c.bytes, c.itype, 3, 0);
    EXPECT_EQ(range.low, c.mind);
    EXPECT_EQ(range.high, c.maxd);
  }
}

TEST(DemLoading, UnitQuestionAskedAgainAboveThreeAndBelowZero) {
  TempDir base;
  Alps alps(base);
  ::Run run;
  Step step("alps mnt 1 0 4 -1 1 zone 1");
  opening(run, step.con, base.path() + "/");
  EXPECT_EQ(run.dem_facts().stored_per_metre, 10.0);
  EXPECT_EQ(occurrences(step.out.str(), "Are these values"), 3);
  EXPECT_NE(step.out.str().find("Min = 10000\n\t\tMax = 10550 "), std::string::npos) << step.out.str();
}

TEST(DemLoading, ShortFileStopsLongFileWarns) {
  TempDir dir;
  ::Run short_dem;
  const std::string message = stop_of([&] { load_raw(short_dem, dir, le16({1, 2}), 0, 3, 0); });
  EXPECT_NE(message.find("dem_m2.raw"), std::string::npos) << message;
  EXPECT_NE(message.find("need 6 bytes, it holds 4"), std::string::npos) << message;

  std::string transcript;
  ::Run run;
  load_raw(run, dir, le16({1, 2, 3, 4}), 0, 3, 0, &transcript);
  EXPECT_NE(transcript.find("holds 2 bytes more"), std::string::npos) << transcript;
  EXPECT_EQ(altitudes(run), (std::vector<double>{1, 2, 3}));
}

TEST(DemLoading, GridAnnouncingMoreCellsThanItsFileHoldsStopsBeforeReadingThem) {
  TempDir dir;
  ::Run run;
  run.job.dem.path = dir / "big.asc";
  write_file(run.job.dem.path, "ncols 100000\nnrows 100000\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 2 3\n");
  Step step;
  const std::string message = stop_of([&] { load_dem(run, step.out, kNoProgress); });
  EXPECT_NE(message.find("big.asc announces 100000 lines x 100000 columns"), std::string::npos) << message;
}

TEST(DemLoading, GridCellsAreReadBackFromTheSpillFileOrTheText) {
  TempDir dir;
  for (const bool spill : {true, false}) {
    ::Run run;
    run.job.dem.path = dir / "g.asc";
    run.job.mask.layout = MaskLayout::raw;
    run.job.mask.path = dir / "zone.raw";
    write_bytes(run.job.mask.path, Bytes(6, 1));
    write_file(dir / "zone.txt", "3 2\n");
    write_file(run.job.dem.path, "ncols 2\nnrows 3\nxllcorner 0\nyllcorner 0\ncellsize 1\n1.5 -2\n3 4e2\n-0.25 6\n");
    Step step;
    load_dem(run, step.out, kNoProgress);
    load_mask(run, step.out);
    EXPECT_EQ(temporaries_in(dir.path()).size(), 1u);
    if (!spill) {
      EXPECT_TRUE(run.dem->release_copy());  // as when the folder had no room for it
    }
    for (int pass = 0; pass < 2; ++pass) {
      EXPECT_EQ(altitudes(run), (std::vector<double>{1.5, -2, 3, 400, -0.25, 6})) << spill << pass;
    }
  }
  EXPECT_TRUE(temporaries_in(dir.path()).empty());
}

namespace {

// A raw DEM of lines x cols zeros, loaded, and a bitmap mask's path.
void mask_state(Run& run, const TempDir& dir, int lines, int cols) {
  DemChoice& dem = run.job.dem;
  dem.layout = DemLayout::raw;
  dem.unit = 0;
  dem.path = dir / "dem_m2.raw";
  write_bytes(dem.path, le16(std::vector<unsigned>(static_cast<std::size_t>(lines * cols), 0)));
  write_file(dir / "dem_m2.txt", std::to_string(lines) + "\n" + std::to_string(cols) + "\n2\n0\n0\n10\n");
  std::ostringstream notes;
  load_dem(run, notes, kNoProgress);
  run.job.mask.layout = MaskLayout::bitmap;
  run.job.mask.path = dir / "zone.bmp";
}

void write_bitmap(const std::string& path, int cols, int lines, int type, const std::vector<unsigned char>& bytes,
                  Color32* palette = nullptr) {
  const int taille = type == 2 ? 3 : 1;
  std::vector<unsigned char*> rows;
  std::vector<unsigned char> copy = bytes;
  for (int i = 0; i < lines; ++i) rows.push_back(copy.data() + static_cast<std::size_t>(i) * cols * taille);
  ASSERT_EQ(SauveBMP(path.c_str(), rows.data(), cols, lines, type, palette), 0);
}

}  // namespace

TEST(MaskLoading, RawMaskSizeCheckedFirstThenItsLength) {
  TempDir dir;
  ::Run run;
  mask_state(run, dir, 2, 3);
  run.job.mask.layout = MaskLayout::raw;
  run.job.mask.path = dir / "zone.raw";
  write_bytes(run.job.mask.path, {0, 1, 2, 3, 4, 5});
  write_file(dir / "zone.txt", "3 2\n");  // swapped in the descriptor
  Step step;
  EXPECT_EQ(stop_of([&] { load_mask(run, step.out); }),
            "\n\n\tThe mask size is not the size of the DEM \n\t(the DEM " + run.job.dem.path +
                " has 2 lines x 3 columns, the mask " + run.job.mask.path + " 3 lines x 2 columns)\n");

  write_file(dir / "zone.txt", "2 3\n");
  load_mask(run, step.out);
  write_bytes(run.job.mask.path, {0, 1, 2, 3, 4});
  const std::string short_message = stop_of([&] { load_mask(run, step.out); });
  EXPECT_NE(short_message.find("zone.raw is too short"), std::string::npos) << short_message;
}

TEST(MaskLoading, BitmapMasks) {
  TempDir dir;
  std::vector<Color32> coloured(256, Color32{0, 0, 255, 0});
  struct Case {
    const char* name;
    int cols, lines, type;  // of the bitmap; the DEM is 2 lines of `cols` columns
    std::vector<unsigned char> pixels;
    bool coloured_palette;
    std::vector<unsigned char> expected;  // the mask, row 0 first; empty when the run stops
    std::string stop_has;
  };
  const Case cases[] = {
      {"8-bit, coloured palette: palette indices, top row first", 3, 2, 1, {1, 2, 3, 4, 5, 6}, true,
       {1, 2, 3, 4, 5, 6}, ""},
      {"24-bit grey: the grey level", 2, 2, 2, {7, 7, 7, 0, 0, 0, 9, 9, 9, 255, 255, 255}, false, {7, 0, 9, 255},
       ""},
      {"24-bit coloured: refused with the pixel", 2, 2, 2, {7, 7, 7, 0, 0, 0, 9, 9, 9, 1, 2, 3}, false, {},
       "not grey at line 1, column 1"},
      {"wrong height: the size message", 3, 3, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9}, false, {},
       "The mask size is not the size of the DEM"},
  };
  for (const Case& c : cases) {
    write_bitmap(dir / "zone.bmp", c.cols, c.lines, c.type, c.pixels, c.coloured_palette ? coloured.data() : nullptr);
    ::Run run;
    mask_state(run, dir, 2, c.cols);
    Step step;
    if (c.expected.empty()) {
      const std::string message = stop_of([&] { load_mask(run, step.out); });
      EXPECT_NE(message.find(c.stop_has), std::string::npos) << c.name << ": " << message;
      continue;
    }
    load_mask(run, step.out);
    std::vector<unsigned char> seen;
    for_each_band(*run.dem, nullptr, *run.mask, [&](const Band& band) {
      for (int k = 0; k < band.count; ++k) seen.insert(seen.end(), band.mask[k], band.mask[k] + band.width);
    });
    EXPECT_EQ(seen, c.expected) << c.name;
  }
}

TEST(MaskLoading, AFileThatIsNoBitmapGetsTheBitmapMessage) {
  TempDir dir;
  ::Run run;
  mask_state(run, dir, 2, 3);
  write_file(run.job.mask.path, "not a bitmap at all");
  Step step;
  const std::string message = stop_of([&] { load_mask(run, step.out); });
  EXPECT_NE(message.find(run.job.mask.path + " cannot be read as a bitmap"), std::string::npos) << message;
  EXPECT_NE(message.find("uncompressed"), std::string::npos);
}
