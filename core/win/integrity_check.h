#pragma once
// The self-check of the installer's file, chosen by the integrity mode of the
// settings: 1 = CRC-32 of the bytes in front of the archive, 2 = the code
// signature. The same read also yields the engine image for the uninstaller.

#include <windows.h>

#include <cstdint>

#include "core/win/archive_open.h"

namespace ks {

struct IntegrityResult {
  int corrupt_code = 0;         // 0 = passed
  bool add_system_error = false;
  DWORD system_error = 0;       // the last error to report with it
};

// Reads the leading part (35 on failure), checks by mode (40, 1000 + n) and,
// when the archive flags ask, builds archive.engine_image (42 on failure).
IntegrityResult CheckIntegrity(SetupArchive& archive, std::uint32_t mode);

// CheckIntegrity that reports a failure and ends the process.
void CheckIntegrityOrReport(SetupArchive& archive, std::uint32_t mode, const Reports& reports);

// Mode 2 alone: 0 or 1000 + outcome; *last_error receives the verification's last error.
int VerifyCodeSignature(const WString& path, DWORD* last_error);

}  // namespace ks
