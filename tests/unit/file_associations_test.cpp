#include "integration/file_associations.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "captured_log.h"

namespace ks {
namespace {

// The classes root as a map from key path to its values.
class MemoryKeys : public ClassesKeys {
 public:
  using Tree = std::map<WString, std::map<WString, WString>>;

  bool Exists(const WString& key) override { return tree.count(key) != 0; }
  bool Create(const WString& key) override {
    if (refused.count(key)) return false;
    for (std::size_t at = key.find(u'\\'); at != WString::npos; at = key.find(u'\\', at + 1)) tree[key.substr(0, at)];
    tree[key];
    return true;
  }
  std::optional<WString> Value(const WString& key, const WString& name) override {
    const auto k = tree.find(key);
    if (k == tree.end()) return std::nullopt;
    const auto v = k->second.find(name);
    if (v == k->second.end()) return std::nullopt;
    return v->second;
  }
  bool SetValue(const WString& key, const WString& name, const WString& text) override {
    const auto k = tree.find(key);
    if (k == tree.end()) return false;
    k->second[name] = text;
    return true;
  }
  void DeleteValue(const WString& key, const WString& name) override {
    const auto k = tree.find(key);
    if (k != tree.end()) k->second.erase(name);
  }
  std::vector<WString> SubKeys(const WString& key) override {
    std::vector<WString> names;
    const WString prefix = key + u'\\';
    for (const auto& [path, values] : tree) {
      if (path.compare(0, prefix.size(), prefix) == 0 && path.find(u'\\', prefix.size()) == WString::npos) {
        names.push_back(path.substr(prefix.size()));
      }
    }
    return names;
  }
  std::vector<WString> ValueNames(const WString& key) override {
    std::vector<WString> names;
    const auto k = tree.find(key);
    if (k != tree.end()) {
      for (const auto& [name, text] : k->second) names.push_back(name);
    }
    return names;
  }
  void DeleteTree(const WString& key) override {
    const WString prefix = key + u'\\';
    for (auto it = tree.begin(); it != tree.end();) {
      it = (it->first == key || it->first.compare(0, prefix.size(), prefix) == 0) ? tree.erase(it) : std::next(it);
    }
  }

  Tree tree;
  std::set<WString> refused;
};

FileAssociation Association(const char* extension, const char* prog_id, const char* verbs = "open") {
  FileAssociation a;
  a.extension = extension;
  a.prog_id = prog_id;
  a.description = "Kestrel document";
  a.verbs = verbs;
  a.verb_label = "&Open with Kestrel";
  a.command = u"\"%InstallDir%\\k.exe\" \"%1\"";
  return a;
}

class AssociationsTest : public ::testing::Test {
 protected:
  AssociationsTest() {
    log.set_sink(&sink);
    in.display_name = u"Kes\\trel\r\n";
    in.language = u"English";
    in.install_dir = u"C:\\Kes";
    in.expand = test::InstallDirExpansion(u"C:\\Kes");
    in.notify_shell = [this] { ++notified; };
    in.log = &log;
  }
  void Install(std::vector<FileAssociation> records) {
    in.records = std::move(records);
    AssociateFiles(in, keys, data);
  }
  // Removes what `data` recorded, as the uninstaller reads it back.
  void Uninstall() {
    const UninstallDataContent content = ParseUninstallDataFile(BuildUninstallDataFile(data, UninstallTexts{}));
    RemoveAssociations(content.associations, u"Kes\\trel\r\n", keys);
  }

  MemoryKeys keys;
  test::CapturedLog sink;
  InstallLog log;
  UninstallData data;
  AssociationStepInput in;
  int notified = 0;
};

const WString kCommand = u"\"C:\\Kes\\k.exe\" \"%1\"";

TEST_F(AssociationsTest, AnExtensionNobodyOwnedIsGoneWithItsType) {
  FileAssociation a = Association("kst", "Kestrel.Doc");
  a.icon = u"k.exe,1";
  Install({a});
  const MemoryKeys::Tree expected = {
      {u".kst", {{u"", u"Kestrel.Doc"}}},
      {u".kst\\OpenWithProgids", {{u"Kestrel.Doc", u""}}},
      {u"Kestrel.Doc", {{u"", u"Kestrel document"}}},
      {u"Kestrel.Doc\\DefaultIcon", {{u"", u"C:\\Kes\\k.exe,1"}}},
      {u"Kestrel.Doc\\shell", {}},
      {u"Kestrel.Doc\\shell\\open", {{u"", u"&Open with Kestrel"}}},
      {u"Kestrel.Doc\\shell\\open\\command", {{u"", kCommand}}},
  };
  EXPECT_EQ(keys.tree, expected);
  EXPECT_EQ(sink.text, ".kst Open With \"C:\\Kes\\k.exe\" \"%1\"\r\n"
                       "Associated .kst with \"C:\\Kes\\k.exe\" \"%1\" (verb=open)\r\n");
  EXPECT_EQ(data.associations(), ".kst~!~Kestrel.Doc~!~open~!~C:\\Kes\\k.exe,1\r\n");
  EXPECT_EQ(notified, 1);
  EXPECT_EQ(log.failures(), u"");
  Uninstall();
  EXPECT_TRUE(keys.tree.empty()) << keys.tree.size();
}

TEST_F(AssociationsTest, AnExtensionOwnedBeforeGetsItsOwnerBack) {
  keys.tree = {
      {u".kst", {{u"", u"Other.Doc"}, {u"Content Type", u"text/x-kst"}}},
      {u".kst\\OpenWithProgids", {{u"Other.Doc", u""}}},
      {u"Other.Doc", {{u"", u"Other document"}}},
      {u"Other.Doc\\shell", {{u"", u"edit"}}},
      {u"Other.Doc\\shell\\open", {{u"", u"Open"}}},
      {u"Other.Doc\\shell\\open\\command", {{u"", u"other.exe \"%1\""}}},
  };
  const MemoryKeys::Tree before = keys.tree;
  FileAssociation a = Association(".kst", "Kestrel.Doc", "open, print");
  a.mode = 1;
  Install({a});
  EXPECT_EQ(keys.tree.at(u".kst"),
            (std::map<WString, WString>{{u"", u"Kestrel.Doc"}, {u"Content Type", u"text/x-kst"},
                                        {u"Kestrel Backup", u"Other.Doc"}}));
  EXPECT_EQ(keys.tree.at(u"Kestrel.Doc\\shell"), (std::map<WString, WString>{{u"", u"open"}}))
      << "the first verb is the default one";
  EXPECT_TRUE(keys.Exists(u"Kestrel.Doc\\shell\\print\\command"));
  EXPECT_EQ(data.associations(), ".kst~!~Kestrel.Doc~!~open~!~\r\n.kst~!~Kestrel.Doc~!~print~!~\r\n");
  // A second installation keeps the first backup: its own type is no owner to return to.
  Install({a});
  EXPECT_EQ(keys.tree.at(u".kst").at(u"Kestrel Backup"), u"Other.Doc");
  Uninstall();
  EXPECT_EQ(keys.tree, before);
}

TEST_F(AssociationsTest, OpenWithModeLeavesTheOwnerAndAVerbOtherThanOpenLeavesTheList) {
  keys.tree = {{u".kst", {{u"", u"Other.Doc"}}}, {u"Other.Doc", {{u"", u"Other"}}}};
  FileAssociation a = Association(".kst", "Kestrel.Doc", "edit");
  a.mode = 2;
  Install({a});
  EXPECT_EQ(keys.tree.at(u".kst"), (std::map<WString, WString>{{u"", u"Other.Doc"}}));
  EXPECT_EQ(keys.tree.at(u".kst\\OpenWithProgids"), (std::map<WString, WString>{{u"Kestrel.Doc", u""}}));
  EXPECT_EQ(sink.text, ".kst Open With \"C:\\Kes\\k.exe\" \"%1\"\r\n") << "no owner was set, so no \"Associated\"";
  EXPECT_EQ(log.failures(), u"");
  Uninstall();
  const MemoryKeys::Tree after = {{u".kst", {{u"", u"Other.Doc"}}},
                                  {u".kst\\OpenWithProgids", {{u"Kestrel.Doc", u""}}},
                                  {u"Other.Doc", {{u"", u"Other"}}}};
  EXPECT_EQ(keys.tree, after);
}

TEST_F(AssociationsTest, ExistingTypes) {
  const MemoryKeys::Tree owned = {{u".kst", {{u"", u"Other.Doc"}}},
                                  {u"Other.Doc", {{u"", u"Other"}}},
                                  {u"Other.Doc\\shell", {}},
                                  {u"Other.Doc\\shell\\view", {}},
                                  {u"Other.Doc\\shell\\view\\command", {{u"", u"viewer.exe \"%1\""}}}};
  const struct {
    const char* name;
    const char* prog_id;
    MemoryKeys::Tree before;
    const char* recorded;
    const char* log;
  } cases[] = {
      {"an extension's type takes the verb", "!Kestrel.Doc", owned, ".kst~!~Other.Doc~!~open~!~\r\n", ""},
      {"a missing type is registered under the name after \"!\"", "!Kestrel.Doc", {},
       ".kst~!~Kestrel.Doc~!~open~!~\r\n", ".kst Open With"},
      {"an empty field adds to the extension's type", "", owned, ".kst~!~Other.Doc~!~open~!~\r\n", ""},
      {"an empty field on a missing extension creates nothing", "", {}, "",
       "Association failed/key inaccessible:  \".kst\".\r\n\r\n"},
      {"an empty field on an extension without a type", "", {{u".kst", {}}}, "",
       "Association failed/no label:  \".kst\".\r\n\r\n"},
  };
  for (const auto& c : cases) {
    keys.tree = c.before;
    data = UninstallData();
    sink.text.clear();
    Install({Association(".kst", c.prog_id)});
    EXPECT_EQ(data.associations(), c.recorded) << c.name;
    EXPECT_EQ(sink.text.substr(0, std::char_traits<char>::length(c.log)), c.log) << c.name;
    if (c.recorded[0] == '\0') {
      EXPECT_EQ(keys.tree, c.before) << c.name;
      continue;
    }
    const WString type = Utf8ToWide(NString(c.recorded).substr(7, NString(c.recorded).find("~!~open") - 7));
    EXPECT_EQ(keys.Value(type + u"\\shell\\open\\command", u""), std::optional<WString>(kCommand)) << c.name;
    // The type of an existing owner keeps its description.
    if (c.before.count(u"Other.Doc")) {
      EXPECT_EQ(keys.tree.at(u"Other.Doc").at(u""), u"Other") << c.name;
    }
    Uninstall();
    EXPECT_EQ(keys.tree, c.before) << c.name;
  }
}

TEST_F(AssociationsTest, WhatIsSkippedAndWhatFails) {
  FileAssociation other_language = Association(".kst", "Kestrel.Doc");
  other_language.language = u"Deutsch";
  FileAssociation no_extension = Association("", "Kestrel.Doc");
  Install({other_language, no_extension});
  EXPECT_TRUE(keys.tree.empty());
  EXPECT_EQ(notified, 1);

  in.removable_drive = true;
  in.archive_flags = kArchiveFlagNoAssociationsOnRemovable;
  Install({Association(".kst", "Kestrel.Doc")});
  EXPECT_TRUE(keys.tree.empty());
  EXPECT_EQ(notified, 1) << "a skipped step tells the shell nothing";

  in.removable_drive = false;
  keys.refused = {u"Kestrel.Doc"};
  Install({Association(".kst", "Kestrel.Doc")});
  EXPECT_EQ(log.failures(), u"Failed to associate file type:  \".kst\".\r\n");
  EXPECT_EQ(data.associations(), ".kst~!~Kestrel.Doc~!~open~!~\r\n") << "recorded whether or not it worked";
}

TEST(AssociationRulesTest, Names) {
  EXPECT_EQ(AssociationBackupName(u"My\\Pro\td\r\nuct"), u"MyProduct Backup");
  EXPECT_EQ(ExtensionKeyName("txt"), ".txt");
  EXPECT_EQ(ExtensionKeyName(".txt"), ".txt");
  EXPECT_EQ(SplitVerbs(" open, ,print ,edit"), (std::vector<NString>{"open", "print", "edit"}));
  EXPECT_TRUE(SplitVerbs("").empty());
}

}  // namespace
}  // namespace ks
