// A file record of 1 GiB, the largest the format allows. Its data is written
// piece by piece as the chunks are decoded, so both builds place it. A record
// whose fields in front of the data are too long to read them apart from it
// (here its shortcut arguments, which a plain file does not use) is read
// whole: more than a 32-bit process can hold next to its buffers. The shipped
// i686 engine must then end through the out-of-memory path, a fatal internal
// error for the crash handler (its exception code as exit code, the crash
// report in Install.log's failure summary, the error notification, and in
// silent mode no dialog), never with a silent abort or a corrupt-archive
// report; the x86_64 build holds the record and places the file.
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

class OutOfMemory : public WineTest {
 protected:
  void InstallHugeRecord(bool read_whole);
};

void OutOfMemory::InstallHugeRecord(bool read_whole) {
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
  if (read_whole) record.arguments = NString(kRecordHeadPrefix + 1000, 'a');
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
  if (!read_whole || env().arch == "x86_64") {
    // Streamed, or a 64-bit process holds the record: the file is placed whole.
    EXPECT_EQ(run.exit_code, 0) << run.output << log;
    EXPECT_EQ(std::filesystem::file_size(LinuxPath(dir + "\\huge.bin")), kRecordData);
    std::filesystem::remove(LinuxPath(dir + "\\huge.bin"));
    return;
  }
  EXPECT_EQ(static_cast<std::uint32_t>(run.exit_code), 0xD1EB17CCu) << run.output;
  EXPECT_TRUE(run.windows.empty()) << run.output;
  EXPECT_NE(log.find("*** FAILURE SUMMARY ***\r\n\r\n\r\nINSTALLER CRASHED!\r\nFatal error: Out Of Memory\r\nSize: "),
            std::string::npos)
      << log;
  // Raised on the main thread, and not an earlier condition of its own.
  const std::size_t threads = log.find("Thread ID: ");
  ASSERT_NE(threads, std::string::npos) << log;
  const std::string line = log.substr(threads + 11, log.find("\r\n", threads) - threads - 11);
  EXPECT_EQ(line.substr(0, line.find(' ')), line.substr(line.rfind(' ') + 1)) << line;
  EXPECT_EQ(log.find("A previous out-of-memory condition occurred."), std::string::npos);
  ASSERT_TRUE(WaitUntil([&server] { return !server.requests().empty(); }, std::chrono::seconds(30)));
  EXPECT_EQ(server.requests()[0].request_line.rfind("GET /error ", 0), 0u) << server.requests()[0].request_line;
  EXPECT_FALSE(PrefixFileExists(dir + "\\huge.bin"));
}

TEST_F(OutOfMemory, ARecordWrittenPieceByPiece) { InstallHugeRecord(false); }

TEST_F(OutOfMemory, ARecordTooLargeForTheProcess) { InstallHugeRecord(true); }

}  // namespace
}  // namespace ks::e2e
