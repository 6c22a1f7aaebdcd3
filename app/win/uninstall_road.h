#pragma once
// The road of one uninstallation: the product that "/u:" names is removed.

#include "core/localized_texts.h"
#include "core/start_options.h"
#include "core/win/reports.h"
#include "records/install_log.h"
#include "ui/win/program_resources.h"
#include "uninstall/win/uninstaller.h"

namespace ks {

struct UninstallRun {
  UninstallRun(const ProgramResources& program_resources, StartOptions start_options)
      : resources(program_resources), options(std::move(start_options)) {
    reports.follow_automatic(&options.automatic);
    reports.set_uninstalling(true);
  }
  UninstallRun(const UninstallRun&) = delete;
  UninstallRun& operator=(const UninstallRun&) = delete;

  const ProgramResources& resources;
  const StartOptions options;
  LocalizedTexts texts;
  InstallLog log;  // no step log: the uninstaller's failures are its own list
  Reports reports{texts, log};
  Uninstaller uninstaller{options.uninstall_name, UninstallContext{&options, &texts, &reports, &log, &resources}};
};

// Runs the uninstaller's steps in order; returns the uninstaller's result.
int RunUninstallRoad(UninstallRun& run);

}  // namespace ks
