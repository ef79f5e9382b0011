#include "test_files.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>

namespace {

// No test reads the terminal: standard input is the empty device, so that a
// key wait (the bitmap writer's) returns at once, and the tests typed in a
// terminal finish as they do in CI.
#ifdef _WIN32
const bool kNoTerminal = std::freopen("NUL", "rb", stdin) != nullptr;
#else
const bool kNoTerminal = std::freopen("/dev/null", "rb", stdin) != nullptr;
#endif

}  // namespace

TempDir::TempDir() {
  (void)kNoTerminal;
  static std::mt19937_64 random(std::random_device{}());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto candidate =
        std::filesystem::temp_directory_path() / ("mesacrop-test-" + std::to_string(random() % 1000000000));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate.string();
      return;
    }
  }
  throw std::runtime_error("no temporary folder could be made");
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Read-only folders made by a test must not outlive it.
  for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
    std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(path_, ignored);
}

void write_file(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path);
}

void write_bytes(const std::string& path, const Bytes& content) {
  write_file(path, std::string(content.begin(), content.end()));
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

bool file_exists(const std::string& path) { return std::filesystem::exists(path); }

std::vector<std::string> list_folder(const std::string& path) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> temporaries_in(const std::string& dir) {
  std::vector<std::string> found;
  for (const std::string& name : list_folder(dir)) {
    if (name.rfind(".mesacrop-", 0) == 0) found.push_back(name);
  }
  return found;
}

std::string as_text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

int occurrences(const std::string& haystack, const std::string& needle) {
  int n = 0;
  for (auto at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
  return n;
}

Bytes le16(const std::vector<unsigned>& values) {
  Bytes out;
  for (unsigned v : values) {
    out.push_back(static_cast<unsigned char>(v & 0xFF));
    out.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
  }
  return out;
}

Bytes le32(const std::vector<std::int32_t>& values) {
  Bytes out;
  for (std::int32_t v : values) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<unsigned char>((u >> (8 * k)) & 0xFF));
  }
  return out;
}

namespace {

void append32(Bytes& out, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<unsigned char>((v >> (8 * k)) & 0xFF));
}
void append16(Bytes& out, std::uint16_t v) {
  out.push_back(static_cast<unsigned char>(v & 0xFF));
  out.push_back(static_cast<unsigned char>(v >> 8));
}

}  // namespace

Bytes bitmap_bytes(int cols, int lines, int bits, const std::vector<unsigned char>& pixels) {
  const std::size_t taille = bits / 8;
  const std::size_t row = (cols * taille + 3) / 4 * 4;
  const std::uint32_t offset = bits == 8 ? 1078 : 54;
  Bytes out;
  append16(out, 0x4D42);
  append32(out, static_cast<std::uint32_t>(offset + row * lines));
  append32(out, 0);
  append32(out, offset);
  append32(out, 40);
  append32(out, static_cast<std::uint32_t>(cols));
  append32(out, static_cast<std::uint32_t>(lines));
  append16(out, 1);
  append16(out, static_cast<std::uint16_t>(bits));
  append32(out, 0);
  append32(out, static_cast<std::uint32_t>(row * lines));
  for (int k = 0; k < 4; ++k) append32(out, 0);
  if (bits == 8) {
    for (int i = 0; i < 256; ++i) append32(out, static_cast<std::uint32_t>(i * 0x010101));
  }
  for (int i = lines - 1; i >= 0; --i) {
    const auto first = pixels.begin() + static_cast<std::ptrdiff_t>(i * cols * taille);
    out.insert(out.end(), first, first + static_cast<std::ptrdiff_t>(cols * taille));
    out.resize(out.size() + row - cols * taille, 0);
  }
  return out;
}

std::string earlier_result_file(const std::string& name) {
  auto ends = [&](const std::string& end) {
    return name.size() >= end.size() && name.compare(name.size() - end.size(), end.size(), end) == 0;
  };
  if (ends(".json")) return "{\n  \"tool\": \"mesacrop\", \"old\": true\n}\n";
  if (ends("_m2.txt") || ends("_m4.txt")) return "1\n1\n2\n0\n0\n90\n\n\n\tMesacrop Treatment old";
  if (ends(".hdr")) return "BYTEORDER I\nLAYOUT BIL\nNROWS 1\n";
  return "old";
}
