#include "core/terminate_steps.h"

#include <array>
#include <cstddef>

namespace ks {

namespace {
std::array<TerminateAction, static_cast<std::size_t>(TerminateStep::kCount)> g_steps{};
}

void SetTerminateStep(TerminateStep step, TerminateAction action) {
  const auto index = static_cast<std::size_t>(step);
  if (index < g_steps.size()) g_steps[index] = action;
}

void RunTerminateSteps() {
  for (TerminateAction& slot : g_steps) {
    const TerminateAction action = slot;
    slot = nullptr;
    if (action) action();
  }
}

}  // namespace ks
