#include "engine/batch_text.h"

#include <array>
#include <string>

#include "engine/special_folders.h"

namespace ks {
namespace {

using PV = PathVariable;

struct SetLine {
  PV variable;
  bool quoted;  // SET "Name=value": blanks and & | < > in the value stay literal
};

// The order scripts have always seen; "SET Existing" is left out when uninstalling.
constexpr std::array<SetLine, 54> kSetLines = {{
    {PV::kAutomatic, false},       {PV::kInstallDir, true},        {PV::kBits, true},
    {PV::kUninstallDir, true},     {PV::kSharedDir, true},         {PV::kInstallerFilepath, true},
    {PV::kInstallerDir, true},     {PV::kInstallerFilename, true}, {PV::kInstallerDrive, true},
    {PV::kSystemDir, true},        {PV::kDeviceDir, true},         {PV::kMediaDir, true},
    {PV::kFavoritesDir, true},     {PV::kFavoritesAllDir, true},   {PV::kFontDir, true},
    {PV::kDesktopDir, true},       {PV::kDesktopAllDir, true},     {PV::kDesktopShortcuts, true},
    {PV::kDocumentDir, true},      {PV::kDocumentAllDir, true},    {PV::kProductName, true},
    {PV::kCompanyName, true},      {PV::kProgramsDir, true},       {PV::kProgramsDir32, true},
    {PV::kProgramsDir64, true},    {PV::kStartMenuAllDir, true},   {PV::kStartMenuChosen, true},
    {PV::kStartMenuDir, true},     {PV::kSMProgramsDir, true},     {PV::kSMProgramsAllDir, true},
    {PV::kStartupDir, true},       {PV::kStartupAllDir, true},     {PV::kCommonDir, true},
    {PV::kCommonDir32, true},      {PV::kCommonDir64, true},       {PV::kInetpub, true},
    {PV::kAppDataDir, true},       {PV::kAppDataAllDir, true},     {PV::kInstallDrive, false},
    {PV::kBootDrive, false},       {PV::kVersion, false},          {PV::kOldVersion, false},
    {PV::kPortable, false},        {PV::kExisting, false},         {PV::kNetworkInstall, false},
    {PV::kLanguage, false},        {PV::kOldVersionMajor, false},  {PV::kOldVersionMinor, false},
    {PV::kOS, false},              {PV::kOSMajor, false},          {PV::kOSMinor, false},
    {PV::kOSName, false},          {PV::kOSDescription, false},    {PV::kOSServer, false},
}};

bool IsBlankChar(char16_t c) { return c == u' ' || c == u'\t'; }
bool IsLineBreak(char16_t c) { return c == u'\r' || c == u'\n'; }

// The variable's name without its percent signs.
WString SetName(PV variable) {
  const WString name = PathVariableName(variable);
  return name.substr(1, name.size() - 2);
}

WString DoublePercentSigns(const WString& value) {
  WString out;
  out.reserve(value.size());
  for (char16_t c : value) {
    out += c;
    if (c == u'%') out += u'%';
  }
  return out;
}

WString SetLineText(const SetLine& line, const WString& value) {
  const WString body = SetName(line.variable) + u"=" + DoublePercentSigns(value);
  return line.quoted ? u"SET \"" + body + u"\"\r\n" : u"SET " + body + u"\r\n";
}

// CR LF, a lone CR and a lone LF all become CR LF.
NString NormalizeLineBreaks(NStringView text) {
  NString out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

WString Quoted(WStringView text) { return u"\"" + WString(text) + u"\""; }
WString QuotedIfBlank(WStringView path) {
  return path.find(u' ') == WStringView::npos ? WString(path) : Quoted(path);
}

}  // namespace

// ---- the script -------------------------------------------------------------

bool IsBlankScript(WStringView script) {
  for (char16_t c : script) {
    if (!IsBlankChar(c) && !IsLineBreak(c)) return false;
  }
  return true;
}

WString AppendBatchAddition(WString script, WStringView addition) {
  if (addition.empty()) return script;
  if (script.empty() || !IsLineBreak(script.back())) script += u"\r\n";
  script += addition;
  return script;
}

bool IsPauseLine(WStringView line) {
  std::size_t start = 0;
  while (start < line.size() && (IsBlankChar(line[start]) || IsLineBreak(line[start]))) ++start;
  if (start < line.size() && line[start] == u'@') {
    ++start;
    while (start < line.size() && IsBlankChar(line[start])) ++start;
  }
  std::size_t end = line.size();
  while (end > start && IsBlankChar(line[end - 1])) --end;
  return EqualsIgnoreCase(line.substr(start, end - start), u"PAUSE");
}

WString RemovePauseLines(WStringView script) {
  WString out;
  std::size_t at = 0;
  while (at < script.size()) {
    std::size_t end = at;
    while (end < script.size() && !IsLineBreak(script[end])) ++end;
    const WStringView line = script.substr(at, end - at);
    if (!IsPauseLine(line)) {
      out += line;
      out += u"\r\n";
    }
    at = end;
    if (at < script.size() && script[at] == u'\r') ++at;
    if (at < script.size() && script[at] == u'\n') ++at;
  }
  return out;
}

// ---- the batch file ---------------------------------------------------------

WString BatchSetLines(const std::function<WString(PathVariable)>& value_of, bool uninstalling) {
  WString text = u"@echo off\r\n";
  for (const SetLine& line : kSetLines) {
    if (uninstalling && line.variable == PV::kExisting) continue;
    text += SetLineText(line, value_of(line.variable));
  }
  return text;
}

bool BatchUsesUtf8(const SystemVersion& version, WStringView text) {
  const bool nt61_or_later =
      version.platform == kPlatformNt && (version.major > 6 || (version.major == 6 && version.minor != 0));
  if (!nt61_or_later) return false;
  for (char16_t c : text) {
    if (c > 0x7F) return true;
  }
  return false;
}

NString EncodeBatchFile(WStringView text, const SystemVersion& version) {
  NString bytes = BatchUsesUtf8(version, text) ? "@chcp 65001 >nul\r\n" + WideToUtf8(text)
                                                : "@chcp 1252 >nul\r\n" + WideToCp1252(text);
  bytes = NormalizeLineBreaks(bytes);
  if (bytes.back() != '\n') bytes += "\r\n";
  return bytes;
}

NString BatchFileBytes(const BatchFileInput& in, const SystemVersion& version) {
  WString text = BatchSetLines(in.value_of, in.uninstalling);
  text += in.remove_pause ? RemovePauseLines(in.script) : in.script;
  return EncodeBatchFile(text, version);
}

// ---- running it -------------------------------------------------------------

WString ChooseInterpreter(const std::optional<WString>& expanded_comspec, const SystemVersion& version,
                          const WString& windows_folder, const WString& system32_folder) {
  if (expanded_comspec && !IsBlankScript(*expanded_comspec) && *expanded_comspec != u"%comspec%")
    return *expanded_comspec;
  if (version.platform == kPlatformWin9x && version.major == 4) return JoinPath(windows_folder, u"command.com");
  return JoinPath(system32_folder, u"cmd.exe");
}

WString CaptureFileName(unsigned number) {
  if (number == 0) return kCaptureFileName;
  return u"ks_batch" + Widen(std::to_string(number)) + u".log";
}

WString BatchCommandLine(WStringView batch_path, WStringView capture_path) {
  WString line = QuotedIfBlank(batch_path);
  if (!capture_path.empty()) line += u" > " + QuotedIfBlank(capture_path);
  return line.find(u' ') == WString::npos ? line : Quoted(line);
}

WString InterpreterCommand(WStringView interpreter, WStringView command_line) {
  return Quoted(interpreter) + u" /c " + WString(command_line);
}

NString CapturedOutputForLog(NStringView captured) {
  std::size_t end = captured.size();
  while (end > 0 && (captured[end - 1] == ' ' || captured[end - 1] == '\t' || captured[end - 1] == '\r' ||
                     captured[end - 1] == '\n'))
    --end;
  if (end == 0) return NString();
  return NString(captured.substr(0, end)) + "\r\n\r\n";
}

WString MissingInterpreterLine(WStringView interpreter) {
  return u"The CLI " + WString(interpreter) + u" does not exist!\r\n";
}

WString CreateFailedMessage(WStringView batch_path, WStringView result_text) {
  return u"Unable to create batch file \"" + WString(batch_path) + u"\".\r\n\r\n" + WString(result_text);
}

WString LaunchFailedMessage(WStringView batch_path, WStringView system_text, WStringView command) {
  return u"Unable to launch batch file \"" + WString(batch_path) + u"\".\r\n" + WString(system_text) +
         u"\r\nCommand line: " + WString(command);
}

NString RunningLine(NStringView label) { return "\r\nRunning " + NString(label) + "...\r\n"; }

// ---- which batches run ------------------------------------------------------

std::vector<BatchRun> PreparationBatches(const PreparationBatchInput& in) {
  namespace af = batch_archive_flag;
  namespace hf = batch_hidden_flag;
  auto label = [&](std::uint32_t bit, const char* name) {
    return (in.archive_flags & bit) != 0 ? NString(name) : NString();
  };
  std::vector<BatchRun> runs;
  runs.push_back({HasFlag(in.product_flags, hf::kPreInstallation),
                  label(af::kLogPreInstallation, "Pre-Installation Batch"), in.pre_installation});
  if (in.existing == 2)
    runs.push_back({HasFlag(in.product_flags, hf::kUpgrade), label(af::kLogUpgrade, "Upgrade Batch"), in.upgrade});
  const bool reinstall_allowed = in.existing == 1 || (in.archive_flags & af::kReinstallOnlyWhenSame) == 0;
  if (in.earlier_folder_exists && reinstall_allowed)
    runs.push_back(
        {HasFlag(in.product_flags, hf::kReinstall), label(af::kLogReinstall, "Reinstall Batch"), in.reinstall});
  return runs;
}

BatchRun PostInstallationBatch(ProductFlags product_flags, std::uint32_t archive_flags, WString script) {
  const bool named = (archive_flags & batch_archive_flag::kLogPostInstallation) != 0;
  return {HasFlag(product_flags, batch_hidden_flag::kPostInstallation), named ? "Post-Installation Batch" : "",
          std::move(script)};
}

BatchRun InstallationExitBatch(ProductFlags product_flags, WString script) {
  return {HasFlag(product_flags, batch_hidden_flag::kInstallationExit), NString(), std::move(script)};
}

BatchRun UninstallBatch(int number, ProductFlags product_flags, WString script) {
  const ProductFlags bit = number == 1 ? batch_hidden_flag::kUninstall1 : batch_hidden_flag::kUninstall2;
  return {HasFlag(product_flags, bit), NString(), std::move(script)};
}

}  // namespace ks
