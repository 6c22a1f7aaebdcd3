#include "core/win/report_corrupt.h"

#include <string>

#include "core/corrupt_message.h"
#include "core/localized_texts.h"
#include "core/start_options.h"
#include "core/win/fatal_error.h"
#include "core/win/terminate.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

// Stand-ins until the install log provides its own: decimal, or the
// COM-style hexadecimal form for codes with the high bit set.
WString PlainCodeText(DWORD code) {
  if (static_cast<LONG>(code) >= 0) return Widen(std::to_string(code));
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) hex += kDigits[(code >> shift) & 0xF];
  return Widen(hex);
}

WString PlainSystemText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  WString text = n ? FromW(buffer, n) : WString();
  if (buffer) ::LocalFree(buffer);
  while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' '))
    text.pop_back();
  return text;
}

}  // namespace

CorruptReportHooks& TheCorruptReportHooks() {
  static CorruptReportHooks hooks;
  return hooks;
}

WString CorruptReportText(int code, DWORD system_error) {
  WString message = CorruptMessage(LocalizedText(13), code);
  if (system_error != 0) {
    const CorruptReportHooks& hooks = TheCorruptReportHooks();
    const WString code_text =
        hooks.error_code_text ? hooks.error_code_text(system_error) : PlainCodeText(system_error);
    const WString system_text =
        hooks.system_error_text ? hooks.system_error_text(system_error) : PlainSystemText(system_error);
    message += SystemErrorSuffix(code_text, system_text);
  }
  return message;
}

void ReportCorrupt(int code, bool add_system_error) {
  // Taken first: everything below may change the thread's last error.
  const DWORD last_error = add_system_error ? ::GetLastError() : 0;
  const WString message = CorruptReportText(code, last_error);
  const CorruptReportHooks& hooks = TheCorruptReportHooks();
  if (hooks.set_failure_summary) hooks.set_failure_summary(message);
  if (hooks.send_error_notification) hooks.send_error_notification();
  if (!TheStartOptions().silent) ErrorBox(message);
  Terminate(2);
}

}  // namespace ks
