#pragma once
// Field encodings of the settings stream: a reader over ByteReader and a
// writer over ByteWriter, side by side, so that every encoding is defined in
// one place and tests can build streams with the same code that reads them.
//
// The stream carries no tags, so one malformed field leaves everything behind
// it unreadable. A read that fails (a length out of range, a text without its
// terminator, a declared size larger than what is left) therefore moves the
// cursor to the end: every later field reads as zero or empty and the final
// end value check reports the stream as corrupt. No read allocates more than
// the bytes really left in the stream.

#include <cstddef>
#include <cstdint>

#include "core/bytes.h"
#include "lib/text.h"

namespace ks {

// Largest byte count a Text field may declare.
inline constexpr std::uint32_t kMaxTextBytes = 0x40000000;
// Longest ZText (bytes) or ZTextW (characters) in front of the terminator.
inline constexpr std::size_t kMaxZTextLength = 511;

// UTF-16LE bytes <-> wide text. An odd trailing byte has no character and is dropped.
WString WideFromUtf16Le(const std::uint8_t* data, std::size_t size);
WString WideFromUtf16Le(const Bytes& bytes);
Bytes Utf16LeFromWide(WStringView text);

class SettingsReader {
 public:
  explicit SettingsReader(ByteReader in) : in_(in) {}

  // True once a read ran past the end or met a malformed field.
  bool failed() const { return in_.overrun(); }
  std::size_t position() const { return in_.position(); }
  std::size_t remaining() const { return in_.remaining(); }
  // Declares the rest of the stream unreadable (see the file comment).
  void Fail();

  std::uint8_t U8() { return in_.U8(); }
  std::uint16_t U16() { return in_.U16(); }
  std::uint32_t U32() { return in_.U32(); }
  std::uint64_t U64() { return in_.U64(); }
  double F64() { return in_.F64(); }
  std::uint32_t Colour() { return in_.U32(); }

  // Text: the 1-, 3- or 7-byte count prefix, then the bytes.
  Bytes Text();
  WString TextW() { return WideFromUtf16Le(Text()); }
  NString TextA() { return ToNarrow(Text()); }
  // Text16: u16 count, then the bytes.
  Bytes Text16() { return Counted(in_.U16()); }
  WString Text16W() { return WideFromUtf16Le(Text16()); }
  NString Text16A() { return ToNarrow(Text16()); }
  // Text8: u8 count, then the bytes (always narrow).
  NString Text8() { return ToNarrow(Counted(in_.U8())); }
  // Blob: i32 count (negative fails), then the bytes.
  Bytes Blob();
  WString BlobW() { return WideFromUtf16Le(Blob()); }
  // Zero-terminated texts; longer than kMaxZTextLength fails.
  NString ZText();
  WString ZTextW();
  // N bytes as they stand.
  Bytes Raw(std::size_t n) { return Counted(n); }

 private:
  Bytes Counted(std::size_t n);
  static NString ToNarrow(const Bytes& b) { return NString(b.begin(), b.end()); }

  ByteReader in_;
};

// Each text writer returns false when the value does not fit its encoding;
// it then writes nothing, so a caller never produces a stream that reads back
// differently from what it meant.
class SettingsWriter {
 public:
  const Bytes& bytes() const { return out_.bytes(); }
  Bytes Take() { return out_.Take(); }

  void U8(std::uint8_t v) { out_.U8(v); }
  void U16(std::uint16_t v) { out_.U16(v); }
  void U32(std::uint32_t v) { out_.U32(v); }
  void U64(std::uint64_t v) { out_.U64(v); }
  void F64(double v) { out_.F64(v); }
  void Colour(std::uint32_t v) { out_.U32(v); }

  bool Text(const Bytes& bytes);
  bool TextW(WStringView text) { return Text(Utf16LeFromWide(text)); }
  bool TextA(NStringView text) { return Text(Bytes(text.begin(), text.end())); }
  bool Text16(const Bytes& bytes);
  bool Text16W(WStringView text) { return Text16(Utf16LeFromWide(text)); }
  bool Text16A(NStringView text) { return Text16(Bytes(text.begin(), text.end())); }
  bool Text8(NStringView text);
  bool Blob(const Bytes& bytes);
  bool BlobW(WStringView text) { return Blob(Utf16LeFromWide(text)); }
  // A terminator inside the text or a text above kMaxZTextLength is refused.
  bool ZText(NStringView text);
  bool ZTextW(WStringView text);
  void Raw(const Bytes& bytes) { out_.Raw(bytes); }

  // The Text count prefix alone, for tests of the prefix forms.
  void TextCount(std::uint32_t count);

 private:
  ByteWriter out_;
};

}  // namespace ks
