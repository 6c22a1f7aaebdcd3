#include "harness/driver.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "harness/wine.h"

namespace ks::e2e {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Undoes ksdriver's escapes: \\ \r \n \t \xHH.
std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    if (c == 'r') {
      out += '\r';
    } else if (c == 'n') {
      out += '\n';
    } else if (c == 't') {
      out += '\t';
    } else if (c == 'x' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
               HexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, '\t')) fields.push_back(field);
  return fields;
}

// ID:CLASS:FLAGS:TEXT, the text still escaped.
ShownControl ParseControl(const std::string& field) {
  ShownControl c;
  const size_t a = field.find(':'), b = field.find(':', a + 1), d = field.find(':', b + 1);
  if (a == std::string::npos || b == std::string::npos || d == std::string::npos) return c;
  c.id = static_cast<int>(std::strtol(field.substr(0, a).c_str(), nullptr, 10));
  c.cls = Unescape(field.substr(a + 1, b - a - 1));
  const std::string flags = field.substr(b + 1, d - b - 1);
  c.hidden = flags.find('h') != std::string::npos;
  c.disabled = flags.find('d') != std::string::npos;
  c.checked = flags.find('c') != std::string::npos;
  if (const size_t s = flags.find('s'); s != std::string::npos) {
    c.selected = static_cast<int>(std::strtol(flags.c_str() + s + 1, nullptr, 10));
  }
  c.text = Unescape(field.substr(d + 1));
  return c;
}

ShownWindow ParseWindow(const std::vector<std::string>& fields) {
  ShownWindow w;
  for (size_t i = 1; i < fields.size(); ++i) {
    const auto eq = fields[i].find('=');
    const std::string key = fields[i].substr(0, eq);
    const std::string raw = eq == std::string::npos ? "" : fields[i].substr(eq + 1);
    const std::string value = Unescape(raw);
    if (key == "class") w.cls = value;
    if (key == "title") w.title = value;
    if (key == "show") w.show = value;
    if (key == "rect") std::sscanf(value.c_str(), "%d,%d,%d,%d", &w.left, &w.top, &w.right, &w.bottom);
    if (key == "text") w.texts.push_back(value);
    if (key == "edit") w.edits.push_back(value);
    if (key == "button") w.buttons.push_back(value);
    if (key == "disabled") w.disabled.push_back(value);
    if (key == "control") w.controls.push_back(ParseControl(raw));
  }
  return w;
}

void ParseLine(const std::string& line, DriverRun& run) {
  const std::vector<std::string> fields = SplitTabs(line);
  if (fields.empty()) return;
  const std::string& kind = fields[0];
  const std::string arg = fields.size() > 1 ? Unescape(fields[1]) : "";
  if (kind == "window") {
    ShownWindow w = ParseWindow(fields);
    (w.cls == "#32770" ? run.windows : run.other_windows).push_back(std::move(w));
  } else if (kind == "pressed" && !run.windows.empty()) {
    run.windows.back().pressed = arg;
  } else if (kind == "refused") {
    run.refused.push_back(static_cast<int>(std::strtol(arg.c_str(), nullptr, 10)));
  } else if (kind == "exit" && fields.size() > 1) {
    run.exit_code = static_cast<int>(std::strtol(fields[1].c_str(), nullptr, 10));
    run.ok = true;
  } else if (kind == "memory" && fields.size() > 1) {
    run.peak_private_bytes = std::strtoull(fields[1].c_str(), nullptr, 10);
  } else if (kind == "clipboard") {
    run.clipboard.push_back(arg);
  } else if (kind == "descendants") {
    run.descendants_ended = arg == "ended";
  } else if (kind == "timeout") {
    run.timed_out = true;
    run.error = run.ok ? "the program ended, but processes it started still ran after " + arg +
                             " s and were killed"
                       : "the program did not end within " + arg + " s and was killed";
    run.ok = false;
  } else if (kind == "error") {
    run.error = "ksdriver: " + arg;
  }
}

std::string CommandFilePath() {
  static std::atomic<int> counter{0};
  return "C:\\ks\\cmd\\" + std::to_string(getpid()) + "-" + std::to_string(++counter) + ".txt";
}

}  // namespace

std::string ShownWindow::Text() const {
  std::string out;
  for (size_t i = 0; i < texts.size(); ++i) out += (i ? "\n" : "") + texts[i];
  return out;
}

const ShownControl* ShownWindow::Control(int id) const {
  for (const ShownControl& c : controls)
    if (c.id == id) return &c;
  return nullptr;
}

std::string ShownWindow::ControlText(int id) const {
  const ShownControl* c = Control(id);
  return c ? c->text : "<no control " + std::to_string(id) + ">";
}

const ShownWindow* FindWindow(const DriverRun& run, const std::string& title) {
  for (const ShownWindow& w : run.windows)
    if (w.title == title) return &w;
  return nullptr;
}

DriverRun ParseDriverOutput(const std::string& output) {
  DriverRun run;
  run.output = output;
  std::istringstream in(output);
  std::string line;
  while (std::getline(in, line)) ParseLine(line, run);
  if (!run.ok && run.error.empty()) run.error = "ksdriver reported no exit code";
  return run;
}

std::string QuoteWindowsArg(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  return out + "\"";
}

DriverRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const DriverOptions& options) {
  std::string line = QuoteWindowsArg(program);
  for (const auto& a : args) line += " " + QuoteWindowsArg(a);
  return RunCommandLine(line, options);
}

DriverRun RunCommandLine(const std::string& command_line, const DriverOptions& options) {
  DriverRun failed;
  std::string error;
  const WineEnv* env = LoadWineEnv(&error);
  if (!env) {
    failed.error = error;
    return failed;
  }
  // Through a file, so that neither wine's argument quoting nor the Unix
  // locale can change a byte of the line.
  const std::string file = CommandFilePath();
  if (!WritePrefixFile(file, command_line)) {
    failed.error = "cannot write " + file;
    return failed;
  }
  std::vector<std::string> args{env->tools_dir + "\\ksdriver.exe", "run", "--timeout",
                                std::to_string(options.timeout_seconds)};
  for (const auto& p : options.presses) args.insert(args.end(), {"--press", p});
  for (const auto& a : options.acts) args.insert(args.end(), {"--act", a});
  if (!options.cwd.empty()) args.insert(args.end(), {"--cwd", options.cwd});
  if (options.wait_for_descendants) args.push_back("--descendants");
  for (const auto& [id, text] : options.sets) args.insert(args.end(), {"--set", std::to_string(id) + "=" + text});
  for (const auto& p : options.presses_keeping_open) args.insert(args.end(), {"--press-keep", p});
  if (options.watch_clipboard) args.push_back("--clipboard");
  args.insert(args.end(), {"--cmdline-file", file});
  const WineResult r = RunWine(args, options.timeout_seconds + 60, options.environment);
  DriverRun run = ParseDriverOutput(r.out);
  if (!r.started) run.error = "cannot start " + env->wine;
  if (r.timed_out) run.error = "ksdriver itself did not end in time; output so far:\n" + r.out;
  if (!r.started || r.timed_out) run.ok = false;
  if (options.wait_for_descendants && run.ok && !run.descendants_ended) {
    run.ok = false;
    run.error = "ksdriver did not report the end of the program's descendants";
  }
  return run;
}

std::vector<ShownWindow> VisibleWindows() {
  const WineEnv* env = LoadWineEnv(nullptr);
  if (!env) return {};
  const WineResult r = RunWine({env->tools_dir + "\\ksdriver.exe", "windows"}, 60);
  return ParseDriverOutput(r.out).windows;
}

}  // namespace ks::e2e
