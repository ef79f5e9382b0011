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
