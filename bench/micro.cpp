// Microbenchmarks of the inner loops: grid text parsing and formatting, and
// the zone's figures, volume and extraction.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "files/formats.h"
#include "files/input_file.h"
#include "files/output_file.h"
#include "platform.h"
#include "matrix.h"
#include "nrutil.h"
#include "zone/zone.h"

namespace {

constexpr int kLines = 1000, kCols = 2000;

// Files in memory-backed /dev/shm when there is one: the text work is measured, not the disk.
std::string scratch(const char* name) {
  std::FILE* probe = std::fopen("/dev/shm/mesacrop-bench-probe", "w");
  if (probe == nullptr) return std::string("/tmp/") + name;
  std::fclose(probe);
  std::remove("/dev/shm/mesacrop-bench-probe");
  return std::string("/dev/shm/") + name;
}

Matrix<double> terrain() {
  Matrix<double> m(dmatrice(kCols, kLines), kLines, frdmatrice);
  for (int i = 0; i < kLines; ++i) {
    for (int j = 0; j < kCols; ++j) m[i][j] = std::round((1500.0 + 900.0 * std::sin(i * 0.01) * std::cos(j * 0.007) + (i * 31 + j * 17) % 97 / 10.0) * 10.0) / 10.0;
  }
  return m;
}

std::uint64_t write_grid(const Matrix<double>& m, const std::string& path) {
  OutputFile out;
  out.create(path);
  RasterGeometry g;
  g.nb_lig = kLines, g.nb_col = kCols, g.dpix_size = 10.0;
  GridWriter writer(out, g);
  writer.write_lines(m.get(), kLines, kCols);
  out.publish();
  InputFile f = open_input(path);
  return file_length(f.get());
}

void GridFormat(benchmark::State& state) {
  const Matrix<double> m = terrain();
  const std::string path = scratch("mesacrop-bench-format.asc");
  std::uint64_t bytes = 0;
  for (auto _ : state) bytes = write_grid(m, path);
  std::remove(path.c_str());
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
  state.SetItemsProcessed(static_cast<std::int64_t>(kLines) * kCols * state.iterations());
}

void GridParse(benchmark::State& state) {
  const std::string path = scratch("mesacrop-bench-parse.asc");
  const std::uint64_t bytes = write_grid(terrain(), path);
  Matrix<double> cells(dmatrice(kCols, kLines), kLines, frdmatrice);
  for (auto _ : state) {
    InputFile f = open_input(path);
    GridReader reader(f.get(), path);
    const RasterGeometry header = reader.read_header();
    reader.read_lines(cells.get(), 0, header.nb_lig, 0, header.nb_col, [](int) {});
    benchmark::DoNotOptimize(cells[kLines - 1][kCols - 1]);
  }
  std::remove(path.c_str());
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
  state.SetItemsProcessed(static_cast<std::int64_t>(kLines) * kCols * state.iterations());
}

void ExtractionAndVolume(benchmark::State& state) {
  const Matrix<double> dem = terrain();
  Matrix<unsigned char> mask(ucmatrice(kCols, kLines), kLines, frucmatrice);
  for (int i = 0; i < kLines; ++i) {
    for (int j = 0; j < kCols; ++j) mask[i][j] = std::sin(i * 0.02) * std::sin(j * 0.015) > 0.3 ? 1 : 0;
  }
  Matrix<double> out(dmatrice(kCols, kLines), kLines, frdmatrice);
  for (auto _ : state) {
    ZoneFigures figures;
    const RasterGeometry plain;
    for (int i = 0; i < kLines; ++i) {
      const bool inner = i > 0 && i < kLines - 1;
      add_zone_line(figures, dem[i], inner ? mask[i - 1] : nullptr, mask[i], inner ? mask[i + 1] : nullptr, 0, kCols,
                    kCols, 1, plain, 100.0, {});
      extract_line(dem[i], mask[i], kCols, 1, 0.0, out[i]);
    }
    benchmark::DoNotOptimize(figures.vol_tot);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(kLines) * kCols * state.iterations());
}

}  // namespace

BENCHMARK(GridParse)->Unit(benchmark::kMillisecond);
BENCHMARK(GridFormat)->Unit(benchmark::kMillisecond);
BENCHMARK(ExtractionAndVolume)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
