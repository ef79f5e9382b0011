// Writes deterministic benchmark data into a folder:
//
//   dem_m2.raw, dem_m2.txt   a DEM of LINES x COLUMNS cells, 16-bit, decimetres
//   dem.asc                  the same DEM as an ASCII grid in metres, one text
//                            line per raster line (with "grid" or "both")
//   zone.raw, zone.txt       a mask whose code 1 covers about a third of the cells
//   zone.bmp                 the same mask as an 8-bit bitmap (up to 32767 x 32767)
//   zones.raw, zones.txt     a mask of 50 codes (0 to 49) in patches of about 1400 x 1400 (with "raw")
//
// usage: bench_generate FOLDER LINES COLUMNS [raw|grid|both]
//
// The relief is smooth (a few long waves, 0 to 4000 m) with a roughness of a
// few metres from a hash of the cell; the zone is a set of rounded blobs.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr double kTwoPi = 6.283185307179586;

std::uint32_t hash(std::uint32_t i, std::uint32_t j) {
  std::uint32_t h = i * 0x9E3779B1u ^ (j + 0x7F4A7C15u) * 0x85EBCA77u;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  return h;
}

// Altitude in decimetres, 0 to 40000.
std::uint16_t altitude_dm(int i, int j, int lines, int cols) {
  const double y = static_cast<double>(i) / lines, x = static_cast<double>(j) / cols;
  double metres = 2000.0 + 1100.0 * std::sin(kTwoPi * 1.3 * y + 0.4) * std::cos(kTwoPi * 0.9 * x) +
                  600.0 * std::sin(kTwoPi * 3.1 * (x + y) + 1.0) + 180.0 * std::cos(kTwoPi * 7.0 * x - 2.0 * y);
  metres += static_cast<double>(hash(i, j) % 1001) / 100.0 - 5.0;
  return static_cast<std::uint16_t>(std::clamp(std::lround(metres * 10.0), 0L, 40000L));
}

bool in_zone(int i, int j, int lines, int cols) {
  const double y = static_cast<double>(i) / lines, x = static_cast<double>(j) / cols;
  const double blob = std::sin(kTwoPi * 2.2 * y + 0.3) * std::sin(kTwoPi * 1.7 * x + 0.8) +
                      0.35 * std::cos(kTwoPi * 1.1 * (x - y));
  return blob > 0.28;
}

void write_text(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0) {
    std::perror(path.c_str());
    std::exit(1);
  }
}

// An 8-bit bitmap with a grey palette, rows bottom-up, each padded to 4 bytes.
std::FILE* start_bitmap(const std::string& path, int lines, int cols) {
  if (lines > 32767 || cols > 32767) return nullptr;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return nullptr;
  const std::uint32_t row = (static_cast<std::uint32_t>(cols) + 3) / 4 * 4;
  const std::uint32_t fields[] = {1078 + row * static_cast<std::uint32_t>(lines), 0, 1078, 40,
                                  static_cast<std::uint32_t>(cols), static_cast<std::uint32_t>(lines)};
  std::vector<unsigned char> head = {'B', 'M'};
  for (std::uint32_t v : fields) {
    for (int k = 0; k < 4; ++k) head.push_back(static_cast<unsigned char>(v >> (8 * k)));
  }
  const unsigned char rest[] = {1, 0, 8, 0};  // planes, bits
  head.insert(head.end(), rest, rest + 4);
  head.resize(54, 0);
  for (int i = 0; i < 256; ++i) {
    const unsigned char grey = static_cast<unsigned char>(i);
    const unsigned char entry[] = {grey, grey, grey, 0};
    head.insert(head.end(), entry, entry + 4);
  }
  std::fwrite(head.data(), 1, head.size(), f);
  return f;
}

void write_bitmap_row(std::FILE* f, int i, int lines, const std::vector<unsigned char>& mask) {
  const std::size_t row = (mask.size() + 3) / 4 * 4;
  std::vector<unsigned char> padded(mask);
  padded.resize(row, 0);
  std::fseek(f, static_cast<long>(1078 + row * static_cast<std::size_t>(lines - 1 - i)), SEEK_SET);
  std::fwrite(padded.data(), 1, row, f);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s FOLDER LINES COLUMNS [raw|grid|both]\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  const int lines = std::atoi(argv[2]), cols = std::atoi(argv[3]);
  const std::string kind = argc > 4 ? argv[4] : "both";
  const bool raw = kind != "grid", grid = kind != "raw";

  std::FILE* dem = raw ? std::fopen((folder + "/dem_m2.raw").c_str(), "wb") : nullptr;
  std::FILE* asc = grid ? std::fopen((folder + "/dem.asc").c_str(), "wb") : nullptr;
  std::FILE* zone = std::fopen((folder + "/zone.raw").c_str(), "wb");
  std::FILE* zones = raw ? std::fopen((folder + "/zones.raw").c_str(), "wb") : nullptr;
  std::FILE* bitmap = raw ? start_bitmap(folder + "/zone.bmp", lines, cols) : nullptr;
  if ((raw && dem == nullptr) || (grid && asc == nullptr) || zone == nullptr) {
    std::perror(folder.c_str());
    return 1;
  }
  if (asc != nullptr) {
    std::fprintf(asc, "ncols %d\nnrows %d\nxllcorner 500000.000000\nyllcorner 4000000.000000\n"
                      "cellsize 10.000000\nnodata_value -9999.9999\n", cols, lines);
  }
  std::vector<unsigned char> cells(2 * static_cast<std::size_t>(cols)), mask(cols), codes(cols);
  std::string text;
  int low = 40000, high = 0;
  long long zone_cells = 0;
  for (int i = 0; i < lines; ++i) {
    text.clear();
    for (int j = 0; j < cols; ++j) {
      const std::uint16_t dm = altitude_dm(i, j, lines, cols);
      low = std::min<int>(low, dm);
      high = std::max<int>(high, dm);
      cells[2 * j] = static_cast<unsigned char>(dm & 0xFF);
      cells[2 * j + 1] = static_cast<unsigned char>(dm >> 8);
      mask[j] = in_zone(i, j, lines, cols) ? 1 : 0;
      codes[j] = static_cast<unsigned char>(hash(static_cast<std::uint32_t>(i / 1400), static_cast<std::uint32_t>(j / 1400)) % 50);
      zone_cells += mask[j];
      if (grid) text += std::to_string(dm / 10) + "." + std::to_string(dm % 10) + (j + 1 < cols ? " " : "\n");
    }
    if (dem != nullptr) std::fwrite(cells.data(), 1, cells.size(), dem);
    if (asc != nullptr) std::fwrite(text.data(), 1, text.size(), asc);
    std::fwrite(mask.data(), 1, mask.size(), zone);
    if (zones != nullptr) std::fwrite(codes.data(), 1, codes.size(), zones);
    if (bitmap != nullptr) write_bitmap_row(bitmap, i, lines, mask);
  }
  for (std::FILE* f : {dem, asc, zone, bitmap, zones}) {
    if (f != nullptr && std::fclose(f) != 0) return 1;
  }
  if (raw) {
    write_text(folder + "/dem_m2.txt", std::to_string(lines) + "\n" + std::to_string(cols) + "\n2\n" +
                                           std::to_string(low) + "\n" + std::to_string(high) + "\n10.000000\n");
  }
  write_text(folder + "/zone.txt", std::to_string(lines) + " " + std::to_string(cols) + "\n");
  if (raw) write_text(folder + "/zones.txt", std::to_string(lines) + " " + std::to_string(cols) + "\n");
  std::printf("%s: %d x %d, %.1f%% of the cells in zone 1, %.1f to %.1f m\n", folder.c_str(), lines, cols,
              100.0 * zone_cells / (static_cast<double>(lines) * cols), low / 10.0, high / 10.0);
  return 0;
}
