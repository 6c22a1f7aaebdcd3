#include "lib/win/notification_worker.h"

#include <wininet.h>

#include <deque>
#include <memory>

#include "lib/end_of_process.h"
#include "lib/notification.h"
#include "lib/os_version.h"
#include "lib/session.h"
#include "lib/win/os_version_query.h"
#include "lib/win/owned.h"
#include "lib/win/system_library.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

struct Request {
  WString address;
  OwnedHandle done;  // manual-reset, set when made; only for waiting senders
  bool finished = false;
};

class CriticalSection {
 public:
  CriticalSection() { ::InitializeCriticalSection(&cs_); }
  ~CriticalSection() { ::DeleteCriticalSection(&cs_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  CRITICAL_SECTION* get() { return &cs_; }

 private:
  CRITICAL_SECTION cs_;
};

class Lock {
 public:
  explicit Lock(CriticalSection& cs) : cs_(cs) { ::EnterCriticalSection(cs_.get()); }
  ~Lock() { ::LeaveCriticalSection(cs_.get()); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
  CriticalSection& cs_;
};

// wininet is loaded from the system folder when the first notice is sent: as
// a static import the loader would resolve it from the installer's folder
// (a downloads folder) before any code of ours runs.
struct Internet {
  using OpenFn = HINTERNET(WINAPI*)(LPCWSTR, DWORD, LPCWSTR, LPCWSTR, DWORD);
  using OpenUrlFn = HINTERNET(WINAPI*)(HINTERNET, LPCWSTR, LPCWSTR, DWORD, DWORD, DWORD_PTR);
  using SetOptionFn = BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, DWORD);
  using CloseFn = BOOL(WINAPI*)(HINTERNET);

  OwnedModule module;
  OpenFn open = nullptr;
  OpenUrlFn open_url = nullptr;
  SetOptionFn set_option = nullptr;
  CloseFn close = nullptr;

  bool Load() {
    module = LoadSystemLibrary(L"wininet.dll");
    open = ProcAddress<OpenFn>(module.get(), "InternetOpenW");
    open_url = ProcAddress<OpenUrlFn>(module.get(), "InternetOpenUrlW");
    set_option = ProcAddress<SetOptionFn>(module.get(), "InternetSetOptionW");
    close = ProcAddress<CloseFn>(module.get(), "InternetCloseHandle");
    return open && open_url && set_option && close;
  }
};

struct WorkerState {
  CriticalSection cs;
  Internet internet;  // kept loaded while the worker may run
  std::deque<std::shared_ptr<Request>> queue;  // finished ones are drained by the next sender
  OwnedHandle wake;                            // auto-reset: a request came or the end began
  OwnedHandle thread;
  HINTERNET session = nullptr;  // closed only by the stopper, to cancel
  bool stopping = false;        // finish the queue, then end
  bool cancelled = false;       // make no further request
  bool stopped = false;         // StopNotificationWorker has run
};

// Created with the first request and kept until the process ends.
WorkerState* g_worker = nullptr;
bool g_session_failed = false;
NString g_version;
NString g_error_address;

NotificationFacts CurrentFacts() {
  const SystemVersion& v = GetSystemVersion();
  NotificationFacts facts;
  facts.version = g_version;
  facts.session = SessionValue();
  facts.os_number = OsNumber(v);
  facts.os_major = v.major;
  facts.os_minor = v.minor;
  facts.os_name = OsName(v, kOsNameShort);
  facts.os_description = OsName(v, 0);
  facts.server = IsServer(v);
  return facts;
}

void SetTimeout(const Internet& net, HINTERNET session, DWORD option, DWORD milliseconds) {
  net.set_option(session, option, &milliseconds, sizeof(milliseconds));
}

HINTERNET OpenSession(const Internet& net) {
  const WString agent = Widen(kNotificationAgent);
  HINTERNET session = net.open(W(agent), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (!session) return nullptr;
  SetTimeout(net, session, INTERNET_OPTION_CONNECT_TIMEOUT, kNotificationConnectTimeoutMs);
  SetTimeout(net, session, INTERNET_OPTION_SEND_TIMEOUT, kNotificationSendTimeoutMs);
  SetTimeout(net, session, INTERNET_OPTION_RECEIVE_TIMEOUT, kNotificationReceiveTimeoutMs);
  SetTimeout(net, session, INTERNET_OPTION_CONNECT_RETRIES, 1);
  return session;
}

// The answer is not used: the request itself is the message.
void MakeRequest(const Internet& net, HINTERNET session, const WString& address) {
  const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                      INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES;
  HINTERNET url = net.open_url(session, W(address), nullptr, 0, flags, 0);
  if (url) net.close(url);
}

// The next request to make, or nullptr when the worker should end.
std::shared_ptr<Request> NextRequest(WorkerState& w) {
  for (;;) {
    {
      Lock lock(w.cs);
      if (w.cancelled) return nullptr;
      for (const auto& request : w.queue) {
        if (!request->finished) return request;
      }
      if (w.stopping) return nullptr;
    }
    ::WaitForSingleObject(w.wake.get(), INFINITE);
  }
}

DWORD WINAPI WorkerMain(void* parameter) {
  WorkerState& w = *static_cast<WorkerState*>(parameter);
  while (const std::shared_ptr<Request> request = NextRequest(w)) {
    MakeRequest(w.internet, w.session, request->address);
    Lock lock(w.cs);
    request->finished = true;
    if (request->done) ::SetEvent(request->done.get());
  }
  return 0;
}

// Opens the session first: without it no request is made and no worker runs.
WorkerState* Worker() {
  if (g_worker || g_session_failed) return g_worker;
  auto* w = new WorkerState;
  w->session = w->internet.Load() ? OpenSession(w->internet) : nullptr;
  if (!w->session) {
    delete w;
    g_session_failed = true;
    return nullptr;
  }
  w->wake = OwnedHandle(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (w->wake) w->thread = OwnedHandle(::CreateThread(nullptr, 0, WorkerMain, w, 0, nullptr));
  if (!w->thread) {
    w->internet.close(w->session);
    delete w;
    g_session_failed = true;
    return nullptr;
  }
  g_worker = w;
  SetTerminateStep(TerminateStep::kNotificationWorker, StopNotificationWorker);
  return g_worker;
}

std::shared_ptr<Request> Enqueue(WorkerState& w, const WString& address, bool wait) {
  auto request = std::make_shared<Request>();
  request->address = address;
  if (wait) request->done = OwnedHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  {
    Lock lock(w.cs);
    if (w.stopped) return nullptr;
    while (!w.queue.empty() && w.queue.front()->finished) w.queue.pop_front();
    w.queue.push_back(request);
  }
  ::SetEvent(w.wake.get());
  return request;
}

}  // namespace

void SetNotificationVersion(const NString& version) { g_version = version; }
void SetErrorNotificationAddress(const NString& address_template) { g_error_address = address_template; }

void SendNotification(NStringView address_template, bool wait) {
  if (IsBlankAddress(address_template)) return;
  WorkerState* w = Worker();
  if (!w) return;
  const WString address = AnsiToWide(ExpandNotificationAddress(address_template, CurrentFacts()));
  const std::shared_ptr<Request> request = Enqueue(*w, address, wait);
  if (request && request->done) ::WaitForSingleObject(request->done.get(), kNotificationWaitBoundMs);
}

void SendErrorNotification() { SendNotification(g_error_address, true); }

void StopNotificationWorker() {
  WorkerState* w = g_worker;
  if (!w) return;
  {
    Lock lock(w->cs);
    if (w->stopped) return;
    w->stopped = true;
    w->stopping = true;
  }
  ::SetEvent(w->wake.get());
  if (::WaitForSingleObject(w->thread.get(), kNotificationDrainBoundMs) == WAIT_OBJECT_0) return;
  {
    Lock lock(w->cs);
    w->cancelled = true;
  }
  // Closing the session cancels a request that is still connecting or waiting
  // for its answer; the worker then finds the cancel flag and ends.
  w->internet.close(w->session);
  ::SetEvent(w->wake.get());
  ::WaitForSingleObject(w->thread.get(), kNotificationCancelBoundMs);
}

}  // namespace ks
