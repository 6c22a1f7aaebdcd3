#pragma once
// The process's message boxes. Two facts hold for every box the process
// shows, whatever part of it asks: in silent mode there is none, and while
// the background window exists it owns them (so that they stay in front of
// it). Both are process-wide by nature: the fatal-error path of the support
// library shows its box from wherever it is raised.

#include <windows.h>

#include <commctrl.h>

#include "lib/text.h"

namespace ks {

void SetMessageBoxesSilent(bool silent);
bool MessageBoxesSilent();
// The window that owns the boxes; nullptr when there is none.
void SetMessageBoxOwner(HWND owner);
HWND MessageBoxOwner();

// The images of a question's two buttons (image lists of comctl32; not
// owned, they must outlive every question). Null ones leave the buttons plain.
void SetQuestionButtonImages(HIMAGELIST first, HIMAGELIST second);

// Shows `list`'s image at the left of the button `id` of `dialog` (a
// question's or a wizard page's); nothing when either is missing.
void SetButtonImage(HWND dialog, int id, HIMAGELIST list);

// A box of `type` (MB_*) owned by the owner window; 0 without a box (silent).
int ShowMessageBox(const WString& text, const WString& caption, UINT type);

// A Yes/No question with a question icon whose buttons carry the given
// labels (empty ones keep the system's). True for the first button. Asks
// even in silent mode: the caller decides whether to ask.
bool AskWithLabels(const WString& text, const WString& caption, const WString& yes, const WString& no);

// A question with a third answer, "yes to all": the same for this item and
// every later one. The box has no close button, so that no answer is taken
// for one the user did not give.
enum class ToAllAnswer { kYes, kNo, kYesToAll };
ToAllAnswer AskWithToAll(const WString& text, const WString& caption, const WString& yes, const WString& no,
                         const WString& yes_to_all);

}  // namespace ks
