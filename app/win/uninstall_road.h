#pragma once
// The road of one uninstallation: the product that "/u:" names is removed.

#include <memory>

#include "core/localized_texts.h"
#include "core/start_options.h"
#include "core/win/reports.h"
#include "integration/win/system_firewall.h"
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
  // The system firewall's settings (the real ones unless a test hands its own).
  std::unique_ptr<FirewallSettings> firewall = MakeSystemFirewall();
  Uninstaller uninstaller{options.uninstall_name,
                          UninstallContext{&options, &texts, &reports, &log, firewall.get(), &resources}};
};

// Runs the uninstaller's steps in order; returns the uninstaller's result.
int RunUninstallRoad(UninstallRun& run);

}  // namespace ks
