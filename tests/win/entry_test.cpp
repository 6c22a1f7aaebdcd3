// The Win32 side of start-up and of the end of the process.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/win/fatal_error.h"
#include "lib/end_of_process.h"
#include "lib/fatal.h"
#include "lib/session.h"
#include "lib/win/message_boxes.h"
#include "lib/win/random_source.h"
#include "lib/win/system_library.h"
#include "lib/win/terminate.h"
#include "lib/win/wide.h"
#include "ui/win/program_resources.h"

namespace ks {
namespace {

TEST(Entry, SystemRandomSourceFillsDistinctValues) {
  std::uint64_t a = 0, b = 0;
  ASSERT_TRUE(SystemRandom(&a, sizeof a));
  ASSERT_TRUE(SystemRandom(&b, sizeof b));
  EXPECT_NE(a, b);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(0u, DrawSession(SystemRandom, StartupNoise()) >> 63);
  EXPECT_NE(StartupNoise(), StartupNoise());
}

TEST(Entry, SubclassFunctionsAreFoundInComctl32) {
  const OwnedModule comctl32(::LoadLibraryW(L"comctl32.dll"));
  ASSERT_TRUE(comctl32);
  EXPECT_NE(nullptr, ProcAddress<DefSubclassProcFn>(comctl32.get(), "DefSubclassProc"));
  EXPECT_NE(nullptr, ProcAddress<SetWindowSubclassFn>(comctl32.get(), "SetWindowSubclass"));
  EXPECT_EQ(nullptr, ProcAddress<DefSubclassProcFn>(comctl32.get(), "NoSuchFunction"));
  EXPECT_EQ(nullptr, ProcAddress<DefSubclassProcFn>(nullptr, "DefSubclassProc"));
}

TEST(Entry, SystemLibrariesComeFromTheSystemFolder) {
  const OwnedModule bcrypt = LoadSystemLibrary(L"bcrypt.dll");
  ASSERT_TRUE(bcrypt);
  const WString path = ModuleFileName(bcrypt.get());
  const WString expected_folder = FromW(L"\\system32\\");
  WString lower;
  for (char16_t c : path) lower += AsciiLower(c);
  EXPECT_NE(WString::npos, lower.find(expected_folder)) << WideToUtf8(path);
  EXPECT_FALSE(LoadSystemLibrary(L"no-such-library.dll"));
}

TEST(Entry, ModuleFileNameOfTheProgram) {
  const WString name = ModuleFileName(nullptr);
  ASSERT_FALSE(name.empty());
  EXPECT_EQ(u".exe", name.substr(name.size() - 4));
}

// The end of the process is checked in a child process (a death test): the
// registered steps run, and their output shows what happened before the exit.
void PrintRecordedFatalText() {
  std::fprintf(stderr, "recorded[%s]", RecordedFatalText().c_str());
  std::fflush(stderr);
}
void PrintEnded() {
  std::fprintf(stderr, "ended by terminate");
  std::fflush(stderr);
}

TEST(EntryDeathTest, FatalErrorRecordsInsteadOfShowingWhenWindowsAreDisallowed) {
  EXPECT_EXIT(
      {
        SetTerminateStep(TerminateStep::kSelfRemoval, PrintRecordedFatalText);
        SetWindowCreationDisallowed(true);
        FatalError("boom");
      },
      ::testing::ExitedWithCode(-1), "recorded\\[fatal \\+ window_creation_disallowed\r\nboom\\]");
}

TEST(EntryDeathTest, SilentFatalErrorAndUsageEndWithoutABox) {
  // A box would block the child until the death test times out.
  EXPECT_EXIT(
      {
        SetMessageBoxesSilent(true);
        SetTerminateStep(TerminateStep::kNotificationWorker, PrintEnded);
        FatalError("boom");
      },
      ::testing::ExitedWithCode(-1), "ended by terminate");
  EXPECT_EXIT(
      {
        SetMessageBoxesSilent(true);
        SetTerminateStep(TerminateStep::kStepLogFile, PrintEnded);
        ShowUsage(u"Illegal command line atom:\r\n/x");
        Terminate(15);
      },
      ::testing::ExitedWithCode(15), "ended by terminate");
}

// A run that has a log gets the fatal text into it before the process ends.
TEST(EntryDeathTest, FatalErrorGoesToTheRunsRecorderFirst) {
  EXPECT_EXIT(
      {
        SetMessageBoxesSilent(true);
        SetFatalErrorRecorder([](const WString& text) {
          std::fprintf(stderr, "recorder[%s]", WideToUtf8(text).c_str());
          std::fflush(stderr);
        });
        FatalError("Out Of Memory");
      },
      ::testing::ExitedWithCode(-1), "recorder\\[Out Of Memory\\]");
}

// An allocation the process cannot serve takes the out-of-memory path with the
// size it asked for: the crash hook, then the fatal error and the run's recorder.
TEST(EntryDeathTest, AFailedAllocationEndsThroughTheOutOfMemoryPath) {
  EXPECT_EXIT(
      {
        SetMessageBoxesSilent(true);
        SetFatalErrorHook(FatalError);
        SetFatalErrorRecorder([](const WString& text) {
          NString shown = WideToUtf8(text);
          for (char& ch : shown)
            if (ch == '\r' || ch == '\n') ch = '#';
          std::fprintf(stderr, "recorder[%s]", shown.c_str());
          std::fflush(stderr);
        });
        volatile std::size_t huge = static_cast<std::size_t>(-1) / 2;
        char* never = new char[huge];
        std::fprintf(stderr, "allocated %p", static_cast<void*>(never));
      },
      ::testing::ExitedWithCode(-1),
      "recorder\\[Out Of Memory##Size: " + std::to_string(static_cast<std::size_t>(-1) / 2) + "\\]");
}

}  // namespace
}  // namespace ks
