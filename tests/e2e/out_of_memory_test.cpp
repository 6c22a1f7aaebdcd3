// A file record of 1 GiB, the largest the format allows: more than a 32-bit
// process can hold next to its buffers (the record stream's buffer would have
// to grow past 1 GiB, to 2 GiB, in a 2 GiB address space). The shipped i686 engine must end through the out-of-memory
// path (exit code -1, the text in Install.log's failure summary, the error
// notification), never with a silent abort or a corrupt-archive report; the
// x86_64 build holds the record and places the file.
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
#include "harness/http_server.h"
#include "harness/installer.h"
#include "harness/wait.h"
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

class OutOfMemory : public WineTest {};

TEST_F(OutOfMemory, ARecordTooLargeForTheProcess) {
  LocalHttpServer server(true);
  ASSERT_NE(server.port(), 0);
  const std::string dir = ScratchFolder() + "\\App";

  InstallSettings s;
  s.product_name = Widen(UniqueName("Huge"));
  s.install_path = Widen(dir);
  s.product_flags = kCompressed | kAlwaysWriteLog;
  s.error_url = "http://127.0.0.1:" + std::to_string(server.port()) + "/error";
  SettingsWriter writer;
  ASSERT_TRUE(WriteInstallSettings(s, LocalizedTexts({u"English"}, {{u"title"}}), 0, writer));
  ArchiveSpec plan;
  plan.settings = writer.Take();
  FileRecord record;
  record.name = "huge.bin";
  const Bytes encoded = EncodeFileRecord(record, Bytes());
  const Bytes header(encoded.begin(), encoded.end() - 4);  // without the empty data's CRC
  plan.per_file_values = {static_cast<std::int32_t>(kRecordData)};
  plan.file_data = ZeroRecordBlock(header, kRecordData);
  InstallerSpec recipe;
  recipe.archive = plan;
  recipe.raw_settings = plan.settings;
  const std::string installer = MakeInstaller(recipe);
  ASSERT_FALSE(installer.empty());

  DriverOptions options;
  options.timeout_seconds = 240;
  const DriverRun run = RunProgram(installer, {"/silent"}, options);
  ASSERT_TRUE(run.ok) << run.error << run.output;
  const std::string log = ReadPrefixFile(dir + "\\Install.log").value_or("<no Install.log>");
  if (env().arch == "x86_64") {
    // A 64-bit process holds the record: the file is placed whole.
    EXPECT_EQ(run.exit_code, 0) << run.output << log;
    EXPECT_EQ(std::filesystem::file_size(LinuxPath(dir + "\\huge.bin")), kRecordData);
    std::filesystem::remove(LinuxPath(dir + "\\huge.bin"));
    return;
  }
  EXPECT_EQ(run.exit_code, -1) << run.output;
  EXPECT_NE(log.find("*** FAILURE SUMMARY ***\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("Out Of Memory\r\nSize: "), std::string::npos) << log;
  ASSERT_TRUE(WaitUntil([&server] { return !server.requests().empty(); }, std::chrono::seconds(30)));
  EXPECT_EQ(server.requests()[0].request_line.rfind("GET /error ", 0), 0u) << server.requests()[0].request_line;
  EXPECT_FALSE(PrefixFileExists(dir + "\\huge.bin"));
}

}  // namespace
}  // namespace ks::e2e
