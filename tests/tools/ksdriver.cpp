// ksdriver: drives a Windows GUI program for the end-to-end tests.
//
//   ksdriver run [--timeout SECONDS] [--press BUTTON_TEXT]... [--cwd DIR] [--descendants]
//                [--set ID=TEXT]... [--press-keep BUTTON_TEXT]... [--clipboard]
//                (-- PROGRAM [ARGS...] | --cmdline LINE | --cmdline-file UTF8_FILE)
//   ksdriver windows  reports the visible top-level windows of every program
//                     as they are now, without answering them
//   ksdriver hold     keeps a window open until killed (holds Wine's desktop)
//   ksdriver probe    prints "ksdriver probe <bits>-bit" and exits 0
//
// `run` starts the program with exactly the given command line and watches
// the program's top-level windows. Each new window (or a window whose content
// changed) is reported once its content is stable, as one line:
//   window<TAB>class=..<TAB>title=..<TAB>text=..<TAB>button=..
// (one text= per static text, one edit= per edit control, one button= per
// push button and also disabled= for a disabled one). A dialog is then
// answered: the next --press text when the dialog has that button, otherwise
// its default (or only) enabled button, otherwise WM_CLOSE; reported as
// pressed<TAB>TEXT or closed. Before that, --set puts TEXT into the control
// ID of the first dialog that has it (set<TAB>ID), and --press-keep presses,
// in order, buttons that leave the dialog open (such as a copy button),
// waiting for each to be handled. With --clipboard every change of the
// clipboard's 8-bit text is reported as clipboard<TAB>BYTES (escaped as
// below, bytes from 0x7F up as \xHH). At the end: exit<TAB>CODE (signed 32-bit).
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

struct RunOptions {
  DWORD timeout_ms = 60000;
  std::deque<std::wstring> presses;
  std::deque<std::wstring> keep_presses;
  std::deque<std::pair<int, std::wstring>> sets;
  std::wstring cwd;
  std::wstring command_line;
  bool descendants = false;
  bool clipboard = false;
};

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
      opt.presses.push_back(value);
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

struct WindowInfo {
  bool complete = true;  // every text could be read
  std::wstring cls, title;
  std::vector<std::wstring> texts;
  std::vector<std::wstring> edits;
  std::vector<Button> buttons;

  std::wstring Report() const {
    std::wstring line = L"window\tclass=" + Escape(cls) + L"\ttitle=" + Escape(title);
    for (const auto& t : texts) line += L"\ttext=" + Escape(t);
    for (const auto& e : edits) line += L"\tedit=" + Escape(e);
    for (const auto& b : buttons) line += L"\tbutton=" + Escape(b.text);
    for (const auto& b : buttons)
      if (!b.enabled) line += L"\tdisabled=" + Escape(b.text);
    return line;
  }
};

void AddControl(HWND child, WindowInfo& info) {
  if (!IsWindowVisible(child)) return;
  const std::wstring cls = ClassOf(child);
  const LONG style = GetWindowLongW(child, GWL_STYLE);
  if (lstrcmpiW(cls.c_str(), L"Static") == 0) {
    const LONG kind = style & SS_TYPEMASK;
    if (kind == SS_ICON || kind == SS_BITMAP || kind == SS_ENHMETAFILE) return;
    std::wstring text = TextOf(child, info.complete);
    if (!text.empty()) info.texts.push_back(std::move(text));
  } else if (lstrcmpiW(cls.c_str(), L"Edit") == 0) {
    info.edits.push_back(TextOf(child, info.complete));
  } else if (lstrcmpiW(cls.c_str(), L"Button") == 0) {
    const LONG kind = style & BS_TYPEMASK;
    if (kind != BS_PUSHBUTTON && kind != BS_DEFPUSHBUTTON) return;
    info.buttons.push_back({child, GetDlgCtrlID(child), TextOf(child, info.complete), kind == BS_DEFPUSHBUTTON,
                            IsWindowEnabled(child) != FALSE});
  }
}

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
  auto* info = reinterpret_cast<WindowInfo*>(param);
  // Only direct children: nested property pages report through their own controls too.
  AddControl(child, *info);
  return TRUE;
}

WindowInfo Inspect(HWND h) {
  WindowInfo info;
  info.cls = ClassOf(h);
  info.title = TextOf(h, info.complete);
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

const Button* DefaultButton(HWND dialog, const WindowInfo& info) {
  DWORD_PTR def = 0;
  if (SendMessageTimeoutW(dialog, DM_GETDEFID, 0, 0, SMTO_ABORTIFHUNG, 2000, &def) &&
      HIWORD(def) == DC_HASDEFID) {
    for (const auto& b : info.buttons)
      if (b.id == LOWORD(def)) return b.enabled ? &b : nullptr;
  }
  for (const auto& b : info.buttons)
    if (b.is_default) return b.enabled ? &b : nullptr;
  return info.buttons.size() == 1 && info.buttons.front().enabled ? &info.buttons.front() : nullptr;
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
  std::deque<std::wstring> presses;
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

// Answers a dialog: the next requested button when it is there, else the default.
void Answer(HWND h, const WindowInfo& info, Script& script) {
  if (info.cls != L"#32770") return;  // only dialogs and message boxes are answered
  ApplySets(h, script.sets);
  PressKeepingOpen(h, info, script);
  std::deque<std::wstring>& presses = script.presses;
  const Button* button = nullptr;
  if (!presses.empty() && (button = FindButton(info, presses.front())) != nullptr)
    presses.pop_front();
  if (!button) button = DefaultButton(h, info);
  if (button) {
    Emit(L"pressed\t" + Escape(button->text));
    PostMessageW(h, WM_COMMAND, MAKEWPARAM(button->id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button->hwnd));
  } else {
    Emit(L"closed");
    PostMessageW(h, WM_CLOSE, 0, 0);
  }
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
      Answer(h, info, script);
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
    Emit(L"error\tusage: ksdriver run [--timeout S] [--press TEXT] [--cwd DIR] [--descendants] "
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
  Script script{opt.presses, opt.keep_presses, opt.sets, {opt.clipboard, GetClipboardSequenceNumber()}};
  const ULONGLONG deadline = GetTickCount64() + opt.timeout_ms;
  const auto timed_out = [&] {
    if (GetTickCount64() < deadline) return false;
    Emit(L"timeout\t" + std::to_wstring(opt.timeout_ms / 1000));
    if (job) TerminateJobObject(job.get(), 1);
    TerminateProcess(process.get(), 1);
    WaitForSingleObject(process.get(), 5000);
    return true;
  };
  while (WaitForSingleObject(process.get(), 50) == WAIT_TIMEOUT) {
    if (timed_out()) return 2;
    Poll(pi.dwProcessId, seen, script);
  }
  DWORD code = 0;
  GetExitCodeProcess(process.get(), &code);
  script.clipboard.Look();
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
  if (command == L"probe") {
    Emit(L"ksdriver probe " + std::to_wstring(sizeof(void*) * 8) + L"-bit");
    return 0;
  }
  Emit(L"error\tusage: ksdriver run|windows|hold|probe ...");
  return 1;
}
