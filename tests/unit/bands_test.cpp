// The passes' view of the DEM and the mask: every cell once, in order, with
// the mask lines around it, whatever the bands' size and the lines' length.
#include <gtest/gtest.h>

#include <cstring>

#include "files/input_file.h"
#include "image.h"
#include "raster/bands.h"
#include "run.h"
#include "test_files.h"
#include "work/work.h"

#include <sstream>

TEST(Bands, EveryCellOnceInOrderWithTheMaskAroundIt) {
  TempDir dir;
  struct Case {
    int lines, cols;
    int mask_type;  // 0 bitmap, 1 raw
  };
  const int band = static_cast<int>(kBandCells);
  const Case cases[] = {
      {1, band, 1},         {2, band, 1},       {7, band / 3, 1},   {7, band / 3 + 1, 1},
      {3, 2 * band + 5, 1},  // lines longer than a band come in pieces
      {1, 2 * band + 5, 1}, {9, 30000, 0},      {3, 31, 0},
  };
  for (const Case& c : cases) {
    const int lines = c.lines, cols = c.cols;
    std::vector<unsigned> stored(static_cast<std::size_t>(lines) * cols);
    Bytes codes(stored.size());
    for (std::size_t k = 0; k < stored.size(); ++k) {
      stored[k] = static_cast<unsigned>(k * 7919 % 60000);
      codes[k] = static_cast<unsigned char>(k / 3 % 5 == 0 || k % 7 == 0 ? 2 : 1);
    }
    ::Run run;
    DemChoice& dem = run.job.dem;
    dem.layout = DemLayout::raw;
    dem.unit = 1;  // decimetres
    dem.path = dir / "dem_m2.raw";
    write_bytes(dem.path, le16(stored));
    write_file(dir / "dem_m2.txt", std::to_string(lines) + "\n" + std::to_string(cols) + "\n2\n0\n0\n1\n");
    run.job.mask.layout = c.mask_type == 1 ? MaskLayout::raw : MaskLayout::bitmap;
    if (c.mask_type == 1) {
      run.job.mask.path = dir / "zone.raw";
      write_bytes(run.job.mask.path, codes);
      write_file(dir / "zone.txt", std::to_string(lines) + " " + std::to_string(cols) + "\n");
    } else {
      run.job.mask.path = dir / "zone.bmp";
      write_bytes(run.job.mask.path, bitmap_bytes(cols, lines, 8, codes));
    }
    std::ostringstream notes;
    load_dem(run, notes, [](const char*, int, int) {});
    load_mask(run, notes);
    const std::string what = std::to_string(lines) + " x " + std::to_string(cols) + (c.mask_type == 0 ? ", bitmap" : "");
    auto code_at = [&](int i, int j) { return codes[static_cast<std::size_t>(i) * cols + j]; };

    std::vector<int> next_column(static_cast<std::size_t>(lines), 0);
    ZoneFigures banded;
    for_each_band(*run.dem, nullptr, *run.mask, [&](const Band& band) {
      ASSERT_LE(band.cells(), kBandCells) << what;
      for (int k = 0; k < band.count; ++k) {
        const int line = band.first + k;
        ASSERT_EQ(next_column[static_cast<std::size_t>(line)], band.column) << what << ", line " << line;
        next_column[static_cast<std::size_t>(line)] += band.width;
        for (int j = 0; j < band.width; j += 997) {
          ASSERT_EQ(band.altitude[k][j], stored[static_cast<std::size_t>(line) * cols + band.column + j] / 10.0) << what;
        }
        for (int around = -1; around <= 1; ++around) {
          const int i = line + around;
          if (i < 0 || i >= lines) continue;
          for (int j = std::max(band.column - 1, 0); j < std::min(band.column + band.width + 1, cols); ++j) {
            ASSERT_EQ(band.mask[k + around][j - band.column], code_at(i, j)) << what << ", line " << i << ", column " << j;
          }
        }
        const bool inner = line >= 1 && line <= lines - 2;
        add_zone_line(banded, band.altitude[k], inner ? band.mask[k - 1] : nullptr, band.mask[k],
                      inner ? band.mask[k + 1] : nullptr, band.column, band.width, cols, 1, run.geometry(), 1.0, {});
      }
    });
    for (int i = 0; i < lines; ++i) EXPECT_EQ(next_column[static_cast<std::size_t>(i)], cols) << what;

    // The same figures from the whole rasters at once, and the same sum.
    ZoneFigures whole;
    for (int i = 0; i < lines; ++i) {
      std::vector<double> altitude(static_cast<std::size_t>(cols));
      for (int j = 0; j < cols; ++j) altitude[static_cast<std::size_t>(j)] = stored[static_cast<std::size_t>(i) * cols + j] / 10.0;
      const bool inner = i >= 1 && i <= lines - 2;
      add_zone_line(whole, altitude.data(), inner ? codes.data() + (i - 1) * cols : nullptr, codes.data() + i * cols,
                    inner ? codes.data() + (i + 1) * cols : nullptr, 0, cols, cols, 1, run.geometry(), 1.0, {});
    }
    EXPECT_EQ(banded.vol_tot, whole.vol_tot) << what;
    EXPECT_EQ(banded.half_cells, whole.half_cells) << what;
    EXPECT_EQ(banded.full_cells, whole.full_cells) << what;
    EXPECT_EQ(banded.frame_cells, whole.frame_cells) << what;
  }
}
