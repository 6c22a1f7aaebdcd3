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

void ReadShortcut(TomlReader& t, ShortcutRecord& r) {
  r.from_archive = true;
  r.target = WideText(t, "target").value_or(u"");
  if (!t.Has("target")) t.Error("", "missing key \"target\": the program or document the shortcut opens");
  r.name = WideText(t, "name").value_or(u"");
  r.icon = WideText(t, "icon").value_or(u"");
  r.arguments = WideText(t, "arguments").value_or(u"");
  r.start_in = WideText(t, "start_in").value_or(u"");
  r.on_desktop = t.Bool("desktop").value_or(false) ? 1 : 0;
  r.in_start_menu = t.Bool("start_menu").value_or(false) ? 1 : 0;
  r.in_startup = t.Bool("startup").value_or(false) ? 1 : 0;
  if (const auto folder = WideText(t, "folder")) {
    r.other_folder = EncodeMarkedText(*folder);
    if (r.other_folder.size() > kZTextBytes) {
      t.Error("folder", "expected at most 511 bytes as stored, found " + std::to_string(r.other_folder.size()));
    }
  }
  const auto window = t.Enum("window", {{"normal", 0}, {"minimized", 1}, {"maximized", 2}});
  r.window_state = static_cast<std::uint8_t>(window.value_or(0));
  r.keep = t.Bool("keep").value_or(false) ? 1 : 0;
  if (!r.on_desktop && !r.in_start_menu && !r.in_startup && r.other_folder.empty()) {
    t.Error("", "expected at least one place: \"desktop\", \"start_menu\", \"startup\" or \"folder\"");
  }
}

void ReadAssociation(TomlReader& t, FileAssociation& r) {
  r.extension = NarrowText(t, "extension", kZTextBytes).value_or("");
  if (r.extension.empty() && !t.Has("extension")) {
    t.Error("", "missing key \"extension\": the file extension to associate");
  }
  r.prog_id = NarrowText(t, "prog_id", kZTextBytes).value_or("");
  r.description = NarrowText(t, "description", kZTextBytes).value_or("");
  if (const auto verbs = t.TextList("verbs")) {
    for (const std::string& verb : *verbs) {
      if (verb.empty() || verb.find(',') != std::string::npos) {
        t.Error("verbs", "expected verbs without commas, found \"" + verb + "\"");
        continue;
      }
      r.verbs += (r.verbs.empty() ? "" : ",") + WideToCp1252(Utf8ToWide(verb));
    }
    if (r.verbs.size() > kZTextBytes) t.Error("verbs", "expected at most 511 bytes of verbs");
  } else {
    r.verbs = "open";
  }
  r.verb_label = NarrowText(t, "verb_label", kZTextBytes).value_or("");
  r.command = WideText(t, "command").value_or(u"");
  if (!t.Has("command")) t.Error("", "missing key \"command\": the command line of the verbs");
  r.language = WideText(t, "language", kZTextBytes).value_or(u"");
  r.icon = WideText(t, "icon").value_or(u"");
  const auto mode = t.Enum("mode", {{"normal", 0}, {"default-verb", 1}, {"open-with", 2}});
  r.mode = static_cast<std::uint32_t>(mode.value_or(0));
}

// One line of the firewall text: target;name;protocols;options.
void ReadFirewallException(TomlReader& t, NString& line) {
  NString target;
  if (const auto port = t.Int("port", 1, 65535)) target = std::to_string(*port);
  if (const auto program = WideText(t, "program")) target = EncodeMarkedText(*program);
  if (t.Has("port") == t.Has("program")) t.Error("", "expected either \"port\" or \"program\"");
  const NString name = WideToUtf8(WideText(t, "name").value_or(u""));
  if (name.find(';') != NString::npos || target.find(';') != NString::npos) {
    t.Error("", "the name and the program may not contain \";\" (it separates the fields)");
  }
  const auto protocol = t.Enum("protocol", {{"tcp", 1}, {"udp", 2}, {"both", 3}});
  if (protocol && !t.Has("port")) t.Error("protocol", "a protocol belongs to a port");
  const bool keep = t.Bool("keep").value_or(false);
  line = target + ";" + name + ";" + std::to_string(protocol.value_or(t.Has("port") ? 1 : 0)) + ";" +
         (keep ? "1" : "0");
}

}  // namespace

void ReadShortcuts(TomlReader& root, std::vector<ShortcutRecord>& out) {
  ReadList(root, "shortcut", out, ReadShortcut);
}

void ReadAssociations(TomlReader& root, std::vector<FileAssociation>& out) {
  ReadList(root, "association", out, ReadAssociation);
}

NString ReadFirewallExceptions(TomlReader& root) {
  std::vector<NString> lines;
  ReadList(root, "firewall", lines, ReadFirewallException);
  NString text;
  for (const NString& line : lines) text += line + "\r\n";
  return text;
}

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
