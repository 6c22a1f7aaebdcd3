#pragma once
// The system restore point around an installation: begun before the first
// file is placed, committed among the finishing steps.
//
// The system call goes through RestorePointSystem so that its outcomes
// (success, "turned off", other codes, a crash inside it) can be produced on
// demand; the real one uses "srclient.dll".

#include <windows.h>
#include <srrestoreptapi.h>

#include <cstdint>

#include "lib/text.h"

namespace ks {

enum class RestorePointLoad { kReady, kNoLibrary, kNoFunction };

class RestorePointSystem {
 public:
  virtual ~RestorePointSystem() = default;
  // COM security for the process; 0 (also when it was set already) or the
  // HRESULT of the failure.
  virtual std::int32_t InitializeSecurity() = 0;
  // Loads "srclient.dll" and finds "SRSetRestorePointW".
  virtual RestorePointLoad Load() = 0;
  // SRSetRestorePointW itself. May crash: the caller guards it.
  virtual BOOL SetRestorePoint(RESTOREPOINTINFOW* info, STATEMGRSTATUS* status) = 0;
};

// The real one, through "srclient.dll".
RestorePointSystem& SystemRestorePoints();

// The restore point of one installation.
class RestorePoint {
 public:
  explicit RestorePoint(RestorePointSystem& system = SystemRestorePoints()) : system_(system) {}

  // Begins an application-install restore point (event 100, type 0) described
  // by `description` (cut to 255 characters) and keeps its sequence number
  // for the commit. On failure *error_text is one of "Failed to initialize
  // COM security: <message>", "System Restore is not present.",
  // "SRSetRestorePointW is not present.", "System Restore is turned off."
  // (status 1058), "Failed, code <status>: <message>" or "Crashed".
  bool Create(const WString& description, WString* error_text);

  // Ends the restore point begun by Create (event 101 with its sequence
  // number). False, without calling the system, when none was begun or the
  // commit fails (a crash inside counts as a failure).
  bool Commit();

  // A restore point is open and waits for its commit.
  bool pending() const { return pending_; }

 private:
  RestorePointSystem& system_;
  std::int64_t sequence_ = 0;
  bool pending_ = false;
};

}  // namespace ks
