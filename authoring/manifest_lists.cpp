#include "authoring/manifest_lists.h"

#include "authoring/manifest_text.h"
#include "lib/marked_text.h"

namespace ks::authoring {
namespace {

// Bits of a "when" list: which passes an entry applies to.
std::optional<std::uint8_t> ReadWhen(TomlReader& t, std::uint8_t install_bit, std::uint8_t uninstall_bit) {
  const auto names = t.TextList("when");
  if (!names) return std::nullopt;
  std::uint8_t bits = 0;
  for (const std::string& n : *names) {
    if (n == "install") {
      bits |= install_bit;
    } else if (n == "uninstall") {
      bits |= uninstall_bit;
    } else {
      t.Error("when", "expected a list of \"install\" and \"uninstall\", found \"" + n + "\"");
      return std::nullopt;
    }
  }
  return bits;
}

// Reads every [[key]] entry with read_one; more than the engine's 1000 records is an error.
template <typename Record, typename ReadOne>
void ReadList(TomlReader& root, const char* key, std::vector<Record>& out, ReadOne read_one) {
  auto entries = root.TableArray(key);
  if (!entries) return;
  if (entries->size() > kMaxSettingsRecords) {
    root.Error(key, "expected at most " + std::to_string(kMaxSettingsRecords) + " entries, found " +
                        std::to_string(entries->size()));
    return;
  }
  for (TomlReader& t : *entries) {
    Record r;
    read_one(t, r);
    t.Finish();
    out.push_back(std::move(r));
  }
}

void ReadCloseProgram(TomlReader& t, CloseProgramEntry& r) {
  r.class_pattern = WideText(t, "window_class", kText16Bytes).value_or(u"");
  r.title_pattern = WideText(t, "window_title", kText16Bytes).value_or(u"");
  r.display_name = NarrowText(t, "name", kText16Bytes).value_or("");
  // The list ends at the entry whose class pattern is the end marker.
  if (r.class_pattern == kCloseListEnd) t.Error("window_class", "this text marks the end of the list");
  const auto action = t.Enum("action", {{"close", 0}, {"quit", 1}, {"ask", 2}, {"terminate", 3}});
  r.action = static_cast<std::uint8_t>(action.value_or(0));
  r.when = ReadWhen(t, 0x1, 0x2).value_or(0x1);
  if (!t.Has("window_class") && !t.Has("window_title")) {
    t.Error("", "expected \"window_class\" or \"window_title\" (a pattern the window must match)");
  }
}

void ReadDeletion(TomlReader& t, FileDeletion& r) {
  if (const auto path = WideText(t, "path")) {
    r.path = EncodeMarkedText(*path);
    if (r.path.size() > kZTextBytes) t.Error("path", "expected at most 511 bytes as stored, found " + std::to_string(r.path.size()));
    if (r.path == kDeletionListEnd) t.Error("path", "this text marks the end of the list");
  } else if (!t.Has("path")) {
    t.Error("", "missing key \"path\": the file or wildcard pattern to delete");
  }
  const auto condition = t.Enum("condition", {{"always", 0}, {"date-equal", 1}, {"date-from", 2},
                                              {"date-until", 3}, {"size-equal", 4}, {"size-at-least", 5},
                                              {"size-at-most", 6}});
  r.condition = static_cast<std::uint8_t>(condition.value_or(0));
  r.condition_value = NarrowText(t, "value", kZTextBytes).value_or("");
  const auto restart = t.Enum("at_restart", {{"never", 0}, {"always", 1}, {"on-failure", 2}});
  r.flags = static_cast<std::uint8_t>(restart.value_or(0) | ReadWhen(t, 0x4, 0x8).value_or(0x8));
}

void ReadUninstallValue(TomlReader& t, ExtraUninstallValue& r) {
  r.name = NarrowText(t, "name", kText8Bytes).value_or("");
  if (!t.Has("name")) t.Error("", "missing key \"name\": the value's name under the Uninstall key");
  r.type = static_cast<std::uint8_t>(t.Enum("type", {{"string", 1}, {"expandable", 2}, {"number", 4}}).value_or(1));
  r.data = WideText(t, "data").value_or(u"");
}

}  // namespace

void ReadClosePrograms(TomlReader& root, std::vector<CloseProgramEntry>& out) {
  ReadList(root, "close_program", out, ReadCloseProgram);
}

void ReadDeletions(TomlReader& root, std::vector<FileDeletion>& out) {
  ReadList(root, "deletion", out, ReadDeletion);
}

void ReadUninstallValues(TomlReader& root, std::vector<ExtraUninstallValue>& out) {
  ReadList(root, "uninstall_value", out, ReadUninstallValue);
}

}  // namespace ks::authoring
