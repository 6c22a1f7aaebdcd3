#pragma once
// Disk space held back for the files a run must still be able to write at
// its end (the uninstaller, Uninstall.DAT, Install.log) when what it places
// before fills the disk: without them a later uninstallation could not find
// what was placed.

#include <cstdint>

#include "lib/text.h"
#include "lib/win/owned.h"

namespace ks {

class SpaceReservation {
 public:
  SpaceReservation() = default;
  SpaceReservation(const SpaceReservation&) = delete;
  SpaceReservation& operator=(const SpaceReservation&) = delete;

  // A file of `bytes` zeros in `folder`, which the system deletes when it is
  // closed: by Release, or when the process ends in any way, also killed.
  // False when the space is not there (nothing is held then).
  bool Reserve(const WString& folder, std::uint64_t bytes);
  // Gives the space back.
  void Release() { file_.reset(); }
  bool held() const { return static_cast<bool>(file_); }

 private:
  OwnedHandle file_;
};

}  // namespace ks
