// The line-streaming floor of the raw path: reads a 16-bit DEM and its byte
// mask line by line with read(2), writes where(mask == code, dem, 0) with
// write(2) and sums the kept cells. What any tool doing this job must spend.
//
//   bench_floor DEM MASK OUT LINES COLUMNS CODE
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

static void read_all(int fd, void* to, std::size_t n) {
  for (auto* p = static_cast<char*>(to); n > 0;) {
    const ssize_t got = read(fd, p, n);
    if (got <= 0) std::exit(1);
    p += got, n -= static_cast<std::size_t>(got);
  }
}

int main(int argc, char** argv) {
  if (argc != 7) return 2;
  const int dem = open(argv[1], O_RDONLY), mask = open(argv[2], O_RDONLY);
  const int out = open(argv[3], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const long lines = std::atol(argv[4]), cols = std::atol(argv[5]);
  const int code = std::atoi(argv[6]);
  std::vector<std::uint16_t> cells(static_cast<std::size_t>(cols));
  std::vector<unsigned char> codes(static_cast<std::size_t>(cols));
  double sum = 0.0;
  for (long i = 0; i < lines; ++i) {
    read_all(dem, cells.data(), cells.size() * 2);
    read_all(mask, codes.data(), codes.size());
    for (std::size_t j = 0; j < cells.size(); ++j) {
      if (codes[j] == code) sum += cells[j]; else cells[j] = 0;
    }
    if (write(out, cells.data(), cells.size() * 2) != static_cast<ssize_t>(cells.size() * 2)) return 1;
  }
  std::printf("%.0f\n", sum);
  return close(out) == 0 ? 0 : 1;
}
