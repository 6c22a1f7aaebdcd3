#include "uninstall/uninstall_key.h"

namespace ks {

const char16_t kUninstallKeyPath[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

bool IsBlankText(WStringView text) {
  for (char16_t c : text) {
    if (!IsBlank(c)) return false;
  }
  return true;
}

WString Text(UninstallKeySource& source, const char16_t* name) {
  WString value;
  source.ReadText(name, &value);
  return value;
}

NString NarrowText(UninstallKeySource& source, const char16_t* name) {
  return WideToAnsi(Text(source, name));
}

std::uint64_t Number(UninstallKeySource& source, const char16_t* name, std::uint64_t fallback) {
  std::uint64_t value = fallback;
  source.ReadNumber(name, &value);
  return value;
}

// The flags words are written as signed decimal text.
std::int64_t DecimalValue(UninstallKeySource& source, const char16_t* name) {
  WString text;
  if (!source.ReadText(name, &text)) return 0;
  return ParseSignedDecimal(text);
}

UninstallAppearance ReadAppearance(UninstallKeySource& source) {
  UninstallAppearance a;
  a.taskbar_text = Text(source, u"TaskbarText");
  a.title = Text(source, u"DisplayTitle");
  a.title_color = static_cast<std::uint32_t>(Number(source, u"TitleColor", 0));
  a.title_size = ParseDecimalNumber(Text(source, u"TitleSize"));
  a.top_color = static_cast<std::uint32_t>(Number(source, u"TopColor", 0));
  a.mono = Number(source, u"MonoColor", 0) != 0;
  // The bottom colour is not written for one colour.
  a.bottom_color = a.mono ? a.top_color : static_cast<std::uint32_t>(Number(source, u"BottomColor", 0));
  a.title_shadow = static_cast<std::uint32_t>(Number(source, u"TitleShadow", 0));
  a.title_position = static_cast<std::uint32_t>(Number(source, u"TitlePosition", 0));
  a.title_font = Text(source, u"TitleFont");
  a.copyright_text = Text(source, u"CopyrightText");
  a.copyright_font = Text(source, u"CopyrightFont");
  a.copyright_size = ParseDecimalNumber(Text(source, u"CopyrightSize"));
  a.copyright_color = ParseColourText(Text(source, u"CopyrightColor"));
  a.copyright_pos = static_cast<std::uint32_t>(Number(source, u"CopyrightPos", 0));
  a.bitmap_size = static_cast<std::uint32_t>(Number(source, u"BitmapSize", 0));
  a.bitmap_tpi = static_cast<std::uint32_t>(Number(source, u"BitmapTPI", 0));
  a.stretch_mode = static_cast<std::uint32_t>(Number(source, u"StretchMode", 0));
  a.dialog_font = Text(source, u"DialogFont");
  WString fg, bg;
  a.dialog_colours = source.ReadText(u"DialogFG", &fg) && source.ReadText(u"DialogBG", &bg);
  a.dialog_fg = ParseColourText(fg);
  a.dialog_bg = ParseColourText(bg);
  return a;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

}  // namespace

std::uint32_t ParseColourText(WStringView text) {
  if (text.size() != 6) return 0;
  std::uint32_t colour = 0;
  for (std::size_t part = 0; part < 3; ++part) {
    const int high = HexDigit(text[2 * part]), low = HexDigit(text[2 * part + 1]);
    if (high < 0 || low < 0) return 0;
    colour |= static_cast<std::uint32_t>(high * 16 + low) << (8 * part);
  }
  return colour;
}

double ParseDecimalNumber(WStringView text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  double whole = 0, fraction = 0, scale = 1;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) whole = whole * 10 + (text[i] - u'0');
  if (i < text.size() && text[i] == u'.') {
    // Digits as a whole number divided once: "0.75" is exactly 75 / 100.
    for (++i; i < text.size() && text[i] >= u'0' && text[i] <= u'9' && scale < 1e15; ++i) {
      fraction = fraction * 10 + (text[i] - u'0');
      scale *= 10;
    }
  }
  return whole + fraction / scale;
}

std::int64_t ParseSignedDecimal(WStringView text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  std::uint64_t value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10 + static_cast<std::uint64_t>(text[i] - u'0');  // wraps; unsigned is defined
  }
  if (negative) value = 0 - value;
  return static_cast<std::int64_t>(value);
}

UninstallKeyValues ReadUninstallKeyValues(UninstallKeySource& source, const WString& key_name) {
  UninstallKeyValues v;
  v.key_name = key_name;
  v.display_name = Text(source, u"DisplayName");
  if (IsBlankText(v.display_name)) v.display_name = key_name;
  v.publisher = Text(source, u"Publisher");
  v.install_location = Text(source, u"InstallLocation");
  if (IsBlankText(v.install_location)) v.install_location.clear();
  v.product_flags = static_cast<ProductFlags>(DecimalValue(source, u"ProductFlags"));
  v.product_flags2 = static_cast<std::uint32_t>(DecimalValue(source, u"ProductFlags2"));
  v.bitness = static_cast<std::uint32_t>(Number(source, u"Bitness", 0));
  v.display_version = NarrowText(source, u"DisplayVersion");
  v.desktop_folder = Text(source, u"DesktopFolder");
  v.uninstall_subdir = Text(source, u"UninstallSubdir");
  v.add_to_path_subfolder = Text(source, u"AddToPathSubfolder");
  v.product_fonts = NarrowText(source, u"ProductFonts");
  v.uninstall_fonts = static_cast<std::uint32_t>(Number(source, u"UninstallFonts", 2));
  v.uninstall_shared = static_cast<std::uint32_t>(Number(source, u"UninstallShared", 2));
  v.shortcut_mode = static_cast<std::uint32_t>(Number(source, u"ShortcutMode", 0));
  v.notify_url = NarrowText(source, u"NotifyURL");
  v.session = Number(source, u"Session", 0);
  v.support_offer = NarrowText(source, u"SupportOffer");
  v.shared_path = Text(source, u"SharedPath");
  v.product_start_menu = Text(source, u"ProductStartMenu");
  v.uninstall_batch1 = NarrowText(source, u"UninstallBatch1");
  v.uninstall_batch2 = NarrowText(source, u"UninstallBatch2");
  v.shared_files = NarrowText(source, u"SharedFiles");
  v.product_registry = Text(source, u"ProductRegistry");
  v.appearance = ReadAppearance(source);
  return v;
}

PathVariableInputs UninstallationInputs(const UninstallKeyValues& values, bool automatic, bool portable) {
  PathVariableInputs in;
  in.automatic = automatic;
  in.install_64bit = values.bitness == 1;
  in.all_users = values.shortcut_mode == 1;
  in.creates_uninstaller = true;  // it is running
  in.portable = portable;
  in.install_dir = values.install_location;
  in.product_name = values.display_name;
  in.company_name = values.publisher;
  in.version = AnsiToWide(values.display_version);
  in.shared_dir = values.shared_path;
  in.start_menu_name = values.product_start_menu;
  in.desktop_folder_name = values.desktop_folder;
  in.uninstall_dir = UninstallDataFolder(values);
  return in;
}

WString ProductUninstallKeyPath(WStringView key_name) { return JoinPath(kUninstallKeyPath, WString(key_name)); }

WString UninstallDataFolder(const UninstallKeyValues& values) {
  WString folder = JoinPath(values.install_location, values.uninstall_subdir);
  while (folder.size() > 3 && folder.back() == u'\\') folder.pop_back();
  return folder;
}

WString UninstallDataFilePath(const UninstallKeyValues& values) {
  return JoinPath(UninstallDataFolder(values), u"Uninstall.DAT");
}

WString InstallLogPath(const UninstallKeyValues& values) {
  return JoinPath(UninstallDataFolder(values), u"Install.log");
}

WString NoSuchProductMessage(WStringView key_name) {
  return u"No product named '" + WString(key_name) + u"' is installed.";
}

WString PermissionDeniedMessage() {
  return u"Permission denied.  Please run the uninstaller with administrator rights.";
}

WString KeyAccessFailedMessage(WStringView key_name) {
  return u"Unable to access the uninstall information for:\r\n" + WString(key_name) +
         u"\r\n\r\nThe uninstallation cannot be performed.";
}

WString CorruptRegistrationMessage(WStringView display_name) {
  return u"The uninstall information for " + WString(display_name) +
         u" is corrupt.\r\n\r\nThe uninstallation cannot be performed.";
}

}  // namespace ks
