#include "core/settings_stream.h"

#include <limits>

namespace ks {

WString WideFromUtf16Le(const std::uint8_t* data, std::size_t size) {
  WString out;
  out.reserve(size / 2);
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    out.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
  return out;
}

WString WideFromUtf16Le(const Bytes& bytes) { return WideFromUtf16Le(bytes.data(), bytes.size()); }

Bytes Utf16LeFromWide(WStringView text) {
  Bytes out;
  out.reserve(text.size() * 2);
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

// --- reader -----------------------------------------------------------------

void SettingsReader::Fail() { in_.Skip(in_.remaining() + 1); }

Bytes SettingsReader::Counted(std::size_t n) {
  // Checked against what is left before anything is reserved.
  if (n > in_.remaining()) {
    Fail();
    return {};
  }
  Bytes out(in_.current(), in_.current() + n);
  in_.Skip(n);
  return out;
}

Bytes SettingsReader::Text() {
  std::uint32_t count = in_.U8();
  if (count == 0xFF) {
    const bool long_form = in_.remaining() > 0 && *in_.current() == 0xFF;
    if (long_form) {
      in_.Skip(1);
      count = in_.U32();
    } else {
      count = in_.U16();
    }
  }
  if (count > kMaxTextBytes) {
    Fail();
    return {};
  }
  return Counted(count);
}

Bytes SettingsReader::Blob() {
  const std::int32_t count = in_.I32();
  if (count < 0) {
    Fail();
    return {};
  }
  return Counted(static_cast<std::size_t>(count));
}

NString SettingsReader::ZText() {
  NString out;
  for (;;) {
    const std::uint8_t c = in_.U8();
    if (failed()) return {};
    if (c == 0) return out;
    if (out.size() == kMaxZTextLength) {
      Fail();
      return {};
    }
    out.push_back(static_cast<char>(c));
  }
}

WString SettingsReader::ZTextW() {
  WString out;
  for (;;) {
    const char16_t c = in_.U16();
    if (failed()) return {};
    if (c == 0) return out;
    if (out.size() == kMaxZTextLength) {
      Fail();
      return {};
    }
    out.push_back(c);
  }
}

// --- writer -----------------------------------------------------------------

void SettingsWriter::TextCount(std::uint32_t count) {
  if (count <= 254) {
    out_.U8(static_cast<std::uint8_t>(count));
  } else if (count <= 0xFFFF && (count & 0xFF) != 0xFF) {
    // A u16 whose low byte is 255 would read as the start of the long form.
    out_.U8(0xFF);
    out_.U16(static_cast<std::uint16_t>(count));
  } else {
    out_.U8(0xFF);
    out_.U8(0xFF);
    out_.U32(count);
  }
}

bool SettingsWriter::Text(const Bytes& bytes) {
  if (bytes.size() > kMaxTextBytes) return false;
  TextCount(static_cast<std::uint32_t>(bytes.size()));
  out_.Raw(bytes);
  return true;
}

bool SettingsWriter::Text16(const Bytes& bytes) {
  if (bytes.size() > 0xFFFF) return false;
  out_.U16(static_cast<std::uint16_t>(bytes.size()));
  out_.Raw(bytes);
  return true;
}

bool SettingsWriter::Text8(NStringView text) {
  if (text.size() > 0xFF) return false;
  out_.U8(static_cast<std::uint8_t>(text.size()));
  out_.Raw(text.data(), text.size());
  return true;
}

bool SettingsWriter::Blob(const Bytes& bytes) {
  if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) return false;
  out_.I32(static_cast<std::int32_t>(bytes.size()));
  out_.Raw(bytes);
  return true;
}

bool SettingsWriter::ZText(NStringView text) {
  if (text.size() > kMaxZTextLength || text.find('\0') != NStringView::npos) return false;
  out_.Raw(text.data(), text.size());
  out_.U8(0);
  return true;
}

bool SettingsWriter::ZTextW(WStringView text) {
  if (text.size() > kMaxZTextLength || text.find(u'\0') != WStringView::npos) return false;
  for (char16_t c : text) out_.U16(c);
  out_.U16(0);
  return true;
}

}  // namespace ks
