#pragma once
// Installers made for a test: the engine under test with an archive built by
// the same builder the authoring tool uses, written into the prefix.

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/archive_builder.h"
#include "core/install_settings.h"
#include "core/localized_texts.h"

namespace ks::e2e {

struct InstallerSpec {
  InstallSettings settings;
  LocalizedTexts texts{{u"English"}, {{u"title"}}};
  // Header fields and malformed variants; its `settings` bytes are replaced
  // by the encoded `settings` and `texts` unless `raw_settings` is given.
  ArchiveSpec archive;
  std::optional<Bytes> raw_settings;
  // Changes the engine before the archive is added (its resources, say).
  std::function<void(Bytes&)> engine_patch;
  // Changes the finished executable (e.g. one byte in front of the section).
  std::function<void(Bytes&)> patch;
};

// A text table for the wizard's tests: text n of a language is the
// language's letter and n ("t7", "z7"), with the arguments of the texts the
// engine formats at its end; text 114 is empty (the caption heads the
// pages), and so are the numbers in `empty`. The languages are "English",
// then "Zweite".
LocalizedTexts NumberedTexts(const std::vector<char16_t>& letters, const std::vector<int>& empty = {});

// The settings stream of `settings` and `texts` (with the archive's flags).
Bytes EncodeSettings(const InstallSettings& settings, const LocalizedTexts& texts,
                     std::uint32_t archive_flags = 0);

// Builds the installer into the running test's scratch folder; returns its
// C:\ path, or "" after adding a test failure.
std::string MakeInstaller(const InstallerSpec& plan, const std::string& stem = "setup");

// Plain files in the archive (uncompressed chunks), with their sizes in the
// per-file value list: (name as the file record carries it, bytes).
void AddFiles(InstallerSpec& plan, const std::vector<std::pair<std::string, std::string>>& files);

// The output of the batch named `label` (e.g. "Pre-Installation Batch") as
// Install.log `log` holds it: what follows "Running <label>..." up to the
// empty line; "<not run>" when the log does not name the batch.
std::string CapturedBatchOutput(const std::string& log, const std::string& label);

}  // namespace ks::e2e
