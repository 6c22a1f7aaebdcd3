// The fixture's simulated restart: moves and deletions registered for the next
// restart happen when the wine server has ended and a program starts again.
// Suites named Serial* run alone under ctest: the restart ends every program
// of the shared prefix.

#include <gtest/gtest.h>

#include "harness/wine.h"

namespace ks::e2e {
namespace {

class SerialRestart : public WineTest {};

TEST_F(SerialRestart, CarriesOutPendingRenames) {
  const std::string folder = ScratchFolder();
  const std::string tool = CopyIntoPrefix(BuildProgramLinuxPath("ksmove.exe"), folder);
  ASSERT_FALSE(tool.empty());
  ASSERT_TRUE(WritePrefixFile(folder + "\\old.txt", "moved"));
  ASSERT_TRUE(WritePrefixFile(folder + "\\gone.txt", "deleted"));
  EXPECT_EQ(RunWine({tool, folder + "\\old.txt", folder + "\\new.txt"}).out, "ok\n");
  EXPECT_EQ(RunWine({tool, folder + "\\gone.txt"}).out, "ok\n");
  EXPECT_TRUE(PrefixFileExists(folder + "\\old.txt"));

  ASSERT_TRUE(SimulateRestart());

  EXPECT_FALSE(PrefixFileExists(folder + "\\old.txt"));
  EXPECT_EQ(ReadPrefixFile(folder + "\\new.txt"), std::optional<std::string>("moved"));
  EXPECT_FALSE(PrefixFileExists(folder + "\\gone.txt"));
}

}  // namespace
}  // namespace ks::e2e
