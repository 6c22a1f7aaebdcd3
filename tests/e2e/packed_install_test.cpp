// A product packed by the authoring tool with compressed file data, its files
// a mix of random bytes (which the tool stores in chunks of their own) and
// text (which it compresses), installs every file byte for byte; plain and
// with the archive enciphered.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "harness/driver.h"
#include "harness/native.h"
#include "harness/wine.h"

namespace ks::e2e {
namespace {

std::string Random(std::size_t size, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(size, '\0');
  for (char& c : s) c = static_cast<char>(rng() >> 24);
  return s;
}

std::string Text(std::size_t size, std::uint32_t seed) {
  static const char* const kWords[] = {"install ", "the ", "file ", "window ", "size ", "\r\n", "value ", "of "};
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < size) s += kWords[rng() % 8];
  s.resize(size);
  return s;
}

class PackedInstall : public WineTestWithParam<bool> {};

TEST_P(PackedInstall, StoredAndCompressedChunksInstallEveryFile) {
  const bool encipher = GetParam();
  const std::string folder = ScratchFolder();
  const std::string app = folder + "\\App";
  // In 64 KiB chunks: the large random file fills chunks of its own, the
  // small ones share chunks with text.
  const struct {
    const char* name;
    std::string data;
  } files[] = {
      {"docs\\manual.txt", Text(150000, 1)},
      {"media\\intro.vid", Random(700000, 2)},
      {"media\\logo.png", Random(20000, 3)},
      {"media\\notes.txt", Text(30000, 4)},
      {"readme.txt", Text(500, 5)},
  };
  for (const auto& f : files) ASSERT_TRUE(WritePrefixFile(folder + "\\files\\" + f.name, f.data));
  std::string install_path = app;
  for (std::size_t at = 0; (at = install_path.find('\\', at)) != std::string::npos; at += 2) {
    install_path.insert(at, "\\");
  }
  ASSERT_TRUE(WritePrefixFile(folder + "\\setup.toml",
                              "file_chunk_size = 65536\n"
                              "[product]\nname = \"" + UniqueName("Packed") + "\"\nversion = \"1.0\"\n" +
                                  "install_path = \"" + install_path + "\"\n" +
                                  "[flags]\ncompressed_file_data = true\n" +
                                  "[archive]\nencipher = " + (encipher ? "true" : "false") + "\n" +
                                  "[[file]]\nsource = \"files\"\n"));
  const NativeResult tool = RunNative({AuthoringToolPath(), LinuxPath(folder + "\\setup.toml"), "-o",
                                       LinuxPath(folder + "\\setup.exe"), "-q", "--engine", EngineLinuxPath()});
  ASSERT_EQ(tool.status, 0) << tool.out;

  DriverOptions options;
  options.timeout_seconds = 90;
  const DriverRun run = RunProgram(folder + "\\setup.exe", {"/silent"}, options);
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output;
  for (const auto& f : files) {
    const auto placed = ReadPrefixFile(app + "\\" + f.name);
    ASSERT_TRUE(placed) << f.name;
    EXPECT_TRUE(*placed == f.data) << f.name << " differs (" << placed->size() << " bytes)";
  }
}

INSTANTIATE_TEST_SUITE_P(Archives, PackedInstall, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& p) { return p.param ? "Enciphered" : "Scrambled"; });

}  // namespace
}  // namespace ks::e2e
