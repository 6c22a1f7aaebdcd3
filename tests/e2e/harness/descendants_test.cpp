// The driver's wait for a program's descendants: the tests that check that an
// installer did NOT start something rely on it, so it must cover a
// grandchild that outlives both its parents.

#include <gtest/gtest.h>

#include "harness/driver.h"
#include "harness/wine.h"

namespace ks::e2e {
namespace {

class DriverDescendants : public WineTest {};

// cmd starts a detached second cmd and ends at once; the second one holds a
// file for two seconds (kshold) and only then writes its marker.
TEST_F(DriverDescendants, RunEndsAfterTheLastGrandchild) {
  const std::string folder = ScratchFolder();
  const std::string hold = CopyIntoPrefix(BuildProgramLinuxPath("kshold.exe"), folder);
  ASSERT_FALSE(hold.empty());
  ASSERT_TRUE(WritePrefixFile(folder + "\\held.txt", "x"));
  const std::string marker = folder + "\\late.txt";
  ASSERT_TRUE(WritePrefixFile(folder + "\\inner.bat",
                              hold + " " + folder + "\\held.txt 2\r\necho late> " + marker + "\r\n"));
  ASSERT_TRUE(WritePrefixFile(folder + "\\outer.bat", "start \"\" /b cmd /c " + folder + "\\inner.bat\r\n"));

  DriverOptions options;
  options.timeout_seconds = 60;
  options.wait_for_descendants = true;
  const DriverRun run = RunProgram("C:\\windows\\system32\\cmd.exe", {"/c", folder + "\\outer.bat"}, options);
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_TRUE(run.descendants_ended) << run.output;
  EXPECT_TRUE(PrefixFileExists(folder + "\\held.txt.held")) << "the grandchild did not run";
  EXPECT_EQ(ReadPrefixFile(marker), std::optional<std::string>("late\r\n"));
}

}  // namespace
}  // namespace ks::e2e
