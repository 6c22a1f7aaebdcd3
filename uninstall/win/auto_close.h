#pragma once
// Closing the programs that must not run while the product is removed.

#include <cstdint>
#include <vector>

#include "core/localized_texts.h"
#include "records/uninstall_data.h"

namespace ks {

inline constexpr std::uint8_t kAutoCloseBeforeConfirmation = 2;
inline constexpr std::uint8_t kAutoCloseAfterConfirmation = 4;

// Visits every top-level window once and applies the first rule of `pass`
// that matches it (windows of this process are left alone). Action 2 asks
// the user to close the program until its window is gone, with the texts of
// `ask`; false when the user cancelled there (the caller ends with code 12).
// `ask` is null in automatic and silent runs, where action 2 asks nothing.
bool RunAutoCloseRules(const std::vector<AutoCloseRule>& rules, std::uint8_t pass, const LocalizedTexts* ask);

}  // namespace ks
