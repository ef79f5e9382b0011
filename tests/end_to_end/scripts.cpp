#include "scripts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <csignal>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "dialog/program.h"

const std::string kRawRun = "alps\nmnt\n1\n0\n2\nzone\n1\n1\n0\n0\n";
const std::string kUtm = "PROJCS[\"WGS 84 / UTM zone 31N\",GEOGCS[\"WGS 84\"],UNIT[\"metre\",1]]";
const std::string kGridHeader = "ncols 4\nnrows 3\nxllcorner 0\nyllcorner 0\ncellsize 10\n";

const std::vector<std::string> kScripts = {
    "alps mnt 1 0 2 zone 1 1 0 0 res 1 0",         // raw 16 + raw mask -> raw 16, volume
    "alps mnt 1 1 2 zone 0 1 7.5 1 res 0 10 20",    // raw 32 + bitmap -> grid, corner asked
    "alps mnt 0 zone 0 1 0 0 res 0",                 // grid + bitmap -> grid, volume shown
    "alps mnt 0 zone 1 1 -3 1 res 1 1 2",            // grid + raw mask -> raw 32 in centimetres
};

std::string replaced(std::string script, const std::string& from, const std::string& to) {
  return script.replace(script.find(from), from.size(), to);
}

std::string words(std::string answers) {
  std::replace(answers.begin(), answers.end(), ' ', '\n');
  return answers + "\n";
}

std::vector<std::string> split_answers(const std::string& script) {
  std::vector<std::string> answers;
  std::istringstream in(script);
  for (std::string word; in >> word;) answers.push_back(word);
  return answers;
}

std::string join(const std::vector<std::string>& answers) {
  std::string script;
  for (const std::string& a : answers) script += a + "\n";
  return script;
}

void write_old_raw_result(const std::string& dir) {
  for (const char* name : {"res_m2.raw", "res_m2.txt", "res_m2.hdr", "res.asc"}) {
    write_file(dir + "/" + name, earlier_result_file(name));
  }
}

std::map<std::string, std::string> files_of(const std::string& dir, const std::string& prefix) {
  std::map<std::string, std::string> files;
  for (const auto& [name, content] : snapshot(dir)) {
    if (name.rfind(prefix, 0) == 0) files[name] = content;
  }
  return files;
}

bool have(const char* program) {
  return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

void run_traced(const std::string& base, const std::string& answers, const std::string& trace, const std::string& log) {
  TempDir io;
  write_file(io / "answers", answers);
  const std::string command = "MESACROP_IMAGES=" + base + " strace -f -o " + log + " " + trace + " " MESACROP_BINARY +
                              " < " + io / "answers" + " > /dev/null 2>&1";
  std::system(command.c_str());
}

ToolRun run_in_process(const std::string& images_dir, const std::string& answers) {
  std::istringstream in(answers);
  std::ostringstream out;
  Console con{in, out, false};
  ToolRun run;
  run.status = run_mesacrop(con, images_dir + "/");
  run.transcript = out.str();
  return run;
}

void expect_clean_outcome(const std::map<std::string, std::string>& before,
                          const std::map<std::string, std::string>& after, const ToolRun& run, const std::string& what) {
  ASSERT_FALSE(run.timed_out) << what << " hung";
  ASSERT_TRUE(run.status == 0 || run.status == 1) << what << " crashed: " << run.transcript;
  for (const auto& [name, content] : before) EXPECT_EQ(after.at(name), content) << what << ": input " << name;
  for (const auto& [name, content] : after) {
    if (before.count(name)) continue;
    EXPECT_EQ(run.status, 0) << what << " stopped but left " << name;
    EXPECT_EQ(name.find(".mesacrop-"), std::string::npos) << what << " left a temporary file";
    if (name.size() > 4 && name.substr(name.size() - 4) == ".raw") {
      const std::size_t cell = name.find("_m4") != std::string::npos ? 4 : 2;
      EXPECT_EQ(content.size(), 12 * cell) << what << ": " << name;
    }
  }
}

int interactive_run(const std::string& images_dir, const std::function<std::string(const std::string&)>& step,
                    std::string& transcript) {
  TempDir io;
  const std::string out_path = io / "out";
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(pipe_fds[0], 0);
    dup2(out, 1);
    close(pipe_fds[1]);
    setenv("MESACROP_IMAGES", images_dir.c_str(), 1);
    execl(MESACROP_BINARY, "mesacrop", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipe_fds[0]);
  std::string pending;
  int status = 0;
  for (int tick = 0; tick < 5000; ++tick) {
    if (waitpid(child, &status, WNOHANG) == child) break;
    const std::string next = step(read_file(out_path));
    if (next == "\x04") {
      close(pipe_fds[1]);
      pipe_fds[1] = -1;
    } else if (!next.empty() && pipe_fds[1] >= 0) {
      if (write(pipe_fds[1], next.data(), next.size()) != static_cast<ssize_t>(next.size())) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (waitpid(child, &status, WNOHANG) == 0) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
  }
  if (pipe_fds[1] >= 0) close(pipe_fds[1]);
  transcript = read_file(out_path);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
