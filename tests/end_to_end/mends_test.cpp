// What the tool does where a plain reading of its dialog would lose or
// corrupt data.
#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

#include "run_tool.h"

TEST(Mends, AResultNamedLikeAnInputIsRefusedAndTheNameAskedAgain) {
  TempDir base;
  Alps alps(base);
  const auto before = snapshot(alps.dir);
  // The result "mnt" as a 16-bit raster would be the input DEM; "res" is taken.
  const ToolRun run = run_tool(base.path(), "alps\nmnt\n1\n0\n2\nzone\n1\n1\n0\n1\nmnt\n1\n0\nres\n1\n0\n");
  ASSERT_EQ(run.status, 0) << run.transcript;
  EXPECT_NE(run.transcript.find("The result " + alps.dir + "/mnt_m2.raw would replace the input file " + alps.dir +
                                "/mnt_m2.raw"),
            std::string::npos)
      << run.transcript;
  EXPECT_EQ(occurrences(run.transcript, "Name of the resulting DEM"), 2);
  auto after = snapshot(alps.dir);
  for (const auto& [name, content] : before) EXPECT_EQ(after[name], content) << name;
  EXPECT_TRUE(after.count("res_m2.raw"));
}

TEST(Mends, AGridResultNamedLikeTheInputGridIsRefused) {
  TempDir base;
  Alps alps(base);
  const std::string grid = read_file(alps.dir + "/mnt.asc");
  const ToolRun run = run_tool(base.path(), "alps\nmnt\n0\nzone\n1\n1\n0\n1\nmnt\n0\nother\n0\n");
  ASSERT_EQ(run.status, 0) << run.transcript;
  EXPECT_NE(run.transcript.find("would replace the input file"), std::string::npos);
  EXPECT_EQ(read_file(alps.dir + "/mnt.asc"), grid);
  EXPECT_TRUE(file_exists(alps.dir + "/other.asc"));
}

TEST(Mends, ValuesThatDoNotFitSixteenBitsAreRefusedThenSavedAsThirtyTwo) {
  TempDir base;
  Alps alps(base);
  // -9999 m at centimetres is -999900: no 16-bit cell holds it.
  const ToolRun run = run_tool(base.path(), "alps\nmnt\n1\n0\n2\nzone\n1\n1\n-9999\n1\nres\n1\n0\n1\n1\n");
  ASSERT_EQ(run.status, 0) << run.transcript;
  EXPECT_NE(run.transcript.find("go from -999900 to 10450, but a 16-bit raster holds 0 to 65535 only"),
            std::string::npos)
      << run.transcript;
  EXPECT_EQ(occurrences(run.transcript, "\n\n\tFormat Type :"), 3);  // DEM, then the result twice
  EXPECT_FALSE(file_exists(alps.dir + "/res_m2.raw"));
  EXPECT_EQ(read_file(alps.dir + "/res_m4.raw"),
            as_text(le32({-999900, 10050, 10100, -999900, 10200, 10029, 10300, -999900, -999900, 10450, -999900,
                        -999900})));
  EXPECT_EQ(read_file(alps.dir + "/res_m4.txt").rfind("3\n4\n4\n-999900\n10450\n1000\n\n\n\tMesacrop", 0), 0u);
}

TEST(Mends, AResultThatCannotBeWrittenStopsAndLeavesTheOldResultIntact) {
  TempDir base;
  Alps alps(base);
  write_file(alps.dir + "/res_m2.raw", "old raster");
  write_file(alps.dir + "/res_m2.txt", earlier_result_file("res_m2.txt"));
  // As root, permissions do not hold: the run is made as "nobody" then.
  std::filesystem::permissions(base.path(), std::filesystem::perms(0755));
  for (const auto& entry : std::filesystem::directory_iterator(alps.dir)) {
    std::filesystem::permissions(entry.path(), std::filesystem::perms(0644));
  }
  std::filesystem::permissions(alps.dir, std::filesystem::perms(0555));
  const auto before = snapshot(alps.dir);
  const ToolRun run = run_tool(base.path(), "alps\nmnt\n1\n0\n2\nzone\n1\n1\n0\n0\nres\n1\n0\n", 20000,
                               /*as_nobody=*/true);
  EXPECT_EQ(run.status, 1) << run.transcript;
  EXPECT_NE(run.transcript.find("Cannot create the file " + alps.dir + "/res_m2.txt"), std::string::npos)
      << run.transcript;
  EXPECT_EQ(snapshot(alps.dir), before);
}
