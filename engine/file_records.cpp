#include "engine/file_records.h"

#include "lib/crc32.h"

namespace ks {
namespace {

// NUL-terminated 8-bit text; a missing terminator marks the reader's overrun.
NString ReadNarrow(ByteReader& in) {
  NString out;
  while (true) {
    if (in.remaining() == 0) {
      in.Skip(1);
      return out;
    }
    const char c = static_cast<char>(in.U8());
    if (c == '\0') return out;
    out.push_back(c);
  }
}

WString ReadWide(ByteReader& in) {
  WString out;
  while (true) {
    if (in.remaining() < 2) {
      in.Skip(2);
      return out;
    }
    const char16_t c = static_cast<char16_t>(in.U16());
    if (c == u'\0') return out;
    out.push_back(c);
  }
}

void WriteNarrow(ByteWriter& out, const NString& text) {
  out.Raw(text.data(), text.size());
  out.U8(0);
}

void WriteWide(ByteWriter& out, const WString& text) {
  for (char16_t c : text) out.U16(static_cast<std::uint16_t>(c));
  out.U16(0);
}

void ReadDate(ByteReader& in, RecordDate& d) {
  d.year = in.I32();
  d.month = in.I32();
  d.day = in.I32();
  d.hour = in.I32();
  d.minute = in.I32();
  d.second = in.I32();
}

// The fields in front of the data.
void ReadHeadFields(ByteReader& in, FileRecord& r) {
  r.name = ReadNarrow(in);
  r.kind = in.I32();
  r.flags = in.I32();
  r.attributes = in.I32();
  ReadDate(in, r.date);
  r.title = ReadNarrow(in);
  r.shortcut_icon = r.has_shortcut_icon() ? ReadWide(in) : WString();
  r.arguments = ReadNarrow(in);
  r.destination = ReadWide(in);
  r.extra_text = ReadNarrow(in);
  r.package_option = r.kind == kKindPackage ? in.I32() : 0;
}

}  // namespace

int ParseFileRecord(const std::uint8_t* item, std::size_t item_size, std::int32_t size, FileRecord* out) {
  ByteReader in(item, item_size);
  FileRecord& r = *out;
  r = FileRecord();
  ReadHeadFields(in, r);
  if (in.overrun()) return r.name.empty() ? kCorruptRecordName : kCorruptStreamNotConsumed;
  if (r.name.empty()) return kCorruptRecordName;
  if (size < 0) return kCorruptRecordSizeNegative;
  if (size > kMaxRecordDataSize) return kCorruptRecordSizeTooLarge;
  const auto n = static_cast<std::size_t>(size);
  if (in.remaining() < n + 4) return kCorruptStreamNotConsumed;
  r.data = in.current();
  r.size = n;
  in.Skip(n);
  const std::uint32_t check = in.U32();
  if (Crc32(r.data, r.size) != check) return kCorruptRecordDataCheck;
  if (in.remaining() != 0) return kCorruptStreamNotConsumed;
  return 0;
}

int ParseFileRecordHead(const std::uint8_t* prefix, std::size_t prefix_size, std::size_t item_size,
                        std::int32_t size, FileRecord* out, std::size_t* head_size) {
  ByteReader in(prefix, prefix_size);
  FileRecord& r = *out;
  r = FileRecord();
  ReadHeadFields(in, r);
  if (in.overrun()) return kRecordHeadUndecided;
  if (r.name.empty()) return kCorruptRecordName;
  if (size < 0) return kCorruptRecordSizeNegative;
  if (size > kMaxRecordDataSize) return kCorruptRecordSizeTooLarge;
  *head_size = in.position();
  if (item_size - *head_size != static_cast<std::size_t>(size) + 4) return kRecordHeadUndecided;
  r.size = static_cast<std::size_t>(size);
  return 0;
}

Bytes EncodeFileRecord(const FileRecord& r, const Bytes& data) {
  ByteWriter out;
  WriteNarrow(out, r.name);
  out.I32(r.kind);
  out.I32(r.flags);
  out.I32(r.attributes);
  for (std::int32_t v : {r.date.year, r.date.month, r.date.day, r.date.hour, r.date.minute, r.date.second})
    out.I32(v);
  WriteNarrow(out, r.title);
  if (r.has_shortcut_icon()) WriteWide(out, r.shortcut_icon);
  WriteNarrow(out, r.arguments);
  WriteWide(out, r.destination);
  WriteNarrow(out, r.extra_text);
  if (r.kind == kKindPackage) out.I32(r.package_option);
  out.Raw(data);
  out.U32(Crc32(data.data(), data.size()));
  return out.Take();
}

}  // namespace ks
