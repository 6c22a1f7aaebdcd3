#include "uninstall/removal_plan.h"

#include <algorithm>
#include <map>
#include <memory>

#include "lib/marked_text.h"

namespace ks {
namespace {

WString WithoutTrailingBackslashes(WStringView path) {
  WString text(path);
  while (!text.empty() && text.back() == u'\\') text.pop_back();
  return text;
}

bool IsDriveLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// Where the path's elements begin: after "X:\" or after "\\server\share\";
// npos when the path is not absolute in one of these forms.
std::size_t RootLength(WStringView path) {
  if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == u':' && path[2] == u'\\') return 3;
  if (path.size() < 3 || path[0] != u'\\' || path[1] != u'\\' || path[2] == u'\\') return WStringView::npos;
  const std::size_t server_end = path.find(u'\\', 2);
  if (server_end == WStringView::npos || server_end + 1 >= path.size()) return WStringView::npos;
  if (path[2] == u'?' || path[2] == u'.') return WStringView::npos;  // device namespaces
  const std::size_t share_end = path.find(u'\\', server_end + 1);
  if (share_end == server_end + 1) return WStringView::npos;
  return share_end == WStringView::npos ? path.size() : share_end + 1;
}

bool IsRoot(WStringView folder) {
  const WString trimmed = WithoutTrailingBackslashes(folder);
  if (trimmed.size() <= 3) return true;
  return RootLength(trimmed + u'\\') >= trimmed.size();
}

bool IsForbiddenCharacter(char16_t c) {
  return c < 32 || c == u'*' || c == u'?' || c == u'"' || c == u'<' || c == u'>' || c == u'|' ||
         c == u':' || c == u'/';
}

}  // namespace

ItemAction ClassifyItem(NStringView line) {
  if (line.empty()) return ItemAction::kFile;
  switch (line.front()) {
    case '~': return ItemAction::kFolder;
    case '!': return ItemAction::kRegistryValue;
    case '^': return ItemAction::kRegistryKey;
    case '*': return ItemAction::kRegistryKey64;
    default: return ItemAction::kFile;
  }
}

NStringView ItemText(NStringView line) {
  if (ClassifyItem(line) != ItemAction::kFile) line.remove_prefix(1);
  return line;
}

int ItemProgress(std::size_t walked, std::size_t count) {
  if (count == 0) return 11;
  walked = std::min(walked, count);
  return 11 + static_cast<int>((81 * static_cast<unsigned long long>(walked)) / count);
}

bool IsSafeAbsolutePath(WStringView path) {
  const std::size_t root = RootLength(path);
  if (root == WStringView::npos || root >= path.size()) return false;
  WStringView rest = path.substr(root);
  if (!rest.empty() && rest.back() == u'\\') rest.remove_suffix(1);
  std::size_t begin = 0;
  while (begin <= rest.size()) {
    std::size_t end = rest.find(u'\\', begin);
    if (end == WStringView::npos) end = rest.size();
    const WStringView element = rest.substr(begin, end - begin);
    if (element.empty() || element == u"." || element == u"..") return false;
    for (char16_t c : element) {
      if (IsForbiddenCharacter(c)) return false;
    }
    begin = end + 1;
  }
  return true;
}

WString ParentFolder(WStringView folder) {
  const WString trimmed = WithoutTrailingBackslashes(folder);
  const std::size_t slash = trimmed.rfind(u'\\');
  if (slash == WString::npos) return {};
  WString parent = WithoutTrailingBackslashes(WStringView(trimmed).substr(0, slash));
  if (parent.empty() || IsRoot(parent)) return {};
  return parent;
}

bool IsSameOrInside(WStringView folder, WStringView other) {
  const WString a = WithoutTrailingBackslashes(folder);
  const WString b = WithoutTrailingBackslashes(other);
  if (b.empty() || a.size() < b.size()) return false;
  if (!EqualsIgnoreCase(WStringView(a).substr(0, b.size()), b)) return false;
  return a.size() == b.size() || a[b.size()] == u'\\';
}

void SortFoldersLongestFirst(std::vector<WString>& folders) {
  std::stable_sort(folders.begin(), folders.end(),
                   [](const WString& a, const WString& b) { return a.size() > b.size(); });
}

std::vector<WString> FolderRemovalChain(WStringView folder, WStringView install_dir,
                                        const std::vector<WString>& protected_folders) {
  std::vector<WString> chain;
  if (!IsSafeAbsolutePath(folder)) return chain;
  const bool inside = IsSafeAbsolutePath(install_dir) && IsSameOrInside(folder, install_dir);
  WString current = WithoutTrailingBackslashes(folder);
  for (int level = 0; level < kMaxFolderLevels && !current.empty(); ++level) {
    if (IsRoot(current) || IsSameOrInside(install_dir, current)) break;
    const bool is_protected = std::any_of(protected_folders.begin(), protected_folders.end(),
                                          [&](const WString& p) { return IsSameOrInside(p, current); });
    if (is_protected) break;
    chain.push_back(current);
    if (!inside) break;
    current = ParentFolder(current);
  }
  return chain;
}

bool IsRemovableKeyPath(WStringView key) {
  static const char16_t* const kShared[] = {
      u"Software\\Microsoft", u"Software\\Classes", u"Software\\Wow6432Node", u"Software\\Policies",
      u"Software\\Microsoft\\Windows", u"Software\\Microsoft\\Windows\\CurrentVersion",
      u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
      u"Software\\Wow6432Node\\Microsoft", u"Software\\Wow6432Node\\Microsoft\\Windows",
      u"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion",
      u"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
      u"SYSTEM\\CurrentControlSet", u"SYSTEM\\ControlSet001"};
  WString trimmed = WithoutTrailingBackslashes(key);
  while (!trimmed.empty() && trimmed.front() == u'\\') trimmed.erase(0, 1);
  const std::size_t first = trimmed.find(u'\\');
  if (first == WString::npos || first == 0 || first + 1 >= trimmed.size()) return false;
  if (trimmed.find(u"\\\\") != WString::npos) return false;
  for (const char16_t* shared : kShared) {
    if (EqualsIgnoreCase(trimmed, shared)) return false;
  }
  return true;
}

bool SplitValuePath(WStringView path, WString& key_path, WString& value_name) {
  const std::size_t slash = path.rfind(u'\\');
  if (slash == WStringView::npos) return false;
  key_path = WString(path.substr(0, slash));
  value_name = WString(path.substr(slash + 1));
  return true;
}

int FirstMatchingAutoCloseRule(const std::vector<AutoCloseRule>& rules, std::uint8_t pass,
                               WStringView window_class, WStringView title) {
  for (std::size_t i = 0; i < rules.size(); ++i) {
    const AutoCloseRule& rule = rules[i];
    if ((rule.pass_mask & pass) == 0) continue;
    if (AutoClosePatternMatches(rule.class_pattern, window_class) &&
        AutoClosePatternMatches(rule.title_pattern, title)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool IsInternetAddress(NStringView text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  return StartsWithIgnoreCase(text, "http://") || StartsWithIgnoreCase(text, "https://") ||
         StartsWithIgnoreCase(text, "www.");
}

UninstallData RemainingUninstallData(const UninstallDataContent& content,
                                     const std::vector<NString>& left_items,
                                     const std::vector<NString>& remaining_msi,
                                     const std::vector<ConditionalDeletion>& failed_deletions) {
  UninstallData data;
  // Lines go back as they were read, their prefix included.
  for (const NString& item : left_items) data.RecordItem(NStringView(item), kUninstallFile);
  for (const AutoCloseRule& rule : content.auto_close) data.AddAutoCloseRule(rule);
  for (const NString& line : remaining_msi) {
    NString package;
    std::int32_t level = 0;
    if (ParseMsiLine(line, package, level)) data.AddMsiPackage(DecodeMarkedText(package), level);
  }
  data.SetRegistryText(Utf8ToWide(content.registry));
  for (const ConditionalDeletion& deletion : failed_deletions) data.AddConditionalDeletion(deletion);
  return data;
}

UninstallTexts ContentTexts(const UninstallDataContent& content) {
  auto by_number = std::make_shared<std::map<int, WString>>();
  for (const auto& [number, text] : content.texts) (*by_number)[number] = text;
  UninstallTexts texts;
  texts.text = [by_number](int n) {
    const auto found = by_number->find(n);
    return found == by_number->end() ? WString() : found->second;
  };
  texts.page_header_title = content.page_header_title;
  return texts;
}

}  // namespace ks
