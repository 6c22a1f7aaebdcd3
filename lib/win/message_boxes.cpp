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
struct ButtonLabel {
  int id = 0;
  const WString* text = nullptr;
};
struct ButtonLabels {
  ButtonLabel buttons[3];
};
thread_local ButtonLabels t_labels;
thread_local HHOOK t_hook = nullptr;


LRESULT CALLBACK RelabelButtons(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HCBT_ACTIVATE) {
    const HWND box = reinterpret_cast<HWND>(wparam);
    for (const ButtonLabel& b : t_labels.buttons) {
      if (b.text && !b.text->empty()) ::SetDlgItemTextW(box, b.id, W(*b.text));
    }
    SetButtonImage(box, IDYES, g_first_image);
    SetButtonImage(box, IDNO, g_second_image);
  }
  return ::CallNextHookEx(t_hook, code, wparam, lparam);
}

struct UnhookCloser {
  void operator()(HHOOK hook) const { ::UnhookWindowsHookEx(hook); }
};

// A box of `type` whose buttons the hook relabels as it is shown.
int ShowRelabelled(const WString& text, const WString& caption, UINT type, const ButtonLabels& labels) {
  t_labels = labels;
  t_hook = ::SetWindowsHookExW(WH_CBT, RelabelButtons, nullptr, ::GetCurrentThreadId());
  Owned<HHOOK, UnhookCloser> hook(t_hook);
  const int answer = ::MessageBoxW(g_owner, W(text), W(caption), type);
  hook.reset();
  t_hook = nullptr;
  t_labels = {};
  return answer;
}

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
  const ButtonLabels labels{{{IDYES, &yes}, {IDNO, &no}, {}}};
  return ShowRelabelled(text, caption, MB_YESNO | MB_ICONQUESTION, labels) == IDYES;
}

ToAllAnswer AskWithToAll(const WString& text, const WString& caption, const WString& yes, const WString& no,
                         const WString& yes_to_all) {
  // The abort/retry/ignore box is the system's three-button box without a
  // close button or an escape answer; its buttons carry our labels.
  const ButtonLabels labels{{{IDABORT, &yes}, {IDRETRY, &no}, {IDIGNORE, &yes_to_all}}};
  switch (ShowRelabelled(text, caption, MB_ABORTRETRYIGNORE | MB_ICONQUESTION, labels)) {
    case IDRETRY:
      return ToAllAnswer::kNo;
    case IDIGNORE:
      return ToAllAnswer::kYesToAll;
    default:
      return ToAllAnswer::kYes;
  }
}

}  // namespace ks
