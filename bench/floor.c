/* The line-streaming floor of the raw path: reads a 16-bit DEM and its byte
 * mask line by line with read(2), writes where(mask == code, dem, 0) with
 * write(2) and sums the kept cells. What any tool doing this job must at
 * least spend.
 *
 *   bench_floor DEM MASK OUT LINES COLUMNS CODE
 */
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static void read_all(int fd, void* to, size_t n) {
  char* p = to;
  while (n > 0) {
    ssize_t got = read(fd, p, n);
    if (got <= 0) { perror("read"); exit(1); }
    p += got, n -= (size_t)got;
  }
}

int main(int argc, char** argv) {
  if (argc != 7) { fprintf(stderr, "usage: %s DEM MASK OUT LINES COLUMNS CODE\n", argv[0]); return 2; }
  int dem = open(argv[1], O_RDONLY), mask = open(argv[2], O_RDONLY);
  int out = open(argv[3], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  long lines = atol(argv[4]), cols = atol(argv[5]);
  int code = atoi(argv[6]);
  uint16_t* cells = malloc(cols * 2);
  unsigned char* codes = malloc(cols);
  double sum = 0.0;
  for (long i = 0; i < lines; ++i) {
    read_all(dem, cells, cols * 2);
    read_all(mask, codes, cols);
    for (long j = 0; j < cols; ++j) {
      if (codes[j] == code) sum += cells[j]; else cells[j] = 0;
    }
    if (write(out, cells, cols * 2) != cols * 2) { perror("write"); return 1; }
  }
  printf("%.0f\n", sum);
  return close(out) == 0 ? 0 : 1;
}
