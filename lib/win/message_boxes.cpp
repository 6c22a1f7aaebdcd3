#include "lib/win/message_boxes.h"

#include "lib/win/owned.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

bool g_silent = false;
HWND g_owner = nullptr;
HIMAGELIST g_first_image = nullptr;
HIMAGELIST g_second_image = nullptr;

// MessageBoxW has no way to name its buttons, so a CBT hook relabels them the
// moment the box is activated.
struct ButtonLabels {
  const WString* yes = nullptr;
  const WString* no = nullptr;
};
thread_local ButtonLabels t_labels;
thread_local HHOOK t_hook = nullptr;


LRESULT CALLBACK RelabelButtons(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HCBT_ACTIVATE) {
    const HWND box = reinterpret_cast<HWND>(wparam);
    if (t_labels.yes && !t_labels.yes->empty()) ::SetDlgItemTextW(box, IDYES, W(*t_labels.yes));
    if (t_labels.no && !t_labels.no->empty()) ::SetDlgItemTextW(box, IDNO, W(*t_labels.no));
    SetButtonImage(box, IDYES, g_first_image);
    SetButtonImage(box, IDNO, g_second_image);
  }
  return ::CallNextHookEx(t_hook, code, wparam, lparam);
}

struct UnhookCloser {
  void operator()(HHOOK hook) const { ::UnhookWindowsHookEx(hook); }
};

}  // namespace

void SetButtonImage(HWND dialog, int id, HIMAGELIST list) {
  const HWND button = ::GetDlgItem(dialog, id);
  if (!button || !list) return;
  BUTTON_IMAGELIST images{};
  images.himl = list;
  images.margin = RECT{4, 0, 0, 0};
  images.uAlign = BUTTON_IMAGELIST_ALIGN_LEFT;
  ::SendMessageW(button, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&images));
}

void SetMessageBoxesSilent(bool silent) { g_silent = silent; }
void SetQuestionButtonImages(HIMAGELIST first, HIMAGELIST second) {
  g_first_image = first;
  g_second_image = second;
}
bool MessageBoxesSilent() { return g_silent; }
void SetMessageBoxOwner(HWND owner) { g_owner = owner; }
HWND MessageBoxOwner() { return g_owner; }

int ShowMessageBox(const WString& text, const WString& caption, UINT type) {
  if (g_silent) return 0;
  return ::MessageBoxW(g_owner, W(text), W(caption), type);
}

bool AskWithLabels(const WString& text, const WString& caption, const WString& yes, const WString& no) {
  t_labels = {&yes, &no};
  t_hook = ::SetWindowsHookExW(WH_CBT, RelabelButtons, nullptr, ::GetCurrentThreadId());
  Owned<HHOOK, UnhookCloser> hook(t_hook);
  const int answer = ::MessageBoxW(g_owner, W(text), W(caption), MB_YESNO | MB_ICONQUESTION);
  hook.reset();
  t_hook = nullptr;
  t_labels = {};
  return answer == IDYES;
}

}  // namespace ks
