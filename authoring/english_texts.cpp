#include "authoring/english_texts.h"

#include <utility>

namespace ks::authoring {
namespace {

// Format arguments are printf-style: %s for texts, %d for numbers; the
// engine fills them in the order its call passes them (see docs/manifest.md).
const std::pair<int, const char*> kTexts[] = {
    {0, "<product> Setup"},
    {1, "Welcome to the installation of <product>.\r\n\r\nThis program will install <description> on "
        "your computer. Please close all other applications before you continue."},
    {2, "Earlier installation found"},
    {3, "<product> is already installed in this folder:"},
    {4, "The same version of <product> is already installed in this folder:"},
    {5, "An older version of <product> is installed in this folder; it will be upgraded:"},
    {6, "A newer version of <product> is installed in this folder:"},
    {7, "Do you want to continue?"},
    {8, "Installing files..."},
    {9, "The installed version of <product> must be uninstalled before this version can be installed."},
    {10, "Some parts of <product> could not be removed:\r\n\r\n%s"},
    {11, "Choose the folder in which to install <product>:"},
    {12, "This product requires %s, which is not installed on this computer.\r\n\r\nPlease install it "
         "first, then run this installation again."},
    {13, "This installation program is corrupt.  This is usually caused by a faulty download, but it can "
         "also be caused by a virus on your computer.  The installation cannot proceed.\r\n\r\nDelete the "
         "corrupted installer (to prevent caching), then re-download it.  If the problem persists, check "
         "your system for viruses.\r\n\r\nError code: %d"},
    {14, "This folder cannot be used for the installation:"},
    {15, "<product> Uninstall"},
    {16, "The drive of this folder does not exist. Please choose another folder."},
    {17, "<product> cannot be installed in the root folder of a drive. Please choose a sub-folder."},
    {18, "<product> cannot be installed in the Program Files folder itself. Please choose a sub-folder."},
    {19, "There is not enough free disk space for the installation.\r\n\r\nSpace needed: %d KB\r\nSpace "
         "free: %d KB\r\n\r\nDo you want to continue anyway?"},
    {20, "Warning"},
    {21, "Error"},
    {24, "Installation Folder"},
    {25, "Cannot create folder:"},
    {26, "Creating shortcuts..."},
    {27, "Password:"},
    {28, "Do you really want to cancel the installation?"},
    {29, "Unpacking files..."},
    {30, "The folder name may contain only 7-bit ASCII characters (English letters, digits and common "
         "punctuation). Please choose another folder."},
    {31, "Failed:"},
    {32, "Finishing the installation..."},
    {33, "Uninstall <product>"},
    {34, "<product> has been removed from your computer."},
    {35, "Remove shared file?"},
    {37, "Your computer must be restarted to complete the installation of <product>.\r\n\r\nDo you want "
         "to restart now?"},
    {38, "%s"},
    {39, "Please wait while <product> is being installed."},
    {40, "The installation finished with errors. The details were written to:\r\n%s\r\n\r\nDo you want "
         "to view them now?"},
    {41, "Installation incomplete"},
    {42, "<product> has been installed successfully."},
    {43, "Installation complete"},
    {44, "License Agreement"},
    {45, "I &Agree"},
    {46, "I &Disagree"},
    {47, "Please read the following license agreement carefully:"},
    {48, "&Next >"},
    {49, "Cancel"},
    {50, "Read Me"},
    {51, "Please read the following information:"},
    {52, "&Browse..."},
    {53, "Do you really want to remove <product> and all of its components?"},
    {54, "Installing <product>"},
    {55, "Uninstall <product>"},
    {56, "The font \"%s\" was installed with <product>. Do you want to remove it?"},
    {57, "Remove font?"},
    {58, "Could not remove:"},
    {59, "The shared file\r\n%s\r\nis no longer used by any program. Do you want to remove it?\r\n\r\nIf "
         "another program still uses it, that program may stop working."},
    {61, "<product> cannot be installed on %s."},
    {65, "<product> Setup"},
    {66, "Network folders cannot be used for the installation. Please choose a folder on a local drive."},
    {67, "Removing fonts..."},
    {68, "Removing shared files..."},
    {69, "Removing registry entries..."},
    {70, "Removing file associations..."},
    {71, "Please wait while <product> is being removed."},
    {72, "An old version of <product> is installed. Replacing it may affect the settings or documents "
         "made with it.\r\n\r\nDo you want to continue?"},
    {74, "Your computer must be restarted to complete the removal of <product>.\r\n\r\nDo you want to "
         "restart now?"},
    {75, "Password"},
    {76, "This installation is protected by a password. Please enter it to continue."},
    {77, "Registering <file>..."},
    {78, "Writing registry entries..."},
    {79, "&Yes"},
    {80, "&No"},
    {81, "<product> requires a %d-bit version of Windows."},
    {82, "Please choose the language of the installation:"},
    {83, "&Open the installed files"},
    {84, "&Launch <product>"},
    {85, "&View the installation log"},
    {86, "Installation Log"},
    {87, "Show the &document"},
    {88, "Choose the Start menu folder for the shortcuts of <product>:"},
    {89, "Start Menu Folder"},
    {90, "&Install"},
    {91, "Another installation is running. Please wait until it has finished, then start this "
         "installation again."},
    {92, "Space needed: %s"},
    {93, "Space free: %s"},
    {94, "Language"},
    {95, "&Finish"},
    {96, "This drive cannot be used for the installation. Please choose a folder on a writable local "
         "hard disk."},
    {97, "Creating a system restore point..."},
    {98, "Cancel installation"},
    {99, "Please close %s before you continue.\r\n\r\nClick Retry when it is closed, or Cancel to stop "
         "the installation."},
    {101, "Cancel uninstallation"},
    {102, "The password is not correct."},
    {103, "Welcome"},
    {104, "&Uninstall"},
    {105, "<a>More information</a>"},
    {106, "The installed version of <product> cannot be replaced by a version lower than %s."},
    {107, "Please close %s before you continue.\r\n\r\nClick Retry when it is closed, or Cancel to stop "
          "the removal."},
    {108, "Removing Windows Installer packages..."},
    {109, "Before you remove <product>, would you like to visit our support page? We may be able to "
          "solve your problem."},
    {110, "Get help"},
    {111, "The operation was cancelled."},
    {112, "This product requires %s version %s or later. Please update it first."},
    {113, "Preparing the installation..."},
    {114, ""},
    {115, "Yes to &all"},
};

std::vector<std::string> BuildTable() {
  int highest = 0;
  for (const auto& [n, text] : kTexts) highest = n > highest ? n : highest;
  std::vector<std::string> table(static_cast<std::size_t>(highest) + 1);
  for (const auto& [n, text] : kTexts) table[static_cast<std::size_t>(n)] = text;
  return table;
}

}  // namespace

const std::vector<std::string>& EnglishTexts() {
  static const std::vector<std::string> table = BuildTable();
  return table;
}

}  // namespace ks::authoring
