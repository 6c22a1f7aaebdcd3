// The tool's own layers: command line, compression pool, progress bar, build
// date and the all-or-nothing output file.

#include <gtest/gtest.h>
#include <lzma.h>

#include <fstream>
#include <unistd.h>

#include "authoring/build_date.h"
#include "authoring/cli.h"
#include "authoring/compress_pool.h"
#include "authoring/output_file.h"
#include "authoring/progress.h"
#include "core/settings_block.h"
#include "engine/file_data_block.h"

namespace ks::authoring {
namespace {

namespace fs = std::filesystem;

TEST(AuthoringCliTest, ParsesOptionsAndRefusesMistakes) {
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::string error;  // empty = accepted
    std::string manifest = "", output = "", engine = "";
    bool quiet = false, no_date = false;
  } cases[] = {
      {"minimal", {"m.toml", "-o", "s.exe"}, "", "m.toml", "s.exe", "", false, false},
      {"all options", {"--quiet", "m.toml", "--output=s.exe", "--engine", "e.exe", "--no-date"}, "", "m.toml",
       "s.exe", "e.exe", true, true},
      {"engine with equals", {"m.toml", "-o", "s.exe", "--engine=k.exe", "-q"}, "", "m.toml", "s.exe", "k.exe",
       true, false},
      {"no manifest", {"-o", "s.exe"}, "no manifest given"},
      {"no output", {"m.toml"}, "no output given (-o setup.exe)"},
      {"output without value", {"m.toml", "-o"}, "option -o needs a value"},
      {"empty engine", {"m.toml", "-o", "s.exe", "--engine="}, "option --engine needs a non-empty value"},
      {"unknown option", {"m.toml", "-o", "s.exe", "--fast"}, "unknown option --fast"},
      {"two manifests", {"a.toml", "b.toml", "-o", "s.exe"}, "more than one manifest: a.toml and b.toml"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const CliResult r = ParseCommandLine(c.args);
    EXPECT_EQ(r.error, c.error);
    ASSERT_EQ(r.options.has_value(), c.error.empty());
    if (!r.options) continue;
    EXPECT_EQ(r.options->manifest, c.manifest);
    EXPECT_EQ(r.options->output, c.output);
    EXPECT_EQ(r.options->engine, c.engine);
    EXPECT_EQ(r.options->quiet, c.quiet);
    EXPECT_EQ(r.options->no_date, c.no_date);
  }
  EXPECT_TRUE(ParseCommandLine({"--help"}).options->help);
}

TEST(AuthoringCliTest, CommandsTakeTheirOwnOptions) {
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::string error;  // empty = accepted
    Command command = Command::kBuild;
    std::string operand = "", output = "", package_dir = "";
    bool sign = false;
  } cases[] = {
      {"signed build with package manifests", {"m.toml", "-o", "s.exe", "--sign", "--package-manifest=pkg"}, "",
       Command::kBuild, "m.toml", "s.exe", "pkg", true},
      {"check as a signed build", {"check", "m.toml", "--sign", "--package-manifest", "pkg"}, "", Command::kCheck,
       "m.toml", "", "pkg", true},
      {"check needs no output", {"check", "m.toml"}, "", Command::kCheck, "m.toml"},
      {"init writes setup.toml", {"init", "dist"}, "", Command::kInit, "dist", "setup.toml"},
      {"init elsewhere", {"init", "dist", "-o", "../p.toml"}, "", Command::kInit, "dist", "../p.toml"},
      {"check writes nothing", {"check", "m.toml", "-o", "s.exe"}, "option -o does not go with check"},
      {"init does not sign", {"init", "dist", "--sign"}, "option --sign does not go with init"},
      {"init without a folder", {"init"}, "no folder given"},
      {"check without a manifest", {"check"}, "no manifest given"},
      {"two folders", {"init", "a", "b"}, "more than one folder: a and b"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const CliResult r = ParseCommandLine(c.args);
    EXPECT_EQ(r.error, c.error);
    ASSERT_EQ(r.options.has_value(), c.error.empty());
    if (!r.options) continue;
    EXPECT_EQ(r.options->command, c.command);
    EXPECT_EQ(c.command == Command::kInit ? r.options->folder : r.options->manifest, c.operand);
    EXPECT_EQ(r.options->output, c.output);
    EXPECT_EQ(r.options->package_dir, c.package_dir);
    EXPECT_EQ(r.options->sign, c.sign);
  }
}

std::vector<Bytes> SampleChunks() {
  std::vector<Bytes> chunks;
  for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{100000}, std::size_t{300000}}) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>((i * 7) ^ (i >> 9));
    chunks.push_back(std::move(b));
  }
  return chunks;
}

TEST(AuthoringCompressPoolTest, EachChunkDecodesToItsInput) {
  const auto chunks = SampleChunks();
  const CompressResult r = CompressChunks(chunks, {});
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.out.size(), chunks.size());
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    Bytes back;
    ASSERT_TRUE(XzDecode(r.out[i].data(), r.out[i].size(), &back)) << i;
    EXPECT_EQ(back, chunks[i]) << i;
  }
}

// Chunks of x86 code go through the branch filter; the engine's chunk decoder
// undoes it, and each stream's dictionary is no larger than its chunk, so
// decoding a small chunk needs little memory.
TEST(AuthoringCompressPoolTest, FiltersAndDictionaryFitTheEngine) {
  const auto chunks = SampleChunks();
  for (const std::vector<bool>& code : {std::vector<bool>{}, std::vector<bool>{true, true, true, true}}) {
    const CompressResult r = CompressChunks(chunks, {}, {}, code);
    ASSERT_TRUE(r.ok) << r.error;
    ChunkDecoder decoder;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
      ChunkBuffer back;
      ASSERT_TRUE(decoder.Decode(r.out[i].data(), r.out[i].size(), &back, 1 << 20)) << i;
      EXPECT_EQ(Bytes(back.data(), back.data() + back.size()), chunks[i]) << i;
      // Preset 6 asks for 8 MiB; a chunk of 300 kB decodes within 1 MiB.
      lzma_stream s = LZMA_STREAM_INIT;
      ASSERT_EQ(lzma_stream_decoder(&s, 1 << 20, 0), LZMA_OK);
      Bytes out(chunks[i].size() + 1);
      s.next_in = r.out[i].data();
      s.avail_in = r.out[i].size();
      s.next_out = out.data();
      s.avail_out = out.size();
      EXPECT_EQ(lzma_code(&s, LZMA_FINISH), LZMA_STREAM_END) << i;
      lzma_end(&s);
    }
    // The filter changes the stored bytes of code chunks.
    if (!code.empty()) {
      EXPECT_NE(r.out[3], CompressChunks(chunks, {}).out[3]);
    }
  }
  EXPECT_EQ(DictionaryFor(0, 8 << 20), static_cast<std::uint32_t>(LZMA_DICT_SIZE_MIN));
  EXPECT_EQ(DictionaryFor(300000, 8 << 20), 300000u);
  EXPECT_EQ(DictionaryFor(64 << 20, 8 << 20), 8u << 20);
}

TEST(AuthoringCompressPoolTest, OutputDoesNotDependOnTheThreadCount) {
  const auto chunks = SampleChunks();
  CompressOptions one, four;
  one.threads = 1;
  four.threads = 4;
  EXPECT_EQ(CompressChunks(chunks, one).out, CompressChunks(chunks, four).out);
}

TEST(AuthoringCompressPoolTest, ProgressRisesToTheTotal) {
  const auto chunks = SampleChunks();
  std::uint64_t last = 0, total_seen = 0;
  bool monotonic = true;
  CompressOptions options;
  options.threads = 3;
  const CompressResult r = CompressChunks(chunks, options, [&](std::uint64_t done, std::uint64_t total) {
    monotonic = monotonic && done >= last;
    last = done;
    total_seen = total;
  });
  ASSERT_TRUE(r.ok);
  EXPECT_TRUE(monotonic);
  EXPECT_EQ(total_seen, 400001u);
  EXPECT_EQ(last, 400001u);
}

TEST(AuthoringCompressPoolTest, ABadPresetFailsWithTheEncoderError) {
  CompressOptions bad;
  bad.preset = 42;
  const CompressResult r = CompressChunks(SampleChunks(), bad);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error.rfind("chunk ", 0), 0u) << r.error;
  EXPECT_TRUE(r.out.empty());
}

TEST(AuthoringProgressTest, RendersPercentBarAndSize) {
  const struct {
    std::uint64_t done, total;
    const char* expected;
  } cases[] = {
      {0, 100, "Packing [..........]   0%  0 B"},
      {50, 100, "Packing [#####.....]  50%  50 B"},
      {3 * 1024 * 1024, 4 * 1024 * 1024, "Packing [#######...]  75%  3.0 MiB"},
      {2048, 2048, "Packing [##########] 100%  2.0 KiB"},
      {0, 0, "Packing [##########] 100%  0 B"},
  };
  for (const auto& c : cases) EXPECT_EQ(RenderProgress("Packing", c.done, c.total, 10), c.expected);
}

TEST(AuthoringProgressTest, QuietDrawsNothingAndAFileGetsTenthsOnly) {
  const fs::path path = fs::temp_directory_path() / ("ks-progress-" + std::to_string(getpid()));
  std::FILE* f = std::fopen(path.c_str(), "w+");
  ASSERT_NE(f, nullptr);
  {
    ProgressBar bar(f, false, "X");
    for (std::uint64_t i = 0; i <= 1000; ++i) bar.Update(i, 1000);
    bar.Finish();
  }
  std::fclose(f);
  std::ifstream in(path);
  int lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  EXPECT_EQ(lines, 11);  // 0 %, 10 % ... 90 %, then the final 100 %
  fs::remove(path);
  ProgressBar quiet = ProgressBar::ForStderr(true, "X");
  quiet.Update(1, 2);  // must not touch stderr (nothing to assert beyond not crashing)
  quiet.Finish();
}

TEST(AuthoringBuildDateTest, UnixSecondsBecomeUtcSystemTime) {
  const struct {
    std::int64_t seconds;
    SystemTime expected;
  } cases[] = {
      {0, {1970, 1, 4, 1, 0, 0, 0, 0}},
      {951782400, {2000, 2, 2, 29, 0, 0, 0, 0}},
      {1700000000, {2023, 11, 2, 14, 22, 13, 20, 0}},
      {253402300799, {9999, 12, 5, 31, 23, 59, 59, 0}},
  };
  for (const auto& c : cases) {
    const SystemTime t = FromUnixSeconds(c.seconds);
    SCOPED_TRACE(c.seconds);
    EXPECT_EQ(t.year, c.expected.year);
    EXPECT_EQ(t.month, c.expected.month);
    EXPECT_EQ(t.day_of_week, c.expected.day_of_week);
    EXPECT_EQ(t.day, c.expected.day);
    EXPECT_EQ(t.hour, c.expected.hour);
    EXPECT_EQ(t.minute, c.expected.minute);
    EXPECT_EQ(t.second, c.expected.second);
  }
}

TEST(AuthoringBuildDateTest, SourceDateEpochPinsTheDateAndMalformedValuesFail) {
  EXPECT_FALSE(ChooseBuildDate(true, "100", 5).date) << "--no-date wins";
  EXPECT_EQ(ChooseBuildDate(false, "86400", 5).date->day, 2);
  EXPECT_EQ(ChooseBuildDate(false, nullptr, 86400 * 31).date->month, 2) << "the clock without the variable";
  for (const char* bad : {"", "-1", "12a", "1e9", "253402300800", "9999999999999"}) {
    SCOPED_TRACE(bad);
    const BuildDateResult r = ChooseBuildDate(false, bad, 5);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, std::string("SOURCE_DATE_EPOCH: expected decimal seconds since 1970-01-01 UTC (up to "
                                   "the year 9999), found \"") + bad + "\"");
  }
}

TEST(AuthoringBuildDateTest, DateRecordIsTwentyFourBytes) {
  EXPECT_EQ(DateRecord(std::nullopt), Bytes(24, 0));
  const Bytes r = DateRecord(FromUnixSeconds(0));
  ASSERT_EQ(r.size(), 24u);
  EXPECT_EQ(r[0] | (r[1] << 8), 1970);
  EXPECT_EQ(r[6], 1);  // day of the month
  EXPECT_EQ(Bytes(r.begin() + 16, r.end()), Bytes(8, 0));
}

TEST(AuthoringOutputFileTest, WritesAllOrNothing) {
  const fs::path dir = fs::temp_directory_path() / ("ks-out-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const fs::path target = dir / "setup.exe";
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(target, Bytes{1, 2, 3}, error)) << error;
  EXPECT_EQ(fs::file_size(target), 3u);
  EXPECT_FALSE(fs::exists(TemporaryPathFor(target)));
  // A target that cannot be replaced (a non-empty folder of that name) keeps nothing behind.
  const fs::path blocked = dir / "blocked.exe";
  fs::create_directories(blocked / "inside");
  EXPECT_FALSE(WriteFileAtomically(blocked, Bytes{9}, error));
  EXPECT_NE(error.find("cannot rename"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(TemporaryPathFor(blocked)));
  EXPECT_FALSE(WriteFileAtomically(dir / "missing" / "setup.exe", Bytes{9}, error));
  EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
  fs::remove_all(dir);
}

}  // namespace
}  // namespace ks::authoring
