#include "harness/wine.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace ks::e2e {
namespace fs = std::filesystem;

namespace {

class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return fd_; }
  void Reset() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

std::string StateDir() {
  // The variable lets one run the suite against a state made by hand.
  if (const char* dir = std::getenv("KS_WINE_STATE"); dir && *dir) return dir;
  return KS_WINE_STATE;
}

bool ReadEnvFile(const std::string& path, std::map<std::string, std::string>& values) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    const auto eq = line.find('=');
    if (eq != std::string::npos && eq > 0) values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return true;
}

std::string Sanitize(const std::string& text) {
  std::string out;
  for (char c : text) {
    const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '_' || c == '.';
    out += keep ? c : '_';
  }
  return out;
}

std::string CurrentTestName() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  if (!info) return "no_test";
  return Sanitize(std::string(info->test_suite_name()) + "." + info->name());
}

// The environment of a wine process: ours, less the proxies, plus the run's,
// plus `extra` (NAME=VALUE entries that replace those of the same name).
std::vector<std::string> WineEnvironment(const WineEnv& env, const std::vector<std::string>& extra) {
  static const char* const kFromRun[] = {"WINEPREFIX", "DISPLAY",          "WINESERVER",
                                         "WINEDEBUG",  "WINEDLLOVERRIDES", "LC_ALL"};
  static const char* const kDropped[] = {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY",
                                         "WINEARCH",   "LANG"};
  std::vector<std::string> out;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const std::string key = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const char* k : kFromRun) replaced = replaced || key == k;
    for (const char* k : kDropped) replaced = replaced || key == k;
    if (!replaced) out.push_back(entry);
  }
  for (const char* k : kFromRun) out.push_back(std::string(k) + "=" + env.Value(k));
  for (const std::string& entry : extra) {
    const std::string key = entry.substr(0, entry.find('=') + 1);
    out.erase(std::remove_if(out.begin(), out.end(), [&](const std::string& e) { return e.rfind(key, 0) == 0; }),
              out.end());
    out.push_back(entry);
  }
  return out;
}

std::vector<char*> CStrings(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (auto& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

// Reads what the pipe has now; false once it is closed.
bool DrainPipe(int fd, std::string& out) {
  char chunk[4096];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n > 0) {
      out.append(chunk, static_cast<size_t>(n));
    } else {
      return n < 0 && (errno == EAGAIN || errno == EINTR);
    }
  }
}

// Collects the child's output until it ends or the deadline passes.
void Supervise(pid_t pid, int fd, int timeout_seconds, WineResult& result) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
  bool open = true;
  for (;;) {
    if (open) {
      pollfd p{fd, POLLIN, 0};
      poll(&p, 1, 50);
      open = DrainPipe(fd, result.out);
    } else {
      usleep(50 * 1000);
    }
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      if (open) DrainPipe(fd, result.out);
      result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      result.timed_out = true;
      return;
    }
  }
}

std::string RegViewSwitch(RegView view) { return view == RegView::k32 ? "/reg:32" : "/reg:64"; }

// The data part of a `reg query` line "    Name    REG_SZ    data".
std::optional<std::string> RegDataOf(const std::string& output, const std::string& name) {
  std::istringstream in(output);
  std::string line;
  const std::string shown = name.empty() ? "(Default)" : name;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto start = line.find_first_not_of(' ');
    if (start != 4 || line.compare(4, shown.size() + 4, shown + "    ") != 0) continue;
    const auto type = line.find("REG_", 4 + shown.size());
    if (type == std::string::npos) continue;
    const auto gap = line.find("    ", type);
    return gap == std::string::npos ? std::string() : line.substr(gap + 4);
  }
  return std::nullopt;
}

}  // namespace

std::string WineEnv::Value(const std::string& key) const {
  const auto it = values.find(key);
  return it == values.end() ? std::string() : it->second;
}

const WineEnv* LoadWineEnv(std::string* error) {
  static WineEnv env;
  static bool loaded = false;
  if (loaded) return &env;
  const std::string path = StateDir() + "/env";
  if (!ReadEnvFile(path, env.values)) {
    if (error) {
      *error = "No Wine environment (" + path +
               " is missing). The e2e tests need the fixture that tests/wine-env.sh sets up: run "
               "them through ctest, e.g. ctest --preset native -L e2e or -R <test name>.";
    }
    return nullptr;
  }
  env.prefix = env.Value("WINEPREFIX");
  env.wine = env.Value("WINE");
  env.arch = env.Value("KS_ARCH");
  env.runs_32bit = env.Value("KS_32BIT_RUNS") == "1";
  env.win_bin = env.Value("KS_WIN_BIN");
  env.tools_dir = env.Value("KS_TOOLS_DIR");
  env.wine_version = env.Value("KS_WINE_VERSION");
  loaded = true;
  return &env;
}

void WineTest::SetUp() {
  std::string error;
  env_ = LoadWineEnv(&error);
  if (!env_) GTEST_FAIL() << error;
  // Which engine build ran shows in every test's record (XML/JSON output).
  RecordProperty("engine_arch", env_->arch);
}

std::string LinuxPath(const std::string& windows_path) {
  const WineEnv* env = LoadWineEnv(nullptr);
  if (!env || windows_path.size() < 3 || (windows_path[0] | 0x20) != 'c' ||
      windows_path.compare(1, 2, ":\\") != 0)
    return {};
  std::string rest = windows_path.substr(3);
  for (char& c : rest)
    if (c == '\\') c = '/';
  return env->prefix + "/drive_c/" + rest;
}

std::string CopyIntoPrefix(const std::string& linux_source, const std::string& windows_dir,
                           const std::string& name) {
  const std::string file = name.empty() ? fs::path(linux_source).filename().string() : name;
  const std::string windows_path =
      windows_dir + (windows_dir.empty() || windows_dir.back() == '\\' ? "" : "\\") + file;
  const std::string target = LinuxPath(windows_path);
  if (target.empty()) return {};
  std::error_code ec;
  fs::create_directories(fs::path(target).parent_path(), ec);
  fs::copy_file(linux_source, target, fs::copy_options::overwrite_existing, ec);
  return ec ? std::string() : windows_path;
}

bool WritePrefixFile(const std::string& windows_path, const std::string& bytes) {
  const std::string target = LinuxPath(windows_path);
  if (target.empty()) return false;
  std::error_code ec;
  fs::create_directories(fs::path(target).parent_path(), ec);
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

std::optional<std::string> ReadPrefixFile(const std::string& windows_path) {
  const std::string source = LinuxPath(windows_path);
  std::ifstream in(source, std::ios::binary);
  if (source.empty() || !in) return std::nullopt;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool PrefixFileExists(const std::string& windows_path) {
  const std::string path = LinuxPath(windows_path);
  std::error_code ec;
  return !path.empty() && fs::exists(path, ec);
}

std::string ScratchFolder() {
  const std::string base = "C:\\ks\\t\\" + CurrentTestName();
  std::error_code ec;
  fs::create_directories(LinuxPath("C:\\ks\\t"), ec);
  for (int n = 1; n < 10000; ++n) {
    const std::string folder = base + "-" + std::to_string(n);
    if (mkdir(LinuxPath(folder).c_str(), 0755) == 0) return folder;
    if (errno != EEXIST) break;
  }
  ADD_FAILURE() << "cannot create a scratch folder " << base << "-N in the prefix";
  return {};
}

std::string UniqueName(const std::string& stem) {
  static std::atomic<int> counter{0};
  return stem + "_" + CurrentTestName() + "_" + std::to_string(getpid()) + "_" +
         std::to_string(++counter);
}

std::string BuildProgramLinuxPath(const std::string& exe_name) {
  const WineEnv* env = LoadWineEnv(nullptr);
  return env ? env->win_bin + "/" + exe_name : std::string();
}

std::string EngineLinuxPath() { return BuildProgramLinuxPath("kestrelon.exe"); }

std::string CopyEngine(const std::string& windows_dir, const std::string& name) {
  return CopyIntoPrefix(EngineLinuxPath(), windows_dir, name);
}

namespace {

// Starts `argv` (argv[0] a full path) with the run's environment from inside
// drive_c; standard output to `out_fd`, standard error to the run's log.
// Returns the child's pid, or -1.
pid_t Spawn(const WineEnv& env, std::vector<std::string> argv_strings, int out_fd, bool detach,
            const std::vector<std::string>& extra_env = {}) {
  // Everything the child needs is prepared before fork.
  std::vector<std::string> env_strings = WineEnvironment(env, extra_env);
  std::vector<char*> argv = CStrings(argv_strings);
  std::vector<char*> envp = CStrings(env_strings);
  const std::string drive_c = env.prefix + "/drive_c";
  const std::string log = StateDir() + "/wine-stderr.log";
  UniqueFd err(open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
  UniqueFd null_in(open("/dev/null", O_RDWR | O_CLOEXEC));
  const pid_t pid = fork();
  if (pid != 0) return pid;
  if (detach) {
    // A daemon of its own: not our child, so no zombie and no kill with us.
    setsid();
    if (fork() != 0) _exit(0);
  }
  dup2(null_in.get(), 0);
  dup2(out_fd >= 0 ? out_fd : null_in.get(), 1);
  dup2(err.get() >= 0 ? err.get() : null_in.get(), 2);
  if (chdir(drive_c.c_str()) != 0) _exit(126);
  execve(argv[0], argv.data(), envp.data());
  _exit(127);
}

WineResult RunProcess(const WineEnv& env, const std::vector<std::string>& argv, int timeout_seconds,
                      const std::vector<std::string>& extra_env = {}) {
  WineResult result;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return result;
  UniqueFd read_end(fds[0]), write_end(fds[1]);
  const pid_t pid = Spawn(env, argv, write_end.get(), false, extra_env);
  if (pid < 0) return result;
  write_end.Reset();
  fcntl(read_end.get(), F_SETFL, O_NONBLOCK);
  result.started = true;
  Supervise(pid, read_end.get(), timeout_seconds, result);
  return result;
}

}  // namespace

WineResult RunWine(const std::vector<std::string>& args, int timeout_seconds,
                   const std::vector<std::string>& extra_env) {
  const WineEnv* env = LoadWineEnv(nullptr);
  if (!env) return {};
  std::vector<std::string> argv{env->wine};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(*env, argv, timeout_seconds, extra_env);
}

bool SimulateRestart() {
  const WineEnv* env = LoadWineEnv(nullptr);
  if (!env) return false;
  const std::string server = env->Value("WINESERVER");
  RunProcess(*env, {server, "-k"}, 60);
  const WineResult waited = RunProcess(*env, {server, "-w"}, 60);
  if (!waited.started || waited.timed_out) return false;
  // Back to the fixture's state: a persistent server and the desktop holder.
  const pid_t daemon = Spawn(*env, {server, "-p"}, -1, true);
  if (daemon > 0) waitpid(daemon, nullptr, 0);
  const pid_t holder = Spawn(*env, {env->wine, env->tools_dir + "\\ksdriver.exe", "hold"}, -1, true);
  if (holder > 0) waitpid(holder, nullptr, 0);
  // The first program of the new session carries out the pending renames;
  // wait for it so that the caller sees their result.
  const WineResult probe = RunWine({env->tools_dir + "\\ksdriver.exe", "probe"}, 120);
  return probe.started && !probe.timed_out && probe.status == 0;
}

std::optional<std::string> RegQuery(const std::string& key, const std::string& name, RegView view) {
  std::vector<std::string> args{"reg", "query", key};
  if (name.empty()) {
    args.push_back("/ve");
  } else {
    args.insert(args.end(), {"/v", name});
  }
  args.push_back(RegViewSwitch(view));
  const WineResult r = RunWine(args, 60);
  if (!r.started || r.timed_out || r.status != 0) return std::nullopt;
  return RegDataOf(r.out, name);
}

bool RegAddString(const std::string& key, const std::string& name, const std::string& data,
                  RegView view) {
  const WineResult r =
      RunWine({"reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", data, "/f", RegViewSwitch(view)}, 60);
  return r.started && !r.timed_out && r.status == 0;
}

bool RegDeleteValue(const std::string& key, const std::string& name, RegView view) {
  const WineResult r = RunWine({"reg", "delete", key, "/v", name, "/f", RegViewSwitch(view)}, 60);
  return r.started && !r.timed_out && r.status == 0;
}

}  // namespace ks::e2e
