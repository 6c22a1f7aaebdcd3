#pragma once
// The resources of a PE image (32- or 64-bit, .exe or .dll), as plain bytes:
// the resource tree read into a flat table, entries replaced or added, and
// the resource section rebuilt with the image's headers fixed, so that the
// loader and FindResource/LoadString find the new data. Used by the
// authoring tool to put a product's own values and pictures into its copy of
// the engine before the archive is added.
//
//   ResourceTable table;
//   if (!ReadResources(engine, &table, &error)) ...
//   PutResource(table, {ResourceKey::Id(resource_type::kBitmap), ResourceKey::Id(101), 0x0409, 0, bmp});
//   PutResourceString(table, 2720, 0x0409, u"support@example.com");
//   if (!WriteResources(engine, table, &edited, &error)) ...
//
// A resource is identified by its type, its name and its language; type and
// name are each a 16-bit number or a text. Named keys compare without regard
// to ASCII case (the loader looks them up in upper case, so write them in
// upper case). The data of each resource is copied out of the image, so a
// table outlives the bytes it was read from.
//
// Rebuilding keeps the section where it is. When the new tree is larger than
// the old section, the sections behind it move, in the file and, when it
// outgrows its place in memory, in memory too. Only sections that nothing
// addresses by their place may move in memory: the base relocations (found
// through their data directory, which is fixed) and discardable sections
// (debugging information). A signed image is refused: its signature would no
// longer match; sign after editing.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "lib/text.h"

namespace ks {

// The predefined resource types.
namespace resource_type {
inline constexpr std::uint16_t kCursor = 1;
inline constexpr std::uint16_t kBitmap = 2;
inline constexpr std::uint16_t kIcon = 3;
inline constexpr std::uint16_t kMenu = 4;
inline constexpr std::uint16_t kDialog = 5;
inline constexpr std::uint16_t kString = 6;
inline constexpr std::uint16_t kRcData = 10;
inline constexpr std::uint16_t kGroupCursor = 12;
inline constexpr std::uint16_t kGroupIcon = 14;
inline constexpr std::uint16_t kVersion = 16;
inline constexpr std::uint16_t kManifest = 24;
}  // namespace resource_type

// The language of resources that the resource compiler writes without a
// LANGUAGE statement: English (United States).
inline constexpr std::uint16_t kResourceLanguageEnglishUs = 0x0409;

// A resource type or name: a number, or a non-empty text.
struct ResourceKey {
  std::uint16_t id = 0;
  WString name;  // non-empty: the key is this text

  static ResourceKey Id(std::uint16_t id);
  static ResourceKey Name(WString name);
  bool is_name() const { return !name.empty(); }
};
bool operator==(const ResourceKey& a, const ResourceKey& b);  // names without regard to ASCII case
bool operator!=(const ResourceKey& a, const ResourceKey& b);

struct Resource {
  ResourceKey type;
  ResourceKey name;
  std::uint16_t language = 0;
  std::uint32_t code_page = 0;  // as the data entry records it; usually 0
  Bytes data;
};

// The resources in the tree's order (types, then names, then languages).
using ResourceTable = std::vector<Resource>;

// Reads the resource tree of `image`. An image without resources gives an
// empty table. False with a reason when the image or its tree is malformed.
bool ReadResources(const Bytes& image, ResourceTable* out, std::string* error);

// Reads a resource section on its own: `section` holds its bytes as mapped
// at `section_rva`; every resource's data must lie inside it.
bool ReadResourceSection(const std::uint8_t* section, std::size_t size, std::uint32_t section_rva,
                         ResourceTable* out, std::string* error);

// The entry of that type, name and language, or nullptr.
const Resource* FindResourceEntry(const ResourceTable& table, const ResourceKey& type, const ResourceKey& name,
                                  std::uint16_t language);

// Replaces the entry of the same type, name and language, or adds it.
void PutResource(ResourceTable& table, Resource resource);

// Removes the entries of that type and name, in every language.
void RemoveResource(ResourceTable& table, const ResourceKey& type, const ResourceKey& name);

// The bytes of a resource section holding `table`, for a section placed at
// `section_rva`. Of entries with the same type, name and language the last
// one counts.
Bytes BuildResourceSection(const ResourceTable& table, std::uint32_t section_rva);

// A copy of `image` whose resource section holds `table` instead of its
// resources. False with a reason when the image has no resource section of
// its own, is signed, or cannot make room (see above).
bool WriteResources(const Bytes& image, const ResourceTable& table, Bytes* out, std::string* error);

// ---------------------------------------------------------------------------
// String tables. LoadString's string `id` lives in the string resource named
// id / 16 + 1 (a block), as string number id % 16: 16 texts, each a 16-bit
// length and that many UTF-16 units. An empty text is a missing string.

using StringBlock = std::array<WString, 16>;

std::uint16_t StringBlockName(std::uint16_t string_id);
Bytes BuildStringBlock(const StringBlock& strings);
// False when the block is cut short; the strings read so far are kept.
bool ReadStringBlock(const Bytes& block, StringBlock* strings);

// Sets string `id` in `language`, keeping the other strings of its block.
// A block whose strings are all empty is removed.
void PutResourceString(ResourceTable& table, std::uint16_t id, std::uint16_t language, const WString& text);
// The text of string `id` in `language`; empty when missing.
WString ResourceString(const ResourceTable& table, std::uint16_t id, std::uint16_t language);

}  // namespace ks
