#pragma once
// A step's verdict on its run.

#include <optional>

namespace ks {

// nullopt: the run goes on. A value: the run ends with that exit code (the
// step has already said why to the user and the log).
using RunEnd = std::optional<int>;
inline constexpr RunEnd kGoOn = std::nullopt;

}  // namespace ks
