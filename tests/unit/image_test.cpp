#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "image.h"
#include "test_files.h"

namespace {

struct Picture {
  Picture(int cols, int lines, int taille) : rows(lines, std::vector<unsigned char>(cols * taille)) {
    for (auto& row : rows) pointers.push_back(row.data());
  }
  unsigned char** get() { return pointers.data(); }
  std::vector<std::vector<unsigned char>> rows;
  std::vector<unsigned char*> pointers;
};

std::uint32_t u32(const std::string& file, std::size_t at) {
  return static_cast<unsigned char>(file[at]) | static_cast<unsigned char>(file[at + 1]) << 8 |
         static_cast<unsigned char>(file[at + 2]) << 16 | static_cast<std::uint32_t>(static_cast<unsigned char>(file[at + 3])) << 24;
}

struct Read {
  unsigned char** rows = nullptr;
  int cols = -7, lines = -7, type = -7;
  ~Read() { LibereBMP(rows, lines); }
};

void read_bmp(const std::string& path, Read& r) { 
  Color32* no_palette = nullptr;
  r.rows = ChargeBMP(path.c_str(), r.cols, r.lines, r.type, no_palette);
  EXPECT_EQ(no_palette, nullptr);
}

Picture pattern(int cols, int lines, int taille) {
  Picture p(cols, lines, taille);
  for (int i = 0; i < lines; ++i) {
    for (int k = 0; k < cols * taille; ++k) p.rows[i][k] = static_cast<unsigned char>(i * 31 + k * 7 + 1);
  }
  return p;
}

// An 8-bit grey bitmap written by the library, as bytes to tamper with.
std::string grey_file(const TempDir& dir, int cols, int lines) {
  Picture p = pattern(cols, lines, 1);
  EXPECT_EQ(SauveBMP((dir / "t.bmp").c_str(), p.get(), cols, lines, 0, nullptr), 0);
  return read_file(dir / "t.bmp");
}

void put32(std::string& file, std::size_t at, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) file[at + k] = static_cast<char>((v >> (8 * k)) & 0xFF);
}

}  // namespace

TEST(Bitmap, SizesAndPaddingOfWrittenFiles) {
  TempDir dir;
  struct Case {
    int cols, lines, type;
    std::size_t offset, row_bytes;
  };
  for (const Case& c : {Case{5, 3, 0, 1078, 8}, Case{4, 2, 0, 1078, 4}, Case{5, 2, 2, 54, 16}, Case{6, 1, 1, 1078, 8},
                        Case{7, 2, 2, 54, 24}}) {
    const int taille = c.type == 2 ? 3 : 1;
    Picture p = pattern(c.cols, c.lines, taille);
    ASSERT_EQ(SauveBMP((dir / "s.bmp").c_str(), p.get(), c.cols, c.lines, c.type, nullptr), 0);
    const std::string file = read_file(dir / "s.bmp");
    const std::size_t total = c.offset + c.lines * c.row_bytes;
    EXPECT_EQ(file.size(), total);
    EXPECT_EQ(file.substr(0, 2), "BM");
    EXPECT_EQ(u32(file, 2), total);                      // BfSize
    EXPECT_EQ(u32(file, 10), c.offset);                  // BfOffBits
    EXPECT_EQ(u32(file, 34), c.lines * c.row_bytes);     // BiSizeImage
    EXPECT_EQ(u32(file, 18), static_cast<std::uint32_t>(c.cols));
    EXPECT_EQ(u32(file, 22), static_cast<std::uint32_t>(c.lines));
    for (int stored = 0; stored < c.lines; ++stored) {
      // The first stored row is the bottom row; padding bytes are zero.
      const std::string row = file.substr(c.offset + stored * c.row_bytes, c.row_bytes);
      const auto& source = p.rows[c.lines - 1 - stored];
      EXPECT_EQ(std::memcmp(row.data(), source.data(), source.size()), 0);
      for (std::size_t k = source.size(); k < c.row_bytes; ++k) EXPECT_EQ(row[k], 0);
    }
  }
}

TEST(Bitmap, WriteThenReadGivesTheSameImage) {
  TempDir dir;
  for (int type : {0, 2}) {
    const int taille = type == 2 ? 3 : 1;
    for (int cols = 1; cols <= 9; ++cols) {
      Picture p = pattern(cols, 3, taille);
      ASSERT_EQ(SauveBMP((dir / "r.bmp").c_str(), p.get(), cols, 3, type, nullptr), 0);
      Read r;
      read_bmp(dir / "r.bmp", r);
      ASSERT_NE(r.rows, nullptr);
      EXPECT_EQ(r.cols, cols);
      EXPECT_EQ(r.lines, 3);
      EXPECT_EQ(r.type, type);  // the grey ramp reads back as type 0
      for (int i = 0; i < 3; ++i) EXPECT_EQ(std::memcmp(r.rows[i], p.rows[i].data(), cols * taille), 0);
    }
  }
}

TEST(Bitmap, PaletteDecidesBetweenType0And1) {
  TempDir dir;
  Picture p = pattern(4, 2, 1);
  std::vector<Color32> palette(256);
  for (int i = 0; i < 256; ++i) palette[i] = {static_cast<unsigned char>(i), static_cast<unsigned char>(i), static_cast<unsigned char>(i), 99};
  struct Case {
    const char* name;
    int changed_entry;
    int expected_type;
  };
  for (const Case& c : {Case{"grey with non-zero fourth bytes", -1, 0}, Case{"entry 200 with R 201", 200, 1}}) {
    std::vector<Color32> pal = palette;
    if (c.changed_entry >= 0) pal[c.changed_entry].R = 201;
    ASSERT_EQ(SauveBMP((dir / "p.bmp").c_str(), p.get(), 4, 2, 1, pal.data()), 0);
    Color32 ask{};
    Color32* requested = &ask;  // non-null: asks for the palette
    Read r;
    r.rows = ChargeBMP((dir / "p.bmp").c_str(), r.cols, r.lines, r.type, requested);
    ASSERT_NE(r.rows, nullptr);
    EXPECT_EQ(r.type, c.expected_type) << c.name;
    ASSERT_NE(requested, &ask);
    EXPECT_EQ(std::memcmp(requested, pal.data(), 256 * sizeof(Color32)), 0) << c.name;
    EXPECT_EQ(ask.R, 0);  // the caller's own table is left alone
    LiberePalette(requested);
  }
  // Type 1 with the grey ramp writes the same file as type 0.
  ASSERT_EQ(SauveBMP((dir / "a.bmp").c_str(), p.get(), 4, 2, 0, nullptr), 0);
  ASSERT_EQ(SauveBMP((dir / "b.bmp").c_str(), p.get(), 4, 2, 1, nullptr), 0);
  EXPECT_EQ(read_file(dir / "a.bmp"), read_file(dir / "b.bmp"));
}

TEST(Bitmap, RefusedFiles) {
  TempDir dir;
  const std::string good = grey_file(dir, 5, 3);
  struct Case {
    const char* name;
    std::string file;
    bool size_known;  // NbCol and NbLig set although the result is null
  };
  std::vector<Case> cases;
  auto with = [&](std::size_t at, std::uint32_t v) {
    std::string f = good;
    put32(f, at, v);
    return f;
  };
  std::string four_bit = good;
  four_bit[28] = 4;
  cases.push_back({"wrong signature", "BN" + good.substr(2), false});
  cases.push_back({"8-bit with offset 1074", with(10, 1074), false});
  cases.push_back({"4-bit", four_bit, false});
  cases.push_back({"run-length encoded", with(30, 1), false});
  cases.push_back({"bit fields", with(30, 3), false});
  cases.push_back({"shorter than a header", good.substr(0, 53), false});
  cases.push_back({"last row cut short", good.substr(0, good.size() - 1), true});
  cases.push_back({"palette cut short", good.substr(0, 600), true});
  cases.push_back({"width above 32767", with(18, 32768), false});
  cases.push_back({"zero height", with(22, 0), false});
  cases.push_back({"negative height (top-down)", with(22, static_cast<std::uint32_t>(-3)), false});
  cases.push_back({"a huge image claimed by a small file", with(22, 32767), true});
  for (const Case& c : cases) {
    write_file(dir / "bad.bmp", c.file);
    Read r;
    read_bmp(dir / "bad.bmp", r);
    EXPECT_EQ(r.rows, nullptr) << c.name;
    if (c.size_known) {
      EXPECT_EQ(r.cols, 5) << c.name;
      EXPECT_GT(r.lines, 0) << c.name;
      EXPECT_EQ(r.type, 0) << c.name;
    } else {
      EXPECT_EQ(r.cols, -7) << c.name;
      EXPECT_EQ(r.lines, -7) << c.name;
    }
    r.lines = 0;
  }
  Read missing;
  read_bmp(dir / "none.bmp", missing);
  EXPECT_EQ(missing.rows, nullptr);
  EXPECT_EQ(missing.type, -7);  // nothing is touched when the file cannot be opened
  EXPECT_EQ(missing.cols, -7);
}

TEST(Bitmap, AcceptsHeaderFieldsItDoesNotExamine) {
  TempDir dir;
  std::string file = grey_file(dir, 5, 3);
  put32(file, 2, 12345);  // BfSize
  file[26] = 9;           // BiPlanes
  put32(file, 34, 0);     // BiSizeImage
  write_file(dir / "odd.bmp", file);
  Read r;
  read_bmp(dir / "odd.bmp", r);
  EXPECT_NE(r.rows, nullptr);
}

TEST(Bitmap, WriterRefusesWhatItCannotWrite) {
  TempDir dir;
  Picture p = pattern(2, 2, 3);
  for (auto [cols, lines, type] : {std::tuple{2, 2, 3}, {2, 2, -1}, {0, 2, 0}, {2, -1, 2}}) {
    EXPECT_EQ(SauveBMP((dir / "w.bmp").c_str(), p.get(), cols, lines, type, nullptr), -1);
    EXPECT_FALSE(file_exists(dir / "w.bmp"));
  }
  EXPECT_EQ(SauveBMP((dir / "no/such/folder.bmp").c_str(), p.get(), 2, 2, 0, nullptr), -1);
}
