// A damaged download under Wine: copies of a built installer, each with one
// byte changed, in the ".setup" section or in the file data appended behind
// it. Every run must end with the corrupt code 2 (a changed version text: the
// fatal version message, -1), or install correctly, every file byte for byte
// the payload's. A crash (an exception code), a hang (the time-out), a file of
// the product that is neither its old content nor the payload's, or a file the
// undamaged installer does not leave, is a failure.
//
// Positions come from a fixed seed: every byte of the header, and positions
// spread over the settings block and the file data. Two installers: settings
// scrambled with compressed file data inside the section, and settings
// enciphered with stored file data outside it. ksflip (tests/tools) runs the
// copies of one slice in turn from one Wine process; the slices are separate
// tests so that ctest runs them side by side.
//
// KS_BYTE_FLIP_SWEEP=full changes every header byte nine ways (each bit, and
// all eight), every byte of the settings block, and a larger sample of the
// file data; KS_BYTE_FLIP_REPORT=<file> appends one line per run. Both are
// for scripts/byte-flip-sweep.sh, which runs outside the test command.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/archive_builder.h"
#include "core/archive_header.h"
#include "core/install_settings.h"
#include "core/pe_image.h"
#include "engine/file_data_block.h"
#include "engine/file_records.h"
#include "harness/installer.h"
#include "harness/wine.h"

namespace ks::e2e {
namespace {

namespace fs = std::filesystem;

constexpr ProductFlags kCompressed = 0x20;
constexpr ProductFlags kAlwaysWriteLog = 0x40;
constexpr int kSlices = 3;
constexpr int kRunSeconds = 60;  // one run; a few seconds at most when nothing hangs

// A fixed, portable sequence (splitmix64), so that every build picks the same positions.
class Sequence {
 public:
  explicit Sequence(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }
  unsigned Bit() { return 1u << Below(8); }
  unsigned NonZeroByte() { return 1 + static_cast<unsigned>(Below(255)); }

 private:
  std::uint64_t state_;
};

struct PayloadFile {
  std::string name;  // relative to the installation folder
  std::string old_content;
  std::string content;
};

// Three files, one of them spanning two chunks of the record stream.
std::vector<PayloadFile> Payload() {
  Sequence seq(14);
  const auto random_bytes = [&seq](std::size_t n) {
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(seq.Next());
    return s;
  };
  std::string guide;
  while (guide.size() < 5000) guide += "Line " + std::to_string(seq.Below(100000)) + " of the guide.\r\n";
  return {{"app.exe", "old app", random_bytes(300)},
          {"docs\\guide.txt", "old guide", guide},
          {"res\\table.bin", "old table", random_bytes(1500)}};
}

enum class Variant { kInside, kOutside };

InstallerSpec Product(Variant variant, const std::vector<PayloadFile>& payload) {
  InstallerSpec plan;
  InstallSettings& s = plan.settings;
  s.product_name = Utf8ToWide(UniqueName("KsFlip"));
  s.display_version = u"1.0";
  s.install_path = u"C:\\ks\\unused";  // every run names its own folder
  s.uninstall_subdir = u"Data";
  s.product_flags = kAlwaysWriteLog;
  ChunkCoding coding;
  if (variant == Variant::kInside) {
    s.product_flags |= kCompressed;
    coding.compressed = true;
  } else {
    s.file_data_outside = 1;
    plan.archive.file_data_outside = true;
    plan.archive.flags |= kArchiveEnciphered;
    coding.enciphered = true;
    coding.key = plan.archive.cipher_key;
  }
  std::vector<Bytes> items;
  for (const PayloadFile& f : payload) {
    FileRecord record;
    record.name = f.name;
    record.date.year = 2024, record.date.month = 3, record.date.day = 4, record.date.hour = 5;
    items.push_back(EncodeFileRecord(record, Bytes(f.content.begin(), f.content.end())));
    plan.archive.per_file_values.push_back(static_cast<std::int32_t>(f.content.size()));
  }
  EXPECT_TRUE(BuildFileDataBlock(items, 4096, coding, &plan.archive.file_data));
  return plan;
}

// A stretch of the installer file that one field or block occupies.
struct Region {
  std::string name;
  std::size_t begin = 0, end = 0;  // file offsets
  bool header = false;             // a field of the archive header
};

std::vector<Region> RegionsOf(const Bytes& exe, bool outside, std::string* error) {
  const SectionLookupResult found = FindSetupSection(exe.data(), exe.size(), exe.size());
  if (found.outcome != SectionLookup::kFound) {
    *error = "the built installer has no readable .setup section";
    return {};
  }
  const SetupSection& s = found.section;
  const HeaderResult parsed = ParseArchiveHeader(exe.data() + s.raw_offset, s.MappedSize());
  if (parsed.outcome != HeaderOutcome::kOk) {
    *error = "the built installer's header does not parse";
    return {};
  }
  const ArchiveHeader& h = parsed.header;
  std::vector<Region> regions;
  std::size_t at = s.raw_offset;
  const auto field = [&](const char* name, std::size_t size) {
    if (size == 0) return;
    regions.push_back({name, at, at + size, true});
    at += size;
  };
  field("magic", 4);
  field("version", h.version.size() + 1);
  for (const char* name : {"flags", "settings size", "settings check", "engine check", "file-data end",
                           "file count", "file-data size", "file-data check"})
    field(name, 4);
  field("per-file values", 4 * h.per_file_values.size());
  field("cipher key", h.enciphered() ? 8 : 0);
  if (at != s.raw_offset + h.settings_offset) {
    *error = "the header fields do not end where the settings block starts";
    return {};
  }
  regions.push_back({"settings block", at, at + static_cast<std::size_t>(h.settings_size), false});
  const std::size_t data = s.raw_offset + h.data_start;
  if (outside) {
    regions.push_back({"file data outside", data, exe.size(), false});
  } else {
    const std::size_t end = s.raw_offset + static_cast<std::size_t>(h.file_data_end);
    regions.push_back({"file data", data, end, false});
    regions.push_back({"section padding", end, s.raw_offset + s.raw_size, false});
  }
  return regions;
}

struct Flip {
  std::string name;  // folder of the run
  const Region* region = nullptr;
  std::size_t offset = 0;
  unsigned xor_value = 0;
};

bool FullSweep() {
  const char* sweep = std::getenv("KS_BYTE_FLIP_SWEEP");
  return sweep && std::string(sweep) == "full";
}

// Positions spread over the region: one in each of `count` equal stretches.
void Spread(const Region& r, std::size_t count, Sequence& seq, std::vector<Flip>& out) {
  const std::size_t size = r.end - r.begin;
  if (size == 0) return;
  count = std::min(count, size);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t from = size * i / count, to = size * (i + 1) / count;
    out.push_back({"", &r, r.begin + from + seq.Below(to - from), seq.NonZeroByte()});
  }
}

std::vector<Flip> Flips(const std::vector<Region>& regions) {
  const bool full = FullSweep();
  Sequence seq(0x5EED);
  std::vector<Flip> flips;
  for (const Region& r : regions) {
    if (r.header) {
      for (std::size_t at = r.begin; at < r.end; ++at) {
        if (!full) {
          flips.push_back({"", &r, at, seq.Bit()});
          continue;
        }
        for (unsigned bit = 1; bit < 0x100; bit <<= 1) flips.push_back({"", &r, at, bit});
        flips.push_back({"", &r, at, 0xFF});
      }
    } else if (r.name == "settings block") {
      if (full) {
        for (std::size_t at = r.begin; at < r.end; ++at) flips.push_back({"", &r, at, seq.NonZeroByte()});
      } else {
        Spread(r, 45, seq, flips);
      }
    } else {
      Spread(r, r.name == "section padding" ? 3 : (full ? 500 : 45), seq, flips);
    }
  }
  return flips;
}

struct Outcome {
  std::string kind;  // "exit", "timeout", "error", or "" when ksflip printed nothing
  int code = 0;
  long milliseconds = 0;
  std::string detail;
};

std::map<std::string, Outcome> ParseFlipOutput(const std::string& out) {
  std::map<std::string, Outcome> outcomes;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> parts;
    std::istringstream fields(line);
    std::string part;
    while (std::getline(fields, part, '\t')) parts.push_back(part);
    if (parts.size() < 3) continue;
    Outcome& o = outcomes[parts[0]];
    o.kind = parts[1];
    if (o.kind == "exit" && parts.size() == 4) {
      o.code = std::stoi(parts[2]);
      o.milliseconds = std::stol(parts[3]);
    } else if (o.kind == "timeout") {
      o.milliseconds = std::stol(parts[2]);
    } else {
      o.detail = parts[2];
    }
  }
  return outcomes;
}

// Files below `root`, relative and with backslashes, mapped to their bytes.
std::map<std::string, std::string> FilesBelow(const std::string& root) {
  std::map<std::string, std::string> files;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file()) continue;
    std::string relative = fs::relative(it->path(), root).string();
    for (char& c : relative) c = c == '/' ? '\\' : c;
    std::ifstream in(it->path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    files[relative] = bytes.str();
  }
  return files;
}

// What is wrong with the folder a run left; "" when nothing. `allowed` holds
// the names an undamaged run leaves.
std::string CheckFolder(const std::map<std::string, std::string>& files, const std::vector<PayloadFile>& payload,
                        const std::set<std::string>& allowed, bool installed) {
  std::string wrong;
  for (const PayloadFile& f : payload) {
    const auto it = files.find(f.name);
    if (it == files.end()) {
      wrong += " " + f.name + " is missing;";
    } else if (it->second != f.content && (installed || it->second != f.old_content)) {
      wrong += " " + f.name + (installed ? " differs from the payload;" : " is neither old nor the payload;");
    }
  }
  for (const auto& [name, bytes] : files) {
    if (!allowed.count(name)) wrong += " unexpected file " + name + ";";
  }
  return wrong;
}

void Report(const std::string& variant, const Flip& flip, std::size_t section_start, const Outcome& o,
            const std::string& verdict) {
  const char* path = std::getenv("KS_BYTE_FLIP_REPORT");
  if (!path || !*path) return;
  std::ofstream out(path, std::ios::app);
  out << variant << '\t' << flip.region->name << '\t' << (flip.offset - section_start) << '\t' << flip.xor_value
      << '\t' << (o.kind == "exit" ? std::to_string(o.code) : o.kind.empty() ? "none" : o.kind) << '\t'
      << o.milliseconds << '\t' << verdict << '\n';
}

struct SliceParam {
  Variant variant;
  int slice;
};

class ByteFlip : public WineTestWithParam<SliceParam> {};

TEST_P(ByteFlip, EndsCorruptOrInstallsThePayload) {
  const SliceParam param = GetParam();
  const std::string variant = param.variant == Variant::kInside ? "inside" : "outside";
  const std::vector<PayloadFile> payload = Payload();
  const std::string setup = MakeInstaller(Product(param.variant, payload));
  ASSERT_FALSE(setup.empty());
  const std::optional<std::string> exe_text = ReadPrefixFile(setup);
  ASSERT_TRUE(exe_text.has_value());
  const Bytes exe(exe_text->begin(), exe_text->end());
  std::string error;
  const std::vector<Region> regions = RegionsOf(exe, param.variant == Variant::kOutside, &error);
  ASSERT_FALSE(regions.empty()) << error;
  const std::size_t section_start = regions.front().begin;

  std::vector<Flip> flips = Flips(regions);
  std::vector<Flip> mine{{"control", &regions.front(), section_start, 0}};  // the undamaged installer
  for (std::size_t i = 0; i < flips.size(); ++i) {
    if (static_cast<int>(i % kSlices) != param.slice) continue;
    flips[i].name = std::to_string(i);
    mine.push_back(flips[i]);
  }

  const std::string runs = ScratchFolder() + "\\runs";
  std::ostringstream list;
  for (const Flip& f : mine) {
    list << f.name << ' ' << f.offset << ' ' << f.xor_value << '\n';
    for (const PayloadFile& p : payload)
      ASSERT_TRUE(WritePrefixFile(runs + "\\" + f.name + "\\App\\" + p.name, p.old_content));
  }
  const std::string list_file = runs + "\\list.txt";
  ASSERT_TRUE(WritePrefixFile(list_file, list.str()));

  const int budget = static_cast<int>(mine.size()) * (kRunSeconds + 5) + 60;
  const WineResult r = RunWine({env().tools_dir + "\\ksflip.exe", setup, list_file, runs,
                                std::to_string(kRunSeconds)},
                               budget);
  ASSERT_TRUE(r.started && !r.timed_out && r.status == 0) << r.out;
  const std::map<std::string, Outcome> outcomes = ParseFlipOutput(r.out);

  // The undamaged installer installs the payload; what it leaves is all a damaged one may leave.
  const Outcome control = outcomes.count("control") ? outcomes.at("control") : Outcome{};
  ASSERT_EQ(control.kind, "exit") << r.out;
  ASSERT_EQ(control.code, 0) << r.out;
  const std::map<std::string, std::string> control_files = FilesBelow(LinuxPath(runs + "\\control\\App"));
  std::set<std::string> allowed;
  for (const auto& [name, bytes] : control_files) allowed.insert(name);
  ASSERT_EQ(CheckFolder(control_files, payload, allowed, true), "");
  std::string left;
  for (const std::string& name : allowed) left += " " + name;
  ASSERT_TRUE(allowed.count("Data\\Install.log")) << "the control run wrote no Install.log; it left" << left;

  std::map<std::string, int> tally;
  for (std::size_t i = 1; i < mine.size(); ++i) {
    const Flip& f = mine[i];
    const Outcome o = outcomes.count(f.name) ? outcomes.at(f.name) : Outcome{};
    const std::string where = variant + " installer, " + f.region->name + ", section offset " +
                              std::to_string(f.offset - section_start) + ", xor " + std::to_string(f.xor_value);
    const std::string folder = LinuxPath(runs + "\\" + f.name);
    std::string wrong;
    if (o.kind != "exit") {
      wrong = o.kind.empty() ? "no result" : o.kind + " " + o.detail;
    } else if (o.code != 0 && o.code != 2 && !(o.code == -1 && f.region->name == "version")) {
      wrong = "exit code " + std::to_string(o.code);
    } else {
      wrong = CheckFolder(FilesBelow(folder + "/App"), payload, allowed, o.code == 0);
    }
    EXPECT_EQ(wrong, "") << where;
    Report(variant, f, section_start, o, wrong.empty() ? "ok" : "FAILED:" + wrong);
    ++tally[o.kind == "exit" ? std::to_string(o.code) : o.kind];
    std::error_code ec;
    if (wrong.empty()) fs::remove_all(folder, ec);  // a failed run's folder stays for a look
  }
  std::string summary;
  for (const auto& [outcome, count] : tally) summary += " " + outcome + ":" + std::to_string(count);
  RecordProperty("outcomes", summary);
  std::cout << "[ byte flip ] " << variant << " slice " << param.slice << ": " << (mine.size() - 1)
            << " runs, exit codes" << summary << "\n";
}

std::vector<SliceParam> Slices() {
  std::vector<SliceParam> out;
  for (Variant v : {Variant::kInside, Variant::kOutside})
    for (int slice = 0; slice < kSlices; ++slice) out.push_back({v, slice});
  return out;
}

INSTANTIATE_TEST_SUITE_P(Installer, ByteFlip, ::testing::ValuesIn(Slices()),
                         [](const ::testing::TestParamInfo<SliceParam>& p) {
                           return std::string(p.param.variant == Variant::kInside ? "Inside" : "Outside") +
                                  std::to_string(p.param.slice);
                         });

}  // namespace
}  // namespace ks::e2e
