#include "authoring/manifest_files.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "authoring/manifest.h"
#include "engine/file_data_block.h"

namespace ks::authoring {
namespace {

namespace fs = std::filesystem;

class FilesScratch : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("ks_files_" + std::to_string(getpid()) + "_" + std::to_string(++counter_));
    fs::create_directories(dir_ / "src" / "sub");
    Write("src/a.txt", "alpha");
    Write("src/sub/b.dll", "bravo");
    Write("src/sub/c.dll", "charlie");
    Write("src/sub/d.txt", "delta");
  }
  void TearDown() override { fs::remove_all(dir_); }
  void Write(const std::string& rel, const std::string& text) { std::ofstream(dir_ / rel, std::ios::binary) << text; }

  std::optional<Manifest> Load(const std::string& files_toml, Diagnostics& diags) {
    Write("m.toml", "[product]\nname = \"Files\"\n\n" + files_toml);
    return LoadManifest(dir_ / "m.toml", diags);
  }

  fs::path dir_;
  static inline int counter_ = 0;
};

TEST_F(FilesScratch, FoldersPatternsAndKeysBecomeRecords) {
  Diagnostics diags;
  const auto m = Load(
      "[[file]]\nsource = \"src/a.txt\"\nexisting = \"only-if-missing\"\nkeep = true\n"
      "date = \"2024-02-03 04:05:06\"\nattributes = [\"read-only\", \"hidden\"]\n\n"
      "[[file]]\nsource = \"src/sub/*.dll\"\nfolder = \"lib\"\nkind = \"versioned\"\nversion = \"2.1\"\n\n"
      "[[file]]\nsource = \"src/sub\"\nfolder = \"all\"\ndate = \"none\"\n",
      diags);
  ASSERT_TRUE(m) << diags.Text();
  std::vector<std::string> names;
  for (const ManifestFile& f : m->files) names.push_back(f.record.name);
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "lib\\b.dll", "lib\\c.dll", "all\\b.dll", "all\\c.dll",
                                             "all\\d.txt"}));
  const FileRecord& a = m->files[0].record;
  EXPECT_EQ(a.flags, 12 | kRecordKeep);
  EXPECT_EQ(a.attributes, 0x3);
  EXPECT_EQ(FormatRecordDate(a.date), "2024/02/03 04:05:06");
  EXPECT_EQ(m->files[1].record.kind, 9);
  EXPECT_EQ(m->files[1].record.title, "2.1");
  EXPECT_TRUE(m->files[1].date_from_source);
  EXPECT_FALSE(m->files[3].record.date.has_day());
  EXPECT_EQ(m->files[3].record.attributes, -1);
}

TEST_F(FilesScratch, MistakesAreReported) {
  struct Case {
    const char* toml;
    const char* message;
  };
  const Case cases[] = {
      {"[[file]]\nkind = \"install\"\n", "missing key \"source\""},
      {"[[file]]\nsource = \"src/none*.x\"\n", "no file matches"},
      {"[[file]]\nsource = \"src/a.txt\"\nkind = \"font2\"\n", "kind"},
      {"[[file]]\nsource = \"src/a.txt\"\nversion = \"1.0\"\n", "only files of kinds 6 to 9"},
      {"[[file]]\nsource = \"src/a.txt\"\ndate = \"yesterday\"\n", "YYYY-MM-DD hh:mm:ss"},
      {"[[file]]\nsource = \"src/a.txt\"\nattributes = [\"shiny\"]\n", "unknown attribute"},
      {"[[file]]\nsource = \"src/a.txt\"\nkind = \"shared\"\ndesktop_shortcut = true\n", "shortcuts belong"},
      {"[[file]]\nsource = \"src/a.txt\"\ncolour = 1\n", "colour"},
      {"[[file]]\nsource = \"src/a.txt\"\nkind = \"font\"\n", "need a title"},
      {"[[file]]\nsource = \"src/a.txt\"\nkind = \"control-panel\"\n", "need a class_id"},
      {"[[file]]\nsource = \"src/a.txt\"\nkind = \"control-panel\"\nclass_id = \"{1234}\"\n",
       "expected a class identifier"},
      {"[[file]]\nsource = \"src/a.txt\"\nclass_id = \"{12345678-1234-1234-1234-123456789ABC}\"\n",
       "only files of kind \"control-panel\""},
      {"[[file]]\nsource = \"src/a.txt\"\nkind = \"control-panel\"\nextra = \"x\"\n"
       "class_id = \"{12345678-1234-1234-1234-123456789ABC}\"\n",
       "not both"},
      {"[[file]]\nsource = \"src/a.txt\"\nremove_package = true\n", "only files of kind \"package\""},
      {"[[file]]\nsource = \"src/a.txt\"\nkind = \"package\"\npackage_ui = \"loud\"\n", "package_ui"},
      {"[[file]]\nsource = \"src/a.txt\"\nkind = \"package\"\npackage_ui = \"none\"\npackage_option = 3\n",
       "not both"},
  };
  for (const Case& c : cases) {
    Diagnostics diags;
    EXPECT_FALSE(Load(c.toml, diags)) << c.toml;
    EXPECT_NE(diags.Text().find(c.message), std::string::npos) << c.toml << "\n" << diags.Text();
  }
}

TEST_F(FilesScratch, ComponentKindsCarryTheirKeys) {
  Diagnostics diags;
  const auto m = Load(
      "[[file]]\nsource = \"src/a.txt\"\nkind = \"font\"\ntitle = \"Alpha Sans (TrueType)\"\n\n"
      "[[file]]\nsource = \"src/a.txt\"\nkind = \"control-panel\"\n"
      "class_id = \"{12345678-ABCD-1234-abcd-123456789ABC}\"\narguments = \"/cpl\"\n\n"
      "[[file]]\nsource = \"src/a.txt\"\nkind = \"package\"\npackage_ui = \"none\"\nremove_package = true\n\n"
      "[[file]]\nsource = \"src/a.txt\"\nkind = \"com-server\"\nkeep = true\n",
      diags);
  ASSERT_TRUE(m) << diags.Text();
  ASSERT_EQ(m->files.size(), 4u);
  EXPECT_EQ(m->files[0].record.kind, 4);
  EXPECT_EQ(m->files[0].record.title, "Alpha Sans (TrueType)");
  EXPECT_EQ(m->files[1].record.kind, 12);
  EXPECT_EQ(m->files[1].record.extra_text, "{12345678-ABCD-1234-abcd-123456789ABC}");
  EXPECT_EQ(m->files[2].record.package_option, 2);
  EXPECT_EQ(m->files[2].record.flags & kRecordRemovePackage, kRecordRemovePackage);
  EXPECT_EQ(m->files[3].record.kind, 7);
  EXPECT_EQ(m->files[3].record.flags & kRecordKeep, kRecordKeep);
}

TEST_F(FilesScratch, EncodedFilesReadBackThroughTheEngineReader) {
  Diagnostics diags;
  const auto m = Load("[[file]]\nsource = \"src\"\n", diags);
  ASSERT_TRUE(m) << diags.Text();
  std::vector<Bytes> items;
  std::vector<std::int32_t> sizes;
  std::string error;
  ASSERT_TRUE(EncodeFiles(m->files, &items, &sizes, &error)) << error;
  ChunkCoding coding{true, {{1, 2, 3, 4, 5, 6, 7, 8}}, false};
  Bytes block;
  for (const Bytes& piece : RecordStreamPieces(items, 50)) {
    const Bytes chunk = FrameChunk(piece, coding);
    block.insert(block.end(), chunk.begin(), chunk.end());
  }
  FileDataReader reader(block.data(), block.size(), coding);
  const char* expected[] = {"alpha", "bravo", "charlie", "delta"};
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    FileRecord r;
    ASSERT_EQ(reader.Next(sizes[i], &r), 0) << i;
    EXPECT_EQ(std::string(r.data, r.data + r.size), expected[i]);
    EXPECT_TRUE(r.date.is_real());  // from the source file
  }
  EXPECT_EQ(reader.Finish(), 0);
}

// A minimal PE header of the given machine, padded to `size` bytes.
Bytes Image(std::uint16_t machine, std::size_t size) {
  Bytes b(std::max<std::size_t>(size, 0x86), 0x90);
  b[0] = 'M', b[1] = 'Z';
  StoreLe32(b.data() + 0x3C, 0x80);
  std::memcpy(b.data() + 0x80, "PE\0\0", 4);
  StoreLe16(b.data() + 0x84, machine);
  b.resize(size);
  return b;
}

TEST(X86CodePieces, PiecesMostlyOfX86ImagesAreMarked) {
  EXPECT_TRUE(IsX86Image(Image(0x014C, 300).data(), 300));
  EXPECT_TRUE(IsX86Image(Image(0x8664, 300).data(), 300));
  EXPECT_FALSE(IsX86Image(Image(0xAA64, 300).data(), 300));  // ARM64
  EXPECT_FALSE(IsX86Image(Image(0x014C, 0x84).data(), 0x84));  // cut inside the header
  const Bytes text(3000, 't');
  FileRecord r;
  r.name = "f";
  std::vector<Bytes> items;
  std::vector<std::int32_t> sizes;
  for (const Bytes& data : {text, Image(0x014C, 3000), text, Image(0x8664, 1000)}) {
    items.push_back(EncodeFileRecord(r, data));
    sizes.push_back(static_cast<std::int32_t>(data.size()));
  }
  // Stream items of 3051 bytes (1051 for the last, 47 in front of the data)
  // in pieces of 2000: the first image has 902 bytes of piece 1, all of
  // piece 2 and 98 of piece 3; the second image 800 bytes of piece 4 and 200
  // of the last piece, which is 204 bytes long.
  const std::vector<bool> marks = X86CodePieces(items, sizes, 2000);
  EXPECT_EQ(RecordStreamPieces(items, 2000).size(), marks.size());
  EXPECT_EQ(marks, (std::vector<bool>{false, false, true, false, false, true}));
}

TEST(SourceDate, UtcFieldsOfTheModificationTime) {
  const fs::path p = fs::temp_directory_path() / ("ks_date_" + std::to_string(getpid()));
  std::ofstream(p) << "x";
  fs::last_write_time(p, fs::file_time_type::clock::now());  // exists
  struct timespec times[2] = {{951782400 + 3723, 0}, {951782400 + 3723, 0}};  // 2000-02-29 01:02:03 UTC
  ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
  EXPECT_EQ(FormatRecordDate(SourceDate(p)), "2000/02/29 01:02:03");
  fs::remove(p);
}

}  // namespace
}  // namespace ks::authoring
