#pragma once
// A shell link (.lnk) read from its bytes, as the file format lays it out:
// the header (flags, icon index, show command at offset 0x3C), the target
// list (skipped), the location (the target path) and the string data. Tests
// read links this way rather than through the shell's link object, whose
// answers after loading are not to be trusted under Wine (the show command).
// Header-only and portable: the e2e suite and the Windows suite both use it.

#include <cstdint>
#include <string>
#include <utility>

namespace ks::test {

struct ShellLinkFile {
  bool valid = false;
  std::uint32_t flags = 0;
  std::int32_t icon_index = 0;
  std::uint32_t show_command = 0;
  // UTF-8; empty when the link does not hold the part.
  std::string target;  // the location's local path (with its suffix)
  std::string description, relative_path, working_dir, arguments, icon_location;
};

namespace shell_link_detail {

inline std::uint32_t U16(const std::string& b, std::size_t at) {
  return static_cast<std::uint8_t>(b[at]) | static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 1])) << 8;
}
inline std::uint32_t U32(const std::string& b, std::size_t at) { return U16(b, at) | U16(b, at + 2) << 16; }

inline void AppendUtf8(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// A zero-terminated string at `at`: 8-bit (taken as Latin-1) or UTF-16 (BMP only).
inline bool CString(const std::string& b, std::size_t at, bool wide, std::string& out) {
  out.clear();
  const std::size_t step = wide ? 2 : 1;
  for (; at + step <= b.size(); at += step) {
    const std::uint32_t c = wide ? U16(b, at) : static_cast<std::uint8_t>(b[at]);
    if (c == 0) return true;
    AppendUtf8(out, c);
  }
  return false;
}

}  // namespace shell_link_detail

// Flags of the header.
inline constexpr std::uint32_t kLinkHasIdList = 0x1;
inline constexpr std::uint32_t kLinkHasLinkInfo = 0x2;
inline constexpr std::uint32_t kLinkHasName = 0x4;
inline constexpr std::uint32_t kLinkHasRelativePath = 0x8;
inline constexpr std::uint32_t kLinkHasWorkingDir = 0x10;
inline constexpr std::uint32_t kLinkHasArguments = 0x20;
inline constexpr std::uint32_t kLinkHasIconLocation = 0x40;
inline constexpr std::uint32_t kLinkIsUnicode = 0x80;

inline ShellLinkFile ParseShellLink(const std::string& b) {
  using namespace shell_link_detail;
  static const unsigned char kClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                           0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
  ShellLinkFile link;
  if (b.size() < 0x4C || U32(b, 0) != 0x4C || b.compare(4, 16, reinterpret_cast<const char*>(kClsid), 16) != 0) {
    return link;
  }
  link.flags = U32(b, 0x14);
  link.icon_index = static_cast<std::int32_t>(U32(b, 0x38));
  link.show_command = U32(b, 0x3C);
  std::size_t at = 0x4C;
  if (link.flags & kLinkHasIdList) {
    if (at + 2 > b.size()) return link;
    at += 2 + U16(b, at);
  }
  if (link.flags & kLinkHasLinkInfo) {
    if (at + 0x1C > b.size()) return link;
    const std::uint32_t size = U32(b, at);
    const std::uint32_t header = U32(b, at + 4);
    if ((U32(b, at + 8) & 0x1) != 0) {  // a volume and a local base path
      std::string base, suffix;
      const bool wide = header >= 0x24 && at + 0x24 <= b.size();
      const std::uint32_t base_at = wide ? U32(b, at + 0x1C) : U32(b, at + 0x10);
      const std::uint32_t suffix_at = wide ? U32(b, at + 0x20) : U32(b, at + 0x18);
      if (!CString(b, at + base_at, wide, base) || !CString(b, at + suffix_at, wide, suffix)) return link;
      link.target = base + suffix;
    }
    at += size;
  }
  const bool wide = (link.flags & kLinkIsUnicode) != 0;
  const std::pair<std::uint32_t, std::string*> strings[] = {
      {kLinkHasName, &link.description},          {kLinkHasRelativePath, &link.relative_path},
      {kLinkHasWorkingDir, &link.working_dir},    {kLinkHasArguments, &link.arguments},
      {kLinkHasIconLocation, &link.icon_location}};
  for (const auto& [flag, out] : strings) {
    if (!(link.flags & flag)) continue;
    if (at + 2 > b.size()) return link;
    const std::uint32_t count = U16(b, at);
    at += 2;
    const std::size_t bytes = count * (wide ? 2u : 1u);
    if (at + bytes > b.size()) return link;
    for (std::size_t i = 0; i < count; ++i) {
      AppendUtf8(*out, wide ? U16(b, at + 2 * i) : static_cast<std::uint8_t>(b[at + i]));
    }
    // Wine counts the terminating zero as a character of the string; Windows does not.
    if (!out->empty() && out->back() == '\0') out->pop_back();
    at += bytes;
  }
  link.valid = true;
  return link;
}

}  // namespace ks::test
