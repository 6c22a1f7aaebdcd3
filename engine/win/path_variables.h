#pragma once
// ExpandPathVariables on the running system: the process-wide inputs
// (ThePathVariableInputs), the special folders, the system version and the
// system's environment expansion.

#include <memory>

#include "engine/path_variables.h"

namespace ks {

// Expands `text` in place; never fails (a value that cannot be had is empty).
void ExpandPathVariables(WString& text);

// The running system's answers, for tools and tests.
PathVariableSystem& TheSystemPathValues();

// ExpandEnvironmentStringsW with the 31,999-character buffer.
std::optional<WString> ExpandEnvironmentText(const WString& text);

}  // namespace ks
