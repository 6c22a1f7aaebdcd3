#include "authoring/manifest_text.h"

#include <string>

#include "core/documents.h"

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

Bytes DocumentForEngine(const Bytes& file) {
  if (IsRtfText(file) || HasUtf16Bom(file)) return file;
  NStringView text(reinterpret_cast<const char*>(file.data()), file.size());
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  const WString utf8 = Utf8ToWide(text);
  // Only an invalid sequence gives U+FFFD where the text holds no EF BF BD.
  const bool valid = utf8.find(u'\uFFFD') == WString::npos || text.find("\xEF\xBF\xBD") != NStringView::npos;
  const WString wide = valid ? utf8 : Cp1252ToWide(text);
  Bytes out = {0xFF, 0xFE};
  for (const char16_t c : wide) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

}  // namespace ks::authoring
