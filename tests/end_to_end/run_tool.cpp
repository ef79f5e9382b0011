#include "run_tool.h"

#include "files/library_raster.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <stdexcept>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <pty.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>


namespace {

std::vector<std::string> split(const std::string& words) {
  std::istringstream in(words);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

}  // namespace

CliRun run_cli(const std::string& dir, const std::string& arguments, bool terminal) {
  TempDir io;
  int master = -1, slave = -1;
  if (terminal && openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return {};
  // Made before the fork: the child of a threaded test only calls the system.
  std::vector<std::string> words = split(arguments);
  std::vector<char*> argv{const_cast<char*>("mesacrop")};
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  const std::string out_path = io / "out", err_path = io / "err";
  const pid_t child = fork();
  if (child == 0) {
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = terminal ? slave : open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(err, 2);
    close(0);
    if (chdir(dir.c_str()) != 0) _exit(126);
    execv(MESACROP_BINARY, argv.data());
    _exit(127);
  }
  CliRun run;
  int status = 0;
  std::string seen;
  for (;;) {
    if (terminal) {
      char chunk[4096];
      fcntl(master, F_SETFL, O_NONBLOCK);
      for (ssize_t got; (got = read(master, chunk, sizeof chunk)) > 0;) seen.append(chunk, static_cast<std::size_t>(got));
    }
    if (waitpid(child, &status, WNOHANG) == child) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (terminal) {
    char chunk[4096];
    for (ssize_t got; (got = read(master, chunk, sizeof chunk)) > 0;) seen.append(chunk, static_cast<std::size_t>(got));
    close(master);
    close(slave);
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = read_file(out_path);
  run.errors = terminal ? seen : read_file(err_path);
  return run;
}


ToolRun run_tool(const std::string& images_dir, const std::string& answers, int timeout_ms, bool as_nobody) {
  const auto before = snapshot(images_dir);
  ToolRun run = run_binary(images_dir, answers, timeout_ms, as_nobody);
  // No run ever changes or removes a file it found, results of earlier runs
  // (named "res...") aside.
  const auto after = snapshot(images_dir);
  for (const auto& [name, content] : before) {
    if (std::filesystem::path(name).filename().string().rfind("res", 0) == 0) continue;
    EXPECT_TRUE(after.count(name) && after.at(name) == content) << "the run changed or removed " << name;
  }
  return run;
}

ToolRun run_binary(const std::string& images_dir, const std::string& answers, int timeout_ms, bool as_nobody) {
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
    execl(MESACROP_BINARY, "mesacrop", static_cast<char*>(nullptr));
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
    if (!entry.is_regular_file()) continue;
    const std::string name = std::filesystem::relative(entry.path(), dir).string();
    if (entry.file_size() > (64u << 20)) {
      // Huge (sparse) test files: their length and time of change stand for them.
      files[name] = "length " + std::to_string(entry.file_size()) + ", changed " +
                    std::to_string(entry.last_write_time().time_since_epoch().count());
    } else {
      files[name] = read_file(entry.path().string());
    }
  }
  return files;
}

LiveRun::LiveRun(const std::string& images_dir, const std::string& answers, int output_pipe_bytes) {
  int in[2], out[2] = {-1, -1};
  if (pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  if (output_pipe_bytes > 0) {
    if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    fcntl(out[1], F_SETPIPE_SZ, output_pipe_bytes);
  }
  const std::string transcript_path = io_ / "out";
  pid_ = fork();
  if (pid_ == 0) {
    const int to = out[1] >= 0 ? out[1] : open(transcript_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in[0], 0);
    dup2(to, 1);
    dup2(to, 2);
    for (int fd : {in[0], in[1], out[0], out[1]}) {
      if (fd > 2) close(fd);
    }
    setenv("MESACROP_IMAGES", images_dir.c_str(), 1);
    execl(MESACROP_BINARY, "mesacrop", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(in[0]);
  input_ = in[1];
  if (out[1] >= 0) close(out[1]);
  output_ = out[0];
  send(answers);
}

LiveRun::~LiveRun() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  close_input();
  close_output();
}

void LiveRun::send(const std::string& answers) {
  if (answers.empty()) return;
  EXPECT_EQ(write(input_, answers.data(), answers.size()), static_cast<ssize_t>(answers.size()));
}

void LiveRun::close_input() {
  if (input_ >= 0) close(input_);
  input_ = -1;
}

void LiveRun::close_output() {
  if (output_ >= 0) close(output_);
  output_ = -1;
}

std::string LiveRun::transcript() const { return read_file(io_ / "out"); }

bool LiveRun::wait_until(const std::function<bool()>& done, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

void LiveRun::signal(int signal_number) const { kill(pid_, signal_number); }

int LiveRun::wait(int timeout_ms) {
  int status = -1;
  if (!wait_until([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, timeout_ms)) return -1;
  pid_ = -1;
  return status;
}

std::string shell(const std::string& command) {
  std::string output;
  std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) output.append(chunk, got);
  EXPECT_EQ(pclose(pipe), 0) << command << "\n" << output;
  return output;
}

int start_on_terminal(const std::string& images_dir, int& terminal) {
  const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (child == 0) {
    setenv("MESACROP_IMAGES", images_dir.c_str(), 1);
    execl(MESACROP_BINARY, "mesacrop", static_cast<char*>(nullptr));
    _exit(127);
  }
  return child;
}

std::string in_folder(std::string text, const std::string& dir) {
  for (std::size_t at; (at = text.find('%')) != std::string::npos;) text.replace(at, 1, dir);
  return text;
}

bool have_gdal_tools() {
  static const bool found =
      gdal_available() && std::system("command -v gdal_translate >/dev/null && command -v gdal_calc.py >/dev/null && "
                                      "command -v gdal_edit.py >/dev/null && command -v ogr2ogr >/dev/null") == 0;
  return found;
}

void demo_for_gdal(const std::string& dir) {
  std::filesystem::copy(MESACROP_EXAMPLES "/demo", dir);
  write_file(dir + "/jacksboro_m2.hdr", "BYTEORDER I\nLAYOUT BIL\nNROWS 200\nNCOLS 222\nNBANDS 1\nNBITS 16\n"
                                        "PIXELTYPE UNSIGNEDINT\nULXMAP 739935\nULYMAP 4055715\nXDIM 90\nYDIM 90\n");
  write_file(dir + "/zone.hdr", "BYTEORDER I\nLAYOUT BIL\nNROWS 200\nNCOLS 222\nNBANDS 1\nNBITS 8\n"
                                "ULXMAP 739935\nULYMAP 4055715\nXDIM 90\nYDIM 90\n");
}

DemoCopy::DemoCopy() { std::filesystem::copy(MESACROP_EXAMPLES "/demo", dir); }
