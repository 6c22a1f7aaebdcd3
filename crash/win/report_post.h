#pragma once
// The crash report's trip to the maker: an HTTP POST of the multipart form to
// the form's address. Bounded in time, so that an unreachable server does not
// hold the crashed process; the answer is not examined.

#include "lib/text.h"

namespace ks {

inline constexpr unsigned long kReportPostTimeoutMs = 15000;  // connect, send and answer, each

// False when the request could not be made (a bad address, no connection);
// nobody is told: a failed send is silent.
bool PostReportForm(const WString& endpoint, NStringView form);

}  // namespace ks
