#pragma once
// Comma-separated records, as Uninstall.DAT and the registry records carry
// them: fields are trimmed; a field in double quotes keeps its commas and
// blanks, and two double quotes inside it stand for one.

#include <vector>

#include "lib/text.h"

namespace ks {

// One field, quoted when it holds a separator, a quote or a line end, or
// when blanks at its ends would be lost to the reader's trimming.
NString CsvField(NStringView field);
NString CsvRecord(const std::vector<NString>& fields);
std::vector<NString> ParseCsvRecord(NStringView line);

}  // namespace ks
