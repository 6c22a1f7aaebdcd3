// Resource trees come from engine images the authoring tool is given: any
// bytes must be refused or read into a table that builds back into a tree
// the reader accepts, and an image it reads must survive being rewritten.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/pe_resources.h"

namespace {

// Entries of the same type, name and language count once.
std::size_t UniqueCount(const ks::ResourceTable& table) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (ks::FindResourceEntry(table, table[i].type, table[i].name, table[i].language) == &table[i]) ++n;
  }
  return n;
}

void RoundTrip(const ks::ResourceTable& table) {
  const ks::Bytes rebuilt = ks::BuildResourceSection(table, 0x3000);
  ks::ResourceTable again;
  if (!ks::ReadResourceSection(rebuilt.data(), rebuilt.size(), 0x3000, &again, nullptr)) std::abort();
  if (again.size() != UniqueCount(table)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ks::ResourceTable table;
  if (ks::ReadResourceSection(data, size, 0x1000, &table, nullptr)) {
    std::size_t total = 0;
    for (const ks::Resource& r : table) total += r.data.size();
    if (total > size) std::abort();
    RoundTrip(table);
  }
  const ks::Bytes image(data, data + size);
  if (ks::ReadResources(image, &table, nullptr)) {
    RoundTrip(table);
    ks::Bytes edited;
    ks::ResourceTable again;
    if (ks::WriteResources(image, table, &edited, nullptr) && !ks::ReadResources(edited, &again, nullptr))
      std::abort();
  }
  return 0;
}
