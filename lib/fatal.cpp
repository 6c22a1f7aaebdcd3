#include "lib/fatal.h"

#include <cstdio>
#include <cstdlib>

namespace ks {
namespace {

// Until the engine installs its message box, a fatal text at least reaches
// the console of a test or tool.
void DefaultFatalError(NStringView text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

void DefaultCrash(NStringView text) { RaiseFatalError(text); }

FatalHook g_fatal_hook = &DefaultFatalError;
FatalHook g_crash_hook = &DefaultCrash;
bool g_out_of_memory = false;

FatalHook Exchange(FatalHook& slot, FatalHook hook, FatalHook fallback) {
  const FatalHook previous = slot;
  slot = hook ? hook : fallback;
  return previous;
}

}  // namespace

FatalHook SetFatalErrorHook(FatalHook hook) {
  return Exchange(g_fatal_hook, hook, &DefaultFatalError);
}

FatalHook SetCrashHook(FatalHook hook) { return Exchange(g_crash_hook, hook, &DefaultCrash); }

void RaiseFatalError(NStringView text) {
  g_fatal_hook(text);
  std::abort();
}

void RaiseInternalError(NStringView text) {
  g_crash_hook(text);
  std::abort();
}

NString InternalErrorText(const char* module, int line) {
  return "Internal Fatal Error\r\nModule: " + NString(module ? module : "") +
         "\r\nLine: " + std::to_string(line);
}

NString BoundsErrorText(NStringView type_name, std::int64_t index, std::int64_t max_index) {
  return "Vector<" + NString(type_name) + ">[" + std::to_string(index) +
         "]\r\nmax_index = " + std::to_string(max_index);
}

NString OutOfMemoryText(std::size_t requested) {
  return "Out Of Memory\r\nSize: " + std::to_string(requested);
}

void RaiseInternalErrorAt(const char* module, int line) {
  // __FILE__ carries the build machine's folders; the report names the source file only.
  NStringView name(module ? module : "");
  const std::size_t slash = name.find_last_of("/\\");
  if (slash != NStringView::npos) name.remove_prefix(slash + 1);
  RaiseInternalError(InternalErrorText(NString(name).c_str(), line));
}

void RaiseBoundsError(NStringView type_name, std::int64_t index, std::int64_t max_index) {
  RaiseInternalError(BoundsErrorText(type_name, index, max_index));
}

void RaiseOutOfMemory(std::size_t requested) {
  g_out_of_memory = true;
  RaiseInternalError(OutOfMemoryText(requested));
}

bool OutOfMemoryOccurred() { return g_out_of_memory; }

}  // namespace ks
