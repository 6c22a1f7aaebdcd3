#include "core/documents.h"

namespace ks {
namespace {

bool IsUtf16Rtf(const Bytes& text) {
  return text.size() >= 2 && text[1] == 0 && IsRtfText(text);
}

}  // namespace

bool IsRtfText(const Bytes& text) {
  static const char kRtf[] = "{\\rtf";
  constexpr std::size_t kLength = sizeof(kRtf) - 1;
  bool narrow = text.size() >= kLength;
  for (std::size_t i = 0; narrow && i < kLength; ++i) narrow = text[i] == static_cast<std::uint8_t>(kRtf[i]);
  if (narrow) return true;
  if (text.size() < 2 * kLength) return false;
  for (std::size_t i = 0; i < kLength; ++i) {
    if (text[2 * i] != static_cast<std::uint8_t>(kRtf[i]) || text[2 * i + 1] != 0) return false;
  }
  return true;
}

bool HasUtf16Bom(const Bytes& text) { return text.size() >= 2 && text[0] == 0xFF && text[1] == 0xFE; }

WString PlainDocumentText(const Bytes& text) {
  const std::size_t from = HasUtf16Bom(text) ? 2 : 0;
  WString out;
  out.reserve((text.size() - from) / 2);
  for (std::size_t i = from; i + 1 < text.size(); i += 2) {
    out.push_back(static_cast<char16_t>(text[i] | (text[i + 1] << 8)));
  }
  return out;
}

NString RtfDocumentText(const Bytes& text) {
  if (!IsUtf16Rtf(text)) return NString(text.begin(), text.end());
  NString out;
  for (const char16_t c : PlainDocumentText(text)) out.push_back(c < 256 ? static_cast<char>(c) : '?');
  return out;
}

}  // namespace ks
