#pragma once
// What the command line asked for. Filled once at start-up, before anything
// else reads it; the run keeps it.

#include <array>

#include "lib/text.h"

namespace ks {

struct StartOptions {
  bool automatic = false;             // "/a", "/silent": no wizard pages, few questions
  bool silent = false;                // "/silent": additionally no message box at all
  bool minimised_background = false;  // "MIN"

  // "/d:". Later holds the installation folder itself. The narrow copy is
  // made through the system code page for the code that needs ANSI text.
  WString install_folder;
  NString install_folder_ansi;

  // "/n:". Later holds the product name itself (the settings fill it only when empty).
  WString product_name;

  bool uninstall = false;   // "/u"
  WString uninstall_name;   // "/u:"

  WString run_after;  // "/r:": started after a successful installation

  // "/b1:", "/b2:", "/b3:": appended to the pre-installation, post-installation
  // and installation-exit batches, in that order. System ANSI code page.
  std::array<NString, 3> batch_additions;
};

}  // namespace ks
