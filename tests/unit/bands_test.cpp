// The passes' view of the DEM and the mask: every line once, in order, with
// the mask lines around it, whatever the bands' size.
#include <gtest/gtest.h>

#include <cstring>

#include "nrutil.h"
#include "raster/bands.h"
#include "test_files.h"

TEST(Bands, EveryLineOnceInOrderWithTheMaskLinesAroundIt) {
  TempDir dir;
  for (const int lines : {1, 2, 7}) {
    for (const int per_band : {1, 3}) {
      for (const int mask_type : {0, 1}) {
        const int cols = static_cast<int>(kBandCells) / per_band;
        std::vector<unsigned> stored(static_cast<std::size_t>(lines) * cols);
        Bytes codes(stored.size());
        for (std::size_t k = 0; k < stored.size(); ++k) {
          stored[k] = static_cast<unsigned>(k * 7919 % 60000);
          codes[k] = static_cast<unsigned char>(k / 3 % 5 == 0 ? 2 : 1);
        }
        RunState st;
        st.dem.format = 1;
        st.dem.path = dir / "dem_m2.raw";
        write_bytes(st.dem.path, le16(stored));
        st.dem.geometry.nb_lig = lines;
        st.dem.geometry.nb_col = cols;
        st.coef = 10.0;
        st.mask.mask_type = mask_type;
        st.mask.path = dir / "zone.raw";
        write_bytes(st.mask.path, codes);
        if (mask_type == 0) {
          st.mask.bitmap = Matrix<unsigned char>(ucmatrice(cols, lines), lines, frucmatrice);
          for (int i = 0; i < lines; ++i) std::memcpy(st.mask.bitmap[i], codes.data() + i * cols, cols);
        }
        const std::string what = std::to_string(lines) + " lines, bands of " + std::to_string(per_band) +
                                 (mask_type == 0 ? ", bitmap" : ", raw mask");

        std::vector<int> seen;
        ZoneFigures banded;
        for_each_band(st, [&](const Band& band) {
          EXPECT_LE(band.count, per_band) << what;
          for (int k = 0; k < band.count; ++k) {
            const int line = band.first + k;
            seen.push_back(line);
            for (int j = 0; j < cols; j += 997) {
              ASSERT_EQ(band.altitude[k][j], stored[static_cast<std::size_t>(line) * cols + j] / 10.0) << what;
            }
            for (int around = -1; around <= 1; ++around) {
              if (line + around < 0 || line + around >= lines) continue;
              ASSERT_EQ(std::memcmp(band.mask[k + around], codes.data() + (line + around) * cols, cols), 0)
                  << what << ", line " << line << " and " << around;
            }
            const bool inner = line >= 1 && line <= lines - 2;
            add_zone_line(banded, band.altitude[k], inner ? band.mask[k - 1] : nullptr, band.mask[k],
                          inner ? band.mask[k + 1] : nullptr, cols, 1, st.dem.geometry, true, 1.0);
          }
        });
        std::vector<int> expected(static_cast<std::size_t>(lines));
        for (int i = 0; i < lines; ++i) expected[static_cast<std::size_t>(i)] = i;
        EXPECT_EQ(seen, expected) << what;

        // The same figures from the whole rasters at once.
        ZoneFigures whole;
        for (int i = 0; i < lines; ++i) {
          std::vector<double> altitude(static_cast<std::size_t>(cols));
          for (int j = 0; j < cols; ++j) altitude[static_cast<std::size_t>(j)] = stored[static_cast<std::size_t>(i) * cols + j] / 10.0;
          const bool inner = i >= 1 && i <= lines - 2;
          add_zone_line(whole, altitude.data(), inner ? codes.data() + (i - 1) * cols : nullptr, codes.data() + i * cols,
                        inner ? codes.data() + (i + 1) * cols : nullptr, cols, 1, st.dem.geometry, true, 1.0);
        }
        EXPECT_EQ(banded.vol_tot, whole.vol_tot) << what;
        EXPECT_EQ(banded.half_cells, whole.half_cells) << what;
        EXPECT_EQ(banded.full_cells, whole.full_cells) << what;
      }
    }
  }
}
