#include "lib/win/space_reservation.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "lib/win/wide.h"

namespace ks {
namespace {

// A new file of our own in `folder`, deleted by the system when closed. The
// name is made here rather than by GetTempFileNameW, which takes no folder
// longer than MAX_PATH - 14 characters: the records of a product in a long
// folder need their room as much as any.
OwnedHandle CreateHoldingFile(const WString& folder) {
  constexpr unsigned kAttempts = 100;
  const DWORD process = ::GetCurrentProcessId();
  for (unsigned n = 0; n < kAttempts; ++n) {
    WString name = folder;
    if (!name.empty() && name.back() != u'\\') name += u'\\';
    name += u"ksr" + Widen(std::to_string(process)) + u"-" + Widen(std::to_string(n)) + u".tmp";
    const HANDLE raw = ::CreateFileW(W(name), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (raw != INVALID_HANDLE_VALUE) return OwnedHandle(raw);
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  return OwnedHandle();
}

}  // namespace

bool SpaceReservation::Reserve(const WString& folder, std::uint64_t bytes) {
  Release();
  OwnedHandle file = CreateHoldingFile(folder);
  if (!file) return false;
  // Zeros written, not a size set: a file system may keep a sized file sparse.
  const std::vector<char> zeros(64 * 1024, 0);
  for (std::uint64_t left = bytes; left > 0;) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::uint64_t>(left, zeros.size()));
    DWORD written = 0;
    if (!::WriteFile(file.get(), zeros.data(), chunk, &written, nullptr) || written != chunk) return false;
    left -= chunk;
  }
  if (!::FlushFileBuffers(file.get())) return false;
  file_ = std::move(file);
  return true;
}

}  // namespace ks
