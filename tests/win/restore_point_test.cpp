#include "engine/win/restore_point.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/win/foreign_call_guard.h"
#include "lib/win/system_error.h"

namespace ks {
namespace {

volatile int* volatile g_nowhere = nullptr;

void Crash() { *g_nowhere = 1; }

// Answers as the settings of one case say and remembers every call.
class FakeRestore : public RestorePointSystem {
 public:
  std::int32_t security = 0;
  RestorePointLoad load = RestorePointLoad::kReady;
  BOOL result = TRUE;
  DWORD status = 0;
  std::int64_t sequence = 0;
  bool crash = false;
  std::vector<RESTOREPOINTINFOW> calls;

  std::int32_t InitializeSecurity() override { return security; }
  RestorePointLoad Load() override { return load; }
  BOOL SetRestorePoint(RESTOREPOINTINFOW* info, STATEMGRSTATUS* out) override {
    calls.push_back(*info);
    if (crash) Crash();
    out->nStatus = status;
    out->llSequenceNumber = sequence;
    return result;
  }
};

class RestorePointTest : public ::testing::Test {
 protected:
  FakeRestore fake;
  RestorePoint point{fake};
};

TEST_F(RestorePointTest, OutcomesGiveTheirTexts) {
  struct Case {
    const char* name;
    std::int32_t security;
    RestorePointLoad load;
    BOOL result;
    DWORD status;
    bool crash;
    WString text;
  };
  const std::int32_t access_denied = static_cast<std::int32_t>(0x80070005);
  const Case cases[] = {
      {"success", 0, RestorePointLoad::kReady, TRUE, 0, false, u""},
      {"security", access_denied, RestorePointLoad::kReady, TRUE, 0, false,
       u"Failed to initialize COM security: " + SystemErrorText(0x80070005)},
      {"no dll", 0, RestorePointLoad::kNoLibrary, TRUE, 0, false, u"System Restore is not present."},
      {"no function", 0, RestorePointLoad::kNoFunction, TRUE, 0, false, u"SRSetRestorePointW is not present."},
      {"turned off", 0, RestorePointLoad::kReady, FALSE, 1058, false, u"System Restore is turned off."},
      {"other code", 0, RestorePointLoad::kReady, FALSE, 5, false, u"Failed, code 5: " + SystemErrorText(5)},
      {"status 0", 0, RestorePointLoad::kReady, FALSE, 0, false, u"Failed, code 0: " + SystemErrorText(0)},
      {"crash", 0, RestorePointLoad::kReady, TRUE, 0, true, u"Crashed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake.security = c.security;
    fake.load = c.load;
    fake.result = c.result;
    fake.status = c.status;
    fake.crash = c.crash;
    WString error = u"stale";
    RestorePoint one(fake);
    EXPECT_EQ(one.Create(u"Product 1.0", &error), c.text.empty());
    EXPECT_EQ(error, c.text);
    EXPECT_EQ(one.pending(), c.text.empty());
    fake.crash = false;
  }
}

TEST_F(RestorePointTest, BeginAndCommitCarryTheRequestAndTheSequence) {
  fake.sequence = 4711;
  const WString long_text(300, u'd');
  ASSERT_TRUE(point.Create(long_text, nullptr));
  ASSERT_EQ(fake.calls.size(), 1u);
  const RESTOREPOINTINFOW& begin = fake.calls[0];
  EXPECT_EQ(begin.dwEventType, 100u);
  EXPECT_EQ(begin.dwRestorePtType, 0u);
  EXPECT_EQ(begin.llSequenceNumber, 0);
  EXPECT_EQ(WString(reinterpret_cast<const char16_t*>(begin.szDescription)), WString(255, u'd'));

  EXPECT_TRUE(point.Commit());
  ASSERT_EQ(fake.calls.size(), 2u);
  EXPECT_EQ(fake.calls[1].dwEventType, 101u);
  EXPECT_EQ(fake.calls[1].dwRestorePtType, 0u);
  EXPECT_EQ(fake.calls[1].llSequenceNumber, 4711);
  // Committed once: a second commit has nothing to end.
  EXPECT_FALSE(point.Commit());
  EXPECT_EQ(fake.calls.size(), 2u);
}

TEST_F(RestorePointTest, NothingToCommitAfterAFailureAndACrashedCommitFails) {
  fake.result = FALSE;
  fake.status = 1058;
  EXPECT_FALSE(point.Create(u"P", nullptr));
  EXPECT_FALSE(point.Commit());
  EXPECT_EQ(fake.calls.size(), 1u);

  fake.result = TRUE;
  ASSERT_TRUE(point.Create(u"P", nullptr));
  fake.crash = true;
  EXPECT_FALSE(point.Commit());
  EXPECT_FALSE(point.pending());
}

void Nothing(void* context) { *static_cast<int*>(context) = 7; }
void Fault(void*) { Crash(); }
void Divide(void* context) {
  volatile int zero = *static_cast<int*>(context);
  *static_cast<int*>(context) = 10 / zero;
}

TEST(ForeignCallGuard, FaultsBecomeResultsAndTheGuardCanBeUsedAgain) {
  int value = 0;
  std::uint32_t code = 1;
  EXPECT_TRUE(CallGuarded(Nothing, &value, &code));
  EXPECT_EQ(value, 7);
  EXPECT_EQ(code, 0u);
  EXPECT_FALSE(CallGuarded(Fault, nullptr, &code));
  EXPECT_EQ(code, static_cast<std::uint32_t>(EXCEPTION_ACCESS_VIOLATION));
  int zero = 0;
  EXPECT_FALSE(CallGuarded(Divide, &zero, &code));
  EXPECT_EQ(code, static_cast<std::uint32_t>(EXCEPTION_INT_DIVIDE_BY_ZERO));
  value = 0;
  EXPECT_TRUE(CallGuarded(Nothing, &value, &code));
  EXPECT_EQ(value, 7);
}

}  // namespace
}  // namespace ks
