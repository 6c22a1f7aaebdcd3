// Any text must parse as registry paths and records without crashing; records
// appended by the installer must read back as the same fields, and the data
// of every record type must be what its parser promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "lib/registry_path.h"

namespace {

void CheckPath(ks::WStringView path) {
  ks::RegPath wide;
  const bool ok = ks::ParseRegistryPath(path, wide);
  // A parsed path keeps its key as the path's tail.
  if (ok && wide.key.size() > path.size()) std::abort();
  if (ok && path.substr(path.size() - wide.key.size()) != wide.key) std::abort();
  ks::RegPath narrow;
  const ks::NString ascii = ks::WideToCp1252(path);
  if (ascii.find('?') == ks::NString::npos && ks::Widen(ascii) == ks::WString(path) &&
      ks::ParseRegistryPath(ks::NStringView(ascii), narrow) != ok)
    std::abort();
}

void CheckRecord(const ks::RegistryRecord& record) {
  if (record.fields.empty()) std::abort();
  CheckPath(record.fields[0]);
  if (record.fields.size() != 5) return;
  const std::uint32_t type = static_cast<std::uint32_t>(ks::RecordNumber(record.fields[2]));
  const std::vector<std::uint8_t> bytes = ks::RecordValueData(type, record.fields[3], record.fields[3]);
  if (type == ks::kRegTypeDword && bytes.size() != 4) std::abort();
  if (type == ks::kRegTypeQword && bytes.size() != 8) std::abort();
  if ((type == ks::kRegTypeSz || type == ks::kRegTypeExpandSz) && bytes.size() != 2 * record.fields[3].size())
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ks::WString text = ks::Utf8ToWide(ks::NStringView(reinterpret_cast<const char*>(data), size));
  const std::vector<ks::RegistryRecord> records = ks::ReadRegistryRecords(text);
  ks::WString appended;
  for (const ks::RegistryRecord& record : records) {
    CheckRecord(record);
    ks::AppendRegistryRecord(appended, record.fields);
  }
  const std::vector<ks::RegistryRecord> again = ks::ReadRegistryRecords(appended);
  if (again.size() != records.size()) std::abort();
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (again[i].fields != records[i].fields) std::abort();
  }
  return 0;
}
