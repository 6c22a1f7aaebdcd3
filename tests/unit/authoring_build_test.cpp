#include "authoring/build.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <algorithm>
#include <regex>
#include <set>
#include <unistd.h>

#include "authoring/english_texts.h"
#include "bmp_fixture.h"
#include "core/archive_header.h"
#include "core/pe_image.h"
#include "core/pe_resources.h"
#include "core/settings_block.h"
#include "crash/report_form.h"
#include "ui/bmp_file.h"
#include "ui/wizard_rules.h"

namespace ks::authoring {
namespace {

namespace fs = std::filesystem;

void Put16(Bytes& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A stand-in engine: a PE32 image with three sections of 0x200 bytes.
Bytes FakeEngine() {
  constexpr std::size_t kPe = 0x80, kTable = kPe + 24 + 0xE0;
  Bytes f(0x400, 0);
  f[0] = 'M';
  f[1] = 'Z';
  Put32(f, 0x3C, kPe);
  std::memcpy(&f[kPe], "PE\0\0", 4);
  Put16(f, kPe + 4, 0x14C);
  Put16(f, kPe + 6, 3);
  Put16(f, kPe + 20, 0xE0);
  Put16(f, kPe + 24, 0x10B);
  Put32(f, kPe + 0x38, 0x1000);
  Put32(f, kPe + 0x3C, 0x200);
  Put32(f, kPe + 0x54, 0x400);
  const char* names[] = {".text", ".data", ".rdata"};
  for (std::uint32_t i = 0; i < 3; ++i) {
    const std::size_t e = kTable + i * 40;
    std::memcpy(&f[e], names[i], std::strlen(names[i]));
    Put32(f, e + 8, 0x200);
    Put32(f, e + 12, 0x1000 * (i + 1));
    Put32(f, e + 16, 0x200);
    Put32(f, e + 20, static_cast<std::uint32_t>(f.size()));
    f.resize(f.size() + 0x200, static_cast<std::uint8_t>(0x90 + i));
  }
  Put32(f, kPe + 0x20, 0x600);
  Put32(f, kPe + 0x50, 0x4000);
  return f;
}

// The stand-in engine with resources, as the real one has: its last section
// holds a resource tree with the program icon and `more`.
Bytes FakeEngineWithResources(const ResourceTable& more = {}) {
  constexpr std::size_t kPe = 0x80, kOptional = kPe + 24, kLast = kPe + 24 + 0xE0 + 2 * 40;
  Bytes f = FakeEngine();
  Put32(f, kOptional + 0x5C, 16);
  ResourceTable resources = {
      Resource{ResourceKey::Id(resource_type::kIcon), ResourceKey::Id(1), kResourceLanguageEnglishUs, 0, Bytes(40, 7)}};
  resources.insert(resources.end(), more.begin(), more.end());
  const Bytes tree = BuildResourceSection(resources, 0x3000);
  std::copy(tree.begin(), tree.end(), f.begin() + 0x800);
  Put32(f, kOptional + 0x60 + 2 * 8, 0x3000);
  Put32(f, kOptional + 0x60 + 2 * 8 + 4, static_cast<std::uint32_t>(tree.size()));
  std::memcpy(&f[kLast], ".rsrc\0\0\0", 8);
  return f;
}

class Scratch {
 public:
  Scratch() {
    static int counter = 0;
    dir_ = fs::temp_directory_path() / ("ks-build-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    fs::create_directories(dir_);
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  fs::path Write(const std::string& name, const std::string& text) const {
    std::ofstream(dir_ / name, std::ios::binary) << text;
    return dir_ / name;
  }

 private:
  fs::path dir_;
};

Manifest LoadOrDie(const std::string& manifest, const std::string& german = "") {
  Scratch dir;
  if (!german.empty()) dir.Write("de.toml", german);
  Diagnostics diags;
  auto m = LoadManifest(dir.Write("setup.toml", manifest), diags);
  EXPECT_TRUE(m) << diags.Text();
  return m ? *m : Manifest{};
}

// What the engine reads back from an installer: the archive and the settings.
struct ReadBack {
  ArchiveHeader header;
  InstallSettings settings;
  LocalizedTexts texts;
};

ReadBack ReadInstaller(const Bytes& exe) {
  ReadBack r;
  const SectionLookupResult found = FindSetupSection(exe.data(), exe.size(), exe.size());
  EXPECT_EQ(found.outcome, SectionLookup::kFound);
  const std::uint8_t* section = exe.data() + found.section.raw_offset;
  const std::size_t size = found.section.MappedSize();
  const HeaderResult header = ParseArchiveHeader(section, size);
  EXPECT_EQ(header.outcome, HeaderOutcome::kOk) << header.corrupt_code;
  r.header = header.header;
  const SettingsBlockResult block = DecodeSettingsBlock(r.header, section, size);
  EXPECT_EQ(block.corrupt_code, 0);
  EXPECT_TRUE(CheckSettingsCrc(block.stream, r.header.settings_check));
  SettingsInput input;
  input.archive_flags = r.header.flags;
  input.program_files = u"C:\\Program Files";
  EXPECT_EQ(ReadInstallSettings(ByteReader(block.stream), input, {}, r.settings, r.texts), 0);
  return r;
}

const char kGerman[] = "name = \"Deutsch\"\n[texts]\n1 = \"Willkommen bei <product>\"\n49 = \"Abbrechen\"\n";

BuildResult Build(const Manifest& m, const std::optional<SystemTime>& date = std::nullopt) {
  return BuildInstaller(m, FakeEngine(), date, CompressOptions{}, {});
}

TEST(AuthoringBuildTest, ManifestRoundTripsThroughTheEngineReader) {
  for (const bool encipher : {false, true}) {
    SCOPED_TRACE(encipher ? "enciphered" : "scrambled");
    const Manifest m = LoadOrDie(std::string(R"([product]
name = "Demo"
version = "3.0"
publisher = "Maker"
[wizard]
caption = "<product> installer"
[flags]
start_menu_page = true
[archive]
encipher = )") + (encipher ? "true" : "false") + R"(
[texts]
1 = "Hello from <product>"
[languages]
files = ["de.toml"]
)",
                                 kGerman);
    const BuildResult built = Build(m, FromUnixSeconds(1700000000));
    ASSERT_TRUE(built.ok) << built.diags.Text();
    ReadBack back = ReadInstaller(built.executable);
    EXPECT_EQ(back.header.version, "46.0");
    EXPECT_EQ(back.header.enciphered(), encipher);
    EXPECT_EQ(back.settings.product_name, u"Demo");
    EXPECT_EQ(back.settings.display_version, u"3.0");
    EXPECT_EQ(back.settings.publisher, u"Maker");
    EXPECT_EQ(back.settings.wizard_caption, u"Demo installer");
    EXPECT_EQ(back.settings.product_flags, m.settings.product_flags);
    EXPECT_EQ(back.settings.build_date.year, 2023);
    EXPECT_EQ(back.settings.build_date.month, 11);
    EXPECT_EQ(back.settings.build_date.day, 14);
    ASSERT_EQ(back.texts.language_count(), 2u);
    EXPECT_EQ(back.texts.language_name(0), u"English");
    EXPECT_EQ(back.texts.language_name(1), u"Deutsch");
    EXPECT_EQ(back.texts.current_language(), 0);
    EXPECT_EQ(back.texts.Text(1), u"Hello from Demo");
    EXPECT_EQ(back.texts.Text(21), u"Error");
    back.texts.set_current_language(1);
    EXPECT_EQ(back.texts.Text(1), u"Willkommen bei Demo");
    EXPECT_EQ(back.texts.Text(49), u"Abbrechen");
    EXPECT_EQ(back.texts.Text(21), u"Error") << "untranslated texts fall back to English";
  }
}

TEST(AuthoringBuildTest, CrashReportAddressesBecomeTheEnginesStrings) {
  const Manifest m = LoadOrDie(R"([product]
name = "Demo"
[crash_report]
support_address = "help@maker.example"
form_address = "https://maker.example/crash?product=demo"
)");
  const BuildResult r = BuildInstaller(m, FakeEngineWithResources(), std::nullopt, CompressOptions{}, {});
  ASSERT_TRUE(r.ok) << r.diags.Text();
  ResourceTable table;
  std::string error;
  ASSERT_TRUE(ReadResources(r.executable, &table, &error)) << error;
  EXPECT_EQ(ResourceString(table, kSupportAddressStringId, kResourceLanguageEnglishUs), u"help@maker.example");
  EXPECT_EQ(ResourceString(table, kReportEndpointStringId, kResourceLanguageEnglishUs),
            u"https://maker.example/crash?product=demo");
  EXPECT_NE(FindResourceEntry(table, ResourceKey::Id(resource_type::kIcon), ResourceKey::Id(1),
                              kResourceLanguageEnglishUs),
            nullptr);
  EXPECT_EQ(ReadInstaller(r.executable).settings.product_name, u"Demo");

  // Without the table the engine keeps its own resources, and an engine
  // without any cannot take the addresses.
  const BuildResult plain =
      BuildInstaller(LoadOrDie("[product]\nname = \"Demo\"\n"), FakeEngineWithResources(), std::nullopt, CompressOptions{}, {});
  ASSERT_TRUE(plain.ok);
  ASSERT_TRUE(ReadResources(plain.executable, &table, &error)) << error;
  EXPECT_EQ(ResourceString(table, kSupportAddressStringId, kResourceLanguageEnglishUs), u"");
  const BuildResult refused = Build(m);
  EXPECT_FALSE(refused.ok);
  EXPECT_NE(refused.diags.Text().find("crash_report: cannot write the crash report's addresses into the engine"),
            std::string::npos)
      << refused.diags.Text();
}

TEST(AuthoringBuildTest, AuthorsPicturesReplaceTheEnginesBitmaps) {
  // The engine's own side and header pictures, packed as RCDATA at 96 and at
  // 192 dots per inch, and a large side bitmap as an older engine kept it (the
  // stand-in's resource section is small: the button images are left out, so
  // the author's is added).
  const auto entry = [](std::uint16_t type, int id) {
    return std::pair{ResourceKey::Id(type), ResourceKey::Id(static_cast<std::uint16_t>(id))};
  };
  const auto stand_in = [](int id) { return Bytes(4, static_cast<std::uint8_t>(id)); };
  ResourceTable defaults;
  for (const int id : {kSidePictureBitmap, kHeaderBitmap}) {
    for (const int number : {id, id + kLargeBitmapOffset}) {
      const auto key = entry(resource_type::kRcData, number);
      defaults.push_back({key.first, key.second, kResourceLanguageEnglishUs, 0, stand_in(number)});
    }
  }
  const auto old_large = entry(resource_type::kBitmap, kSidePictureBitmap + kLargeBitmapOffset);
  defaults.push_back({old_large.first, old_large.second, kResourceLanguageEnglishUs, 0, stand_in(1)});
  // A side picture larger than the engine's default tree, so the section grows.
  const Bytes side = test::TestBmp(300, 200, 24);
  const Bytes go = test::TestBmp(16, -16, 8);
  Scratch dir;
  dir.Write("side.bmp", std::string(side.begin(), side.end()));
  dir.Write("go.bmp", std::string(go.begin(), go.end()));
  Diagnostics diags;
  const auto m = LoadManifest(dir.Write("setup.toml", R"([product]
name = "Demo"
[wizard]
side_picture = "side.bmp"
first_button_image = "go.bmp"
)"),
                              diags);
  ASSERT_TRUE(m) << diags.Text();
  const Bytes engine = FakeEngineWithResources(defaults);
  const BuildResult r = BuildInstaller(*m, engine, std::nullopt, CompressOptions{}, {});
  ASSERT_TRUE(r.ok) << r.diags.Text();
  ResourceTable table;
  std::string error;
  ASSERT_TRUE(ReadResources(r.executable, &table, &error)) << error;
  const auto find = [&](std::uint16_t type, int id) {
    const auto key = entry(type, id);
    return FindResourceEntry(table, key.first, key.second, kResourceLanguageEnglishUs);
  };
  // The author's pictures as the loader reads them, as bitmaps of the
  // engine's numbers; the packed defaults they replace and any large bitmap
  // are gone.
  const struct {
    int id;
    const Bytes& file;
  } given[] = {{kSidePictureBitmap, side}, {kFirstButtonImage, go}};
  for (const auto& g : given) {
    Bytes expected;
    ASSERT_TRUE(BmpResourceFromFile(g.file, &expected));
    ASSERT_NE(find(resource_type::kBitmap, g.id), nullptr) << g.id;
    EXPECT_EQ(find(resource_type::kBitmap, g.id)->data, expected) << g.id;
    for (const std::uint16_t type : {resource_type::kBitmap, resource_type::kRcData}) {
      EXPECT_EQ(find(type, g.id + kLargeBitmapOffset), nullptr) << type << " " << g.id;
    }
    EXPECT_EQ(find(resource_type::kRcData, g.id), nullptr) << g.id;
  }
  // The header picture the author did not give keeps the engine's.
  for (const int number : {kHeaderBitmap, kHeaderBitmap + kLargeBitmapOffset}) {
    ASSERT_NE(find(resource_type::kRcData, number), nullptr) << number;
    EXPECT_EQ(find(resource_type::kRcData, number)->data, stand_in(number)) << number;
    EXPECT_EQ(find(resource_type::kBitmap, number), nullptr) << number;
  }
  EXPECT_EQ(find(resource_type::kBitmap, kCancelButtonImage), nullptr);
  EXPECT_NE(find(resource_type::kIcon, 1), nullptr);
  // The image stays whole: the archive is found behind the edited engine.
  EXPECT_EQ(ReadInstaller(r.executable).settings.product_name, u"Demo");

  // An engine without resources cannot take the pictures: a build error that says so.
  const BuildResult refused = Build(*m);
  EXPECT_FALSE(refused.ok);
  EXPECT_NE(refused.diags.Text().find("wizard: cannot write the pictures into the engine"), std::string::npos)
      << refused.diags.Text();
}

TEST(AuthoringBuildTest, SameInputGivesSameBytes) {
  const Manifest m = LoadOrDie("[product]\nname = \"Demo\"\n[archive]\nencipher = true\n");
  const auto date = FromUnixSeconds(1234567890);
  const BuildResult a = Build(m, date), b = Build(m, date);
  ASSERT_TRUE(a.ok && b.ok);
  EXPECT_EQ(a.executable, b.executable);
  const BuildResult other = Build(m, FromUnixSeconds(1234567891));
  ASSERT_TRUE(other.ok);
  EXPECT_NE(a.executable, other.executable) << "the date is part of the output";
}

TEST(AuthoringBuildTest, NoDateWritesZeros) {
  const Manifest m = LoadOrDie("[product]\nname = \"Demo\"\n");
  const BuildResult built = Build(m, std::nullopt);
  ASSERT_TRUE(built.ok);
  EXPECT_EQ(ReadInstaller(built.executable).settings.build_date, BuildDateRecord{});
}

TEST(AuthoringBuildTest, DerivedCipherKeyDependsOnTheSettings) {
  const Manifest m = LoadOrDie("[product]\nname = \"Demo\"\n");
  const Bytes a = {1, 2, 3}, b = {1, 2, 4};
  EXPECT_EQ(CipherKeyFor(m, a), CipherKeyFor(m, a));
  EXPECT_NE(CipherKeyFor(m, a), CipherKeyFor(m, b));
  const Manifest fixed = LoadOrDie("[product]\nname = \"Demo\"\n[archive]\ncipher_key = \"0102030405060708\"\n");
  EXPECT_EQ(CipherKeyFor(fixed, a), (std::array<std::uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(AuthoringBuildTest, TextTableErrorsNameTheText) {
  const std::string too_long(512, 'x');
  const struct {
    const char* name;
    std::string manifest;
    std::string german;
    std::string expected_suffix;
  } cases[] = {
      {"English override too long", "[product]\nname = \"D\"\n[texts]\n5 = \"" + too_long + "\"\n", "",
       ":4:1: texts.5: expected at most 511 characters, found 512 (long documents belong in wizard.licence or "
       "wizard.readme)"},
      {"translation too long", "[product]\nname = \"D\"\n[languages]\nfiles = [\"de.toml\"]\n",
       "name = \"Deutsch\"\n[texts]\n7 = \"" + too_long + "\"\n",
       "de.toml:3:1: texts.7: expected at most 511 characters, found 512 (long documents belong in "
       "wizard.licence or wizard.readme)"},
      {"NUL in a text", "[product]\nname = \"D\"\n[texts]\n3 = \"a\\u0000b\"\n", "",
       ":4:1: texts.3: the text may not contain a NUL character"},
      {"empty language name", "[product]\nname = \"D\"\n[languages]\nfiles = [\"de.toml\"]\n", "name = \"\"\n",
       "de.toml:1:8: name: the language name may not be empty"},
      {"no language at all", "[product]\nname = \"D\"\n[languages]\nenglish = false\n", "",
       "languages: no language: keep English or name at least one language file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Manifest m = LoadOrDie(c.manifest, c.german);
    const BuildResult built = Build(m);
    EXPECT_FALSE(built.ok);
    ASSERT_FALSE(built.diags.empty());
    const std::string text = FormatDiagnostic(built.diags.front());
    ASSERT_GE(text.size(), c.expected_suffix.size()) << text;
    EXPECT_EQ(text.substr(text.size() - c.expected_suffix.size()), c.expected_suffix);
  }
}

TEST(AuthoringBuildTest, GermanOnlyProductStartsInItsOnlyLanguage) {
  const Manifest m = LoadOrDie("[product]\nname = \"D\"\n[languages]\nenglish = false\nfiles = [\"de.toml\"]\n",
                               kGerman);
  const BuildResult built = Build(m);
  ASSERT_TRUE(built.ok) << built.diags.Text();
  const ReadBack back = ReadInstaller(built.executable);
  ASSERT_EQ(back.texts.language_count(), 1u);
  EXPECT_EQ(back.texts.Text(49), u"Abbrechen");
}

TEST(AuthoringBuildTest, ExampleProductBuilds) {
  Diagnostics diags;
  const auto m = LoadManifest(fs::path(KS_SOURCE_DIR) / "examples" / "ptarmigan-notes" / "setup.toml", diags);
  ASSERT_TRUE(m) << diags.Text();
  const BuildResult built = Build(*m);
  ASSERT_TRUE(built.ok) << built.diags.Text();
  ReadBack back = ReadInstaller(built.executable);
  EXPECT_EQ(back.settings.product_name, u"Ptarmigan Notes");
  EXPECT_EQ(back.settings.readme_documents.size(), 1u);
  ASSERT_EQ(back.texts.language_count(), 2u);
  back.texts.set_current_language(1);
  EXPECT_EQ(back.texts.Text(49), u"Abbrechen");
}

TEST(AuthoringBuildTest, SettingsTheEngineWouldRefuseFailTheBuild) {
  Bytes random(4000);
  std::uint32_t x = 12345;
  for (auto& b : random) b = static_cast<std::uint8_t>((x = x * 1103515245 + 12345) >> 24);
  const struct {
    const char* name;
    Bytes stream;
    std::size_t max_stored, max_decoded;
    std::string error;  // empty = accepted
  } cases[] = {
      {"small", Bytes(100, 'a'), 1000, 10000, ""},
      {"compresses below the limit", Bytes(4000, 'a'), 1000, 10000, ""},
      {"incompressible above the limit", random, 1000, 10000, "bytes stored, the engine accepts less than 1000"},
      {"too large to decode", Bytes(20000, 'a'), 1000, 10000,
       "20000 bytes, more than the 10000 bytes the engine decodes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Diagnostics diags;
    EXPECT_EQ(CheckSettingsSize(c.stream, c.max_stored, c.max_decoded, diags), c.error.empty());
    if (c.error.empty()) continue;
    ASSERT_EQ(diags.size(), 1u);
    EXPECT_NE(diags.front().message.find(c.error), std::string::npos) << diags.front().message;
  }
}

// Printf-style arguments of the texts the engine formats, in call order.
TEST(AuthoringEnglishTextsTest, FormatTextsTakeTheEnginesArguments) {
  const struct {
    int number;
    const char* conversions;
  } cases[] = {
      {10, "s"}, {12, "s"}, {13, "d"}, {19, "dd"}, {38, "s"}, {40, "s"}, {56, "s"}, {59, "s"}, {61, "s"},
      {81, "d"}, {92, "s"}, {93, "s"}, {99, "s"}, {106, "s"}, {107, "s"}, {112, "ss"},
  };
  const std::regex conversion("%([sd%])");
  std::set<int> formats;
  for (const auto& c : cases) formats.insert(c.number);
  const auto& texts = EnglishTexts();
  for (std::size_t n = 0; n < texts.size(); ++n) {
    std::string found;
    for (std::sregex_iterator it(texts[n].begin(), texts[n].end(), conversion), end; it != end; ++it) {
      found += (*it)[1].str();
    }
    const auto* row = std::find_if(std::begin(cases), std::end(cases), [&](const auto& c) {
      return c.number == static_cast<int>(n);
    });
    const std::string expected = row == std::end(cases) ? "" : row->conversions;
    EXPECT_EQ(found, expected) << "text " << n;
    EXPECT_EQ(std::count(texts[n].begin(), texts[n].end(), '%'), static_cast<long>(expected.size()))
        << "text " << n << " has a stray %";
  }
}

TEST(AuthoringEnglishTextsTest, EveryTextTheEngineShowsIsPresent) {
  // Numbers the engine reads that have a meaning without the author (114
  // overrides the caption only when set, 63 and 64 are the author's documents).
  const auto& texts = EnglishTexts();
  ASSERT_GE(texts.size(), 116u);
  for (int n = 0; n <= 115; ++n) {
    const bool optional = n == 22 || n == 23 || n == 36 || n == 60 || n == 62 || n == 63 || n == 64 ||
                          n == 73 || n == 100 || n == 114;
    if (!optional) {
      EXPECT_FALSE(texts[static_cast<std::size_t>(n)].empty()) << "text " << n;
    }
  }
  EXPECT_TRUE(texts[114].empty()) << "a non-empty text 114 would replace every product's wizard caption";
  EXPECT_NE(texts[105].find("<a>"), std::string::npos);
  EXPECT_NE(texts[77].find("<file>"), std::string::npos);
}

}  // namespace
}  // namespace ks::authoring
