// Copies of the archive_probe tool carrying archives written by the builder:
// the probe reads its own ".setup" section as the installer does, through the
// mapped image, and reports the outcome as its exit code.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "core/archive_builder.h"
#include "core/win/archive_open.h"
#include "core/win/reports.h"
#include "lib/win/system_library.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

constexpr DWORD kCorrupt = 10000;

std::wstring Wide(const WString& s) { return std::wstring(W(s)); }

std::wstring OwnDirectory() {
  const std::wstring self = Wide(ModuleFileName(nullptr));
  return self.substr(0, self.find_last_of(L'\\') + 1);
}

Bytes ReadAll(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteAll(const std::wstring& path, const Bytes& bytes) {
  std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

DWORD RunProgram(const std::wstring& exe, const std::wstring& args) {
  std::wstring command = L"\"" + exe + L"\" " + args;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return 0xFFFFFFFF;
  ::WaitForSingleObject(pi.hProcess, 60000);
  DWORD code = 0xFFFFFFFE;
  ::GetExitCodeProcess(pi.hProcess, &code);
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  return code;
}

class ArchiveOpen : public ::testing::Test {
 protected:
  void SetUp() override {
    probe_ = OwnDirectory() + L"archive_probe.exe";
    engine_ = ReadAll(probe_);
    ASSERT_FALSE(engine_.empty()) << "archive_probe.exe must lie beside the tests";
    wchar_t temp[MAX_PATH + 1];
    ASSERT_NE(::GetTempPathW(MAX_PATH + 1, temp), 0u);
    dir_ = std::wstring(temp) + L"ks_archive_open_" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
    ::CreateDirectoryW(dir_.c_str(), nullptr);
  }
  void TearDown() override {
    for (const std::wstring& f : written_) ::DeleteFileW(f.c_str());
    ::RemoveDirectoryW(dir_.c_str());
  }

  // Builds a copy of the probe with the archive and runs it.
  DWORD RunWith(const ArchiveSpec& plan, int mode, const std::wstring& image = L"",
                bool installer = false) {
    return RunBuilt(engine_, plan, mode, image, installer);
  }

  // The same with another engine (the probe with bytes appended).
  DWORD RunBuilt(const Bytes& engine, const ArchiveSpec& plan, int mode, const std::wstring& image,
                 bool installer = false) {
    Bytes exe;
    std::string error;
    if (!BuildSetupExecutable(engine, plan, &exe, &error)) {
      ADD_FAILURE() << error;
      return 0xFFFFFFFF;
    }
    const std::wstring path = dir_ + L"setup" + std::to_wstring(written_.size()) + L".exe";
    written_.push_back(path);
    if (!WriteAll(path, exe)) return 0xFFFFFFFD;
    std::wstring args = std::wstring(installer ? L"--installer " : L"") + std::to_wstring(mode) +
                        (plan.file_data_outside ? L" 1" : L" 0");
    if (!image.empty()) args += L" \"" + image + L"\"";
    return RunProgram(path, args);
  }

  std::wstring probe_, dir_;
  Bytes engine_;
  std::vector<std::wstring> written_;
};

ArchiveSpec Valid() {
  ArchiveSpec plan;
  plan.settings = Bytes(1000, 0x61);
  plan.settings[0] = 7;
  plan.file_data = Bytes(5000, 0x42);
  plan.per_file_values = {5000};
  return plan;
}

TEST_F(ArchiveOpen, ProbeWithoutSectionFindsNoData) { EXPECT_EQ(RunProgram(probe_, L"0 0"), 2u); }

struct Case {
  const char* what;
  std::function<void(ArchiveSpec&)> change;
  int mode;
  DWORD expected;
};

TEST_F(ArchiveOpen, ReadsAndRefusesThroughTheMappedImage) {
  const Case cases[] = {
      {"scrambled", [](ArchiveSpec&) {}, 0, 0},
      {"enciphered, engine check", [](ArchiveSpec& s) { s.flags = kArchiveEnciphered; }, 1, 0},
      {"file data outside", [](ArchiveSpec& s) { s.file_data_outside = true; }, 1, 0},
      {"wrong magic", [](ArchiveSpec& s) { s.magic ^= 1; }, 0, kCorrupt + 20},
      {"other version", [](ArchiveSpec& s) { s.version = "45.0"; }, 0, 3},
      {"settings size 0", [](ArchiveSpec& s) { s.settings_size = 0; }, 0, kCorrupt + 22},
      {"settings check", [](ArchiveSpec& s) { s.settings_check = 0x1234; }, 0, kCorrupt + 25},
      {"engine check", [](ArchiveSpec& s) { s.engine_check = 1; }, 1, kCorrupt + 40},
      {"engine check unused in mode 0", [](ArchiveSpec& s) { s.engine_check = 1; }, 0, 0},
      {"file data size", [](ArchiveSpec& s) { s.file_data_size = 4999; }, 0, kCorrupt + 46},
      {"file data check", [](ArchiveSpec& s) { s.file_data_check = 1; }, 0, kCorrupt + 55},
      {"outside data cut short",
       [](ArchiveSpec& s) {
         s.file_data_outside = true;
         s.cut_short = 1;
       },
       0, kCorrupt + 46},
  };
  for (const Case& c : cases) {
    ArchiveSpec plan = Valid();
    c.change(plan);
    EXPECT_EQ(RunWith(plan, c.mode), c.expected) << c.what;
  }
}

TEST_F(ArchiveOpen, BrokenStreamIsRefused) {
  ArchiveSpec plan = Valid();
  plan.break_stream = true;
  const DWORD code = RunWith(plan, 0);
  EXPECT_TRUE(code == kCorrupt + 47 || code == kCorrupt + 25) << code;
}

TEST_F(ArchiveOpen, UnsignedProgramFailsTheSignatureCheck) {
  EXPECT_EQ(RunWith(Valid(), 2), kCorrupt + 1001);
}

// The build under test, from the probe's machine field.
std::string BuildName(const Bytes& exe) {
  if (exe.size() < 0x40) return "none";
  const std::size_t pe = exe[0x3C] | (exe[0x3D] << 8);
  if (exe.size() < pe + 6) return "none";
  switch (exe[pe + 4] | (exe[pe + 5] << 8)) {
    case IMAGE_FILE_MACHINE_I386: return "i686";
    case IMAGE_FILE_MACHINE_AMD64: return "x86_64";
    default: return "other";
  }
}

#if defined(__i386__)
constexpr char kThisBuild[] = "i686";
#else
constexpr char kThisBuild[] = "x86_64";
#endif

std::size_t FirstDifference(const Bytes& a, const Bytes& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return i;
  return a.size() == b.size() ? std::string::npos : n;
}

// The image is the setup file in front of its archive with the engine's own
// headers back: the engine as it was, then the zeros with which the builder
// moved the archive to the next page boundary (a page, not the 512-byte file
// alignment). How many zeros the probe as linked gets depends on its length,
// which differs per build (and a probe that ends in the last 512 bytes of a
// page cannot tell a page from a file alignment), so appended bytes give
// every build the same cases: ending one byte past a page (the longest
// padding) and on a page (none).
TEST_F(ArchiveOpen, EngineImageIsTheProgramWithoutItsArchive) {
  constexpr std::size_t kPage = 4096;
  SCOPED_TRACE("engine build " + BuildName(engine_) + ", archive_probe.exe of " +
               std::to_string(engine_.size()) + " bytes");
  ASSERT_EQ(BuildName(engine_), kThisBuild) << "the probe must come from this suite's build";
  const std::size_t in_page = engine_.size() % kPage;
  const struct {
    const char* what;
    std::size_t appended;
  } cases[] = {
      {"as linked", 0},
      {"one byte past a page", (kPage + 1 - in_page) % kPage},
      {"on a page", (kPage - in_page) % kPage},
  };
  ArchiveSpec plan = Valid();
  plan.flags = kArchiveBuildEngineImage;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes engine = engine_;
    engine.resize(engine.size() + c.appended, 0xCC);
    const std::wstring image = dir_ + L"image" + std::to_wstring(written_.size()) + L".exe";
    written_.push_back(image);
    ASSERT_EQ(RunBuilt(engine, plan, 0, image), 0u);
    Bytes expected = engine;
    expected.resize((engine.size() + kPage - 1) / kPage * kPage, 0);
    const Bytes got = ReadAll(image);
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_EQ(FirstDifference(got, expected), std::string::npos) << "first differing byte";
    // And the image runs: it is the probe again, without data.
    EXPECT_EQ(RunProgram(image, L"0 0"), 2u);
  }
}

// The installer's own calls end the process: exit code 2 through
// ReportCorrupt, -1 through FatalError (silent, so no box waits for a click).
TEST_F(ArchiveOpen, InstallerCallsEndTheProcess) {
  const Case cases[] = {
      {"valid", [](ArchiveSpec&) {}, 1, 0},
      {"wrong magic", [](ArchiveSpec& s) { s.magic ^= 1; }, 0, 2},
      {"other version", [](ArchiveSpec& s) { s.version = "45.0"; }, 0, 0xFFFFFFFF},
      {"settings check", [](ArchiveSpec& s) { s.settings_check = 0x1234; }, 0, 2},
      {"engine check", [](ArchiveSpec& s) { s.engine_check = 1; }, 1, 2},
      {"unsigned", [](ArchiveSpec&) {}, 2, 2},
      {"file data check", [](ArchiveSpec& s) { s.file_data_check = 1; }, 0, 2},
  };
  for (const Case& c : cases) {
    ArchiveSpec plan = Valid();
    c.change(plan);
    EXPECT_EQ(RunWith(plan, c.mode, L"", true), c.expected) << c.what;
  }
  EXPECT_EQ(RunProgram(probe_, L"--installer 0 0"), 0xFFFFFFFFu);  // no section
}

TEST(ArchiveTexts, FatalAndCorruptMessages) {
  EXPECT_EQ(VersionMismatchText("45.0"),
            "The installer version (46.0) does not match the version of Kestrelon Setup (45.0).  "
            "Close all applications and reinstall Kestrelon Setup.");
  const NString cannot_open = CannotOpenSelfText(u"C:\\setup.exe", ERROR_ACCESS_DENIED);
  EXPECT_EQ(cannot_open.rfind("Error code 1: The installer could not open itself.\r\nFilename: C:\\setup.exe\r\n"
                              "Error #5: ",
                              0),
            0u);
  const WString corrupt = CorruptReportText(LocalizedTexts(), 25, 0);
  EXPECT_EQ(corrupt.substr(corrupt.size() - 18), u"\r\n\r\nError code: 25");
  const WString with_error = CorruptReportText(LocalizedTexts(), 1001, ERROR_ACCESS_DENIED);
  EXPECT_NE(with_error.find(u"Error code: 1001\r\nSystem error, code 5: "), WString::npos);
}

}  // namespace
}  // namespace ks
