#include <gtest/gtest.h>

#include <filesystem>

#include "stop_of.h"
#include "files/result_set.h"
#include "platform.h"
#include "test_files.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

TEST(ResultSet, AFailureHalfwayPutsEveryOldFileBack) {
  TempDir dir;
  for (const char* name : {"a", "b", "c", "stale"}) write_file(dir / name, std::string("old ") + name);
  auto set = std::make_unique<ResultSet>();
  for (const char* name : {"a", "b", "c"}) set->add(dir / name).write(std::string("new ") + name);
  set->drop(dir / "stale");
  // The second file's temporary copy vanishes before the set is put in place.
  const std::vector<std::string> temporaries = temporaries_in(dir.path());
  ASSERT_EQ(temporaries.size(), 3u);
  const std::string message = stop_of([&] {
    for (const std::string& name : temporaries) {
      if (name.find("-1.tmp") != std::string::npos) std::filesystem::remove(dir / name);
    }
    set->publish();
  });
  EXPECT_NE(message.find("Cannot put the file " + dir / "b" + " in place"), std::string::npos) << message;
  EXPECT_NE(message.find("the earlier result is kept as it was"), std::string::npos);
  for (const char* name : {"a", "b", "c", "stale"}) EXPECT_EQ(read_file(dir / name), std::string("old ") + name);
  set.reset();
  EXPECT_EQ(list_folder(dir.path()), (std::vector<std::string>{"a", "b", "c", "stale"}));
}

TEST(ResultSet, TheNewSetReplacesTheOldOneWhole) {
  TempDir dir;
  for (const char* name : {"a", "stale"}) write_file(dir / name, "old");
  {
    ResultSet set;
    set.add(dir / "a").write("new a");
    set.add(dir / "b").write("new b");
    set.drop(dir / "stale");
    set.drop(dir / "never there");
    set.publish();
  }
  EXPECT_EQ(list_folder(dir.path()), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(read_file(dir / "a") + read_file(dir / "b"), "new anew b");
}

TEST(ResultSet, WhenEveryTemporaryNameIsTakenTheMessageSaysSo) {
  TempDir dir;
  for (int k = 0; k < 1000; ++k) write_file(dir / (".mesacrop-" + std::to_string(process_number()) + "-" + std::to_string(k) + ".tmp"), "");
  OutputFile file;
  const std::string message = stop_of([&] { file.create(dir / "res.asc"); });
  EXPECT_EQ(message, "\n\n\tCannot create a temporary file for " + dir / "res.asc" +
                         " in its folder: the 1000 names tried are all taken\n");
}

#ifndef _WIN32  // a process that ended, made with fork
TEST(ResultSet, TheJournalOfAKilledRunPutsTheOldSetBackAndLiveRunsAreLeftAlone) {
  TempDir dir;
  const std::string folder = dir.path() + "/";
  // A process that ran and ended: its number is no longer running.
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  const std::string dead = ".mesacrop-" + std::to_string(gone) + "-0";
  write_file(folder + "a", "new a");           // the set had replaced a ...
  write_file(folder + dead + ".old", "old a");  // ... kept aside here
  write_file(folder + "b", "new b");           // and added b, which had no file
  write_file(folder + dead + ".set", "1:a " + std::to_string(dead.size() + 4) + ":" + dead + ".old\n1:b 0:\n");
  write_file(folder + dead + ".tmp", "half written");
  const std::string live = ".mesacrop-" + std::to_string(process_number()) + "-0.tmp";
  write_file(folder + live, "still being written");
  const std::string said = recover_interrupted_results(folder);
  EXPECT_NE(said.find("the files it replaced are back as they were (a)"), std::string::npos) << said;
  EXPECT_NE(said.find("Removed 1 temporary file"), std::string::npos) << said;
  EXPECT_EQ(list_folder(dir.path()), (std::vector<std::string>{live, "a"}));
  EXPECT_EQ(read_file(folder + "a"), "old a");
  EXPECT_EQ(recover_interrupted_results(folder), "");
}
#endif
