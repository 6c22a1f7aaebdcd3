#include "lib/end_of_process.h"

#include <gtest/gtest.h>

#include <string>

namespace ks {
namespace {

std::string g_trace;

TEST(TerminateSteps, RunInTheirFixedOrderOnceEach) {
  g_trace.clear();
  SetTerminateStep(TerminateStep::kSelfRemoval, [] { g_trace += "self;"; });
  SetTerminateStep(TerminateStep::kNotificationWorker, [] { g_trace += "worker;"; });
  SetTerminateStep(TerminateStep::kProgressWindow, [] { g_trace += "progress;"; });
  SetTerminateStep(TerminateStep::kBackgroundWindow, [] { g_trace += "old;"; });
  SetTerminateStep(TerminateStep::kBackgroundWindow, [] { g_trace += "background;"; });
  SetTerminateStep(TerminateStep::kStepLogFile, [] { g_trace += "log;"; });
  SetTerminateStep(TerminateStep::kStepLogFile, nullptr);
  RunTerminateSteps();
  EXPECT_EQ("progress;background;worker;self;", g_trace);

  g_trace.clear();
  RunTerminateSteps();
  EXPECT_EQ("", g_trace);
}

TEST(TerminateSteps, AStepThatEndsAgainContinuesWithTheLaterSteps) {
  g_trace.clear();
  SetTerminateStep(TerminateStep::kBackgroundWindow, [] {
    g_trace += "background;";
    RunTerminateSteps();  // as a fatal error inside the step would
  });
  SetTerminateStep(TerminateStep::kSelfRemoval, [] { g_trace += "self;"; });
  RunTerminateSteps();
  EXPECT_EQ("background;self;", g_trace);
}

}  // namespace
}  // namespace ks
