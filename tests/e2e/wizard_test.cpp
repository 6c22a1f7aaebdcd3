// The wizard under Wine, driven through ksdriver: every page in each layout
// with each control's text read back by id against the text numbers,
// cancelling at each page, the password, the licence that must be scrolled,
// the folder checks in their order, the Start-menu entry check, and the
// summary page's boxes. Every text of the test table is "t" and its number
// ("z" and its number in the second language), so a control that shows the
// wrong text names the number it showed.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/install_settings.h"
#include "core/pe_resources.h"
#include "core/product_flags.h"
#include "harness/driver.h"
#include "harness/installer.h"
#include "harness/native.h"
#include "harness/screenshot.h"
#include "harness/wait.h"
#include "harness/wine.h"
#include "ui/bmp_file.h"

namespace ks::e2e {
namespace {

using namespace product_flag;

constexpr ProductFlags kAlwaysLog = FlagLow(0x00000040);
// With the uninstaller registered, the installation folder holds Install.log
// even though the products have no files.
constexpr ProductFlags kWalk =
    kFolderPage | kStartMenuPage | kProgressPage | kSummaryCheckBox | kAlwaysLog | kRegisterUninstaller;
constexpr std::uint32_t kScrollToEnd = 0x00800000;
constexpr std::uint32_t kAsciiOnly = 0x00010000;

std::string T(int n) { return "t" + std::to_string(n); }

LocalizedTexts Texts(bool two_languages, const std::vector<int>& empty = {}) {
  return NumberedTexts(two_languages ? std::vector<char16_t>{u't', u'z'} : std::vector<char16_t>{u't'}, empty);
}

struct Product {
  InstallerSpec plan;
  std::string name;
  std::string folder;  // where it installs
};

Product MakeProduct(std::uint32_t style, ProductFlags flags, bool two_languages = false) {
  Product p;
  p.name = UniqueName("Wizard");
  p.folder = ScratchFolder() + "\\App";
  InstallSettings& s = p.plan.settings;
  s.product_name = Widen(p.name);
  s.uninstall_key_name = Widen(p.name);
  s.install_path = Widen(p.folder);
  s.product_start_menu = u"Wizard Menu";
  s.wizard_caption = u"Caption of <product>";
  s.product_flags = flags;
  for (std::size_t i = 2; i < 10; ++i) s.page_styles.values[i] = style;
  p.plan.texts = Texts(two_languages);
  return p;
}

std::string Build(const Product& p) { return MakeInstaller(p.plan); }

DriverRun Drive(const std::string& installer, const std::vector<std::string>& acts,
                const std::vector<std::string>& args = {}) {
  DriverOptions options;
  options.timeout_seconds = 120;
  options.acts = acts;
  return RunProgram(installer, args, options);
}

// The first report of a page: the dialog that has control `id` (and, when
// given, the title; and not the control `without`).
const ShownWindow* Page(const DriverRun& run, int id, const std::string& title = "", int without = 0) {
  for (const ShownWindow& w : run.windows) {
    if (w.Control(id) && (title.empty() || w.title == title) && !(without && w.Control(without))) return &w;
  }
  return nullptr;
}

bool Shown(const ShownWindow& w, int id) { return w.Control(id) && !w.Control(id)->hidden; }

// ---- every page in every layout --------------------------------------------------

struct LayoutCase {
  const char* name;
  std::uint32_t style;
  int decoration;  // the control only this layout has: 0 none, 1021, 1032 or 1042
};

class WizardLayouts : public WineTestWithParam<LayoutCase> {};

TEST_P(WizardLayouts, EveryPageShowsItsTexts) {
  const LayoutCase& c = GetParam();
  Product p = MakeProduct(c.style, kWalk, true);
  InstallSettings& s = p.plan.settings;
  s.information_link = u"https://example.invalid/info";
  s.readme_documents = {{0xFF, 0xFE, 'R', 0, 'e', 0, 'a', 0, 'd', 0}};
  s.finishing_text1 = u"%InstallDir%";
  s.finishing_text2 = u"%InstallDir%\\doc.txt";
  s.launch_on_exit = u"%InstallDir%\\app.exe";
  const std::string installer = Build(p);
  ASSERT_FALSE(installer.empty());
  const bool band = c.decoration == 1032;
  // Through every page with its first button; the summary's boxes cleared so
  // that nothing starts at the end. With KS_SCREENSHOT_DIR each page is kept.
  const std::string shots = ScratchFolder();
  const bool keep = std::getenv("KS_SCREENSHOT_DIR") != nullptr;
  const auto act = [&](const std::string& condition, const std::string& name, const std::string& then) {
    return condition + (keep ? "|shot:" + shots + "\\" + name + ".bmp|" : "|") + then;
  };
  const DriverRun run = Drive(installer, {act("has:1017", "language", "press:1001"),
                                          c.style == 0 ? act("title:t65", "greeting", "button:OK")
                                                       : act("has:1040", "greeting", "press:1001"),
                                          act("has:1005|title:" + std::string(band ? "t65" : "t44"), "licence",
                                              "press:1001"),
                                          act("has:1005", "readme", "press:1001"),
                                          act("has:1036", "folder", "press:1001"),
                                          act("has:1015", "start_menu", "press:1001"),
                                          act("has:1023", "summary",
                                              "uncheck:1029|uncheck:1027|uncheck:1025|press:1001")});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output;

  // Each page: its window title (or, with the header band, the product title
  // and the page title under the caption), its texts by id, its layout.
  const std::string caption = "Caption of " + p.name;
  const auto check_frame = [&](const ShownWindow& w, const std::string& page_title) {
    EXPECT_EQ(w.title, band ? T(65) : page_title) << page_title;
    if (band) {
      EXPECT_EQ(w.ControlText(1034), caption) << page_title;
      EXPECT_EQ(w.ControlText(1035), page_title) << page_title;
    }
    for (const int id : {1021, 1032, 1042}) {
      const bool expected = id == c.decoration || (id == 1021 && c.decoration == 1042);
      EXPECT_EQ(w.Control(id) != nullptr, expected) << page_title << " control " << id;
    }
  };

  const ShownWindow* language = Page(run, 1017);
  ASSERT_NE(language, nullptr) << run.output;
  EXPECT_EQ(language->ControlText(1017), "English\nZweite");
  EXPECT_EQ(language->Control(1017)->selected, 0);
  EXPECT_EQ(language->ControlText(1009), T(82));
  EXPECT_EQ(language->ControlText(1001), T(48));
  EXPECT_EQ(language->ControlText(1003), T(49));
  check_frame(*language, T(94));

  if (c.style == 0) {
    const ShownWindow* box = FindWindow(run, T(65));
    ASSERT_NE(box, nullptr) << run.output;
    EXPECT_EQ(box->Text(), T(1));
  } else {
    const ShownWindow* greeting = Page(run, 1040);
    ASSERT_NE(greeting, nullptr) << run.output;
    EXPECT_EQ(greeting->ControlText(1009), (band ? "\r\n\r\n" : "") + T(1));
    EXPECT_EQ(greeting->ControlText(1040), T(105));  // no "<a>" in the text: nothing replaced
    EXPECT_EQ(greeting->ControlText(1001), T(48));
    EXPECT_EQ(greeting->ControlText(1003), T(49));
    check_frame(*greeting, band ? T(103) : T(65));
  }

  const ShownWindow* licence = Page(run, 1005, band ? T(65) : T(44));
  ASSERT_NE(licence, nullptr) << run.output;
  EXPECT_EQ(licence->ControlText(1009), T(47));
  EXPECT_EQ(licence->ControlText(1005), T(63));
  EXPECT_EQ(licence->ControlText(1001), T(45));
  EXPECT_EQ(licence->ControlText(1003), T(46));
  check_frame(*licence, T(44));

  const ShownWindow* readme = nullptr;
  for (const ShownWindow& w : run.windows) {
    if (w.Control(1005) && w.ControlText(1009) == T(51)) readme = readme ? readme : &w;
  }
  ASSERT_NE(readme, nullptr) << run.output;
  EXPECT_EQ(readme->ControlText(1005), T(64));  // the language's text first, then the document
  EXPECT_EQ(readme->ControlText(1001), T(48));
  EXPECT_EQ(readme->ControlText(1003), T(49));
  check_frame(*readme, T(50));
  std::string second_readme;
  for (const ShownWindow& w : run.windows) {
    if (w.Control(1005) && w.ControlText(1009) == T(51) && w.ControlText(1005) != T(64)) {
      second_readme = w.ControlText(1005);
    }
  }
  EXPECT_EQ(second_readme, "Read");

  const ShownWindow* folder = Page(run, 1036);
  ASSERT_NE(folder, nullptr) << run.output;
  EXPECT_EQ(folder->ControlText(1009), T(11));
  EXPECT_EQ(folder->ControlText(1015), p.folder);
  EXPECT_EQ(folder->ControlText(1013), T(52));
  EXPECT_EQ(folder->ControlText(1001), T(48));  // the Start-menu page follows
  EXPECT_EQ(folder->ControlText(1003), T(49));
  EXPECT_TRUE(folder->Control(1036)->hidden);  // no space figures without their archive flag
  check_frame(*folder, T(24));

  const ShownWindow* start_menu = Page(run, 1015, "", 1036);
  ASSERT_NE(start_menu, nullptr) << run.output;
  EXPECT_EQ(start_menu->ControlText(1009), T(88));
  EXPECT_EQ(start_menu->ControlText(1015), "Wizard Menu");
  EXPECT_EQ(start_menu->ControlText(1013), T(52));
  EXPECT_EQ(start_menu->ControlText(1001), T(90));
  EXPECT_EQ(start_menu->ControlText(1003), T(49));
  check_frame(*start_menu, T(89));

  const ShownWindow* summary = Page(run, 1023);
  ASSERT_NE(summary, nullptr) << run.output;
  EXPECT_EQ(summary->ControlText(1009), T(42));
  EXPECT_EQ(summary->ControlText(1001), T(95));
  const std::pair<int, int> boxes[] = {{1023, 85}, {1025, 87}, {1027, 83}, {1029, 84}};
  for (const auto& [id, text] : boxes) {
    EXPECT_EQ(summary->ControlText(id), T(text)) << id;
    EXPECT_TRUE(Shown(*summary, id)) << id;
  }
  EXPECT_TRUE(summary->Control(1029)->checked);
  EXPECT_FALSE(summary->Control(1023)->checked);
  check_frame(*summary, T(43));

  // The installation happened where the folder page said.
  EXPECT_TRUE(PrefixFileExists(p.folder + "\\Install.log"));

  // The pages as pictures for docs/wizard.md (scripts/wizard-screenshots.sh).
  const std::pair<const char*, const ShownWindow*> pictures[] = {
      {"language", language},
      {"greeting", c.style == 0 ? FindWindow(run, T(65)) : Page(run, 1040)},
      {"licence", licence},
      {"readme", readme},
      {"folder", folder},
      {"start_menu", start_menu},
      {"summary", summary}};
  for (const auto& [name, window] : pictures) {
    Screenshot shot;
    if (window && ReadBitmapFile(LinuxPath(shots + "\\" + name + ".bmp"), &shot)) {
      KeepScreenshot(Crop(shot, window->left, window->top, window->right, window->bottom),
                     std::string(name) + "-" + c.name);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Styles, WizardLayouts,
                         ::testing::Values(LayoutCase{"plain", 0, 0}, LayoutCase{"side", 1, 1021},
                                           LayoutCase{"band", 2, 1032}, LayoutCase{"panel", 3, 1042},
                                           LayoutCase{"seven_is_band", 7, 1032}),
                         [](const auto& test) { return std::string(test.param.name); });

// ---- cancelling ----------------------------------------------------------------------

// The pages in their order, each with the act that goes on and the one that cancels.
struct PageActs {
  const char* name;
  const char* go_on;
  const char* cancel;
  bool box;  // the cancellation box follows (the greeting declines quietly)
};
const PageActs kPages[] = {
    {"language", "has:1017|press:1001", "has:1017|press:1003", true},
    {"greeting", "has:1040|press:1001", "has:1040|press:1003", false},
    {"password", "has:1019|set:1019=pw|press:1001", "has:1019|press:1003", true},
    {"licence", "has:1005|press:1001", "has:1005|press:1003", true},
    {"readme", "has:1005|press:1001", "has:1005|press:1003", true},
    {"folder", "has:1036|press:1001", "has:1036|press:1003", true},
    {"start_menu", "has:1015|press:1001", "has:1015|press:1003", true},
    // The progress page asks first (text 28); ksdriver answers Yes.
    {"progress", "", "has:1007|press:1003", true},
};

class WizardCancel : public WineTestWithParam<int> {};

TEST_P(WizardCancel, EndsWithTwelve) {
  const PageActs& page = kPages[GetParam()];
  Product p = MakeProduct(1, kWalk, true);
  p.plan.settings.password = u"pw";
  p.plan.settings.stage_display_time = 3000;  // the progress page stays long enough to be found
  const std::string installer = Build(p);
  ASSERT_FALSE(installer.empty());
  std::vector<std::string> acts;
  for (int i = 0; i < GetParam(); ++i) acts.push_back(kPages[i].go_on);
  acts.push_back(page.cancel);
  const DriverRun run = Drive(installer, acts);
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 12) << run.output;
  const ShownWindow* report = FindWindow(run, T(98));
  if (page.box) {
    ASSERT_NE(report, nullptr) << run.output;
    EXPECT_EQ(report->Text(), T(111));
  } else {
    EXPECT_EQ(report, nullptr) << run.output;
  }
  EXPECT_FALSE(PrefixFileExists(p.folder + "\\Install.log"));
}

INSTANTIATE_TEST_SUITE_P(Pages, WizardCancel, ::testing::Range(0, static_cast<int>(std::size(kPages))),
                         [](const auto& test) { return std::string(kPages[test.param].name); });

// ---- single pages ----------------------------------------------------------------------

class Wizard : public WineTest {};

TEST_F(Wizard, WrongPasswordThenRight) {
  Product p = MakeProduct(1, kNoGreetingPage);
  p.plan.settings.password = u"Secret";
  const std::string installer = Build(p);
  ASSERT_FALSE(installer.empty());
  const DriverRun run = Drive(installer, {"has:1019|set:1019=secret|press:1001", "has:1019|set:1019=Secret|press:1001"});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output;
  const ShownWindow* page = Page(run, 1019);
  ASSERT_NE(page, nullptr) << run.output;
  EXPECT_EQ(page->title, T(75));
  EXPECT_EQ(page->ControlText(1009), T(76));
  EXPECT_EQ(page->ControlText(1039), T(27));
  EXPECT_EQ(page->ControlText(1001), "OK");
  EXPECT_EQ(page->ControlText(1003), T(49));
  const ShownWindow* wrong = FindWindow(run, T(21));
  ASSERT_NE(wrong, nullptr) << run.output;
  EXPECT_EQ(wrong->Text(), T(102));
  // A single language: no language page.
  EXPECT_EQ(Page(run, 1017), nullptr);
}

TEST_F(Wizard, PasswordIsNotAskedSilently) {
  Product p = MakeProduct(1, 0);
  p.plan.settings.password = u"Secret";
  const std::string installer = Build(p);
  ASSERT_FALSE(installer.empty());
  const DriverRun run = Drive(installer, {}, {"/silent"});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 12);
  EXPECT_TRUE(run.windows.empty()) << run.output;
  EXPECT_FALSE(PrefixFileExists(p.folder + "\\Install.log"));
}

TEST_F(Wizard, LicenceMustBeScrolledToItsEnd) {
  Product p = MakeProduct(1, kNoGreetingPage);
  p.plan.texts = Texts(false, {63, 64});
  std::string lines;
  for (int i = 0; i < 200; ++i) lines += "Line " + std::to_string(i) + "\r\n";
  Bytes licence = {0xFF, 0xFE};
  for (const char ch : lines) licence.insert(licence.end(), {static_cast<std::uint8_t>(ch), 0});
  p.plan.settings.licence_documents = {licence};
  p.plan.archive.flags |= kScrollToEnd;
  const std::string installer = Build(p);
  ASSERT_FALSE(installer.empty());
  const DriverRun run = Drive(installer, {"has:1005|press:1001", "has:1005|scroll:1005|press:1001"});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_EQ(run.refused, std::vector<int>{1001}) << run.output;
  const ShownWindow* first = Page(run, 1005);
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->Control(1001)->disabled);
}

TEST_F(Wizard, FolderRefusalsComeInOrder) {
  Product p = MakeProduct(1, kNoGreetingPage | kFolderPage | kAlwaysLog | kRegisterUninstaller);
  p.plan.archive.flags |= kAsciiOnly;
  const std::string installer = Build(p);
  ASSERT_FALSE(installer.empty());
  const std::string chosen = ScratchFolder() + "\\Chosen";
  const auto enter = [](const std::string& folder) { return "has:1015|set:1015=" + folder + "|press:1001"; };
  const DriverRun run = Drive(installer, {enter("C:\\"), enter("C:\\Program Files"), enter("Q:\\Nowhere"),
                                          enter("C:\\Caf\xC3\xA9"), enter("C:\\a?b"), enter("   "), enter(chosen)});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output;
  std::vector<std::string> refusals;
  int pages = 0;
  for (const ShownWindow& w : run.windows) {
    if (w.title == T(21)) refusals.push_back(w.Text());
    if (w.Control(1015) && !w.pressed.empty()) ++pages;
  }
  EXPECT_EQ(refusals, (std::vector<std::string>{T(17), T(18), T(16), T(30), T(14) + "\r\n\r\nC:\\a?b"}))
      << run.output;
  // Seven entries, seven times the page: the blank one came back without a box.
  EXPECT_EQ(pages, 7) << run.output;
  EXPECT_TRUE(PrefixFileExists(chosen + "\\Install.log"));
  EXPECT_FALSE(PrefixFileExists(p.folder + "\\Install.log"));
}

TEST_F(Wizard, StartMenuEntryWithColonDisablesTheButton) {
  Product p = MakeProduct(1, kNoGreetingPage | kStartMenuPage | kRegisterUninstaller);
  const std::string installer = Build(p);
  ASSERT_FALSE(installer.empty());
  const DriverRun run = Drive(installer, {"has:1015|set:1015=Bad:Name", "has:1015|press:1001",
                                          "has:1015|set:1015=Good Name|press:1001"});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_EQ(run.refused, std::vector<int>{1001}) << run.output;
  bool saw_disabled = false;
  for (const ShownWindow& w : run.windows) {
    if (w.ControlText(1015) == "Bad:Name") saw_disabled = saw_disabled || w.Control(1001)->disabled;
  }
  EXPECT_TRUE(saw_disabled) << run.output;
  const std::string key = kUninstallKey + p.name;
  EXPECT_EQ(RegQuery(key, "ProductStartMenu", RegView::k32).value_or("<none>"), "Good Name");
}

TEST_F(Wizard, LanguagePageSwitchesTheTexts) {
  Product p = MakeProduct(1, 0, true);
  const std::string installer = Build(p);
  ASSERT_FALSE(installer.empty());
  const DriverRun run = Drive(installer, {"has:1017|select:1017=1", "has:1017|press:1001"});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output;
  std::vector<std::string> labels;
  for (const ShownWindow& w : run.windows) {
    if (w.Control(1017)) labels.push_back(w.ControlText(1009) + "|" + w.title);
  }
  ASSERT_GE(labels.size(), 2u) << run.output;
  EXPECT_EQ(labels.front(), "t82|t94");
  EXPECT_EQ(labels.back(), "z82|z94");
  // The pages after it speak the second language.
  const ShownWindow* greeting = Page(run, 1040);
  ASSERT_NE(greeting, nullptr) << run.output;
  EXPECT_EQ(greeting->ControlText(1009), "z1");
}

TEST_F(Wizard, MinimisedBackgroundStillShowsThePages) {
  Product p = MakeProduct(1, 0);
  const std::string installer = Build(p);
  ASSERT_FALSE(installer.empty());
  const DriverRun run = Drive(installer, {}, {"/MIN"});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output;
  ASSERT_FALSE(run.other_windows.empty()) << run.output;
  EXPECT_EQ(run.other_windows[0].cls, "SEA Window Class");
  EXPECT_EQ(run.other_windows[0].show, "min");
  EXPECT_NE(Page(run, 1040), nullptr) << run.output;
}

TEST_F(Wizard, SummaryChoicesReachTheFinishingSteps) {
  Product p = MakeProduct(1, kNoGreetingPage | kAlwaysLog);
  const std::string launched = CopyIntoPrefix(BuildProgramLinuxPath("ksrecord.exe"), ScratchFolder(), "launched.exe");
  ASSERT_FALSE(launched.empty());
  p.plan.settings.launch_on_exit = Widen(launched + " one two");
  p.plan.archive.flags |= 0x00100000;  // started as a process of its own
  const std::string installer = Build(p);
  ASSERT_FALSE(installer.empty());
  const DriverRun unticked = Drive(installer, {"has:1029|uncheck:1029|press:1001"});
  ASSERT_TRUE(unticked.ok) << unticked.error << unticked.output;
  const ShownWindow* summary = Page(unticked, 1029);
  ASSERT_NE(summary, nullptr) << unticked.output;
  for (const int hidden : {1023, 1025, 1027}) EXPECT_TRUE(summary->Control(hidden)->hidden) << hidden;
  EXPECT_FALSE(PrefixFileExists(launched + ".cmdline"));

  DriverOptions options;
  options.timeout_seconds = 120;
  options.wait_for_descendants = true;
  const DriverRun ticked = RunProgram(installer, {}, options);
  ASSERT_TRUE(ticked.ok) << ticked.error << ticked.output;
  EXPECT_EQ(ticked.exit_code, 0);
  ASSERT_TRUE(WaitUntil([&] { return PrefixFileExists(launched + ".cmdline"); }, std::chrono::seconds(30)));
  EXPECT_NE(ReadPrefixFile(launched + ".cmdline").value_or("").find("one two"), std::string::npos);
}

// ---- the author's pictures ---------------------------------------------------------------

// The author's side picture, built in by the authoring tool, on the greeting
// page. It looks at the shared screen, so it runs alone.
class SerialWizardPictures : public WineTest {};

TEST_F(SerialWizardPictures, AuthorsSidePictureIsShown) {
  // Flat areas of distinct colours: the upper half one, the lower half another.
  const Pixel upper{200, 40, 160}, lower{30, 160, 60};
  const Bytes picture = BitmapFile(60, 120, [](int, int y) { return y < 60 ? Pixel{200, 40, 160} : Pixel{30, 160, 60}; });
  const std::string folder = ScratchFolder();
  ASSERT_TRUE(WritePrefixFile(folder + "\\side.bmp", std::string(picture.begin(), picture.end())));
  const std::string name = UniqueName("Pictures");
  ASSERT_TRUE(WritePrefixFile(folder + "\\setup.toml", "[product]\nname = \"" + name + "\"\n" +
                                                          "[wizard]\nside_picture = \"side.bmp\"\n" +
                                                          "[wizard.layout]\ngreeting = 1\n"));
  const NativeResult tool = RunNative({AuthoringToolPath(), LinuxPath(folder + "\\setup.toml"), "-o",
                                       LinuxPath(folder + "\\setup.exe"), "-q", "--engine", EngineLinuxPath()});
  ASSERT_EQ(tool.status, 0) << tool.out;

  // The engine copy holds the picture as the loader reads it.
  const auto built = ReadPrefixFile(folder + "\\setup.exe");
  ASSERT_TRUE(built);
  ResourceTable table;
  std::string error;
  ASSERT_TRUE(ReadResources(Bytes(built->begin(), built->end()), &table, &error)) << error;
  Bytes expected;
  ASSERT_TRUE(BmpResourceFromFile(picture, &expected));
  const Resource* side = FindResourceEntry(table, ResourceKey::Id(resource_type::kBitmap), ResourceKey::Id(2),
                                           kResourceLanguageEnglishUs);
  ASSERT_NE(side, nullptr);
  EXPECT_EQ(side->data, expected);

  // The greeting with its side picture, seen on the screen; cancelled there.
  const std::string shot = folder + "\\greeting.bmp";
  const DriverRun run = Drive(folder + "\\setup.exe", {"has:1040|shot:" + shot + "|press:1003"});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 12) << run.output;
  const ShownWindow* greeting = Page(run, 1040);
  ASSERT_NE(greeting, nullptr) << run.output;
  ASSERT_NE(greeting->Control(1021), nullptr) << "the greeting has no side picture";
  Screenshot screen;
  ASSERT_TRUE(ReadBitmapFile(LinuxPath(shot), &screen));
  const Screenshot page = Crop(screen, greeting->left, greeting->top, greeting->right, greeting->bottom);
  KeepScreenshot(page, "greeting-author-side-picture");
  // The picture fills the control at the page's left, which takes the upper
  // 85 % of the client area and 30 % of its width: points well inside each
  // half, clear of the caption above and of the halves' seam.
  const struct {
    double x, y;
    Pixel colour;
  } points[] = {{0.06, 0.22, upper}, {0.22, 0.22, upper}, {0.06, 0.68, lower}, {0.22, 0.68, lower}};
  for (const auto& p : points) {
    const int x = static_cast<int>(p.x * page.width), y = static_cast<int>(p.y * page.height);
    const Pixel seen = page.At(x, y);
    EXPECT_TRUE(Near(seen, p.colour, 12)) << "at " << x << "," << y << ": " << Describe(seen) << ", expected "
                                          << Describe(p.colour);
  }
}

}  // namespace
}  // namespace ks::e2e
