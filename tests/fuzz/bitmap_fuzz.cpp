// The bitmap reader on any bytes, with and without a palette requested.
#include "fuzz_file.h"
#include "image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzz_file(data, size, ".bmp");
  for (bool with_palette : {false, true}) {
    int cols = 0, lines = 0, type = 0;
    Color32 signal{};
    Color32* palette = with_palette ? &signal : nullptr;
    unsigned char** rows = ChargeBMP(path.c_str(), cols, lines, type, palette);
    if (rows != nullptr) {
      // Touch every byte the reader claims to have given.
      const int taille = type == 2 ? 3 : 1;
      unsigned sum = 0;
      for (int i = 0; i < lines; ++i) {
        for (int k = 0; k < cols * taille; ++k) sum += rows[i][k];
      }
      if (sum == 0xFFFFFFFFu) std::abort();
      LibereBMP(rows, lines);
    }
    if (with_palette) LiberePalette(palette);
  }
  return 0;
}
