#include "authoring/manifest_text.h"

#include <string>

namespace ks::authoring {
namespace {

std::string AtMost(std::size_t max, std::size_t found) {
  return "expected at most " + std::to_string(max) + " characters, found " + std::to_string(found);
}

}  // namespace

std::optional<WString> WideText(TomlReader& t, std::string_view key, std::size_t max_bytes) {
  const auto v = t.Text(key);
  if (!v) return std::nullopt;
  WString w = Utf8ToWide(*v);
  if (w.find(u'\0') != WString::npos) {
    t.Error(key, "the text may not contain a NUL character");
  } else if (w.size() * 2 > max_bytes) {
    t.Error(key, AtMost(max_bytes / 2, w.size()));
  } else {
    return w;
  }
  return std::nullopt;
}

std::optional<NString> NarrowText(TomlReader& t, std::string_view key, std::size_t max_bytes) {
  const auto v = t.Text(key);
  if (!v) return std::nullopt;
  const WString w = Utf8ToWide(*v);
  NString n = WideToCp1252(w, '\0');
  if (w.find(u'\0') != WString::npos) {
    t.Error(key, "the text may not contain a NUL character");
  } else if (Cp1252ToWide(n) != w) {
    t.Error(key, "expected characters of code page 1252 (Western European) only");
  } else if (n.size() > max_bytes) {
    t.Error(key, AtMost(max_bytes, n.size()));
  } else {
    return n;
  }
  return std::nullopt;
}

}  // namespace ks::authoring
