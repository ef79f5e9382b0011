#include "alps_folder.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace {

const std::vector<std::int32_t> kCentimetres = {10000, 10050, 10100, 10150, 10200, 10029,
                                                10300, 10350, 10400, 10450, 10500, 10550};
const std::vector<unsigned char> kZone = {0, 1, 1, 0, 1, 1, 1, 0, 0, 1, 0, 0};

}  // namespace

Alps::Alps(const TempDir& base) : dir(base / "alps") {
  std::filesystem::create_directory(dir);
  write_bytes(dir + "/mnt_m2.raw", le16(std::vector<unsigned>(kCentimetres.begin(), kCentimetres.end())));
  write_file(dir + "/mnt_m2.txt", "3\n4\n2\n10000\n10550\n1000.000000\n");
  write_bytes(dir + "/mnt_m4.raw", le32(kCentimetres));
  write_file(dir + "/mnt_m4.txt", "3\n4\n4\n10000\n10550\n1000.000000\n");
  write_file(dir + "/mnt.asc",
             "ncols 4\nnrows 3\nxllcorner 500000.000000\nyllcorner 4000000.000000\ncellsize 1000.000000\n"
             "nodata_value -9999.9999\n100.000000\t100.500000\t101.000000\t101.500000\t102.000000\t100.290000\t"
             "103.000000\t103.500000\t104.000000\t104.500000\t105.000000\t105.500000\t");
  write_bytes(dir + "/zone.raw", kZone);
  write_file(dir + "/zone.txt", "3 4");
  write_bytes(dir + "/zone.bmp", bitmap_bytes(4, 3, 8, kZone));
}
