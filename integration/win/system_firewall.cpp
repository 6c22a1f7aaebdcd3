#include "integration/win/system_firewall.h"

#include <windows.h>

#include <netfw.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "engine/win/foreign_call_guard.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

// A crash inside the firewall's objects.
constexpr HRESULT kCrashed = RPC_E_SERVERFAULT;

// The firewall's classes; the import libraries do not carry them.
constexpr GUID kNetFwPolicy2 = {0xe2b3c97f, 0x6ae1, 0x41ac, {0x81, 0x7a, 0xf6, 0xf9, 0x21, 0x66, 0xd7, 0xdd}};
constexpr GUID kNetFwRule = {0x2c5bc43e, 0x3369, 0x4c33, {0xab, 0x0c, 0xbe, 0x94, 0x69, 0x67, 0x7a, 0xf4}};

// Runs `fn` (returning an HRESULT) under the crash guard.
template <typename Fn>
HRESULT Guarded(Fn& fn) {
  struct Call {
    Fn* fn;
    HRESULT result;
  } call{&fn, E_FAIL};
  const bool returned = CallGuarded([](void* context) {
    Call& c = *static_cast<Call*>(context);
    c.result = (*c.fn)();
  }, &call);
  return returned ? call.result : kCrashed;
}

WString TakeText(BSTR text) {
  WString out = text ? FromW(text) : WString();
  ::SysFreeString(text);
  return out;
}

// Sets one text property of a rule from a BSTR made for the call.
template <typename Put>
HRESULT PutText(const WString& text, Put put) {
  BSTR value = ::SysAllocString(W(text));
  if (!value) return E_OUTOFMEMORY;
  const HRESULT hr = put(value);
  ::SysFreeString(value);
  return hr;
}

// What the checks read of a rule; unreadable properties stay at values that
// match nothing.
struct RuleFacts {
  LONG protocol = -1;
  NET_FW_RULE_DIRECTION direction = NET_FW_RULE_DIR_MAX;
  NET_FW_ACTION action = NET_FW_ACTION_MAX;
  VARIANT_BOOL enabled = VARIANT_FALSE;
  WString ports, application, grouping;
};

RuleFacts ReadRule(INetFwRule* rule) {
  RuleFacts f;
  rule->get_Protocol(&f.protocol);
  rule->get_Direction(&f.direction);
  rule->get_Action(&f.action);
  rule->get_Enabled(&f.enabled);
  BSTR text = nullptr;
  if (SUCCEEDED(rule->get_LocalPorts(&text))) f.ports = TakeText(text);
  text = nullptr;
  if (SUCCEEDED(rule->get_ApplicationName(&text))) f.application = TakeText(text);
  text = nullptr;
  if (SUCCEEDED(rule->get_Grouping(&text))) f.grouping = TakeText(text);
  return f;
}

bool OpensInbound(const RuleFacts& f) {
  return f.direction == NET_FW_RULE_DIR_IN && f.action == NET_FW_ACTION_ALLOW && f.enabled != VARIANT_FALSE;
}
bool IsOurs(const RuleFacts& f) { return f.grouping == kFirewallRuleGroup; }
bool OpensPort(const RuleFacts& f, std::int32_t port, int protocol) {
  return f.protocol == protocol && f.application.empty() && f.ports == Widen(std::to_string(port));
}

// The rules `match` picks, each with a reference of its own.
template <typename Match>
HRESULT FindRules(INetFwRules* rules, Match match, std::vector<INetFwRule*>& found) {
  IUnknown* unknown = nullptr;
  HRESULT hr = rules->get__NewEnum(&unknown);
  if (FAILED(hr)) return hr;
  IEnumVARIANT* items = nullptr;
  hr = unknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&items));
  unknown->Release();
  if (FAILED(hr)) return hr;
  VARIANT item;
  ::VariantInit(&item);
  ULONG fetched = 0;
  while (items->Next(1, &item, &fetched) == S_OK && fetched == 1) {
    INetFwRule* rule = nullptr;
    if (item.vt == VT_DISPATCH && item.pdispVal &&
        SUCCEEDED(item.pdispVal->QueryInterface(__uuidof(INetFwRule), reinterpret_cast<void**>(&rule)))) {
      if (match(ReadRule(rule))) {
        found.push_back(rule);
      } else {
        rule->Release();
      }
    }
    ::VariantClear(&item);
  }
  items->Release();
  return S_OK;
}

void ReleaseAll(std::vector<INetFwRule*>& rules) {
  for (INetFwRule* rule : rules) rule->Release();
  rules.clear();
}

// Names are not unique: each rule is renamed to a name of its own first, so
// that the removal by name takes exactly that rule.
HRESULT RemoveRules(INetFwRules* rules, std::vector<INetFwRule*>& found) {
  HRESULT result = S_OK;
  for (INetFwRule* rule : found) {
    GUID id;
    wchar_t text[40] = {};
    HRESULT hr = ::CoCreateGuid(&id);
    if (SUCCEEDED(hr) && ::StringFromGUID2(id, text, 40) == 0) hr = E_FAIL;
    const WString name = WString(kFirewallRuleGroup) + u" " + FromW(text);
    if (SUCCEEDED(hr)) hr = PutText(name, [rule](BSTR v) { return rule->put_Name(v); });
    if (SUCCEEDED(hr)) hr = PutText(name, [rules](BSTR v) { return rules->Remove(v); });
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  ReleaseAll(found);
  return result;
}

// An inbound rule that allows, for every profile, in the installer's grouping.
HRESULT AddRule(INetFwRules* rules, const WString& name, const WString& application, LONG protocol,
                const WString& ports) {
  INetFwRule* rule = nullptr;
  HRESULT hr = ::CoCreateInstance(kNetFwRule, nullptr, CLSCTX_INPROC_SERVER, __uuidof(INetFwRule),
                                  reinterpret_cast<void**>(&rule));
  if (FAILED(hr)) return hr;
  hr = PutText(name, [rule](BSTR v) { return rule->put_Name(v); });
  if (SUCCEEDED(hr)) hr = PutText(kFirewallRuleGroup, [rule](BSTR v) { return rule->put_Grouping(v); });
  if (SUCCEEDED(hr) && !application.empty()) {
    hr = PutText(application, [rule](BSTR v) { return rule->put_ApplicationName(v); });
  }
  // The protocol goes before the ports: the rule checks each change as it comes.
  if (SUCCEEDED(hr) && protocol >= 0) hr = rule->put_Protocol(protocol);
  if (SUCCEEDED(hr) && !ports.empty()) hr = PutText(ports, [rule](BSTR v) { return rule->put_LocalPorts(v); });
  if (SUCCEEDED(hr)) hr = rule->put_Direction(NET_FW_RULE_DIR_IN);
  if (SUCCEEDED(hr)) hr = rule->put_Action(NET_FW_ACTION_ALLOW);
  if (SUCCEEDED(hr)) hr = rule->put_Profiles(NET_FW_PROFILE2_ALL);
  if (SUCCEEDED(hr)) hr = rule->put_Enabled(VARIANT_TRUE);
  if (SUCCEEDED(hr)) hr = rules->Add(rule);
  rule->Release();
  return hr;
}

class SystemFirewall : public FirewallSettings {
 public:
  ~SystemFirewall() override { Close(); }

  std::int32_t Connect() override {
    Close();
    auto connect = [this] {
      HRESULT hr = ::CoCreateInstance(kNetFwPolicy2, nullptr, CLSCTX_INPROC_SERVER, __uuidof(INetFwPolicy2),
                                      reinterpret_cast<void**>(&policy_));
      if (SUCCEEDED(hr)) hr = policy_->get_Rules(&rules_);
      return hr;
    };
    const HRESULT hr = Call(connect, false);
    if (FAILED(hr)) Close();
    return hr;
  }

  std::int32_t OpenPort(std::int32_t port, int protocol, const WString& name) override {
    auto open = [&] {
      std::vector<INetFwRule*> found;
      const HRESULT hr = FindRules(rules_, [&](const RuleFacts& f) {
        return OpensInbound(f) && OpensPort(f, port, protocol);
      }, found);
      const bool open_already = SUCCEEDED(hr) && !found.empty();
      ReleaseAll(found);
      if (open_already) return S_OK;
      return AddRule(rules_, name, WString(), protocol, Widen(std::to_string(port)));
    };
    return Call(open);
  }

  std::int32_t AuthorizeProgram(const WString& path, const WString& name) override {
    auto authorize = [&] {
      std::vector<INetFwRule*> found;
      const HRESULT hr = FindRules(rules_, [&](const RuleFacts& f) {
        return IsOurs(f) && OpensInbound(f) && EqualsIgnoreCase(f.application, path);
      }, found);
      const bool there_already = SUCCEEDED(hr) && !found.empty();
      ReleaseAll(found);
      if (there_already) return S_OK;
      return AddRule(rules_, name, path, -1, WString());
    };
    return Call(authorize);
  }

  std::int32_t ClosePort(std::int32_t port, int protocol) override {
    auto close = [&] {
      std::vector<INetFwRule*> found;
      const HRESULT hr =
          FindRules(rules_, [&](const RuleFacts& f) { return IsOurs(f) && OpensPort(f, port, protocol); }, found);
      return FAILED(hr) ? hr : RemoveRules(rules_, found);
    };
    return Call(close);
  }

  std::int32_t RemoveProgram(const WString& path) override {
    auto remove = [&] {
      std::vector<INetFwRule*> found;
      const HRESULT hr = FindRules(rules_, [&](const RuleFacts& f) {
        return IsOurs(f) && EqualsIgnoreCase(f.application, path);
      }, found);
      return FAILED(hr) ? hr : RemoveRules(rules_, found);
    };
    return Call(remove);
  }

  void Close() override {
    // After a crash the objects may be in any state: they are left alone.
    if (!broken_) {
      if (rules_) rules_->Release();
      if (policy_) policy_->Release();
    }
    rules_ = nullptr;
    policy_ = nullptr;
  }

 private:
  // `needs_rules`: the call works on the rules of a connected session.
  template <typename Fn>
  HRESULT Call(Fn& fn, bool needs_rules = true) {
    if (broken_) return kCrashed;
    if (needs_rules && !rules_) return E_UNEXPECTED;
    const HRESULT hr = Guarded(fn);
    if (hr == kCrashed) broken_ = true;
    return hr;
  }

  INetFwPolicy2* policy_ = nullptr;
  INetFwRules* rules_ = nullptr;
  bool broken_ = false;
};

}  // namespace

std::unique_ptr<FirewallSettings> MakeSystemFirewall() { return std::make_unique<SystemFirewall>(); }

}  // namespace ks
