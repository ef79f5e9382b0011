// Image library: uncompressed Windows bitmaps (BMP) to and from byte matrices.
//
// Two pixel layouts, with `Type`:
//   0  8 bits per pixel, grey palette (entry i is R = G = B = i)
//   1  8 bits per pixel, any other palette
//   2  24 bits per pixel, no palette (three bytes per pixel, as stored)
//
// File: a 54-byte header (BMP_Header, little-endian, no padding); with 8 bits
// a palette of 256 Color32 entries; then the pixel rows, bottom row first, each
// padded with zero bytes to a multiple of 4. In memory, row 0 is the top row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct Color32 {
  unsigned char B, G, R, O;
};

struct BMP_Header {
  std::uint16_t BfType;           // offset 0: 0x4D42, "BM"
  std::uint32_t BfSize;           // 2: length of the file
  std::uint16_t Res1;             // 6
  std::uint16_t Res2;             // 8
  std::uint32_t BfOffBits;        // 10: offset of the pixel data, 1078 or 54
  std::uint32_t BiSize;           // 14: 40
  std::uint32_t BiWidth;          // 18
  std::uint32_t BiHeight;         // 22
  std::uint16_t BiPlanes;         // 26: 1
  std::uint16_t BiBitCount;       // 28: 8 or 24
  std::uint32_t BiCompression;    // 30: 0
  std::uint32_t BiSizeImage;      // 34: length of the pixel data
  std::uint32_t BiXPelsPerMeter;  // 38
  std::uint32_t BiYPelsPerMeter;  // 42
  std::uint32_t BiClrUsed;        // 46
  std::uint32_t BiClrImportant;   // 50
};

// Writes `Buff` (NbLig rows of NbCol pixels, row 0 on top) as the bitmap `Nom`,
// replacing any file of that name. ColorMAP is the 256-entry palette of an
// 8-bit image, or null for the grey ramp. Prints "\n nom = <Nom> " once the file
// is created and "\n header OK " once header and palette are written, waiting
// for a key after each (only when standard input is a terminal).
// Returns 0 when the whole file was written, -1 otherwise; a Type other than 0,
// 1, 2 or a size below 1 creates no file.
int SauveBMP(const char* Nom, unsigned char** Buff, int NbCol, int NbLig, int Type, Color32* ColorMAP);

// Why ChargeBMP gave no matrix.
enum class BmpFault {
  none,
  cannot_open,
  not_bitmap,  // shorter than a header, or not starting with "BM"
  layout,      // neither 8 bits with a 256-entry palette nor 24 bits, or an empty image
  compressed,
  top_down,    // a negative height: rows stored top row first
  too_large,   // wider or higher than 32767 pixels
  cut_short,   // the header passed, the palette or the pixel rows are short
  no_memory,
};

// Reads the bitmap `Name` into a new matrix of NbLig rows of NbCol x (1 or 3)
// bytes, row 0 on top; null when the file is missing, cut short, not a bitmap,
// compressed, of another pixel layout, wider or higher than 32767 pixels or
// stored top-down, and then `Why`, when given, says which. Type is set once
// the layout is known; NbCol and NbLig once the header has passed every check.
// A non-null ColorMAP on entry asks for the palette: it is replaced at once by
// a new 256-entry table that the caller owns from then on (release it with
// LiberePalette); with 8 bits it receives the file's palette. A null ColorMAP
// stays null.
unsigned char** ChargeBMP(const char* Name, int& NbCol, int& NbLig, int& Type, Color32*& ColorMAP,
                          BmpFault* Why = nullptr);

// Releases a matrix returned by ChargeBMP.
void LibereBMP(unsigned char** Buff, int NbLig);

// Releases a palette table returned by ChargeBMP.
void LiberePalette(Color32* ColorMAP);

// The layout of a bitmap's pixel rows, as its header gives it.
struct BmpLayout {
  int NbCol = 0, NbLig = 0;
  int Type = 0;                 // 0, 1 or 2, as ChargeBMP gives it
  int taille = 0;               // bytes per pixel: 1 or 3
  std::uint32_t BfOffBits = 0;  // where the pixel rows start
  std::size_t TBuff = 0;        // stored bytes of a row, padding included
};

// Reads and checks the header (and the palette) of the open bitmap `f`, with
// the checks of ChargeBMP, its length included, without reading its pixels:
// false, and `why`, when it is not a bitmap ChargeBMP reads whole.
bool EnteteBMP(std::FILE* f, BmpLayout& layout, BmpFault& why);

// Reads rows first .. first + count - 1 (row 0 on top) of a bitmap whose
// header EnteteBMP took, pixels column .. column + width - 1 of each, into
// rows[k] (width x taille bytes). False when the file is cut short.
bool LignesBMP(std::FILE* f, const BmpLayout& layout, int first, int count, int column, int width,
               unsigned char* const* rows);
