// What the layered build does not check by itself: who may end the process.
// The roads return their exit codes; the entry point alone ends the process
// with them, and only the fatal paths stop a run where it stands.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

namespace ks {
namespace {

namespace fs = std::filesystem;

// The engine's sources (relative paths) whose code, outside comments, calls `name`.
std::set<std::string> Callers(const std::string& name) {
  std::set<std::string> callers;
  const fs::path root(KS_SOURCE_DIR);
  for (const char* layer : {"lib", "records", "core", "engine", "integration", "ui", "uninstall", "crash", "app"}) {
    if (!fs::exists(root / layer)) continue;
    for (const auto& entry : fs::recursive_directory_iterator(root / layer)) {
      const std::string ext = entry.path().extension().string();
      if (ext != ".cpp" && ext != ".h") continue;
      std::ifstream in(entry.path());
      std::string line;
      while (std::getline(in, line)) {
        const std::string code = line.substr(0, line.find("//"));
        if (code.find(name + "(") != std::string::npos) {
          callers.insert(fs::relative(entry.path(), root).generic_string());
          break;
        }
      }
    }
  }
  return callers;
}

TEST(EngineShape, OnlyTheEntryPointTerminates) {
  EXPECT_EQ(Callers("Terminate"),
            (std::set<std::string>{"app/win/main.cpp", "lib/win/terminate.cpp", "lib/win/terminate.h"}));
}

TEST(EngineShape, OnlyTheEndOfProcessAndTheCrashHandlerEndIt) {
  EXPECT_EQ(Callers("ExitProcess"), (std::set<std::string>{"lib/win/terminate.cpp"}));
  // A crashed process ends at once; closing programs (installer and
  // uninstaller alike) ends those that hold the product's files.
  EXPECT_EQ(Callers("TerminateProcess"),
            (std::set<std::string>{"crash/win/crash_handler.cpp", "ui/win/program_closing.cpp"}));
}

TEST(EngineShape, OnlyTheFatalPathsStopTheProcess) {
  EXPECT_EQ(Callers("StopProcess"), (std::set<std::string>{"core/win/fatal_error.cpp", "core/win/reports.cpp",
                                                           "lib/win/terminate.cpp", "lib/win/terminate.h"}));
}

}  // namespace
}  // namespace ks
