#include "lib/end_of_process.h"

#include <array>
#include <cstddef>
#include <utility>

namespace ks {

namespace {
std::array<TerminateAction, static_cast<std::size_t>(TerminateStep::kCount)> g_steps{};
}

void SetTerminateStep(TerminateStep step, TerminateAction action) {
  const auto index = static_cast<std::size_t>(step);
  if (index < g_steps.size()) g_steps[index] = std::move(action);
}

void RunTerminateSteps() {
  for (TerminateAction& slot : g_steps) {
    const TerminateAction action = std::move(slot);
    slot = nullptr;
    if (action) action();
  }
}

}  // namespace ks
