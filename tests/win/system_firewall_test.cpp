#include "integration/win/system_firewall.h"

#include <gtest/gtest.h>
#include <netfw.h>
#include <objbase.h>
#include <windows.h>

namespace ks {
namespace {

class SystemFirewallTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
  void TearDown() override { CoUninitialize(); }
};

// What the system answers when the rules are listed: removals find the
// installer's rules that way.
HRESULT ListingAnswer() {
  constexpr GUID kNetFwPolicy2 = {0xe2b3c97f, 0x6ae1, 0x41ac, {0x81, 0x7a, 0xf6, 0xf9, 0x21, 0x66, 0xd7, 0xdd}};
  INetFwPolicy2* policy = nullptr;
  HRESULT hr = CoCreateInstance(kNetFwPolicy2, nullptr, CLSCTX_INPROC_SERVER, __uuidof(INetFwPolicy2),
                                reinterpret_cast<void**>(&policy));
  if (FAILED(hr)) return hr;
  INetFwRules* rules = nullptr;
  hr = policy->get_Rules(&rules);
  IUnknown* items = nullptr;
  if (SUCCEEDED(hr)) hr = rules->get__NewEnum(&items);
  if (items) items->Release();
  if (rules) rules->Release();
  policy->Release();
  return hr;
}

// The real rules interface answers. Under Wine its rules accept every new
// rule; whether they can be listed decides what a removal reports.
TEST_F(SystemFirewallTest, EveryCallReachesTheFirewall) {
  const std::unique_ptr<FirewallSettings> firewall = MakeSystemFirewall();
  EXPECT_EQ(firewall->OpenPort(8642, kIpProtocolTcp, u"Ks test"), E_UNEXPECTED) << "no session yet";
  ASSERT_EQ(firewall->Connect(), 0);
  EXPECT_EQ(firewall->OpenPort(8642, kIpProtocolTcp, u"Ks test"), 0);
  EXPECT_EQ(firewall->OpenPort(8642, kIpProtocolUdp, u"Ks test"), 0);
  EXPECT_EQ(firewall->AuthorizeProgram(u"C:\\ks\\server.exe", u"Ks server"), 0);
  const HRESULT listing = ListingAnswer();
  EXPECT_EQ(firewall->ClosePort(8642, kIpProtocolTcp), listing);
  EXPECT_EQ(firewall->RemoveProgram(u"C:\\ks\\server.exe"), listing);
  firewall->Close();
  EXPECT_EQ(firewall->ClosePort(8642, kIpProtocolUdp), E_UNEXPECTED) << "closed";
}

}  // namespace
}  // namespace ks
