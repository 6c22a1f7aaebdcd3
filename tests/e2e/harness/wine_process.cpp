#include "harness/wine_process.h"

#include <signal.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <filesystem>

#include "harness/wait.h"
#include "harness/wine.h"

namespace ks::e2e {

namespace fs = std::filesystem;

namespace {

// A read of /proc fails when the process ends meanwhile: then the text read
// so far (C streams, which report that as an error, not an exception).
std::string ReadProcFile(const fs::path& path) {
  std::string text;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return text;
  char chunk[4096];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) text.append(chunk, n);
  std::fclose(f);
  return text;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// The NUL-separated entries of /proc/<pid>/cmdline or environ.
bool HasEntry(const std::string& entries, const std::string& wanted) {
  std::size_t start = 0;
  while (start < entries.size()) {
    const std::size_t end = entries.find('\0', start);
    if (entries.compare(start, (end == std::string::npos ? entries.size() : end) - start, wanted) == 0) return true;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return false;
}

}  // namespace

pid_t FindWindowsProcess(const std::string& windows_path) {
  const WineEnv* env = LoadWineEnv(nullptr);
  if (!env) return 0;
  // Processes come and go while /proc is read: no step may throw.
  std::error_code ec;
  for (fs::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
    const fs::directory_entry& entry = *it;
    const std::string name = entry.path().filename().string();
    if (name.empty() || !std::isdigit(static_cast<unsigned char>(name[0]))) continue;
    // Wine shows the program's Windows path as the process's first argument.
    const std::string cmdline = ReadProcFile(entry.path() / "cmdline");
    if (!SameIgnoringCase(cmdline.substr(0, cmdline.find('\0')), windows_path)) continue;
    if (!HasEntry(ReadProcFile(entry.path() / "environ"), "WINEPREFIX=" + env->prefix)) continue;
    return static_cast<pid_t>(std::strtol(name.c_str(), nullptr, 10));
  }
  return 0;
}

bool KillProcess(pid_t pid) {
  if (pid <= 0 || kill(pid, SIGKILL) != 0) return false;
  // Not our child: gone once /proc no longer lists it, or lists a zombie.
  const fs::path stat = "/proc/" + std::to_string(pid) + "/stat";
  return WaitUntil(
      [&] {
        const std::string text = ReadProcFile(stat);
        const std::size_t paren = text.rfind(')');
        return text.empty() || (paren != std::string::npos && text.compare(paren + 1, 3, " Z ") == 0);
      },
      std::chrono::seconds(10));
}

}  // namespace ks::e2e
