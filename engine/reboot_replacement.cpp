#include "engine/reboot_replacement.h"

#include "engine/special_folders.h"

namespace ks {

std::uint16_t TempNameGenerator::Next() {
  state_ ^= state_ >> 12;
  state_ ^= state_ << 25;
  state_ ^= state_ >> 27;
  return static_cast<std::uint16_t>(static_cast<std::uint32_t>(state_) * 0xDD1Du);
}

namespace {

WString HexDigits(std::uint16_t number, bool pad_with_zeros) {
  static const char16_t kDigits[] = u"0123456789ABCDEF";
  WString out;
  for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kDigits[(number >> shift) & 0xF]);
  const char16_t pad = pad_with_zeros ? u'0' : u' ';
  for (std::size_t i = 0; i + 1 < out.size() && out[i] == u'0'; ++i) out[i] = pad;
  return out;
}

}  // namespace

WString TempFileName(std::uint16_t number, WStringView extension, bool extension_given) {
  WString ext(extension);
  if (!ext.empty() && ext[0] == u'.') ext.erase(0, 1);
  if (!extension_given) ext = u"tmp";
  return WString(kTempPrefix) + HexDigits(number, !extension_given) + u"." + ext;
}

WString MakeTempNameWith(WString folder, WStringView extension, TempNameSystem& sys, TempNameGenerator& gen) {
  if (folder.empty()) folder = sys.temp_folder();
  else if (!sys.create_folder(folder)) return WString();
  const bool given = !extension.empty();
  if (!given) {
    WString name = sys.system_temp_name(folder);
    if (!name.empty()) return name;
  }
  int denied_in_a_row = 0;
  for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    if (attempt == 200) folder = sys.temp_folder();
    if (attempt == 300) {
      folder = u"c:\\temp";
      sys.create_folder(folder);
    }
    const WString path = JoinPath(folder, TempFileName(gen.Next(), extension, given));
    if (sys.exists(path)) continue;
    const FileResult result = sys.create_exclusive(path);
    if (result == kFileSuccess) return path;
    denied_in_a_row = result == kFileAccessDenied ? denied_in_a_row + 1 : 0;
    if (denied_in_a_row > kTempNameDeniedLimit) return WString();
  }
  return WString();
}

namespace {

std::size_t FindIgnoreCase(NStringView text, NStringView what) {
  for (std::size_t i = 0; i + what.size() <= text.size(); ++i)
    if (EqualsIgnoreCase(text.substr(i, what.size()), what)) return i;
  return NString::npos;
}

}  // namespace

NString AddWininitRename(NStringView ini, NStringView destination, NStringView source) {
  static constexpr NStringView kSection = "[rename]";
  const NString line = NString(destination) + "=" + NString(source);
  NString out(ini);
  const std::size_t at = FindIgnoreCase(out, kSection);
  if (at == NString::npos) {
    if (!out.empty() && out.back() != '\n') out += "\r\n";
    out += "[rename]\r\n" + line;
    return out;
  }
  out.insert(at + kSection.size(), "\r\n" + line);
  return out;
}

}  // namespace ks
