// On a terminal, a fatal stop waits for one key before the process ends; the
// tests typed in a terminal wait for none.
#include <gtest/gtest.h>

#include <filesystem>

#include <chrono>
#include <csignal>
#include <thread>

#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include "run_tool.h"
#include "test_files.h"

TEST(Terminal, FatalStopWaitsForOneKey) {
  TempDir base;
  int terminal = -1;
  const pid_t child = start_on_terminal(base.path(), terminal);
  ASSERT_GE(child, 0);
  // The folder "alps" holds no DEM "nope": the run stops and waits.
  std::filesystem::create_directory(base / "alps");
  const std::string answers = "alps\nnope\n0\n";
  ASSERT_EQ(write(terminal, answers.data(), answers.size()), static_cast<ssize_t>(answers.size()));

  std::string seen;
  auto read_available = [&] {
    char chunk[4096];
    for (;;) {
      fd_set fds;
      FD_ZERO(&fds);
      FD_SET(terminal, &fds);
      timeval quick{0, 50000};
      if (select(terminal + 1, &fds, nullptr, nullptr, &quick) <= 0) return;
      const ssize_t got = read(terminal, chunk, sizeof chunk);
      if (got <= 0) return;
      seen.append(chunk, static_cast<std::size_t>(got));
    }
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (seen.find("nope.asc unknown") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    read_available();
  }
  ASSERT_NE(seen.find("nope.asc unknown"), std::string::npos) << seen;

  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  int status = 0;
  EXPECT_EQ(waitpid(child, &status, WNOHANG), 0) << "the stop did not wait for a key";

  ASSERT_EQ(write(terminal, "x", 1), 1);
  pid_t ended = 0;
  while ((ended = waitpid(child, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline) {
    read_available();
  }
  if (ended == 0) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    FAIL() << "no exit after the key";
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  close(terminal);
}

TEST(Terminal, TheTestsTypedInATerminalWaitForNoKey) {
  // The bitmap writer waits for a key on a terminal; its tests must not.
  int terminal = -1;
  const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (child == 0) {
    execl(MESACROP_UNIT_TESTS, "unit_tests", "--gtest_filter=Bitmap.WriteThenReadGivesTheSameImage",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(child, 0);
  std::string seen;
  int status = 0;
  pid_t ended = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while ((ended = waitpid(child, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline) {
    char chunk[4096];
    fd_set fds;
    FD_ZERO(&fds);
    FD_SET(terminal, &fds);
    timeval quick{0, 50000};
    if (select(terminal + 1, &fds, nullptr, nullptr, &quick) > 0) {
      const ssize_t got = read(terminal, chunk, sizeof chunk);
      if (got > 0) seen.append(chunk, static_cast<std::size_t>(got));
    }
  }
  if (ended == 0) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
  }
  close(terminal);
  ASSERT_NE(ended, 0) << "the tests waited on the terminal: " << seen;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << seen;
}
