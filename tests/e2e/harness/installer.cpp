#include "harness/installer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "engine/file_data_block.h"
#include "engine/file_records.h"
#include "harness/wine.h"

namespace ks::e2e {

LocalizedTexts NumberedTexts(const std::vector<char16_t>& letters, const std::vector<int>& empty) {
  std::vector<std::vector<WString>> rows;
  for (int n = 0; n < 120; ++n) {
    std::vector<WString> row;
    for (const char16_t letter : letters) {
      WString text = WString(1, letter) + Widen(std::to_string(n));
      if (n == 19) text += u" %d %d";
      if (n == 92 || n == 93 || n == 99 || n == 40) text += u" %s";
      row.push_back(text);
    }
    rows.push_back(row);
  }
  for (const int n : empty) rows[static_cast<std::size_t>(n)] = std::vector<WString>(letters.size());
  rows[114] = std::vector<WString>(letters.size());
  std::vector<WString> names = {u"English", u"Zweite"};
  names.resize(letters.size());
  return LocalizedTexts(names, rows);
}

Bytes EncodeSettings(const InstallSettings& settings, const LocalizedTexts& texts,
                     std::uint32_t archive_flags) {
  SettingsWriter writer;
  if (!WriteInstallSettings(settings, texts, archive_flags, writer)) {
    ADD_FAILURE() << "the settings do not fit their encodings";
    return {};
  }
  return writer.Take();
}

std::string MakeInstaller(const InstallerSpec& plan, const std::string& stem) {
  std::ifstream in(EngineLinuxPath(), std::ios::binary);
  Bytes engine{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (engine.empty()) {
    ADD_FAILURE() << "cannot read the engine " << EngineLinuxPath();
    return {};
  }
  if (plan.engine_patch) plan.engine_patch(engine);
  ArchiveSpec archive = plan.archive;
  archive.settings = plan.raw_settings ? *plan.raw_settings
                                       : EncodeSettings(plan.settings, plan.texts, archive.flags);
  Bytes exe;
  std::string error;
  if (!BuildSetupExecutable(engine, archive, &exe, &error)) {
    ADD_FAILURE() << "building the installer failed: " << error;
    return {};
  }
  if (plan.patch) plan.patch(exe);
  const std::string path = ScratchFolder() + "\\" + UniqueName(stem) + ".exe";
  if (!WritePrefixFile(path, std::string(exe.begin(), exe.end()))) {
    ADD_FAILURE() << "cannot write " << path;
    return {};
  }
  return path;
}

void AddFiles(InstallerSpec& plan, const std::vector<std::pair<std::string, std::string>>& files) {
  std::vector<Bytes> items;
  for (const auto& [name, data] : files) {
    FileRecord record;
    record.name = name;
    items.push_back(EncodeFileRecord(record, Bytes(data.begin(), data.end())));
    plan.archive.per_file_values.push_back(static_cast<std::int32_t>(data.size()));
  }
  ASSERT_TRUE(BuildFileDataBlock(items, 4096, ChunkCoding{}, &plan.archive.file_data));
}

std::string CapturedBatchOutput(const std::string& log, const std::string& label) {
  const std::string head = "\r\nRunning " + label + "...\r\n";
  const std::size_t at = log.find(head);
  if (at == std::string::npos) return "<not run>";
  const std::size_t from = at + head.size();
  const std::size_t end = log.find("\r\n\r\n", from);
  return log.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

}  // namespace ks::e2e
