#pragma once
// The descriptions of processor and system exception codes that open a
// crash report.

#include <cstdint>

namespace ks {

// The description of `code`; "" when the table has none.
const char* ExceptionText(std::uint32_t code);

}  // namespace ks
