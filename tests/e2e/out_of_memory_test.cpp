// A file record of 1 GiB, the largest the format allows, placed by both
// builds. Its data is written piece by piece as the chunks are decoded, in
// memory far below its size. A record whose fields in front of the data are
// too long to read them apart from it (here its shortcut arguments, which a
// plain file does not use) is read whole: one buffer of the record's size,
// which even the 32-bit process holds (the buffer is reserved once at the
// item's size instead of growing by doubling). Either way the run ends with
// 0 and the file is whole; an allocation that fails is the entry's concern
// (tests/win/entry_test.cpp).
//
// The record is zeros, so the chunks are built from two compressed pieces
// instead of compressing a gigabyte for the test.

#include <gtest/gtest.h>

#include <zlib.h>

#include <filesystem>
#include <string>

#include "core/archive_builder.h"
#include "core/install_settings.h"
#include "engine/file_data_block.h"
#include "engine/file_records.h"
#include "harness/driver.h"
#include "harness/installer.h"
#include "harness/wine.h"

namespace ks::e2e {
namespace {

constexpr std::size_t kChunk = 16u << 20;
constexpr std::size_t kRecordData = std::size_t{kMaxRecordDataSize};
constexpr ProductFlags kCompressed = 0x20;
constexpr ProductFlags kAlwaysWriteLog = 0x40;

Bytes U32(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
          static_cast<std::uint8_t>(v >> 24)};
}

std::uint32_t ZerosCrc(std::size_t size) {
  const Bytes zeros(kChunk, 0);
  uLong crc = crc32(0, nullptr, 0);
  for (std::size_t done = 0; done < size; done += kChunk)
    crc = crc32(crc, zeros.data(), static_cast<uInt>(std::min(kChunk, size - done)));
  return static_cast<std::uint32_t>(crc);
}

// The block of one record `header` + `size` zeros, cut into chunks of kChunk
// stream bytes: the record stream is its length, the item and the data's CRC.
Bytes ZeroRecordBlock(const Bytes& header, std::size_t size) {
  Bytes stream_head = U32(static_cast<std::uint32_t>(header.size() + size + 4));
  stream_head.insert(stream_head.end(), header.begin(), header.end());
  const std::size_t total = stream_head.size() + size + 4;
  ChunkCoding coding;
  coding.compressed = true;
  Bytes block;
  auto add = [&block](const Bytes& chunk) { block.insert(block.end(), chunk.begin(), chunk.end()); };
  Bytes first = stream_head;
  first.resize(kChunk, 0);
  add(EncodeChunk(first, coding));
  const Bytes middle = EncodeChunk(Bytes(kChunk, 0), coding);
  std::size_t done = kChunk;
  for (; total - done > kChunk; done += kChunk) add(middle);
  Bytes last(total - done - 4, 0);
  const Bytes crc = U32(ZerosCrc(size));
  last.insert(last.end(), crc.begin(), crc.end());
  add(EncodeChunk(last, coding));
  return block;
}

class HugeRecord : public WineTest {
 protected:
  DriverRun Install(bool read_whole, const std::string& dir);
};

DriverRun HugeRecord::Install(bool read_whole, const std::string& dir) {
  InstallSettings s;
  s.product_name = Widen(UniqueName("Huge"));
  s.install_path = Widen(dir);
  s.product_flags = kCompressed | kAlwaysWriteLog;
  SettingsWriter writer;
  EXPECT_TRUE(WriteInstallSettings(s, LocalizedTexts({u"English"}, {{u"title"}}), 0, writer));
  ArchiveSpec plan;
  plan.settings = writer.Take();
  FileRecord record;
  record.name = "huge.bin";
  if (read_whole) record.arguments = NString(kRecordHeadPrefix + 1000, 'a');
  const Bytes encoded = EncodeFileRecord(record, Bytes());
  const Bytes header(encoded.begin(), encoded.end() - 4);  // without the empty data's CRC
  plan.per_file_values = {static_cast<std::int32_t>(kRecordData)};
  plan.file_data = ZeroRecordBlock(header, kRecordData);
  InstallerSpec recipe;
  recipe.archive = plan;
  recipe.raw_settings = plan.settings;
  const std::string installer = MakeInstaller(recipe);
  if (installer.empty()) return DriverRun();
  DriverOptions options;
  options.timeout_seconds = 240;
  return RunProgram(installer, {"/silent"}, options);
}

// The run ended with 0 and left the whole file (removed again: it is large).
void ExpectPlaced(const DriverRun& run, const std::string& dir) {
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output << ReadPrefixFile(dir + "\\Install.log").value_or("<no Install.log>");
  EXPECT_EQ(std::filesystem::file_size(LinuxPath(dir + "\\huge.bin")), kRecordData);
  std::filesystem::remove(LinuxPath(dir + "\\huge.bin"));
}

TEST_F(HugeRecord, StreamedInMemoryFarBelowItsSize) {
  const std::string dir = ScratchFolder() + "\\App";
  const DriverRun run = Install(false, dir);
  ExpectPlaced(run, dir);
  // Three decoded chunks of 16 MiB and the decoder; the file is 64 times that.
  EXPECT_GT(run.peak_private_bytes, 0u) << run.output;
  EXPECT_LT(run.peak_private_bytes, 128u << 20) << run.output;
}

TEST_F(HugeRecord, ReadWholeEvenByThe32BitProcess) {
  const std::string dir = ScratchFolder() + "\\App";
  ExpectPlaced(Install(true, dir), dir);
}

}  // namespace
}  // namespace ks::e2e
