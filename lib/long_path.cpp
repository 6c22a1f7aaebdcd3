#include "lib/long_path.h"

#include <vector>

namespace ks {
namespace {

constexpr WStringView kExtended = u"\\\\?\\";
constexpr WStringView kExtendedUnc = u"\\\\?\\UNC\\";

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool IsDriveLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

}  // namespace

WString ExtendedLengthPath(WStringView path) {
  if (path.size() < kPlainPathLimit) return WString(path);
  WString root;
  std::size_t rest = 0;
  if (IsDriveLetter(path[0]) && path[1] == u':' && IsSeparator(path[2])) {
    root = WString(kExtended) + path[0] + u":";
    rest = 3;
  } else if (IsSeparator(path[0]) && IsSeparator(path[1]) && path[2] != u'?' && path[2] != u'.' &&
             !IsSeparator(path[2])) {
    root = WString(kExtendedUnc.substr(0, kExtendedUnc.size() - 1));  // the server follows
    rest = 2;
  } else {
    return WString(path);  // relative, already extended, or a device
  }
  // The server and share of a UNC path are its root: ".." never climbs above them.
  std::vector<WStringView> parts;
  std::size_t fixed = root.size() == kExtendedUnc.size() - 1 ? 2 : 0;
  for (std::size_t i = rest; i <= path.size();) {
    std::size_t end = i;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    const WStringView part = path.substr(i, end - i);
    if (part == u"..") {
      if (parts.size() > fixed) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(part);
    }
    i = end + 1;
  }
  if (fixed && parts.size() < fixed) return WString(path);  // no share: not a UNC path
  WString out = root;
  for (const WStringView part : parts) {
    out += u'\\';
    out += part;
  }
  if (parts.empty()) out += u'\\';
  return out;
}

WString WithoutExtendedPrefix(WStringView path) {
  if (path.substr(0, kExtendedUnc.size()) == kExtendedUnc) return u"\\\\" + WString(path.substr(kExtendedUnc.size()));
  if (path.substr(0, kExtended.size()) == kExtended) return WString(path.substr(kExtended.size()));
  return WString(path);
}

}  // namespace ks
