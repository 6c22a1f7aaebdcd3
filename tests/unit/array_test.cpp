#include "lib/array.h"

#include <gtest/gtest.h>

#include <string>

#include "lib/fatal.h"

namespace ks {
namespace {

// The hook may not return into the failed access, so the test hook leaves
// through an exception that only this test throws and catches.
struct Raised {
  NString text;
};
void ThrowingHook(NStringView text) { throw Raised{NString(text)}; }

class ArrayTest : public ::testing::Test {
 protected:
  void SetUp() override { previous_ = SetCrashHook(&ThrowingHook); }
  void TearDown() override { SetCrashHook(previous_); }

  template <class F>
  static NString RaisedText(F f) {
    try {
      f();
    } catch (const Raised& r) {
      return r.text;
    }
    return "(nothing raised)";
  }

 private:
  FatalHook previous_ = nullptr;
};

TEST_F(ArrayTest, GrowsAndReadsInRange) {
  Array<int> a{1, 2};
  a.push_back(3);
  a.emplace_back(4);
  ASSERT_EQ(a.size(), 4u);
  EXPECT_EQ(a[0], 1);
  EXPECT_EQ(a[3], 4);
  EXPECT_EQ(a.back(), 4);
  a[1] = 20;
  a.erase_at(0);
  EXPECT_EQ(a, (Array<int>{20, 3, 4}));
  int sum = 0;
  for (int x : a) sum += x;
  EXPECT_EQ(sum, 27);
  a.pop_back();
  EXPECT_EQ(a.size(), 2u);
}

TEST_F(ArrayTest, OutOfRangeRaisesTheBoundsError) {
  Array<int> ints{1, 2, 3};
  const Array<std::u16string> empty;
  Array<double> doubles;
  const struct {
    const char* name;
    NString text;
    const char* expected;
  } cases[] = {
      {"one past the end", RaisedText([&] { (void)ints[3]; }), "Vector<int>[3]\r\nmax_index = 2"},
      {"far past the end", RaisedText([&] { ints[100] = 0; }), "Vector<int>[100]\r\nmax_index = 2"},
      {"index computed as -1", RaisedText([&] { (void)ints[static_cast<size_t>(-1)]; }),
       "Vector<int>[-1]\r\nmax_index = 2"},
      {"back of empty", RaisedText([&] { (void)doubles.back(); }),
       "Vector<double>[-1]\r\nmax_index = -1"},
      {"pop of empty", RaisedText([&] { doubles.pop_back(); }),
       "Vector<double>[-1]\r\nmax_index = -1"},
      {"erase past end", RaisedText([&] { ints.erase_at(3); }), "Vector<int>[3]\r\nmax_index = 2"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.text, c.expected) << c.name;

  const NString text = RaisedText([&] { (void)empty[0]; });
  EXPECT_EQ(text.rfind("Vector<", 0), 0u) << text;
  EXPECT_NE(text.find("char16_t"), NString::npos) << text;
  EXPECT_NE(text.find(">[0]\r\nmax_index = -1"), NString::npos) << text;
  EXPECT_EQ(ints.size(), 3u);  // nothing was changed by the failed calls
}

}  // namespace
}  // namespace ks
