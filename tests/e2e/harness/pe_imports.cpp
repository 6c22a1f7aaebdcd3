#include "harness/pe_imports.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

namespace ks::e2e {
namespace {

class Image {
 public:
  explicit Image(std::string bytes) : bytes_(std::move(bytes)) {}

  bool U16(std::size_t at, std::uint32_t& out) const { return Read(at, 2, out); }
  bool U32(std::size_t at, std::uint32_t& out) const { return Read(at, 4, out); }

  // Maps a relative virtual address to a file offset through the section table.
  bool Offset(std::uint32_t rva, std::size_t& out) const {
    for (const Section& s : sections_) {
      if (rva >= s.address && rva - s.address < s.raw_size) {
        out = s.raw_offset + (rva - s.address);
        return out < bytes_.size();
      }
    }
    return false;
  }

  bool Text(std::uint32_t rva, std::string& out) const {
    std::size_t at = 0;
    if (!Offset(rva, at)) return false;
    const std::size_t end = bytes_.find('\0', at);
    if (end == std::string::npos) return false;
    out = bytes_.substr(at, end - at);
    return !out.empty();
  }

  bool ReadSections(std::size_t table, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i) {
      Section s;
      const std::size_t e = table + i * 40;
      if (!U32(e + 8, s.virtual_size) || !U32(e + 12, s.address) || !U32(e + 16, s.raw_size) ||
          !U32(e + 20, s.raw_offset))
        return false;
      sections_.push_back(s);
    }
    return true;
  }

 private:
  struct Section {
    std::uint32_t virtual_size = 0, address = 0, raw_size = 0, raw_offset = 0;
  };

  bool Read(std::size_t at, std::size_t size, std::uint32_t& out) const {
    if (at > bytes_.size() || bytes_.size() - at < size) return false;
    out = 0;
    for (std::size_t i = 0; i < size; ++i) out |= std::uint32_t(static_cast<unsigned char>(bytes_[at + i])) << (8 * i);
    return true;
  }

  std::string bytes_;
  std::vector<Section> sections_;
};

// Walks a table of `entry_size`-byte descriptors whose name RVA lies at
// `name_at` within each; a zeroed name ends it.
bool ReadTable(const Image& image, std::uint32_t rva, std::size_t entry_size, std::size_t name_at,
               std::set<std::string>& names) {
  if (rva == 0) return true;
  std::size_t at = 0;
  if (!image.Offset(rva, at)) return false;
  for (int i = 0; i < 4096; ++i, at += entry_size) {
    std::uint32_t name_rva = 0;
    if (!image.U32(at + name_at, name_rva)) return false;
    if (name_rva == 0) return true;
    std::string name;
    if (!image.Text(name_rva, name)) return false;
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    names.insert(name);
  }
  return false;
}

}  // namespace

std::optional<std::set<std::string>> ImportedDlls(const std::string& linux_path) {
  std::ifstream in(linux_path, std::ios::binary);
  if (!in) return std::nullopt;
  Image image(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
  std::uint32_t pe = 0, sections = 0, optional_size = 0, magic = 0;
  if (!image.U32(0x3c, pe) || !image.U16(pe + 6, sections) || !image.U16(pe + 20, optional_size)) return std::nullopt;
  const std::size_t optional = pe + 24;
  if (!image.U16(optional, magic) || (magic != 0x10b && magic != 0x20b)) return std::nullopt;
  // The data directories follow the fixed part, which is 16 bytes longer in PE32+.
  const std::size_t directories = optional + (magic == 0x10b ? 96 : 112);
  std::uint32_t import_rva = 0, delay_rva = 0;
  if (!image.U32(directories + 1 * 8, import_rva) || !image.U32(directories + 13 * 8, delay_rva)) return std::nullopt;
  if (!image.ReadSections(optional + optional_size, sections)) return std::nullopt;
  std::set<std::string> names;
  // Import descriptors: 20 bytes, the name at 12. Delay-load ones: 32 bytes, the name at 4.
  if (!ReadTable(image, import_rva, 20, 12, names) || !ReadTable(image, delay_rva, 32, 4, names)) return std::nullopt;
  return names;
}

}  // namespace ks::e2e
