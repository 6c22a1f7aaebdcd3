#pragma once
// Products with real payloads for the tests of faults: files of given names,
// rules and sizes stored as the file-data block of an installer, a seeded
// generator of many files, and a view of a folder tree to compare the prefix
// before and after.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "harness/installer.h"
#include "lib/version_compare.h"

namespace ks::e2e {

struct PayloadFile {
  std::string name;  // relative to the installation folder, UTF-8 (stored as marked text)
  std::int32_t kind = 0;
  std::int32_t flags = 0;
  RecordDate date{2024, 1, 2, 3, 4, 6};
  std::string title;  // the version text of kinds 6 to 9
  std::string data;
};

// Stores `files` as the file-data block of `plan.archive`, compressed in
// chunks of `chunk_size` bytes; sets the settings' compression flag. False
// after adding a test failure.
bool AddPayload(InstallerSpec& plan, const std::vector<PayloadFile>& files, std::size_t chunk_size = 1 << 20);

// `count` files in a few nested folders, the same for the same `seed`: most of
// a few kilobytes, every `big_every`th of `big_bytes`; their bytes compress
// somewhat, as programs do.
std::vector<PayloadFile> SeededPayload(std::uint32_t seed, int count, int big_every, std::size_t big_bytes);

// Every file and folder below a C:\ folder (a Linux path when it does not
// start with a drive), relative to it with "/", mapped to the file's bytes
// (folders map to "<folder>"). Empty when the folder does not exist.
std::map<std::string, std::string> TreeWithContents(const std::string& folder);

// The run's temporary folder (%TEMP%) as a C:\ path.
std::string TempFolder();

}  // namespace ks::e2e
