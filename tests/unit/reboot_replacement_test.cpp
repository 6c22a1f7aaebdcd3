#include "engine/reboot_replacement.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace ks {
namespace {

TEST(TempFileName, PatternsWithAndWithoutExtension) {
  EXPECT_EQ(TempFileName(0x1A, u"", false), u"LKT001A.tmp");
  EXPECT_EQ(TempFileName(0xBEEF, u"", false), u"LKTBEEF.tmp");
  EXPECT_EQ(TempFileName(0x1A, u"dll", true), u"LKT  1A.dll");
  EXPECT_EQ(TempFileName(0x0, u".bat", true), u"LKT   0.bat");
}

TEST(TempNameGenerator, XorshiftStepsAndSixteenBitNumbers) {
  TempNameGenerator gen(1);
  // First step by hand: 1 ^ (1 >> 12) = 1; 1 ^ (1 << 25) = 0x2000001; ^ (>> 27) unchanged.
  EXPECT_EQ(gen.Next(), static_cast<std::uint16_t>(0x2000001u * 0xDD1Du));
  std::set<std::uint16_t> seen;
  for (int i = 0; i < 1000; ++i) seen.insert(gen.Next());
  EXPECT_GT(seen.size(), 900u);  // numbers spread, so 400 attempts find a free name
}

// A scratch file system: folders that can or cannot be made, files that exist.
struct FakeFs {
  std::set<WString> files;
  std::set<WString> folders_denied;   // creation of files here is denied
  bool system_name_works = false;
  int create_calls = 0;
  std::vector<WString> folders_created;

  TempNameSystem System() {
    TempNameSystem s;
    s.create_folder = [this](const WString& f) {
      folders_created.push_back(f);
      return f != u"Z:\\nope";
    };
    s.exists = [this](const WString& p) { return files.count(p) != 0; };
    s.create_exclusive = [this](const WString& p) {
      ++create_calls;
      const WString folder = p.substr(0, p.rfind(u'\\'));
      if (folders_denied.count(folder)) return kFileAccessDenied;
      files.insert(p);
      return kFileSuccess;
    };
    s.temp_folder = [] { return WString(u"C:\\Tmp"); };
    s.system_temp_name = [this](const WString& f) {
      return system_name_works ? f + u"\\LKT1.tmp" : WString();
    };
    return s;
  }
};

TEST(MakeTempName, SystemNameFirstThenGeneratedNames) {
  FakeFs fs;
  fs.system_name_works = true;
  TempNameSystem sys = fs.System();
  TempNameGenerator gen(7);
  EXPECT_EQ(MakeTempNameWith(u"D:\\App", u"", sys, gen), u"D:\\App\\LKT1.tmp");
  // With an extension the system's name is not used.
  const WString named = MakeTempNameWith(u"D:\\App", u".dll", sys, gen);
  EXPECT_EQ(named.rfind(u"D:\\App\\LKT", 0), 0u);
  EXPECT_EQ(named.substr(named.size() - 4), u".dll");
  EXPECT_EQ(fs.files.count(named), 1u);
}

TEST(MakeTempName, SkipsTakenNamesAndFallsBackOnEmptyFolder) {
  FakeFs fs;
  TempNameSystem sys = fs.System();
  TempNameGenerator probe(3);
  const WString first = u"C:\\Tmp\\" + TempFileName(probe.Next(), u"", false);
  const WString second = u"C:\\Tmp\\" + TempFileName(probe.Next(), u"", false);
  fs.files.insert(first);
  TempNameGenerator gen(3);
  EXPECT_EQ(MakeTempNameWith(u"", u"", sys, gen), second);
  EXPECT_EQ(fs.create_calls, 1);
}

TEST(MakeTempName, GivesUpOnUncreatableFolderAndRepeatedDenial) {
  FakeFs fs;
  TempNameSystem sys = fs.System();
  TempNameGenerator gen(5);
  EXPECT_EQ(MakeTempNameWith(u"Z:\\nope", u"", sys, gen), u"");
  fs.folders_denied.insert(u"D:\\Locked");
  EXPECT_EQ(MakeTempNameWith(u"D:\\Locked", u"", sys, gen), u"");
  EXPECT_EQ(fs.create_calls, kTempNameDeniedLimit + 1);
}

TEST(MakeTempName, MovesToTheTemporaryFolderAndThenCTemp) {
  FakeFs fs;
  TempNameSystem sys = fs.System();
  // Every name in the first folder exists: attempt 200 moves on.
  sys.exists = [](const WString& p) { return p.rfind(u"D:\\Full\\", 0) == 0 || p.rfind(u"C:\\Tmp\\", 0) == 0; };
  TempNameGenerator gen(11);
  const WString path = MakeTempNameWith(u"D:\\Full", u"", sys, gen);
  EXPECT_EQ(path.rfind(u"c:\\temp\\LKT", 0), 0u) << WideToUtf8(path);
  EXPECT_EQ(fs.folders_created.back(), u"c:\\temp");
  sys.exists = [](const WString&) { return true; };
  EXPECT_EQ(MakeTempNameWith(u"D:\\Full", u"", sys, gen), u"");
}

TEST(AddWininitRename, NewSectionOrDirectlyUnderTheExistingOne) {
  struct Case {
    const char* ini;
    const char* expected;
  };
  const Case cases[] = {
      {"", "[rename]\r\nC:\\APP.EXE=C:\\LKT1.TMP"},
      {"[boot]\r\nx=1", "[boot]\r\nx=1\r\n[rename]\r\nC:\\APP.EXE=C:\\LKT1.TMP"},
      {"[boot]\r\n", "[boot]\r\n[rename]\r\nC:\\APP.EXE=C:\\LKT1.TMP"},
      {"[Rename]\r\nNUL=C:\\OLD.TXT\r\n", "[Rename]\r\nC:\\APP.EXE=C:\\LKT1.TMP\r\nNUL=C:\\OLD.TXT\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(AddWininitRename(c.ini, "C:\\APP.EXE", "C:\\LKT1.TMP"), c.expected) << c.ini;
}

}  // namespace
}  // namespace ks
