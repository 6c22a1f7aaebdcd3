// The uninstaller reads whatever lies on disk: any bytes must parse without a
// crash into records that keep the reader's promises, and comma-separated
// fields must survive writing and reading back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>
#include <algorithm>

#include "lib/csv_record.h"
#include "records/uninstall_data.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

bool HasLineEnd(const ks::NString& s) { return s.find_first_of("\r\n") != ks::NString::npos; }

void CheckContent(const ks::UninstallDataContent& c) {
  for (const ks::NString& item : c.items) Check(!item.empty() && !HasLineEnd(item));
  for (const auto& [number, text] : c.texts) Check(number >= 1 && number <= 1000 && number != 999);
  for (const ks::AssociationRecord& a : c.associations) {
    Check(!a.extension.empty() && !a.prog_id.empty() && !a.verb.empty());
  }
  for (const ks::AutoCloseRule& r : c.auto_close) Check(r.pass_mask == (r.action == 2 ? 4 : 2));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ks::NStringView input(reinterpret_cast<const char*>(data), size);
  CheckContent(ks::ParseUninstallDataFile(input));

  // Every line read as a record writes back to the same fields.
  std::size_t begin = 0;
  while (begin <= input.size()) {
    const std::size_t end = std::min(input.find_first_of("\r\n", begin), input.size());
    const std::vector<ks::NString> fields = ks::ParseCsvRecord(input.substr(begin, end - begin));
    Check(ks::ParseCsvRecord(ks::CsvRecord(fields)) == fields);
    begin = end + 1;
  }

  // Items that the reader returned are recorded again and read back unchanged.
  const ks::UninstallDataContent first = ks::ParseUninstallDataFile(input);
  ks::UninstallData again;
  std::vector<ks::NString> kept;
  for (const ks::NString& item : first.items) {
    if (again.RecordItem(ks::NStringView(item), ks::kUninstallFile)) kept.push_back(item);
  }
  const ks::UninstallDataContent second = ks::ParseUninstallDataFile(ks::BuildUninstallDataFile(again, {}));
  Check(second.items == kept);
  return 0;
}
