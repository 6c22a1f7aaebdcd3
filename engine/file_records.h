#pragma once
// FileRecord: one product file as the record stream of the file-data block
// carries it, and its encoding for the authoring side and tests.

#include <cstddef>
#include <cstdint>

#include "core/bytes.h"
#include "lib/version_compare.h"
#include "lib/text.h"

namespace ks {

// Corrupt codes of the file-data block and its records.
enum FileDataCorruptCode : int {
  kCorruptChunkDecode = 60,
  kCorruptChunkLength = 61,
  kCorruptChunkCheck = 62,
  kCorruptChunkTooLong = 63,
  kCorruptRecordName = 70,
  kCorruptRecordSizeNegative = 71,
  kCorruptRecordSizeTooLarge = 72,
  kCorruptBlockNotConsumed = 80,
  kCorruptStreamNotConsumed = 83,
  kCorruptRecordDataCheck = 100,
  kCorruptRecordKind = 110,
};

inline constexpr std::int32_t kMaxRecordDataSize = 0x40000000;

// Flag bits of a record.
inline constexpr std::int32_t kRecordDesktopShortcut = 0x01;
inline constexpr std::int32_t kRecordStartMenuShortcut = 0x02;
inline constexpr std::int32_t kRecordExistingRuleMask = 0x1C;
inline constexpr std::int32_t kRecordKeep = 0x20;
inline constexpr std::int32_t kRecordInUninstallFolder = 0x40;
inline constexpr std::int32_t kRecordRemovePackage = 0x80;

inline constexpr std::int32_t kKindPackage = 11;

struct FileRecord {
  NString name;                 // MarkedText, relative to the destination folder
  std::int32_t kind = 0;
  std::int32_t flags = 0;
  std::int32_t attributes = -1;  // -1 leaves them as created
  RecordDate date;
  NString title;                // UTF-8
  WString shortcut_icon;        // only with a shortcut flag
  NString arguments;            // code page 1252
  WString destination;          // override, may be empty
  NString extra_text;           // MarkedText
  std::int32_t package_option = 0;  // kind 11 only
  // The data: a view into the decoded stream, valid until the next record is
  // read. A streamed record has no view: its `size` bytes come from the
  // reader piece by piece (FileDataReader::ReadData).
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  bool streamed = false;

  bool has_shortcut_icon() const { return (flags & (kRecordDesktopShortcut | kRecordStartMenuShortcut)) != 0; }
};

// Parses one item of the record stream (its bytes after the length) with the
// data size `size` from the per-file value list. Returns 0 or a corrupt code:
// 70 empty name, 71/72 size out of range, 100 data check, 83 when the fields
// do not fit the item or bytes are left after them.
int ParseFileRecord(const std::uint8_t* item, std::size_t item_size, std::int32_t size, FileRecord* out);

// Parses the fields in front of the data from the first `prefix_size` bytes
// of an item of `item_size` bytes, and sets *head_size to their length.
// Returns 0 when they lie in the prefix and the item is exactly the fields,
// the data and the check value; a corrupt code the whole item would give
// anyway (70, 71, 72); or kRecordHeadUndecided when only the whole item can
// tell. The data and its check value are not looked at.
inline constexpr int kRecordHeadUndecided = -1;
int ParseFileRecordHead(const std::uint8_t* prefix, std::size_t prefix_size, std::size_t item_size,
                        std::int32_t size, FileRecord* out, std::size_t* head_size);

// Encodes a record as one item (without the length prefix) from its fields
// and `data`; the check value is computed.
Bytes EncodeFileRecord(const FileRecord& record, const Bytes& data);

}  // namespace ks
