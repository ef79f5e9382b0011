// Odd answers, cut-short answers, failing disks and lying headers: the tool
// never crashes, never hangs, never writes a partial or wrong file and never
// touches its inputs.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include "dialog/program.h"
#include "run_tool.h"

namespace {

// The dialog run in this process, as the dialog's fuzz target runs it: what
// a run of the binary shows, for the answers that never reach a signal or a
// terminal, hundreds of times faster.
ToolRun run_in_process(const std::string& images_dir, const std::string& answers) {
  std::istringstream in(answers);
  std::ostringstream out;
  Console con{in, out, false};
  ToolRun run;
  run.status = run_mesacrop(con, images_dir + "/");
  run.transcript = out.str();
  return run;
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

// Complete scripts on the alps folder, one per path through the dialog.
const char* const kScripts[] = {
    "alps mnt 1 0 2 zone 1 1 0 0 res 1 0",         // raw 16 + raw mask -> raw 16, volume
    "alps mnt 1 1 2 zone 0 1 7.5 1 res 0 10 20",    // raw 32 + bitmap -> grid, corner asked
    "alps mnt 0 zone 0 1 0 0 res 0",                 // grid + bitmap -> grid, volume shown
    "alps mnt 0 zone 1 1 -3 1 res 1 1 2",            // grid + raw mask -> raw 32 in centimetres
};

// What a finished or stopped run may leave in the folder: only whole result
// files, the inputs unchanged.
void expect_clean_outcome(const std::map<std::string, std::string>& before,
                          const std::map<std::string, std::string>& after, const ToolRun& run,
                          const std::string& what) {
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

}  // namespace

TEST(Robustness, EveryCutShortScriptEndsWithTheEndOfAnswersStop) {
  for (const char* script : kScripts) {
    const std::vector<std::string> answers = split_answers(script);
    for (std::size_t kept = 0; kept < answers.size(); ++kept) {
      TempDir base;
      Alps alps(base);
      const auto before = snapshot(alps.dir);
      const std::vector<std::string> prefix(answers.begin(), answers.begin() + static_cast<std::ptrdiff_t>(kept));
      const ToolRun run = run_in_process(base.path(), join(prefix));
      const std::string what = std::string(script) + " cut after " + std::to_string(kept);
      EXPECT_EQ(run.status, 1) << what << run.transcript;
      EXPECT_NE(run.transcript.find("answers ended"), std::string::npos) << what;
      EXPECT_EQ(snapshot(alps.dir), before) << what;
    }
  }
}

TEST(Robustness, AnyAnswerReplacedByGarbageIsAskedAgainOrEndsCleanly) {
  const char* const garbage[] = {"banana", "99999999999999999999", "-2147483649", "-1", "2147483647", "", "nan",
                                 "1e308", "0"};
  for (const char* script : kScripts) {
    const std::vector<std::string> answers = split_answers(script);
    for (std::size_t k = 0; k < answers.size(); ++k) {
      for (const char* bad : garbage) {
        std::vector<std::string> changed = answers;
        changed[k] = bad;
        TempDir base;
        Alps alps(base);
        const auto before = snapshot(alps.dir);
        // The original answers follow, so a question asked again gets one.
        const ToolRun run = run_in_process(base.path(), join(changed) + join(answers));
        expect_clean_outcome(before, snapshot(alps.dir), run,
                             std::string(script) + " with answer " + std::to_string(k) + " = \"" + bad + "\"");
      }
    }
  }
}

TEST(Robustness, LyingHeadersStopBeforeAllocating) {
  struct Case {
    const char* name;
    const char* file;
    const char* content;
    const char* answers;
    const char* message;
  };
  const Case cases[] = {
      {"DEM descriptor", "mnt_m2.txt", "100000\n100000\n2\n0\n0\n1\n", "alps mnt 1 0",
       "need 20000000000 bytes, it holds 24"},
      {"grid header", "mnt.asc", "ncols 100000\nnrows 100000\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 2 3\n",
       "alps mnt 0", "announces 100000 lines x 100000 columns"},
      {"mask descriptor", "zone.txt", "100000 100000", "alps mnt 0 zone 1", "The mask size is not the size"},
      {"negative pixel size", "mnt_m2.txt", "3\n4\n2\n0\n0\n-5\n", "alps mnt 1 0", "gives the pixel size -5.000000"},
      {"grid cell size that is no number", "mnt.asc", "ncols 4\nnrows 3\nxllcorner 0\nyllcorner 0\ncellsize nan\n1",
       "alps mnt 0", "mnt.asc gives the pixel size nan"},
      {"grid corner that is not finite", "mnt.asc", "ncols 4\nnrows 3\nxllcorner inf\nyllcorner 0\ncellsize 1\n1",
       "alps mnt 0", "has no valid number for the keyword \"xllcorner\" (found \"inf\")"},
  };
  for (const Case& c : cases) {
    TempDir base;
    Alps alps(base);
    write_file(alps.dir + "/" + c.file, c.content);
    const ToolRun run = run_tool(base.path(), join(split_answers(c.answers)), 10000);
    EXPECT_EQ(run.status, 1) << c.name;
    EXPECT_NE(run.transcript.find(c.message), std::string::npos) << c.name << run.transcript;
    EXPECT_EQ(run.transcript.find("Not enough memory"), std::string::npos) << c.name;
  }
  // A bitmap claiming 32767 x 32767 pixels in a few bytes.
  TempDir base;
  Alps alps(base);
  Bytes bmp = bitmap_bytes(4, 3, 8, Bytes(12, 1));
  for (int at : {18, 22}) bmp[at] = 0xFF, bmp[at + 1] = 0x7F;
  write_bytes(alps.dir + "/zone.bmp", bmp);
  const ToolRun run = run_tool(base.path(), "alps\nmnt\n0\nzone\n0\n", 10000);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.transcript.find("zone.bmp is cut short"), std::string::npos) << run.transcript;
}

namespace {

// A run whose answers are written while it waits: `step` sees everything the
// tool has written so far and returns what to send next ("" to close input).
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

}  // namespace

TEST(Robustness, AFolderRemovedBeforeSavingStopsTheRunNamingThePath) {
  TempDir base;
  Alps alps(base);
  int stage = 0;
  std::string transcript;
  const int status = interactive_run(
      base.path(),
      [&](const std::string& seen) -> std::string {
        if (stage == 0) return ++stage, "alps\nmnt\n1\n0\n2\nzone\n1\n1\n0\n0\n";
        if (stage == 1 && seen.find("Name of the resulting DEM") != std::string::npos) {
          std::filesystem::rename(alps.dir, base / "moved");
          return ++stage, "res\n1\n0\n";
        }
        return "";
      },
      transcript);
  EXPECT_EQ(status, 1) << transcript;
  EXPECT_NE(transcript.find("Cannot create the file " + alps.dir + "/res_m2.txt (No such file or directory)"),
            std::string::npos)
      << transcript;
  EXPECT_FALSE(std::filesystem::exists(alps.dir));
  EXPECT_EQ(list_folder(base / "moved").size(), 8u);  // the eight inputs only
}

TEST(Robustness, AFullDiskStopsTheRunAndKeepsTheOldResult) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root; not tested here";
  TempDir base;
  const std::string disk = base / "disk";
  std::filesystem::create_directory(disk);
  if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=256k") != 0) {
    GTEST_SKIP() << "this machine does not allow mounting a small file system; not tested here";
  }
  struct Unmount {
    std::string at;
    ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
  } unmount{disk};
  std::filesystem::create_directory(disk + "/big");
  // 300 x 200 cells of 16 bits: 120000 bytes of input; its result does not fit.
  write_bytes(disk + "/big/dem_m2.raw", Bytes(120000, 7));
  write_file(disk + "/big/dem_m2.txt", "300\n200\n2\n0\n0\n10\n");
  write_bytes(disk + "/big/zone.raw", Bytes(60000, 1));
  write_file(disk + "/big/zone.txt", "300 200\n");
  write_file(disk + "/big/res_m2.raw", "old raster");
  const auto before = snapshot(disk + "/big");
  const ToolRun run = run_tool(disk, "big\ndem\n1\n0\n0\nzone\n1\n1\n0\n1\nres\n1\n0\n", 10000);
  EXPECT_EQ(run.status, 1) << run.transcript;
  // 120000 bytes of cells cannot fit: the run says so before writing any.
  EXPECT_NE(run.transcript.find("The result " + disk + "/big/res_m2.raw needs at least 120000 bytes, and its folder "
                                "has "),
            std::string::npos)
      << run.transcript;
  EXPECT_EQ(snapshot(disk + "/big"), before);
}
