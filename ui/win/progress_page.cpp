#include "ui/win/progress_page.h"

#include <commctrl.h>

#include "lib/win/message_boxes.h"
#include "lib/win/wide.h"
#include "ui/wizard_rules.h"

namespace ks {
namespace {

namespace pc = page_control;
constexpr DWORD kStagePoll = 50;

}  // namespace

bool ProgressPage::Open(const WizardContext& ctx, ProgressPageInput input) {
  ctx_ = &ctx;
  input_ = std::move(input);
  return page_.Open(*ctx.look, input_.frame, *this, ctx.owner);
}

void ProgressPage::Init(HWND page) {
  SetControlText(page, pc::kPageText, input_.page_text);
  SetControlText(page, pc::kCancel, input_.cancel_text);
  SetControlText(page, pc::kStageText, WString());
  if (const HWND cancel = ::GetDlgItem(page, pc::kCancel)) ::EnableWindow(cancel, input_.cancel_enabled);
  ::SendDlgItemMessageW(page, pc::kProgressBar, PBM_SETRANGE32, 0, 100);
}

void ProgressPage::Cancel(HWND page) {
  if (cancel_requested_) return;
  if (ShowMessageBox(input_.cancel_question, input_.cancel_caption, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  cancel_requested_ = true;
  if (const HWND cancel = ::GetDlgItem(page, pc::kCancel)) ::EnableWindow(cancel, FALSE);
}

// Waits for messages rather than sleeping, so that the page answers at once
// (a program that reads its texts waits for it otherwise).
void ProgressPage::WaitOutStage() {
  if (!is_open() || !stage_shown_ || input_.stage_time_ms == 0) return;
  for (;;) {
    const ULONGLONG shown = ::GetTickCount64() - stage_shown_at_;
    if (shown >= input_.stage_time_ms) break;
    const ULONGLONG left = input_.stage_time_ms - shown;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left < kStagePoll ? left : kStagePoll),
                                QS_ALLINPUT);
    Pump();
  }
}

void ProgressPage::SetStage(const WString& text) {
  if (!is_open()) return;
  WaitOutStage();
  SetControlText(page_.window(), pc::kStageText, text);
  stage_shown_at_ = ::GetTickCount64();
  stage_shown_ = true;
  Pump();
}

// An item does not wait, but the next stage waits for it as for a stage.
void ProgressPage::SetItem(const WString& text) {
  if (!is_open()) return;
  SetControlText(page_.window(), pc::kStageText, text);
  stage_shown_at_ = ::GetTickCount64();
  stage_shown_ = true;
  Pump();
}

void ProgressPage::SetProgress(int percent) {
  if (!is_open()) return;
  ::SendDlgItemMessageW(page_.window(), pc::kProgressBar, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
  Pump();
}

void ProgressPage::Pump() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Not ours to take: the loop that asked for it sees it again.
      ::PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    if (is_open() && ::IsDialogMessageW(page_.window(), &message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

void ProgressPage::Close() { page_.Close(); }

}  // namespace ks
