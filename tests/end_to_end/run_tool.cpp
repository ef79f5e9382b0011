#include "run_tool.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>


ToolRun run_tool(const std::string& images_dir, const std::string& answers, int timeout_ms, bool as_nobody) {
  TempDir io;
  write_file(io / "answers", answers);
  const std::string out_path = io / "out";
  const pid_t child = fork();
  if (child == 0) {
    const int in = open((io / "answers").c_str(), O_RDONLY);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, 0);
    dup2(out, 1);
    dup2(out, 2);
    setenv("MESACROP_IMAGES", images_dir.c_str(), 1);
    if (as_nobody && getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(126);
    execl(MESACROP_BINARY, "mesacrop", "ignored-argument", static_cast<char*>(nullptr));
    _exit(127);
  }
  ToolRun run;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      run.timed_out = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (!run.timed_out && WIFEXITED(status)) run.status = WEXITSTATUS(status);
  run.transcript = read_file(out_path);
  return run;
}

std::map<std::string, std::string> snapshot(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
    if (entry.is_regular_file()) {
      files[std::filesystem::relative(entry.path(), dir).string()] = read_file(entry.path().string());
    }
  }
  return files;
}

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
