#pragma once
// The progress page: a modeless page that stays open while the installer (or
// the uninstaller) works. Each stage shows its text and restarts the stage
// clock; the next stage waits until the text has been visible for the stage
// time, processing window messages meanwhile. An item (a file's name) shows
// at once. The cancel button asks first and then only marks the request; the
// run ends at its next check.

#include <windows.h>

#include <cstdint>

#include "lib/text.h"
#include "ui/win/wizard_pages.h"

namespace ks {

struct ProgressPageInput {
  PageFrame frame;
  WString page_text;            // 1009
  WString cancel_text;          // the cancel button
  bool cancel_enabled = true;
  unsigned stage_time_ms = 0;   // 0: stages do not wait
  WString cancel_question;      // asked before the cancel request counts
  WString cancel_caption;
};

class ProgressPage : public PageHandler {
 public:
  ProgressPage() = default;

  // Opens the page; false when it cannot be made (the run goes on without it).
  bool Open(const WizardContext& ctx, ProgressPageInput input);
  bool is_open() const { return page_.window() != nullptr; }
  HWND window() const { return page_.window(); }

  void SetStage(const WString& text);
  void SetItem(const WString& text);
  void SetProgress(int percent);
  // Processes the window messages waiting for the page and its owner.
  void Pump();
  // Waits until the last stage has been visible for the stage time.
  void WaitOutStage();
  void Close();

  bool cancel_requested() const { return cancel_requested_; }

  // PageHandler
  void Init(HWND page) override;
  void Cancel(HWND page) override;

 private:
  const WizardContext* ctx_ = nullptr;
  ProgressPageInput input_;
  ModelessPage page_;
  ULONGLONG stage_shown_at_ = 0;
  bool stage_shown_ = false;
  bool cancel_requested_ = false;
};

}  // namespace ks
