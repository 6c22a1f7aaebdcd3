#include "app/win/uninstall_road.h"

namespace ks {

int RunUninstallRoad(UninstallRun& run) {
  Uninstaller& uninstaller = run.uninstaller;
  if (const RunEnd end = uninstaller.Open()) return *end;        // Uninstall key, Uninstall.DAT, texts
  if (const RunEnd end = uninstaller.Confirm()) return *end;     // programs to close, question, support offer
  uninstaller.Remove();                                          // every recorded item
  const int result = uninstaller.Close();                        // data file, key, closing questions
  if (result == kUninstalled) uninstaller.Finish();              // notification, self-removal
  return result;
}

}  // namespace ks
