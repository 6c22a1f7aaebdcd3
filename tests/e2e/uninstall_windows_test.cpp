// The uninstaller's windows under Wine: its background window from the
// values the installation registered, the support offer in place of a
// question box, and the progress window with its texts. The texts are the
// installation's ("t" and the number), which the uninstaller reads back from
// "[Strings]" of Uninstall.DAT.

#include <gtest/gtest.h>

#include <string>

#include "core/install_settings.h"
#include "core/product_flags.h"
#include "harness/driver.h"
#include "harness/installer.h"
#include "harness/wine.h"

namespace ks::e2e {
namespace {

using namespace product_flag;


std::string T(int n) { return "t" + std::to_string(n); }

class UninstallWindows : public WineTest {
 protected:
  // Installs a product (automatic: no pages, but the flags as the author set
  // them) whose uninstaller shows its windows; returns the uninstaller.
  std::string Install() {
    name_ = UniqueName("Windows");
    dir_ = ScratchFolder() + "\\App";
    InstallerSpec plan;
    InstallSettings& s = plan.settings;
    s.product_name = Widen(name_);
    s.install_path = Widen(dir_);
    s.wizard_caption = u"Header of <product>";
    s.taskbar_text = u"Removing";
    s.support_offer = "https://example.invalid/help";
    s.product_flags = kRegisterUninstaller | kProgressPage | kNoGreetingPage;
    plan.texts = NumberedTexts({u't'}, {63, 64});
    const std::string installer = MakeInstaller(plan);
    if (installer.empty()) return {};
    DriverOptions options;
    options.timeout_seconds = 120;
    const DriverRun run = RunProgram(installer, {"/a"}, options);
    EXPECT_TRUE(run.ok && run.exit_code == 0) << run.error << run.output;
    return dir_ + "\\uninstall.exe";
  }

  DriverRun Uninstall(const std::string& uninstaller, const std::vector<std::string>& acts) {
    DriverOptions options;
    options.timeout_seconds = 120;
    options.acts = acts;
    return RunProgram(uninstaller, {"/u:" + name_}, options);
  }

  std::string name_, dir_;
};

TEST_F(UninstallWindows, ProgressWindowAndBackground) {
  const std::string uninstaller = Install();
  ASSERT_TRUE(PrefixFileExists(uninstaller)) << uninstaller;
  const DriverRun run = Uninstall(uninstaller, {"title:" + T(110) + "|press:1003"});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output;

  const ShownWindow* confirm = FindWindow(run, T(55));
  ASSERT_NE(confirm, nullptr) << run.output;
  EXPECT_EQ(confirm->Text(), T(53));
  EXPECT_EQ(confirm->buttons, (std::vector<std::string>{T(79), T(80)}));

  const ShownWindow* offer = FindWindow(run, T(110));
  ASSERT_NE(offer, nullptr) << run.output;
  EXPECT_EQ(offer->ControlText(1009), T(109));
  EXPECT_EQ(offer->ControlText(1001), T(110));
  EXPECT_EQ(offer->ControlText(1003), T(104));

  const ShownWindow* progress = nullptr;
  for (const ShownWindow& w : run.windows) {
    if (w.Control(1007)) progress = progress ? progress : &w;
  }
  ASSERT_NE(progress, nullptr) << run.output;
  EXPECT_EQ(progress->title, T(55));
  EXPECT_EQ(progress->ControlText(1009), T(71));
  EXPECT_EQ(progress->ControlText(1034), "Header of " + name_);  // the pages' header title of Uninstall.DAT
  EXPECT_EQ(progress->ControlText(1035), T(55));
  EXPECT_TRUE(progress->Control(1003)->disabled);

  ASSERT_FALSE(run.other_windows.empty()) << run.output;
  EXPECT_EQ(run.other_windows[0].cls, "SEA Window Class");
  EXPECT_EQ(run.other_windows[0].title, "Removing");
  EXPECT_FALSE(RegQuery(kUninstallKey + name_, "UninstallString", RegView::k32).has_value());
}

TEST_F(UninstallWindows, ChoosingTheSupportOfferRemovesNothing) {
  const std::string uninstaller = Install();
  ASSERT_TRUE(PrefixFileExists(uninstaller)) << uninstaller;
  const DriverRun run = Uninstall(uninstaller, {"title:" + T(110) + "|press:1001"});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 12) << run.output;
  EXPECT_TRUE(RegQuery(kUninstallKey + name_, "UninstallString", RegView::k32).has_value());
  EXPECT_TRUE(PrefixFileExists(uninstaller));
}

}  // namespace
}  // namespace ks::e2e
