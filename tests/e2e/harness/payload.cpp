#include "harness/payload.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "engine/file_data_block.h"
#include "harness/wine.h"

namespace ks::e2e {

namespace fs = std::filesystem;

namespace {

constexpr ProductFlags kCompressedFileData = 0x20;

std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

bool AddPayload(InstallerSpec& plan, const std::vector<PayloadFile>& files, std::size_t chunk_size) {
  std::vector<Bytes> encoded;
  plan.archive.per_file_values.clear();
  for (const PayloadFile& f : files) {
    FileRecord record;
    record.name = f.name;
    for (const char c : f.name) {
      if (static_cast<unsigned char>(c) >= 0x80) {
        record.name = "|" + f.name;  // marked text: UTF-8 follows
        break;
      }
    }
    record.kind = f.kind;
    record.flags = f.flags;
    record.date = f.date;
    record.title = f.title;
    encoded.push_back(EncodeFileRecord(record, Bytes(f.data.begin(), f.data.end())));
    plan.archive.per_file_values.push_back(static_cast<std::int32_t>(f.data.size()));
  }
  ChunkCoding coding;
  coding.compressed = true;
  plan.settings.product_flags |= kCompressedFileData;
  if (!BuildFileDataBlock(encoded, chunk_size, coding, &plan.archive.file_data)) {
    ADD_FAILURE() << "the payload does not fit the file-data format";
    return false;
  }
  return true;
}

std::vector<PayloadFile> SeededPayload(std::uint32_t seed, int count, int big_every, std::size_t big_bytes) {
  std::mt19937 random(seed);
  std::vector<PayloadFile> files;
  for (int i = 0; i < count; ++i) {
    PayloadFile f;
    f.name = "part" + std::to_string(i % 4) + (i % 3 ? "\\sub" + std::to_string(i % 5) : "") + "\\file" +
             std::to_string(i) + ".bin";
    const bool big = big_every > 0 && i % big_every == big_every - 1;
    const std::size_t size = big ? big_bytes : 1000 + random() % 30000;
    // Random runs repeated a few times: compressible, but not to nothing.
    std::string run(512, '\0');
    for (char& c : run) c = static_cast<char>(random());
    f.data.reserve(size);
    while (f.data.size() < size) {
      if (random() % 4 == 0) {
        for (char& c : run) c = static_cast<char>(random());
      }
      f.data.append(run, 0, std::min(run.size(), size - f.data.size()));
    }
    files.push_back(std::move(f));
  }
  return files;
}

std::map<std::string, std::string> TreeWithContents(const std::string& folder) {
  const bool windows = folder.size() >= 3 && folder[1] == ':';
  const fs::path root = windows ? fs::path(LinuxPath(folder)) : fs::path(folder);
  std::map<std::string, std::string> entries;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    const std::string relative = fs::relative(it->path(), root).generic_string();
    entries[relative] = it->is_directory() ? "<folder>" : ReadWhole(it->path());
  }
  return entries;
}

std::string TempFolder() {
  const WineResult r = RunWine({"cmd", "/c", "echo %TEMP%"}, 60);
  std::string temp = r.out;
  while (!temp.empty() && (temp.back() == '\n' || temp.back() == '\r' || temp.back() == ' ')) temp.pop_back();
  return temp;
}

}  // namespace ks::e2e
