#pragma once
// Running the product's batch scripts: "SETUPBAT.BAT" written into the batch
// folder (the installation folder when it exists, else the temporary folder),
// run by the command interpreter while the installer's windows stay alive,
// its output optionally captured into the step log, and deleted afterwards.
// The texts and rules are in engine/batch_text.h.
//
// Callers:
// - the preparation of the target (engine/win/prepare_target.cpp) calls
//   RunPreparationBatches(settings) as its last step, before any file is placed;
// - the finishing steps call RunPostInstallationBatch(settings, archive flags)
//   after the uninstall data file is written, and RunInstallationExitBatch(settings)
//   after the restart question;
// - the uninstaller calls RunUninstallBatch(1, flags, UninstallBatch1) before
//   the removal and RunUninstallBatch(2, flags, UninstallBatch2) at its end.
// Each runs on the main thread and returns when the batch has ended; no
// failure stops the caller (it is logged, and shown unless automatic).

#include <cstdint>

#include "core/install_settings.h"
#include "engine/batch_text.h"
#include "lib/text.h"

namespace ks {

// Runs one batch script. Returns true when the script is blank (nothing is
// written or logged) or the batch ran to its end; false when the batch file
// could not be written, the interpreter is missing or could not be started.
//  hidden: no window (always so in silent mode);
//  label:  empty for none; otherwise "Running <label>..." goes to the step
//          log and the batch's output is captured into it;
//  script: code page 1252, as the settings carry it.
bool RunBatch(bool hidden, NStringView label, NStringView script);
// The same for a script already decoded (e.g. a setting joined with a
// command-line addition in the system code page).
bool RunBatch(const BatchRun& batch);

// The Pre-Installation (with "/b1:"), Upgrade and Reinstall batches as the
// install type and the archive flags choose them. The first form takes the
// archive flags of the running installer.
void RunPreparationBatches(const InstallSettings& settings);
void RunPreparationBatches(const InstallSettings& settings, std::uint32_t archive_flags);

// The Post-Installation Batch (with "/b2:"), named in the log when the
// archive flags ask for it.
bool RunPostInstallationBatch(const InstallSettings& settings, std::uint32_t archive_flags);
// The Installation-Exit Batch (with "/b3:"), never named.
bool RunInstallationExitBatch(const InstallSettings& settings);
// `number` 1 or 2; `script` is the UninstallBatch1/2 value; its window is
// hidden by ProductFlags low 0x04000000 or 0x08000000.
bool RunUninstallBatch(int number, ProductFlags product_flags, NStringView script);

// ---- pieces, for tests and tools ---------------------------------------------

// The installation folder (of the path variables) when it exists, else the
// temporary folder.
WString BatchFolder();
// The interpreter as this system names it (COMSPEC or its fallbacks).
WString BatchInterpreter();
// The bytes RunBatch writes as "SETUPBAT.BAT" for `script` with the current
// path-variable values (PAUSE lines removed when `remove_pause`).
NString BatchFileFor(const WString& script, bool remove_pause);

}  // namespace ks
