#include "uninstall/win/unpin_taskbar.h"

#include <windows.h>

#include <shellapi.h>

#include "engine/win/foreign_call_guard.h"
#include "lib/marked_text.h"
#include "lib/win/wide.h"
#include "uninstall/removal_plan.h"

namespace ks {
namespace {

// The shell's verb runs under the guard: a broken extension must not end
// the uninstallation.
void RunUnpinVerb(void* context) {
  const WString& path = *static_cast<const WString*>(context);
  ::ShellExecuteW(nullptr, L"taskbarunpin", W(path), nullptr, nullptr, SW_HIDE);
}

}  // namespace

void UnpinTaskbarItems(const std::vector<NString>& items) {
  for (const NString& line : items) {
    if (ClassifyItem(line) != ItemAction::kFile || line.find("\\User Pinned\\") == NString::npos) continue;
    WString path = DecodeMarkedText(ItemText(line));
    CallGuarded(RunUnpinVerb, &path);
  }
}

}  // namespace ks
