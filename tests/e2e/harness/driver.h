#pragma once
// Running a Windows GUI program under ksdriver (tests/tools/ksdriver.cpp),
// which reports every window the program shows and answers its dialogs.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace ks::e2e {

// A child control of a window, as ksdriver reported it.
struct ShownControl {
  int id = 0;
  std::string cls;
  std::string text;   // a list box's entries joined by "\n"
  bool hidden = false, disabled = false, checked = false;
  int selected = -1;  // a list box's selected entry
};

// One window the program showed, its texts unescaped to UTF-8.
struct ShownWindow {
  std::string cls;                   // "#32770" for dialogs and message boxes
  std::string title;
  std::string show;                  // "normal", "min" or "max"
  int left = 0, top = 0, right = 0, bottom = 0;  // the window's screen rectangle
  std::vector<std::string> texts;     // the visible static texts, in window order
  std::vector<std::string> edits;     // the edit controls' texts, in window order
  std::vector<std::string> buttons;   // the visible push buttons' texts
  std::vector<std::string> disabled;  // those of them that are disabled
  std::vector<ShownControl> controls;  // every child control
  std::string pressed;                // the last button ksdriver pressed ("" if none)

  // The static texts joined by "\n" (a message box has one).
  std::string Text() const;
  // The control `id`, or null.
  const ShownControl* Control(int id) const;
  // Its text; "<no control N>" when there is none.
  std::string ControlText(int id) const;
};

struct DriverRun {
  bool ok = false;         // the program ran to its end and its exit code is known (and,
                           // when asked for, every process it started ended as well)
  bool timed_out = false;  // ksdriver killed it (or what it started) at the time-out
  bool descendants_ended = false;  // with wait_for_descendants: all its processes ended
  int exit_code = 0;       // the full 32-bit exit code, signed
  // The largest private memory (bytes) the program's own process was seen to
  // hold, sampled every 50 ms while it ran; 0 when it could not be read.
  std::uint64_t peak_private_bytes = 0;
  std::vector<ShownWindow> windows;        // the dialogs and message boxes, in the order shown
  std::vector<ShownWindow> other_windows;  // the program's other windows (its background window)
  std::vector<int> refused;                // buttons an act found disabled
  std::vector<std::string> clipboard;      // with watch_clipboard: the clipboard's 8-bit texts, as they changed
  std::string output;      // ksdriver's raw output, for failure messages
  std::string error;       // what went wrong when !ok
};

struct DriverOptions {
  int timeout_seconds = 60;
  std::vector<std::string> presses;  // button texts to press, in order of the dialogs
  // ksdriver's --act entries (tests/tools/ksdriver.cpp), after the presses:
  // actions separated by "|", such as "has:1015|set:1015=C:\\x|press:1001".
  std::vector<std::string> acts;
  std::string cwd;                   // C:\ working folder ("" = ksdriver's own)
  // Also wait, within the time-out, until every process the program started
  // (and those started by them) has ended. After that, something such a
  // process would have done either happened or never will: the moment for
  // checking that it did not.
  bool wait_for_descendants = false;
  // Texts put into controls (by id) of the first dialog that has them, before it is answered.
  std::vector<std::pair<int, std::string>> sets;
  // Buttons that leave their dialog open, pressed in order (each handled
  // before the next) before the dialog is answered.
  std::vector<std::string> presses_keeping_open;
  // Report every change of the clipboard's 8-bit text.
  bool watch_clipboard = false;
  // NAME=VALUE entries added to the environment of ksdriver's wine process,
  // and so to that of the program and of everything it starts.
  std::vector<std::string> environment;
};

// Finds the first dialog titled `title`; null when there is none.
const ShownWindow* FindWindow(const DriverRun& run, const std::string& title);

// Runs `program` (a C:\ path) with `args`, each quoted as the Windows argument
// rules need (an argument without blanks or quotes is passed unchanged).
DriverRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const DriverOptions& options = {});

// Runs exactly this command line (UTF-8; the program's path first), for tests
// of odd quoting. It reaches CreateProcessW byte for byte, whatever the locale.
DriverRun RunCommandLine(const std::string& command_line, const DriverOptions& options = {});

// The visible top-level windows of every program of the prefix at this
// moment, as ksdriver reports them; none is answered.
std::vector<ShownWindow> VisibleWindows();

// Quotes one argument for a Windows command line.
std::string QuoteWindowsArg(const std::string& arg);

// Parses ksdriver's output (exposed for its own test).
DriverRun ParseDriverOutput(const std::string& output);

}  // namespace ks::e2e
