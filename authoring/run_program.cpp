#include "authoring/run_program.h"

#ifndef _WIN32
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#endif

namespace ks::authoring {

#ifdef _WIN32

ProgramResult RunProgram(const std::vector<std::string>& argv, const std::string&) {
  ProgramResult r;
  r.error = "this build of kestrelon-build cannot start " + (argv.empty() ? std::string("programs") : argv[0]) +
            "; sign on Linux, or sign the built file with your own signing tool";
  return r;
}

#else

namespace {

// A pipe whose ends close with it.
struct Pipe {
  int fd[2] = {-1, -1};
  bool Open() { return ::pipe(fd) == 0; }
  void Close(int end) {
    if (fd[end] >= 0) ::close(fd[end]);
    fd[end] = -1;
  }
  ~Pipe() {
    Close(0);
    Close(1);
  }
};

// Writing to a program that has already ended must give an error, not end the tool.
class IgnoreBrokenPipe {
 public:
  IgnoreBrokenPipe() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &saved_);
  }
  ~IgnoreBrokenPipe() { ::sigaction(SIGPIPE, &saved_, nullptr); }
  IgnoreBrokenPipe(const IgnoreBrokenPipe&) = delete;
  IgnoreBrokenPipe& operator=(const IgnoreBrokenPipe&) = delete;

 private:
  struct sigaction saved_ {};
};

}  // namespace

ProgramResult RunProgram(const std::vector<std::string>& argv, const std::string& input) {
  ProgramResult r;
  if (argv.empty()) {
    r.error = "no program";
    return r;
  }
  Pipe in, out, exec_error;
  if (!in.Open() || !out.Open() || !exec_error.Open()) {
    r.error = std::string("cannot make a pipe: ") + std::strerror(errno);
    return r;
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  IgnoreBrokenPipe ignore;
  const pid_t pid = ::fork();
  if (pid < 0) {
    r.error = std::string("cannot start ") + argv[0] + ": " + std::strerror(errno);
    return r;
  }
  if (pid == 0) {
    ::dup2(in.fd[0], 0);
    ::dup2(out.fd[1], 1);
    ::dup2(out.fd[1], 2);
    ::close(exec_error.fd[0]);
    ::fcntl(exec_error.fd[1], F_SETFD, FD_CLOEXEC);
    for (int fd : {in.fd[0], in.fd[1], out.fd[0], out.fd[1]}) ::close(fd);
    ::execvp(args[0], args.data());
    const int e = errno;
    (void)!::write(exec_error.fd[1], &e, sizeof e);
    ::_exit(127);
  }
  in.Close(0);
  out.Close(1);
  exec_error.Close(1);
  for (std::size_t done = 0; done < input.size();) {
    const ssize_t n = ::write(in.fd[1], input.data() + done, input.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  in.Close(1);
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(out.fd[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    r.output.append(buffer, static_cast<std::size_t>(n));
  }
  int exec_errno = 0;
  const bool exec_failed = ::read(exec_error.fd[0], &exec_errno, sizeof exec_errno) == sizeof exec_errno;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (exec_failed) {
    r.error = "cannot start " + argv[0] + ": " + std::strerror(exec_errno);
    return r;
  }
  r.started = true;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

#endif

}  // namespace ks::authoring
