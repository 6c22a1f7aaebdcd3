// Edits the machine's search path as the installer's finishing steps and the
// uninstaller do: kssearchpath add|remove <installation folder> [<sub-folder>].
// The step-log lines go to the standard output (UTF-8); the exit code is 0
// unless the arguments are wrong.

#include <windows.h>

#include "engine/win/search_path.h"
#include "records/install_log.h"
#include "lib/win/wide.h"

namespace {

class StdoutSink : public ks::StepLogSink {
 public:
  void Append(ks::NStringView utf8) override {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
  }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const ks::WString mode = ks::FromW(argv[1]);
  if (mode != u"add" && mode != u"remove") return 2;
  StdoutSink sink;
  ks::InstallLog log;
  log.set_sink(&sink);
  ks::EditSearchPath(mode == u"add", ks::FromW(argv[2]), argc > 3 ? ks::FromW(argv[3]) : ks::WString(), log);
  return 0;
}
