#include "lib/win/space_reservation.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "lib/win/wide.h"

namespace ks {

bool SpaceReservation::Reserve(const WString& folder, std::uint64_t bytes) {
  Release();
  std::vector<wchar_t> name(MAX_PATH + 1);  // GetTempFileNameW's documented size
  if (!::GetTempFileNameW(W(folder), L"ksr", 0, name.data())) return false;
  const HANDLE raw = ::CreateFileW(name.data(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (raw == INVALID_HANDLE_VALUE) {
    ::DeleteFileW(name.data());
    return false;
  }
  OwnedHandle file(raw);
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
