// ksdriver: drives a Windows GUI program for the end-to-end tests.
//
//   ksdriver run [--timeout SECONDS] [--press BUTTON_TEXT | --act ACTIONS]... [--cwd DIR]
//                [--descendants] [--set ID=TEXT]... [--press-keep BUTTON_TEXT]... [--clipboard]
//                (-- PROGRAM [ARGS...] | --cmdline LINE | --cmdline-file UTF8_FILE)
//   ksdriver windows  reports the visible top-level windows of every program
//                     as they are now, without answering them
//   ksdriver shot FILE  saves the whole screen as a 24-bit bitmap file
//   ksdriver hold     keeps a window open until killed (holds Wine's desktop)
//   ksdriver probe    prints "ksdriver probe <bits>-bit" and exits 0
//
// `run` starts the program with exactly the given command line and watches
// the program's top-level windows. Each new window (or a window whose content
// changed) is reported once its content is stable, as one line:
//   window<TAB>class=..<TAB>title=..<TAB>show=..<TAB>rect=..<TAB>text=..<TAB>edit=..<TAB>button=..<TAB>disabled=..<TAB>control=..
// (show= normal, min or max; rect= the window's screen rectangle as
// left,top,right,bottom; one text= per visible static text, one edit= per
// edit control, one button= per visible push button and also disabled= for a
// disabled one, one control= per child control of any kind as
// ID:CLASS:FLAGS:TEXT, where FLAGS holds h for hidden, d for disabled, c for
// checked and sN for the selected entry N of a list box, whose TEXT is its
// entries joined by line feeds). A dialog is then answered by the next entry
// of the --press and --act list when the dialog fits it, otherwise with its
// default (or only) enabled button, otherwise by WM_CLOSE; reported as
// pressed<TAB>TEXT or closed. A dialog with a progress bar is a progress
// window: it is not answered unless an entry fits it. Before that, --set puts
// TEXT into the control ID of the first dialog that has it (set<TAB>ID), and
// --press-keep presses, in order, buttons that leave the dialog open (such as
// a copy button), waiting for each to be handled.
//
// --press TEXT fits a dialog that has a button TEXT (with or without its &)
// and presses it. --act takes actions separated by "|", done in order:
//   has:ID          (a condition) the dialog has the control ID
//   title:TEXT      (a condition) the dialog's title is TEXT
//   set:ID=TEXT     sets the control's text (an edit control reports the change)
//   select:ID=N     selects entry N of a list box, as a click would
//   dblclick:ID     double-clicks the list box's selected entry
//   check:ID, uncheck:ID   sets a check box
//   scroll:ID       scrolls the control to its end
//   shot:FILE       saves the whole screen as a bitmap file
//   press:ID        presses the button ID; a disabled one is reported as
//                   refused<TAB>ID and not pressed
//   button:TEXT     presses the button TEXT
// The entry fits when its conditions hold and every control it names is
// there. Without a press the dialog is reported again at the next poll and
// answered then by the next entry (or its default). With --clipboard every
// change of the clipboard's 8-bit text is reported as clipboard<TAB>BYTES
// (escaped as below, bytes from 0x7F up as \xHH). At the end:
// memory<TAB>BYTES, the largest private memory (PagefileUsage) the program's
// own process was seen to hold while it ran (sampled at every poll), then
// exit<TAB>CODE (signed 32-bit).
// With --descendants the program runs in a job object, which every process it
// starts (and theirs) joins; after the exit line ksdriver waits until all of
// them have ended too and prints descendants<TAB>ended. That is the moment
// after which a program the driven one could have started can no longer
// appear.
// All output is UTF-8; backslash and control characters are escaped (\\ \r \n
// \t \xHH) so that the tests can compare texts byte for byte.
// ksdriver's own exit status: 0 done, 1 usage or start failure, 2 time-out
// (the program, or with --descendants whatever is left of the job, is then
// killed and a line timeout<TAB>SECONDS is printed).

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

struct HandleCloser {
  void operator()(HANDLE h) const {
    if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

// ---- output ---------------------------------------------------------------

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

std::wstring FromUtf8(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                    nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::wstring Escape(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    switch (c) {
      case L'\\': out += L"\\\\"; break;
      case L'\r': out += L"\\r"; break;
      case L'\n': out += L"\\n"; break;
      case L'\t': out += L"\\t"; break;
      default:
        if (c < 0x20 || c == 0x7f) {
          static const wchar_t kHex[] = L"0123456789ABCDEF";
          out += L"\\x";
          out += kHex[(c >> 4) & 0xf];
          out += kHex[c & 0xf];
        } else {
          out += c;
        }
    }
  }
  return out;
}

// Writes straight to the handle so that no C runtime text mode touches the bytes.
void Emit(const std::wstring& line) {
  const std::string bytes = ToUtf8(line + L"\n");
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD written = 0;
  WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// ---- command line ------------------------------------------------------------

// Quotes one argument so that the usual Windows argument parsing gives it back.
std::wstring QuoteArg(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

bool ReadUtf8File(const std::wstring& path, std::wstring& text) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return false;
  std::string bytes;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  text = FromUtf8(bytes);
  return true;
}

// One entry of the --press and --act list.
struct Act {
  std::vector<std::wstring> actions;  // "kind:argument"
};

struct RunOptions {
  DWORD timeout_ms = 60000;
  std::deque<Act> acts;
  std::deque<std::wstring> keep_presses;
  std::deque<std::pair<int, std::wstring>> sets;
  std::wstring cwd;
  std::wstring command_line;
  bool descendants = false;
  bool clipboard = false;
};

bool KnownAction(const std::wstring& action) {
  const std::wstring kind = action.substr(0, action.find(L':'));
  for (const wchar_t* known : {L"has", L"title", L"set", L"select", L"dblclick", L"check", L"uncheck", L"scroll",
                               L"shot", L"press", L"button"}) {
    if (kind == known && action.size() > kind.size()) return true;
  }
  return false;
}

bool ParseRunOptions(int argc, wchar_t** argv, RunOptions& opt) {
  bool have_line = false;
  for (int i = 2; i < argc; ++i) {
    const std::wstring a = argv[i];
    const bool has_value = i + 1 < argc;
    if (a == L"--") {
      for (int j = i + 1; j < argc; ++j) {
        if (j > i + 1) opt.command_line += L' ';
        opt.command_line += QuoteArg(argv[j]);
      }
      return i + 1 < argc;
    }
    if (a == L"--descendants") {
      opt.descendants = true;
      continue;
    }
    if (a == L"--clipboard") {
      opt.clipboard = true;
      continue;
    }
    if (!has_value) return false;
    const std::wstring value = argv[++i];
    if (a == L"--timeout") {
      opt.timeout_ms = static_cast<DWORD>(wcstoul(value.c_str(), nullptr, 10) * 1000);
    } else if (a == L"--press") {
      opt.acts.push_back({{L"button:" + value}});
    } else if (a == L"--act") {
      Act act;
      size_t from = 0;
      for (;;) {
        const size_t bar = value.find(L'|', from);
        act.actions.push_back(value.substr(from, bar == std::wstring::npos ? std::wstring::npos : bar - from));
        if (!KnownAction(act.actions.back())) {
          Emit(L"error\tunknown action " + Escape(act.actions.back()));
          return false;
        }
        if (bar == std::wstring::npos) break;
        from = bar + 1;
      }
      opt.acts.push_back(std::move(act));
    } else if (a == L"--press-keep") {
      opt.keep_presses.push_back(value);
    } else if (a == L"--set") {
      const size_t eq = value.find(L'=');
      if (eq == std::wstring::npos) return false;
      opt.sets.emplace_back(static_cast<int>(wcstol(value.substr(0, eq).c_str(), nullptr, 10)), value.substr(eq + 1));
    } else if (a == L"--cwd") {
      opt.cwd = value;
    } else if (a == L"--cmdline") {
      opt.command_line = value;
      have_line = true;
    } else if (a == L"--cmdline-file") {
      if (!ReadUtf8File(value, opt.command_line)) {
        Emit(L"error\tcannot read " + Escape(value));
        return false;
      }
      have_line = true;
    } else {
      return false;
    }
  }
  return have_line;
}

// ---- windows -----------------------------------------------------------------

// The text of a window of the driven program. `complete` is cleared when the
// program did not answer in time, so that a busy moment is not reported as
// an empty text (and then again as a changed window).
std::wstring TextOf(HWND h, bool& complete) {
  DWORD_PTR len = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &len)) {
    complete = false;
    return {};
  }
  std::wstring text(len + 1, L'\0');
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, 5000, &got)) {
    complete = false;
    return {};
  }
  text.resize(got < text.size() ? got : text.size() - 1);
  return text;
}

std::wstring ClassOf(HWND h) {
  // Window class names are limited to 256 characters by the system.
  std::wstring name(257, L'\0');
  const int n = GetClassNameW(h, name.data(), static_cast<int>(name.size()));
  name.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return name;
}

struct Button {
  HWND hwnd;
  int id;
  std::wstring text;
  bool is_default;
  bool enabled;
};

struct Control {
  HWND hwnd;
  int id;
  std::wstring cls, flags, text;
};

struct WindowInfo {
  bool complete = true;  // every text could be read
  std::wstring cls, title, show;
  RECT rect{};
  std::vector<std::wstring> texts;
  std::vector<std::wstring> edits;
  std::vector<Button> buttons;
  std::vector<Control> controls;
  bool has_progress_bar = false;

  std::wstring Report() const {
    std::wstring line = L"window\tclass=" + Escape(cls) + L"\ttitle=" + Escape(title) + L"\tshow=" + show +
                        L"\trect=" + std::to_wstring(rect.left) + L"," + std::to_wstring(rect.top) + L"," +
                        std::to_wstring(rect.right) + L"," + std::to_wstring(rect.bottom);
    for (const auto& t : texts) line += L"\ttext=" + Escape(t);
    for (const auto& e : edits) line += L"\tedit=" + Escape(e);
    for (const auto& b : buttons) line += L"\tbutton=" + Escape(b.text);
    for (const auto& b : buttons)
      if (!b.enabled) line += L"\tdisabled=" + Escape(b.text);
    for (const auto& c : controls) {
      line += L"\tcontrol=" + std::to_wstring(c.id) + L":" + Escape(c.cls) + L":" + c.flags + L":" + Escape(c.text);
    }
    return line;
  }
};

// A list box's entries joined by line feeds, and its selection.
std::wstring ListText(HWND list, std::wstring& flags, bool& complete) {
  DWORD_PTR count = 0, selected = 0;
  if (!SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count) ||
      !SendMessageTimeoutW(list, LB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, 5000, &selected)) {
    complete = false;
    return {};
  }
  if (static_cast<LRESULT>(selected) != LB_ERR) flags += L"s" + std::to_wstring(selected);
  std::wstring text;
  for (DWORD_PTR i = 0; i < count && static_cast<LRESULT>(count) != LB_ERR; ++i) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(list, LB_GETTEXTLEN, i, 0, SMTO_ABORTIFHUNG, 5000, &length)) {
      complete = false;
      return {};
    }
    std::wstring item(length + 1, L'\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item.data()), SMTO_ABORTIFHUNG, 5000, &got);
    item.resize(got < item.size() ? got : item.size() - 1);
    text += (i ? L"\n" : L"") + item;
  }
  return text;
}

void AddControl(HWND child, WindowInfo& info) {
  const std::wstring cls = ClassOf(child);
  const LONG style = GetWindowLongW(child, GWL_STYLE);
  const bool visible = IsWindowVisible(child) != FALSE;
  Control control{child, GetDlgCtrlID(child), cls, L"", L""};
  if (!visible) control.flags += L"h";
  if (!IsWindowEnabled(child)) control.flags += L"d";
  const bool list = lstrcmpiW(cls.c_str(), L"ListBox") == 0;
  if (list) {
    control.text = ListText(child, control.flags, info.complete);
  } else {
    control.text = TextOf(child, info.complete);
  }
  if (lstrcmpiW(cls.c_str(), L"Button") == 0) {
    DWORD_PTR state = 0;
    if (SendMessageTimeoutW(child, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &state) && state == BST_CHECKED)
      control.flags += L"c";
  }
  if (lstrcmpiW(cls.c_str(), L"msctls_progress32") == 0) info.has_progress_bar = true;
  info.controls.push_back(control);
  if (!visible) return;
  if (lstrcmpiW(cls.c_str(), L"Static") == 0) {
    const LONG kind = style & SS_TYPEMASK;
    if (kind == SS_ICON || kind == SS_BITMAP || kind == SS_ENHMETAFILE) return;
    if (!control.text.empty()) info.texts.push_back(control.text);
  } else if (lstrcmpiW(cls.c_str(), L"Edit") == 0) {
    info.edits.push_back(control.text);
  } else if (lstrcmpiW(cls.c_str(), L"Button") == 0) {
    const LONG kind = style & BS_TYPEMASK;
    if (kind != BS_PUSHBUTTON && kind != BS_DEFPUSHBUTTON) return;
    info.buttons.push_back({child, control.id, control.text, kind == BS_DEFPUSHBUTTON, IsWindowEnabled(child) != FALSE});
  }
}

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
  auto* info = reinterpret_cast<WindowInfo*>(param);
  AddControl(child, *info);
  return TRUE;
}

WindowInfo Inspect(HWND h) {
  WindowInfo info;
  info.cls = ClassOf(h);
  info.title = TextOf(h, info.complete);
  info.show = IsIconic(h) ? L"min" : IsZoomed(h) ? L"max" : L"normal";
  GetWindowRect(h, &info.rect);
  EnumChildWindows(h, CollectChild, reinterpret_cast<LPARAM>(&info));
  return info;
}

struct Finder {
  DWORD pid;
  std::vector<HWND> found;
};

constexpr DWORD kAnyProcess = 0;

BOOL CALLBACK CollectTopLevel(HWND h, LPARAM param) {
  auto* finder = reinterpret_cast<Finder*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if ((finder->pid == kAnyProcess || pid == finder->pid) && IsWindowVisible(h)) finder->found.push_back(h);
  return TRUE;
}

// The visible top-level windows of process `pid`, or of every process.
std::vector<HWND> TopLevelWindows(DWORD pid) {
  Finder finder{pid, {}};
  EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&finder));
  return finder.found;
}

std::wstring StripAccelerator(const std::wstring& text) {
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'&' && i + 1 < text.size()) ++i;
    out += text[i];
  }
  return out;
}

// An enabled button with this text, or nullptr.
const Button* FindButton(const WindowInfo& info, const std::wstring& text) {
  for (const auto& b : info.buttons)
    if (b.enabled && (b.text == text || StripAccelerator(b.text) == text)) return &b;
  return nullptr;
}

const Control* FindControl(const WindowInfo& info, int id) {
  for (const auto& c : info.controls)
    if (c.id == id) return &c;
  return nullptr;
}

const Button* DefaultButton(HWND dialog, const WindowInfo& info) {
  const Button* found = nullptr;
  DWORD_PTR def = 0;
  if (SendMessageTimeoutW(dialog, DM_GETDEFID, 0, 0, SMTO_ABORTIFHUNG, 2000, &def) &&
      HIWORD(def) == DC_HASDEFID) {
    for (const auto& b : info.buttons)
      if (b.id == LOWORD(def)) found = &b;
  }
  if (!found) {
    for (const auto& b : info.buttons)
      if (b.is_default) found = &b;
  }
  if (!found && info.buttons.size() == 1) found = &info.buttons.front();
  return found;
}


// ---- the clipboard -------------------------------------------------------------

// Escapes bytes like Escape, and every byte from 0x7F up as \xHH.
std::wstring EscapeBytes(const std::string& bytes) {
  static const wchar_t kHex[] = L"0123456789ABCDEF";
  std::wstring out;
  for (const unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<wchar_t>(c);
    } else if (c == '\\' || c == '\r' || c == '\n' || c == '\t') {
      out += Escape(std::wstring(1, static_cast<wchar_t>(c)));
    } else {
      out += L"\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0xf];
    }
  }
  return out;
}

// Reports the clipboard's 8-bit text whenever it changed since the last look.
struct ClipboardWatch {
  bool on = false;
  DWORD sequence = 0;

  void Look() {
    if (!on || GetClipboardSequenceNumber() == sequence) return;
    sequence = GetClipboardSequenceNumber();
    if (!OpenClipboard(nullptr)) return;
    std::string text;
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
      if (const char* bytes = static_cast<const char*>(GlobalLock(data))) {
        text.assign(bytes, strnlen(bytes, GlobalSize(data)));
        GlobalUnlock(data);
      }
    }
    CloseClipboard();
    Emit(L"clipboard\t" + EscapeBytes(text));
  }
};

struct Script {
  std::deque<Act> acts;
  std::deque<std::wstring> keep_presses;
  std::deque<std::pair<int, std::wstring>> sets;
  ClipboardWatch clipboard;
};

// Puts the pending texts into the dialog's controls that it has.
void ApplySets(HWND h, std::deque<std::pair<int, std::wstring>>& sets) {
  for (auto it = sets.begin(); it != sets.end();) {
    const HWND control = GetDlgItem(h, it->first);
    if (!control) {
      ++it;
      continue;
    }
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(it->second.c_str()), SMTO_ABORTIFHUNG,
                        5000, &ignored);
    Emit(L"set\t" + std::to_wstring(it->first));
    it = sets.erase(it);
  }
}

// Presses, in order, the buttons that leave the dialog open, each handled
// before the next.
void PressKeepingOpen(HWND h, const WindowInfo& info, Script& script) {
  while (!script.keep_presses.empty()) {
    const Button* button = FindButton(info, script.keep_presses.front());
    if (!button) return;
    script.keep_presses.pop_front();
    Emit(L"pressed\t" + Escape(button->text));
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(h, WM_COMMAND, MAKEWPARAM(button->id, BN_CLICKED), reinterpret_cast<LPARAM>(button->hwnd),
                        SMTO_ABORTIFHUNG, 10000, &ignored);
    script.clipboard.Look();
  }
}

void Press(HWND dialog, HWND button, int id, const std::wstring& text) {
  Emit(L"pressed\t" + Escape(text));
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

// ---- the screen ----------------------------------------------------------------

bool SaveScreen(const std::wstring& path) {
  const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN), height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  if (width <= 0 || height <= 0) return false;
  HDC screen = GetDC(nullptr);
  if (!screen) return false;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as bitmap files usually are
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC memory = CreateCompatibleDC(screen);
  bool ok = section && memory;
  if (ok) {
    HGDIOBJ old = SelectObject(memory, section);
    ok = BitBlt(memory, 0, 0, width, height, screen, left, top, SRCCOPY) != FALSE;
    GdiFlush();
    SelectObject(memory, old);
  }
  const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
  const DWORD image = stride * static_cast<DWORD>(height);
  if (ok) {
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof(BITMAPINFOHEADER);
    file.bfSize = file.bfOffBits + image;
    UniqueHandle out(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ok = out.get() != INVALID_HANDLE_VALUE && WriteFile(out.get(), &file, sizeof file, &written, nullptr) &&
         WriteFile(out.get(), &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr) &&
         WriteFile(out.get(), bits, image, &written, nullptr) && written == image;
  }
  if (memory) DeleteDC(memory);
  if (section) DeleteObject(section);
  ReleaseDC(nullptr, screen);
  return ok;
}

// ---- answering -----------------------------------------------------------------

std::wstring Kind(const std::wstring& action) { return action.substr(0, action.find(L':')); }
std::wstring Argument(const std::wstring& action) {
  const size_t colon = action.find(L':');
  return colon == std::wstring::npos ? std::wstring() : action.substr(colon + 1);
}
int IdOf(const std::wstring& argument) { return static_cast<int>(wcstol(argument.c_str(), nullptr, 10)); }
std::wstring ValueOf(const std::wstring& argument) {
  const size_t eq = argument.find(L'=');
  return eq == std::wstring::npos ? std::wstring() : argument.substr(eq + 1);
}

// The act fits the dialog: its conditions hold and the controls it names are there.
bool Fits(const Act& act, const WindowInfo& info) {
  for (const std::wstring& action : act.actions) {
    const std::wstring kind = Kind(action), argument = Argument(action);
    if (kind == L"title") {
      if (info.title != argument) return false;
    } else if (kind == L"button") {
      if (!FindButton(info, argument)) return false;
    } else if (kind == L"shot") {
      continue;
    } else if (!FindControl(info, IdOf(argument))) {
      return false;
    }
  }
  return true;
}

// Does the act's actions; true when one of them pressed a button.
bool Perform(HWND dialog, const Act& act, const WindowInfo& info) {
  bool pressed = false;
  for (const std::wstring& action : act.actions) {
    const std::wstring kind = Kind(action), argument = Argument(action);
    const Control* control = FindControl(info, IdOf(argument));
    if (kind == L"set") {
      const std::wstring text = ValueOf(argument);
      SendMessageTimeoutW(control->hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                          5000, nullptr);
    } else if (kind == L"select" || kind == L"dblclick") {
      if (kind == L"select") {
        SendMessageTimeoutW(control->hwnd, LB_SETCURSEL, static_cast<WPARAM>(IdOf(ValueOf(argument))), 0,
                            SMTO_ABORTIFHUNG, 5000, nullptr);
      }
      const WORD code = kind == L"select" ? LBN_SELCHANGE : LBN_DBLCLK;
      SendMessageTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(control->id, code),
                          reinterpret_cast<LPARAM>(control->hwnd), SMTO_ABORTIFHUNG, 5000, nullptr);
    } else if (kind == L"check" || kind == L"uncheck") {
      SendMessageTimeoutW(control->hwnd, BM_SETCHECK, kind == L"check" ? BST_CHECKED : BST_UNCHECKED, 0,
                          SMTO_ABORTIFHUNG, 5000, nullptr);
    } else if (kind == L"scroll") {
      SendMessageTimeoutW(control->hwnd, WM_VSCROLL, SB_BOTTOM, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    } else if (kind == L"shot") {
      Emit(SaveScreen(argument) ? L"shot\t" + Escape(argument) : L"error\tcannot save the screen to " + Escape(argument));
    } else if (kind == L"press") {
      if (!IsWindowEnabled(control->hwnd)) {
        Emit(L"refused\t" + argument);
        continue;
      }
      Press(dialog, control->hwnd, control->id, control->text);
      pressed = true;
    } else if (kind == L"button") {
      const Button* b = FindButton(info, argument);
      Press(dialog, b->hwnd, b->id, b->text);
      pressed = true;
    }
  }
  return pressed;
}

// Answers a dialog: the next entry of the list when it fits, else the
// default button. False when the dialog is to be reported again (an entry
// without a press was done).
bool Answer(HWND h, const WindowInfo& info, Script& script) {
  if (info.cls != L"#32770") return true;  // only dialogs and message boxes are answered
  ApplySets(h, script.sets);
  PressKeepingOpen(h, info, script);
  std::deque<Act>& acts = script.acts;
  if (!acts.empty() && Fits(acts.front(), info)) {
    const Act act = acts.front();
    acts.pop_front();
    return Perform(h, act, info);
  }
  if (info.has_progress_bar) return true;  // a progress window waits for its program
  if (const Button* button = DefaultButton(h, info)) {
    // A disabled button cannot be clicked by a person either: the dialog waits.
    if (IsWindowEnabled(button->hwnd)) Press(h, button->hwnd, button->id, button->text);
  } else {
    Emit(L"closed");
    PostMessageW(h, WM_CLOSE, 0, 0);
  }
  return true;
}

// Per window: the content last seen and the content last reported. A content
// is reported once it has been seen unchanged in two polls in a row, so a
// dialog still being filled is not reported half-done.
struct Seen {
  std::wstring last, reported;
};

void Poll(DWORD pid, std::map<HWND, Seen>& seen, Script& script) {
  script.clipboard.Look();
  std::map<HWND, Seen> next;
  for (HWND h : TopLevelWindows(pid)) {
    Seen state = seen.count(h) ? seen[h] : Seen{};
    const WindowInfo info = Inspect(h);
    if (!info.complete) {
      next[h] = state;  // look again at the next poll
      continue;
    }
    const std::wstring report = info.Report();
    if (report == state.last && report != state.reported) {
      Emit(report);
      state.reported = report;
      if (!Answer(h, info, script)) state.reported.clear();
    }
    state.last = report;
    next[h] = state;
  }
  seen.swap(next);
}

// ---- commands ----------------------------------------------------------------

// Processes of the job still running; -1 when the job cannot be asked.
long ActiveProcesses(HANDLE job) {
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
  if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof info, nullptr))
    return -1;
  return static_cast<long>(info.ActiveProcesses);
}

int Run(int argc, wchar_t** argv) {
  RunOptions opt;
  if (!ParseRunOptions(argc, argv, opt)) {
    Emit(L"error\tusage: ksdriver run [--timeout S] [--press TEXT] [--act ACTIONS] [--cwd DIR] [--descendants] "
         L"[--set ID=TEXT] [--press-keep TEXT] [--clipboard] "
         L"(-- PROGRAM [ARGS...] | --cmdline LINE | --cmdline-file FILE)");
    return 1;
  }
  UniqueHandle job;
  if (opt.descendants) {
    job.reset(CreateJobObjectW(nullptr, nullptr));
    if (!job) {
      Emit(L"error\tCreateJobObject failed with system error " + std::to_wstring(GetLastError()));
      return 1;
    }
  }
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::wstring line = opt.command_line;  // CreateProcessW may write into it
  // Suspended until it is in the job, so that not even its first child escapes.
  const DWORD flags = job ? CREATE_SUSPENDED : 0;
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, flags, nullptr,
                      opt.cwd.empty() ? nullptr : opt.cwd.c_str(), &si, &pi)) {
    Emit(L"error\tCreateProcess failed with system error " + std::to_wstring(GetLastError()));
    return 1;
  }
  UniqueHandle process(pi.hProcess), thread(pi.hThread);
  if (job) {
    if (!AssignProcessToJobObject(job.get(), process.get())) {
      Emit(L"error\tAssignProcessToJobObject failed with system error " + std::to_wstring(GetLastError()));
      TerminateProcess(process.get(), 1);
      return 1;
    }
    ResumeThread(thread.get());
  }
  std::map<HWND, Seen> seen;
  Script script{opt.acts, opt.keep_presses, opt.sets, {opt.clipboard, GetClipboardSequenceNumber()}};
  const ULONGLONG deadline = GetTickCount64() + opt.timeout_ms;
  const auto timed_out = [&] {
    if (GetTickCount64() < deadline) return false;
    Emit(L"timeout\t" + std::to_wstring(opt.timeout_ms / 1000));
    if (job) TerminateJobObject(job.get(), 1);
    TerminateProcess(process.get(), 1);
    WaitForSingleObject(process.get(), 5000);
    return true;
  };
  // An ended process has no counters to ask for: its memory is sampled while it runs.
  SIZE_T peak_private = 0;
  const auto sample_memory = [&] {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(process.get(), &counters, sizeof counters))
      peak_private = std::max({peak_private, counters.PagefileUsage, counters.PeakPagefileUsage});
  };
  sample_memory();
  while (WaitForSingleObject(process.get(), 50) == WAIT_TIMEOUT) {
    sample_memory();
    if (timed_out()) return 2;
    Poll(pi.dwProcessId, seen, script);
  }
  DWORD code = 0;
  GetExitCodeProcess(process.get(), &code);
  script.clipboard.Look();
  Emit(L"memory\t" + std::to_wstring(static_cast<unsigned long long>(peak_private)));
  Emit(L"exit\t" + std::to_wstring(static_cast<long>(static_cast<int>(code))));
  if (!job) return 0;
  for (;;) {
    const long active = ActiveProcesses(job.get());
    if (active < 0) {
      Emit(L"error\tQueryInformationJobObject failed with system error " + std::to_wstring(GetLastError()));
      return 1;
    }
    if (active == 0) break;
    if (timed_out()) return 2;
    Sleep(50);
  }
  Emit(L"descendants\tended");
  return 0;
}

// Reports every visible top-level window once, as `run` would, and answers none.
int Windows() {
  for (HWND h : TopLevelWindows(kAnyProcess)) {
    const WindowInfo info = Inspect(h);
    Emit(info.Report());
  }
  return 0;
}

// A window on the desktop keeps Wine's virtual desktop (and so the wine server's
// state) alive between the test programs, which saves seconds per start.
int Hold() {
  HWND h = CreateWindowExW(0, L"Static", L"ksdriver hold", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!h) return 1;
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"run") return Run(argc, argv);
  if (command == L"windows") return Windows();
  if (command == L"hold") return Hold();
  if (command == L"shot" && argc == 3) {
    if (SaveScreen(argv[2])) return 0;
    Emit(L"error\tcannot save the screen to " + Escape(argv[2]));
    return 1;
  }
  if (command == L"probe") {
    Emit(L"ksdriver probe " + std::to_wstring(sizeof(void*) * 8) + L"-bit");
    return 0;
  }
  Emit(L"error\tusage: ksdriver run|windows|shot|hold|probe ...");
  return 1;
}
