#include "crash/win/report_post.h"

#include <windows.h>

#include <wininet.h>

#include "crash/report_form.h"
#include "lib/win/notification_worker.h"
#include "lib/win/owned.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

struct InternetCloser {
  void operator()(HINTERNET h) const { ::InternetCloseHandle(h); }
};
using OwnedInternet = Owned<HINTERNET, InternetCloser>;

void SetTimeout(HINTERNET handle, DWORD option) {
  DWORD milliseconds = kReportPostTimeoutMs;
  ::InternetSetOptionW(handle, option, &milliseconds, sizeof milliseconds);
}

}  // namespace

bool PostReportForm(const WString& endpoint, NStringView form) {
  WString host(256, u'\0'), path(2048, u'\0'), extra(2048, u'\0');
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = W(host);
  parts.dwHostNameLength = static_cast<DWORD>(host.size());
  parts.lpszUrlPath = W(path);
  parts.dwUrlPathLength = static_cast<DWORD>(path.size());
  parts.lpszExtraInfo = W(extra);
  parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
  if (!::InternetCrackUrlW(W(endpoint), 0, 0, &parts)) return false;
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
  host.resize(parts.dwHostNameLength);
  WString object = path.substr(0, parts.dwUrlPathLength) + extra.substr(0, parts.dwExtraInfoLength);
  if (object.empty()) object = u"/";

  const WString agent = Widen(kNotificationAgent);
  const OwnedInternet session(::InternetOpenW(W(agent), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) return false;
  SetTimeout(session.get(), INTERNET_OPTION_CONNECT_TIMEOUT);
  SetTimeout(session.get(), INTERNET_OPTION_SEND_TIMEOUT);
  SetTimeout(session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT);
  const OwnedInternet connection(
      ::InternetConnectW(session.get(), W(host), parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return false;
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES;
  if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
  const OwnedInternet request(
      ::HttpOpenRequestW(connection.get(), L"POST", W(object), nullptr, nullptr, nullptr, flags, 0));
  if (!request) return false;
  const WString content_type = Widen(kReportContentType);
  return ::HttpSendRequestW(request.get(), W(content_type), static_cast<DWORD>(content_type.size()),
                            const_cast<char*>(form.data()), static_cast<DWORD>(form.size())) != FALSE;
}

}  // namespace ks
