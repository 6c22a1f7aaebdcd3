#pragma once
// Running the product's batch scripts: "SETUPBAT.BAT" written into the batch
// folder (the installation folder when it exists, else the temporary folder),
// run by the command interpreter while the installer's windows stay alive,
// its output optionally captured into the step log, and deleted afterwards.
// The texts and rules are in engine/batch_text.h.
//
// Callers:
// - the preparation of the target (engine/win/prepare_target.cpp) runs the
//   preparation batches as its last step, before any file is placed;
// - the finishing steps run the post-installation batch after the uninstall
//   data file is written, and the installation-exit batch after the restart
//   question;
// - the uninstaller runs UninstallBatch1 before the removal and
//   UninstallBatch2 at its end.
// Each runs on the main thread and returns when the batch has ended; no
// failure stops the caller (it is logged, and shown unless automatic).

#include <cstdint>

#include "core/existing_installation.h"
#include "core/install_settings.h"
#include "core/localized_texts.h"
#include "engine/batch_text.h"
#include "engine/win/path_variables.h"
#include "lib/text.h"
#include "records/install_log.h"

namespace ks {

// What every batch of one run shares.
struct BatchContext {
  const PathVariables* vars = nullptr;    // the SET lines and %InstallDir%, the batch folder
  InstallLog* log = nullptr;
  const LocalizedTexts* texts = nullptr;  // the error box's title
  bool silent = false;        // no batch window and no box, ever
  bool automatic = false;     // no error box; PAUSE lines are removed
  bool uninstalling = false;  // the uninstaller's batches
};

// Runs one batch script. Returns true when the script is blank (nothing is
// written or logged) or the batch ran to its end; false when the batch file
// could not be written, the interpreter is missing or could not be started.
//  hidden: no window (always so in silent mode);
//  label:  empty for none; otherwise "Running <label>..." goes to the step
//          log and the batch's output is captured into it;
//  script: code page 1252, as the settings carry it.
bool RunBatch(const BatchContext& context, bool hidden, NStringView label, NStringView script);
// The same for a script already decoded (e.g. a setting joined with a
// command-line addition in the system code page).
bool RunBatch(const BatchContext& context, const BatchRun& batch);

// The Pre-Installation (with "/b1:"), Upgrade and Reinstall batches as the
// install type and the archive flags choose them.
void RunPreparationBatches(const BatchContext& context, const InstallSettings& settings,
                           std::uint32_t archive_flags, const NString& addition, InstallType install_type,
                           bool earlier_folder_exists);

// The Post-Installation Batch (with "/b2:"), named in the log when the
// archive flags ask for it.
bool RunPostInstallationBatch(const BatchContext& context, const InstallSettings& settings,
                              std::uint32_t archive_flags, const NString& addition);
// The Installation-Exit Batch (with "/b3:"), never named.
bool RunInstallationExitBatch(const BatchContext& context, const InstallSettings& settings,
                              const NString& addition);
// `number` 1 or 2; `script` is the UninstallBatch1/2 value; its window is
// hidden by ProductFlags low 0x04000000 or 0x08000000.
bool RunUninstallBatch(const BatchContext& context, int number, ProductFlags product_flags, NStringView script);

// ---- pieces, for tests and tools ---------------------------------------------

// The installation folder (of the path variables) when it exists, else the
// temporary folder.
WString BatchFolder(const PathVariables& vars);
// The interpreter as this system names it (COMSPEC or its fallbacks).
WString BatchInterpreter();
// The bytes RunBatch writes as "SETUPBAT.BAT" for `script` with the current
// path-variable values (PAUSE lines removed when `remove_pause`).
NString BatchFileFor(const PathVariables& vars, bool uninstalling, const WString& script, bool remove_pause);

}  // namespace ks
