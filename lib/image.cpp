#include "image.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform.h"

namespace {

constexpr std::size_t kHeaderBytes = 54;
constexpr std::size_t kPaletteEntries = 256;
constexpr int kMaxSide = 32767;

using BuffHeader = unsigned char[kHeaderBytes];

void put16(unsigned char* at, std::uint16_t v) {
  at[0] = static_cast<unsigned char>(v & 0xFF);
  at[1] = static_cast<unsigned char>(v >> 8);
}
void put32(unsigned char* at, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) at[k] = static_cast<unsigned char>((v >> (8 * k)) & 0xFF);
}
std::uint16_t get16(const unsigned char* at) { return static_cast<std::uint16_t>(at[0] | (at[1] << 8)); }
std::uint32_t get32(const unsigned char* at) {
  return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

void pack_header(const BMP_Header& h, BuffHeader& b) {
  put16(b + 0, h.BfType);
  put32(b + 2, h.BfSize);
  put16(b + 6, h.Res1);
  put16(b + 8, h.Res2);
  put32(b + 10, h.BfOffBits);
  put32(b + 14, h.BiSize);
  put32(b + 18, h.BiWidth);
  put32(b + 22, h.BiHeight);
  put16(b + 26, h.BiPlanes);
  put16(b + 28, h.BiBitCount);
  put32(b + 30, h.BiCompression);
  put32(b + 34, h.BiSizeImage);
  put32(b + 38, h.BiXPelsPerMeter);
  put32(b + 42, h.BiYPelsPerMeter);
  put32(b + 46, h.BiClrUsed);
  put32(b + 50, h.BiClrImportant);
}

BMP_Header unpack_header(const BuffHeader& b) {
  BMP_Header h{};
  h.BfType = get16(b + 0);
  h.BfSize = get32(b + 2);
  h.Res1 = get16(b + 6);
  h.Res2 = get16(b + 8);
  h.BfOffBits = get32(b + 10);
  h.BiSize = get32(b + 14);
  h.BiWidth = get32(b + 18);
  h.BiHeight = get32(b + 22);
  h.BiPlanes = get16(b + 26);
  h.BiBitCount = get16(b + 28);
  h.BiCompression = get32(b + 30);
  h.BiSizeImage = get32(b + 34);
  h.BiXPelsPerMeter = get32(b + 38);
  h.BiYPelsPerMeter = get32(b + 42);
  h.BiClrUsed = get32(b + 46);
  h.BiClrImportant = get32(b + 50);
  return h;
}

// Stored length of a row: its data rounded up to a multiple of 4 bytes.
std::size_t stored_row_bytes(int nb_col, int taille) {
  return (static_cast<std::size_t>(nb_col) * static_cast<std::size_t>(taille) + 3) / 4 * 4;
}

bool is_grey(const Color32* palette) {
  for (std::size_t i = 0; i < kPaletteEntries; ++i) {
    if (palette[i].R != i || palette[i].G != i || palette[i].B != i) return false;
  }
  return true;
}

unsigned char** allocate_rows(int nb_lig, std::size_t row_bytes) {
  auto** rows = static_cast<unsigned char**>(std::calloc(static_cast<std::size_t>(nb_lig), sizeof(unsigned char*)));
  if (rows == nullptr) return nullptr;
  for (int i = 0; i < nb_lig; ++i) {
    rows[i] = static_cast<unsigned char*>(std::calloc(row_bytes, 1));
    if (rows[i] == nullptr) {
      LibereBMP(rows, i);
      return nullptr;
    }
  }
  return rows;
}

// The writer's trace lines are seen before the key wait.
void flush_and_wait() {
  std::fflush(stdout);
  wait_for_key();
}

// Reads the pixel rows (bottom row first in the file) into `rows`; false when
// a row is cut short.
bool read_rows(std::FILE* f, unsigned char** rows, int nb_col, int nb_lig, int taille) {
  const std::size_t larg = static_cast<std::size_t>(nb_col) * static_cast<std::size_t>(taille);
  const std::size_t tbuff = stored_row_bytes(nb_col, taille);
  auto* row_buffer = static_cast<unsigned char*>(std::calloc(tbuff, 1));
  bool ok = row_buffer != nullptr;
  for (int i = nb_lig - 1; ok && i >= 0; --i) {
    ok = std::fread(row_buffer, 1, tbuff, f) == tbuff;
    if (ok) std::memcpy(rows[i], row_buffer, larg);
  }
  std::free(row_buffer);
  return ok;
}

// The checks of a header, common to ChargeBMP and EnteteBMP; `layout` gets
// what is known so far (taille 0 until the pixel layout is recognised).
bool check_header(const BMP_Header& h, std::uint64_t length, BmpLayout& layout, BmpFault& why) {
  why = BmpFault::layout;
  if (h.BiBitCount == 8 && h.BfOffBits == 1078) {
    layout.taille = 1;
    layout.Type = 0;
  } else if (h.BiBitCount == 24 && h.BfOffBits == 54) {
    layout.taille = 3;
    layout.Type = 2;
  } else {
    return false;
  }
  why = BmpFault::compressed;
  if (h.BiCompression != 0) return false;  // run-length or bit-field data is not plain pixels
  const auto width = static_cast<std::int32_t>(h.BiWidth);
  const auto height = static_cast<std::int32_t>(h.BiHeight);
  why = BmpFault::layout;
  if (width < 1 || height == 0) return false;
  if (height < 0 || width > kMaxSide || height > kMaxSide) {
    why = height < 0 ? BmpFault::top_down : BmpFault::too_large;
    return false;
  }
  layout.NbCol = width;
  layout.NbLig = height;
  layout.BfOffBits = h.BfOffBits;
  layout.TBuff = stored_row_bytes(width, layout.taille);
  // Never allocate more than the file can fill.
  why = BmpFault::cut_short;
  if (length < h.BfOffBits + static_cast<std::uint64_t>(height) * layout.TBuff) return false;
  why = BmpFault::none;
  return true;
}

}  // namespace

int SauveBMP(const char* Nom, unsigned char** Buff, int NbCol, int NbLig, int Type, Color32* ColorMAP) {
  if (Type < 0 || Type > 2 || NbCol < 1 || NbLig < 1) return -1;
  const int taille = Type == 2 ? 3 : 1;
  const std::size_t tbuff = stored_row_bytes(NbCol, taille);
  const std::uint32_t off_bits = Type == 2 ? 54 : 1078;
  const std::uint64_t image_bytes = static_cast<std::uint64_t>(NbLig) * tbuff;
  if (off_bits + image_bytes > 0xFFFFFFFFu) return -1;  // a bitmap's length is a 32-bit field

  Color32 CM[kPaletteEntries];
  for (std::size_t i = 0; i < kPaletteEntries; ++i) {
    const auto grey = static_cast<unsigned char>(i);
    CM[i] = ColorMAP != nullptr ? ColorMAP[i] : Color32{grey, grey, grey, 0};
  }

  BMP_Header h{};
  h.BfType = 0x4D42;
  h.BfOffBits = off_bits;
  h.BiSize = 40;
  h.BiWidth = static_cast<std::uint32_t>(NbCol);
  h.BiHeight = static_cast<std::uint32_t>(NbLig);
  h.BiPlanes = 1;
  h.BiBitCount = Type == 2 ? 24 : 8;
  h.BiSizeImage = static_cast<std::uint32_t>(image_bytes);
  h.BfSize = h.BfOffBits + h.BiSizeImage;
  h.BiXPelsPerMeter = 10000;
  h.BiYPelsPerMeter = 10000;

  std::FILE* f = std::fopen(Nom, "wb");
  if (f == nullptr) return -1;
  std::printf("\n nom = %s ", Nom);
  flush_and_wait();

  BuffHeader buff;
  pack_header(h, buff);
  bool ok = std::fwrite(buff, 1, kHeaderBytes, f) == kHeaderBytes;
  if (ok && Type != 2) ok = std::fwrite(CM, sizeof(Color32), kPaletteEntries, f) == kPaletteEntries;
  if (!ok) {
    std::fclose(f);
    return -1;
  }
  std::fputs("\n header OK ", stdout);
  flush_and_wait();

  auto* row_buffer = static_cast<unsigned char*>(std::calloc(tbuff, 1));
  ok = row_buffer != nullptr;
  const std::size_t larg = static_cast<std::size_t>(NbCol) * static_cast<std::size_t>(taille);
  for (int i = NbLig - 1; ok && i >= 0; --i) {
    std::memcpy(row_buffer, Buff[i], larg);
    ok = std::fwrite(row_buffer, 1, tbuff, f) == tbuff;
  }
  std::free(row_buffer);
  const bool closed = std::fclose(f) == 0;
  return ok && closed ? 0 : -1;
}

unsigned char** ChargeBMP(const char* Name, int& NbCol, int& NbLig, int& Type, Color32*& ColorMAP,
                          BmpFault* Why) {
  BmpFault ignored = BmpFault::none;
  BmpFault& why = Why != nullptr ? *Why : ignored;
  why = BmpFault::no_memory;
  auto* CM = static_cast<Color32*>(std::calloc(kPaletteEntries, sizeof(Color32)));
  const bool palette_asked = ColorMAP != nullptr;
  if (palette_asked) ColorMAP = CM;
  struct Cleanup {
    Color32* table;
    bool keep;
    std::FILE* file = nullptr;
    ~Cleanup() {
      if (!keep) std::free(table);
      if (file != nullptr) std::fclose(file);
    }
  } cleanup{CM, palette_asked};
  if (CM == nullptr) return nullptr;

  why = BmpFault::cannot_open;
  std::FILE* f = std::fopen(Name, "rb");
  if (f == nullptr) return nullptr;
  cleanup.file = f;
  why = BmpFault::not_bitmap;
  BuffHeader buff;
  if (std::fseek(f, 0, SEEK_SET) != 0 || std::fread(buff, 1, kHeaderBytes, f) != kHeaderBytes) return nullptr;
  const BMP_Header h = unpack_header(buff);
  if (h.BfType != 0x4D42) return nullptr;

  BmpLayout layout;
  const bool known = check_header(h, file_length(f), layout, why);
  if (layout.taille != 0) Type = layout.Type;
  if (!known) {
    if (why == BmpFault::cut_short) {
      NbCol = layout.NbCol;
      NbLig = layout.NbLig;
    }
    return nullptr;
  }
  const int width = layout.NbCol, height = layout.NbLig, taille = layout.taille;

  why = BmpFault::no_memory;
  unsigned char** rows = allocate_rows(height, static_cast<std::size_t>(width) * static_cast<std::size_t>(taille));
  if (rows == nullptr) return nullptr;
  NbCol = width;
  NbLig = height;
  why = BmpFault::cut_short;
  bool ok = true;
  if (Type == 0) {
    ok = std::fread(CM, sizeof(Color32), kPaletteEntries, f) == kPaletteEntries;
    if (ok && !is_grey(CM)) Type = 1;
  }
  if (ok) ok = read_rows(f, rows, width, height, taille);
  if (!ok) {
    LibereBMP(rows, height);
    return nullptr;
  }
  why = BmpFault::none;
  return rows;
}

void LibereBMP(unsigned char** Buff, int NbLig) {
  if (Buff == nullptr) return;
  for (int i = 0; i < NbLig; ++i) std::free(Buff[i]);
  std::free(Buff);
}

void LiberePalette(Color32* ColorMAP) { std::free(ColorMAP); }

bool EnteteBMP(std::FILE* f, BmpLayout& layout, BmpFault& why) {
  layout = BmpLayout{};
  why = BmpFault::not_bitmap;
  BuffHeader buff;
  if (!seek_to(f, 0) || std::fread(buff, 1, kHeaderBytes, f) != kHeaderBytes) return false;
  const BMP_Header h = unpack_header(buff);
  if (h.BfType != 0x4D42) return false;
  if (!check_header(h, file_length(f), layout, why)) return false;
  if (layout.Type == 0) {
    Color32 palette[kPaletteEntries];
    why = BmpFault::cut_short;
    if (std::fread(palette, sizeof(Color32), kPaletteEntries, f) != kPaletteEntries) return false;
    if (!is_grey(palette)) layout.Type = 1;
  }
  why = BmpFault::none;
  return true;
}

bool LignesBMP(std::FILE* f, const BmpLayout& layout, int first, int count, int column, int width,
               unsigned char* const* rows) {
  if (count < 1) return true;
  // The rows are stored bottom row first: rows first + count - 1 .. first
  // follow each other in the file, so they come in one read.
  const std::size_t row_start = static_cast<std::size_t>(column) * static_cast<std::size_t>(layout.taille);
  const std::size_t row_bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(layout.taille);
  const std::uint64_t bottom = static_cast<std::uint64_t>(layout.NbLig - (first + count));
  if (row_bytes == layout.TBuff || count == 1) {
    const std::size_t span = (static_cast<std::size_t>(count) - 1) * layout.TBuff + row_bytes;
    std::vector<unsigned char> block(span);
    if (!seek_to(f, layout.BfOffBits + bottom * layout.TBuff + row_start) || std::fread(block.data(), 1, span, f) != span) {
      return false;
    }
    for (int k = 0; k < count; ++k) {
      std::memcpy(rows[k], block.data() + static_cast<std::size_t>(count - 1 - k) * layout.TBuff, row_bytes);
    }
    return true;
  }
  for (int k = 0; k < count; ++k) {
    if (!LignesBMP(f, layout, first + k, 1, column, width, rows + k)) return false;
  }
  return true;
}
