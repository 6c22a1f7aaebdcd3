#include "crash/win/report_post.h"

#include <windows.h>

#include <wininet.h>

#include "crash/report_form.h"
#include "lib/win/notification_worker.h"
#include "lib/win/owned.h"
#include "lib/win/system_library.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

// wininet comes from the system folder by full path, as everywhere in the
// engine: a static import would be resolved from the installer's own folder.
struct Internet {
  using CrackFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPURL_COMPONENTSW);
  using OpenFn = HINTERNET(WINAPI*)(LPCWSTR, DWORD, LPCWSTR, LPCWSTR, DWORD);
  using SetOptionFn = BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, DWORD);
  using ConnectFn = HINTERNET(WINAPI*)(HINTERNET, LPCWSTR, INTERNET_PORT, LPCWSTR, LPCWSTR, DWORD, DWORD,
                                       DWORD_PTR);
  using OpenRequestFn = HINTERNET(WINAPI*)(HINTERNET, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR*, DWORD,
                                           DWORD_PTR);
  using SendFn = BOOL(WINAPI*)(HINTERNET, LPCWSTR, DWORD, LPVOID, DWORD);
  using CloseFn = BOOL(WINAPI*)(HINTERNET);

  OwnedModule module = LoadSystemLibrary(L"wininet.dll");
  CrackFn crack = ProcAddress<CrackFn>(module.get(), "InternetCrackUrlW");
  OpenFn open = ProcAddress<OpenFn>(module.get(), "InternetOpenW");
  SetOptionFn set_option = ProcAddress<SetOptionFn>(module.get(), "InternetSetOptionW");
  ConnectFn connect = ProcAddress<ConnectFn>(module.get(), "InternetConnectW");
  OpenRequestFn open_request = ProcAddress<OpenRequestFn>(module.get(), "HttpOpenRequestW");
  SendFn send = ProcAddress<SendFn>(module.get(), "HttpSendRequestW");
  CloseFn close = ProcAddress<CloseFn>(module.get(), "InternetCloseHandle");

  bool Loaded() const { return crack && open && set_option && connect && open_request && send && close; }
};

// An internet handle closed through the loaded DLL; the DLL outlives it.
class InternetHandle {
 public:
  InternetHandle(const Internet& net, HINTERNET h) : net_(net), h_(h) {}
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  ~InternetHandle() {
    if (h_) net_.close(h_);
  }
  HINTERNET get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  const Internet& net_;
  HINTERNET h_;
};

void SetTimeout(const Internet& net, HINTERNET handle, DWORD option) {
  DWORD milliseconds = kReportPostTimeoutMs;
  net.set_option(handle, option, &milliseconds, sizeof milliseconds);
}

}  // namespace

bool PostReportForm(const WString& endpoint, NStringView form) {
  const Internet net;
  if (!net.Loaded()) return false;
  WString host(256, u'\0'), path(2048, u'\0'), extra(2048, u'\0');
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = W(host);
  parts.dwHostNameLength = static_cast<DWORD>(host.size());
  parts.lpszUrlPath = W(path);
  parts.dwUrlPathLength = static_cast<DWORD>(path.size());
  parts.lpszExtraInfo = W(extra);
  parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
  if (!net.crack(W(endpoint), 0, 0, &parts)) return false;
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
  host.resize(parts.dwHostNameLength);
  WString object = path.substr(0, parts.dwUrlPathLength) + extra.substr(0, parts.dwExtraInfoLength);
  if (object.empty()) object = u"/";

  const WString agent = Widen(kNotificationAgent);
  const InternetHandle session(net, net.open(W(agent), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) return false;
  SetTimeout(net, session.get(), INTERNET_OPTION_CONNECT_TIMEOUT);
  SetTimeout(net, session.get(), INTERNET_OPTION_SEND_TIMEOUT);
  SetTimeout(net, session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT);
  const InternetHandle connection(
      net, net.connect(session.get(), W(host), parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return false;
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES;
  if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
  const InternetHandle request(
      net, net.open_request(connection.get(), L"POST", W(object), nullptr, nullptr, nullptr, flags, 0));
  if (!request) return false;
  const WString content_type = Widen(kReportContentType);
  return net.send(request.get(), W(content_type), static_cast<DWORD>(content_type.size()),
                  const_cast<char*>(form.data()), static_cast<DWORD>(form.size())) != FALSE;
}

}  // namespace ks
