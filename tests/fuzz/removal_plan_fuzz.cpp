// Whatever "Uninstall.DAT" holds, the uninstaller's decisions stay inside
// their bounds: a folder chain never reaches a root, never climbs above the
// installation folder or into a guarded folder and never exceeds its levels;
// a file it acts on is an absolute path; a registry key it deletes with its
// subkeys is never a bare root or a shared system key; and the rewritten file
// reads back as the remainder it was built from.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "lib/marked_text.h"
#include "uninstall/removal_plan.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

const ks::WString kInstallDir = u"C:\\Program Files\\Maker\\P";
const std::vector<ks::WString> kGuarded = {u"C:\\Windows", u"C:\\Program Files"};

void CheckFolder(const ks::WString& folder) {
  const std::vector<ks::WString> chain = ks::FolderRemovalChain(folder, kInstallDir, kGuarded);
  Check(chain.size() <= static_cast<std::size_t>(ks::kMaxFolderLevels));
  for (std::size_t i = 0; i < chain.size(); ++i) {
    const ks::WString& level = chain[i];
    Check(ks::IsSafeAbsolutePath(level));
    Check(level.size() > 3);
    Check(!ks::IsSameOrInside(kInstallDir, level));  // never the folder itself nor above it
    for (const ks::WString& g : kGuarded) Check(!ks::IsSameOrInside(g, level));
    // Only the named folder itself may lie outside the installation folder.
    if (i > 0) Check(ks::IsSameOrInside(level, kInstallDir));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ks::NStringView input(reinterpret_cast<const char*>(data), size);
  const ks::UninstallDataContent content = ks::ParseUninstallDataFile(input);
  std::vector<ks::NString> files;
  for (std::size_t i = 0; i < content.items.size(); ++i) {
    const ks::NString& line = content.items[i];
    const ks::ItemAction action = ks::ClassifyItem(line);
    const ks::NStringView text = ks::ItemText(line);
    Check(ks::ItemProgress(i, content.items.size()) >= 11 && ks::ItemProgress(i, content.items.size()) <= 92);
    if (action == ks::ItemAction::kFolder) CheckFolder(ks::DecodeMarkedText(text));
    if (action == ks::ItemAction::kFile && ks::IsSafeAbsolutePath(ks::DecodeMarkedText(text))) files.push_back(line);
    if (action == ks::ItemAction::kRegistryKey && ks::IsRemovableKeyPath(ks::AnsiToWide(text))) {
      const ks::WString key = ks::AnsiToWide(text);
      Check(key.find(u'\\') != ks::WString::npos);
    }
  }
  const ks::UninstallData left =
      ks::RemainingUninstallData(content, files, content.msi, content.deletions);
  const ks::UninstallDataContent again =
      ks::ParseUninstallDataFile(ks::BuildUninstallDataFile(left, ks::ContentTexts(content)));
  std::vector<ks::NString> recorded;
  for (const ks::NString& f : files) {
    if (f.size() >= 4) recorded.push_back(f);
  }
  Check(again.items == recorded);
  Check(again.auto_close.size() == content.auto_close.size());
  std::vector<ks::ConditionalDeletion> uninstall_pass;  // the writer keeps only these
  for (const ks::ConditionalDeletion& d : content.deletions) {
    if (d.flags & ks::kDeleteAtUninstall) uninstall_pass.push_back(d);
  }
  Check(again.deletions == uninstall_pass);
  return 0;
}
