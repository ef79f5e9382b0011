#include "run_tool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>


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
