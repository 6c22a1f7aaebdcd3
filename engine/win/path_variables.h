#pragma once
// Path variables on the running system: the special folders, the system
// version and the system's environment expansion, with the values the run
// knows at the moment of each call.

#include <functional>
#include <optional>

#include "engine/path_variables.h"

namespace ks {

class PathVariables {
 public:
  // Asked at every call for what the run knows now; never a stored copy.
  using InputsFn = std::function<PathVariableInputs()>;
  explicit PathVariables(InputsFn inputs) : inputs_(std::move(inputs)) {}

  PathVariableInputs Inputs() const { return inputs_(); }
  WString Value(PathVariable variable) const;
  // Expands `text` in place; never fails (a value that cannot be had is empty).
  void Expand(WString& text) const;
  WString Expanded(WString text) const {
    Expand(text);
    return text;
  }

 private:
  InputsFn inputs_;
};

// The running system's answers. Stateless; the folders it asks for are the
// special folders' (engine/win/special_folders.h).
PathVariableSystem& RunningSystem();

// ExpandEnvironmentStringsW with the 31,999-character buffer.
std::optional<WString> ExpandEnvironmentText(const WString& text);

}  // namespace ks
