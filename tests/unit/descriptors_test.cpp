#include <gtest/gtest.h>

#include "files/formats.h"
#include "files/input_file.h"
#include "test_files.h"

namespace {

struct Items {
  int nb_lig = -1, nb_col = -1, val = -1, mind = -1, maxd = -1;
  double dpix_size = -1.0;
  bool operator==(const Items&) const = default;
};

Items read_descriptor(const std::string& content, int* items_read = nullptr) {
  TempDir dir;
  write_file(dir / "d.txt", content);
  InputFile f = open_input(dir / "d.txt");
  Items it;
  const int n = read_dem_descriptor(f.get(), it.nb_lig, it.nb_col, it.val, it.mind, it.maxd, it.dpix_size);
  if (items_read != nullptr) *items_read = n;
  return it;
}

}  // namespace

TEST(DemDescriptor, ReadsAsScanfWould) {
  struct Case {
    const char* name;
    std::string content;
    Items expected;
  };
  const Case cases[] = {
      {"full, LF", "200\n222\n2\n2475\n10740\n90.000000\n", {200, 222, 2, 2475, 10740, 90.0}},
      {"full, CR LF", "200\r\n222\r\n2\r\n2475\r\n10740\r\n90.000000\r\n", {200, 222, 2, 2475, 10740, 90.0}},
      {"on one line, with a report after", "3 4 4 -5 7 12.5 report 1 2 3", {3, 4, 4, -5, 7, 12.5}},
      {"three items only", "400\n600\n2\n", {400, 600, 2, -1, -1, -1.0}},
      {"decimal point in the fourth item stops there", "10\n20\n2\n112.5\n300\n25\n", {10, 20, 2, 112, -1, -1.0}},
      {"an integer pixel size", "1 1 2 0 0 25", {1, 1, 2, 0, 0, 25.0}},
      {"a value beyond 32 bits stops", "1 99999999999 2", {1, -1, -1, -1, -1, -1.0}},
      {"empty", "", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(read_descriptor(c.content), c.expected) << c.name;
}

TEST(DemDescriptor, ResultDescriptorReadsBackItsPixelSizeExactly) {
  // Whole sizes keep their whole-number line; fractional ones are written as
  // reals, whose whole part is what an integer reader takes.
  for (auto [pixel, line] : {std::pair{25.0, "\n25\n"}, {12.5, "\n12.500000\n"}, {0.5, "\n0.500000\n"}}) {
    const ResultReport report{5, 6, 2, -1, 300, pixel, "/d/mnt_m2.raw", "/d/zone.raw", 1, 0.0, 0, 5953239180.0};
    const std::string text = result_descriptor_text(report);
    EXPECT_EQ(text.rfind(std::string("5\n6\n2\n-1\n300") + line, 0), 0u) << text;
    EXPECT_EQ(read_descriptor(text), (Items{5, 6, 2, -1, 300, pixel}));
  }
}

TEST(DemDescriptor, CreatedDescriptorHasSixLines) {
  EXPECT_EQ(dem_descriptor_text(400, 600, 2, 12, 345, 25.0), "400\n600\n2\n12\n345\n25.000000\n");
  int items = 0;
  EXPECT_EQ(read_descriptor(dem_descriptor_text(4, 6, 4, -7, 8, 12.5), &items), (Items{4, 6, 4, -7, 8, 12.5}));
  EXPECT_EQ(items, 6);
}

TEST(ResultDescriptor, ExactLayoutWithAndWithoutVolume) {
  ResultReport report{200, 222, 2, 0, 10740, 90, "/i/demo/jacksboro_m2.raw", "/i/demo/zone.raw", 1, 0.0, 0,
                      5953239180.0};
  EXPECT_EQ(result_descriptor_text(report),
            "200\n222\n2\n0\n10740\n90\n"
            "\n\n\tMesacrop Treatment"
            "\n\n\tapplied to /i/demo/jacksboro_m2.raw "
            "\n\tand using the mask /i/demo/zone.raw "
            "\n\t\tcode 1 corresponding altitude 0.000000 "
            "\n\n\tVolume calculation : "
            "\n\t\tresult = 5.953239 km3 ");
  report.voltreat = 1;
  report.val_alti = -12.25;
  const std::string no_volume = result_descriptor_text(report);
  EXPECT_NE(no_volume.find("\n\t\tcode 1 corresponding altitude -12.250000 \n\n\tno volume calculation "),
            std::string::npos);
  EXPECT_EQ(no_volume.substr(no_volume.size() - 25), "\n\n\tno volume calculation ");
}

TEST(MaskDescriptor, ReadsLinesThenColumns) {
  TempDir dir;
  struct Case {
    const char* content;
    int read, lines, columns;
  };
  for (const Case& c : {Case{"200 222", 2, 200, 222}, Case{"200\r\n222\r\n", 2, 200, 222},
                        Case{"7\n", 1, 7, 0}, Case{"x 1", 0, 0, 0}}) {
    write_file(dir / "m.txt", c.content);
    InputFile f = open_input(dir / "m.txt");
    int lines = 0, columns = 0;
    EXPECT_EQ(read_mask_descriptor(f.get(), lines, columns), c.read) << c.content;
    EXPECT_EQ(lines, c.lines);
    EXPECT_EQ(columns, c.columns);
  }
}
