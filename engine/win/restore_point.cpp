#include "engine/win/restore_point.h"

#include <objbase.h>

#include <algorithm>

#include "engine/prepare_rules.h"
#include "engine/win/foreign_call_guard.h"
#include "lib/win/system_error.h"
#include "lib/win/system_library.h"
#include "lib/win/wide.h"
#include "records/install_log.h"

namespace ks {
namespace {

using SetRestorePointFn = BOOL(WINAPI*)(RESTOREPOINTINFOW*, STATEMGRSTATUS*);

class SystemRestore : public RestorePointSystem {
 public:
  std::int32_t InitializeSecurity() override {
    const HRESULT hr = ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                                              RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    // Set earlier in this process (by us or by a component): that is enough.
    return hr == RPC_E_TOO_LATE || SUCCEEDED(hr) ? 0 : hr;
  }
  RestorePointLoad Load() override {
    if (!module_) module_ = LoadSystemLibrary(L"srclient.dll");
    if (!module_) return RestorePointLoad::kNoLibrary;
    set_ = ProcAddress<SetRestorePointFn>(module_.get(), "SRSetRestorePointW");
    return set_ ? RestorePointLoad::kReady : RestorePointLoad::kNoFunction;
  }
  BOOL SetRestorePoint(RESTOREPOINTINFOW* info, STATEMGRSTATUS* status) override {
    return set_ ? set_(info, status) : FALSE;
  }

 private:
  // Kept loaded until the commit: the restore point is open that long.
  OwnedModule module_;
  SetRestorePointFn set_ = nullptr;
};

struct SetCall {
  RestorePointSystem* system;
  RESTOREPOINTINFOW info;
  STATEMGRSTATUS status;
  BOOL result;
};

void CallSet(void* context) {
  SetCall* call = static_cast<SetCall*>(context);
  call->result = call->system->SetRestorePoint(&call->info, &call->status);
}

// The system call under the crash guard; false when it crashed.
bool GuardedSet(SetCall& call) {
  call.status = STATEMGRSTATUS{};
  call.result = FALSE;
  return CallGuarded(CallSet, &call);
}

WString FailureText(DWORD status) {
  if (status == ERROR_SERVICE_DISABLED) return u"System Restore is turned off.";
  return FormatWide(u"Failed, code %u: %s", static_cast<unsigned>(status), SystemErrorText(status).c_str());
}

}  // namespace

RestorePointSystem& SystemRestorePoints() {
  static SystemRestore real;
  return real;
}

bool RestorePoint::Create(const WString& description, WString* error_text) {
  WString error;
  RestorePointSystem& system = system_;
  if (const std::int32_t hr = system.InitializeSecurity()) {
    error = u"Failed to initialize COM security: " + SystemErrorText(static_cast<std::uint32_t>(hr));
  } else if (const RestorePointLoad load = system.Load(); load != RestorePointLoad::kReady) {
    error = load == RestorePointLoad::kNoLibrary ? u"System Restore is not present." : u"SRSetRestorePointW is not present.";
  } else {
    SetCall call{&system, {}, {}, FALSE};
    call.info.dwEventType = BEGIN_SYSTEM_CHANGE;
    call.info.dwRestorePtType = APPLICATION_INSTALL;
    call.info.llSequenceNumber = 0;
    const std::size_t n = std::min<std::size_t>(description.size(), kRestorePointDescriptionMax);
    std::copy_n(description.begin(), n, reinterpret_cast<char16_t*>(call.info.szDescription));
    call.info.szDescription[n] = 0;
    if (!GuardedSet(call)) {
      error = u"Crashed";
    } else if (!call.result) {
      error = FailureText(call.status.nStatus);
    } else {
      sequence_ = call.status.llSequenceNumber;
      pending_ = true;
    }
  }
  if (error_text) *error_text = error;
  return error.empty();
}

bool RestorePoint::Commit() {
  if (!pending_) return false;
  pending_ = false;
  SetCall call{&system_, {}, {}, FALSE};
  call.info.dwEventType = END_SYSTEM_CHANGE;
  call.info.dwRestorePtType = APPLICATION_INSTALL;
  call.info.llSequenceNumber = sequence_;
  return GuardedSet(call) && call.result;
}

}  // namespace ks
