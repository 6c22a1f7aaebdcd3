#include "lib/fatal.h"

#include <gtest/gtest.h>

namespace ks {
namespace {

struct Raised {
  const char* hook;
  NString text;
};
void ThrowingFatal(NStringView text) { throw Raised{"fatal", NString(text)}; }
void ThrowingCrash(NStringView text) { throw Raised{"crash", NString(text)}; }
void ReturningHook(NStringView text) {
  fprintf(stderr, "hook saw: %.*s\n", static_cast<int>(text.size()), text.data());
}

class FatalTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetFatalErrorHook(nullptr);
    SetCrashHook(nullptr);
  }

  template <class F>
  static Raised Catch(F f) {
    try {
      f();
    } catch (const Raised& r) {
      return r;
    }
    return {"none", ""};
  }
};

TEST_F(FatalTest, InternalErrorsReachTheCrashHook) {
  SetFatalErrorHook(&ThrowingFatal);
  SetCrashHook(&ThrowingCrash);
  const struct {
    const char* name;
    Raised raised;
    const char* hook;
    const char* text;
  } cases[] = {
      {"internal", Catch([] { RaiseInternalErrorAt("archive.cpp", 120); }), "crash",
       "Internal Fatal Error\r\nModule: archive.cpp\r\nLine: 120"},
      {"bounds", Catch([] { RaiseBoundsError("String", 5, 4); }), "crash",
       "Vector<String>[5]\r\nmax_index = 4"},
      {"memory", Catch([] { RaiseOutOfMemory(1048576); }), "crash", "Out Of Memory\r\nSize: 1048576"},
      {"fatal error", Catch([] { RaiseFatalError("Failed to open required file:"); }), "fatal",
       "Failed to open required file:"},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(c.raised.hook, c.hook) << c.name;
    EXPECT_EQ(c.raised.text, c.text) << c.name;
  }
  EXPECT_TRUE(OutOfMemoryOccurred());
}

TEST_F(FatalTest, DefaultCrashHookPassesTheTextToTheFatalErrorHook) {
  SetFatalErrorHook(&ThrowingFatal);
  const Raised r = Catch([] { RaiseBoundsError("int", 1, 0); });
  EXPECT_STREQ(r.hook, "fatal");
  EXPECT_EQ(r.text, "Vector<int>[1]\r\nmax_index = 0");
}

TEST_F(FatalTest, InstallingReturnsThePreviousHookAndNullRestoresTheDefault) {
  const FatalHook default_crash = SetCrashHook(&ThrowingCrash);
  EXPECT_NE(default_crash, nullptr);
  EXPECT_NE(default_crash, &ThrowingCrash);
  EXPECT_EQ(SetCrashHook(nullptr), &ThrowingCrash);
  EXPECT_EQ(SetCrashHook(nullptr), default_crash);

  const FatalHook default_fatal = SetFatalErrorHook(&ThrowingFatal);
  EXPECT_EQ(SetFatalErrorHook(nullptr), &ThrowingFatal);
  EXPECT_EQ(SetFatalErrorHook(nullptr), default_fatal);
}

TEST(FatalDeathTest, ProcessAbortsWhenAHookReturns) {
  EXPECT_DEATH(
      {
        SetCrashHook(&ReturningHook);
        RaiseInternalErrorAt("x.cpp", 7);
      },
      "hook saw: Internal Fatal Error");
  EXPECT_DEATH(
      {
        SetFatalErrorHook(&ReturningHook);
        RaiseFatalError("stop");
      },
      "hook saw: stop");
}

}  // namespace
}  // namespace ks
