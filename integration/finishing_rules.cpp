#include "integration/finishing_rules.h"

#include "core/documents.h"

namespace ks {
namespace {

DocumentFile MakeDocument(const Bytes& text, WString base) {
  DocumentFile doc;
  if (IsRtfText(text)) {
    doc.name = base + u".rtf";
    doc.content = text;
    return doc;
  }
  doc.name = base + u".txt";
  // A text that already carries the mark keeps just the one.
  if (!HasUtf16Bom(text)) doc.content = {0xFF, 0xFE};
  doc.content.insert(doc.content.end(), text.begin(), text.end());
  return doc;
}

WString Decimal(int n) {
  WString digits;
  for (const char c : std::to_string(n)) digits += static_cast<char16_t>(c);
  return digits;
}

}  // namespace

std::vector<DocumentFile> PlanDocumentFiles(const std::vector<Bytes>& texts, WStringView stem) {
  std::vector<DocumentFile> files;
  int number = 0;
  for (const Bytes& text : texts) {
    if (text.empty()) continue;
    WString base(stem);
    if (texts.size() != 1) base += Decimal(++number);
    files.push_back(MakeDocument(text, base));
  }
  return files;
}

const NString& CompletionAddress(const CompletionAddresses& addresses, int install_type, bool earlier_folder_found) {
  if (install_type == 2) return addresses.upgrade;
  if (install_type == 3) return addresses.downgrade;
  return earlier_folder_found ? addresses.reinstall : addresses.install;
}

RestartChoice ChooseRestart(ProductFlags flags, bool automatic) {
  if (!HasFlag(flags, product_flag::kRebootRequired)) return RestartChoice::kNone;
  if (automatic && !HasFlag(flags, product_flag::kNoRestartWithoutAsking)) return RestartChoice::kRestart;
  return RestartChoice::kAsk;
}

bool FolderCountsAsEmpty(const std::vector<WString>& entries) {
  for (const WString& name : entries) {
    if (!EqualsIgnoreCase(name, u"thumbs.db") && !EqualsIgnoreCase(name, u"desktop.ini")) return false;
  }
  return true;
}

FinalMessage ChooseFinalMessage(FinalMessageInput& in) {
  if (in.automatic) return FinalMessage::kNone;
  if (in.failed) return FinalMessage::kAskViewLog;
  if (HasFlag(in.flags, product_flag::kNoFinalMessage)) return FinalMessage::kNone;
  if (!HasFlag(in.flags, product_flag::kAlwaysWriteLog)) in.offer_view_log = false;
  if (HasFlag(in.flags, product_flag::kRebootRequired) || (!in.has_launch_or_open && !in.offer_view_log)) {
    return FinalMessage::kInformation;
  }
  return FinalMessage::kSummaryPage;
}

CommandParts SplitCommand(WStringView command) {
  while (!command.empty() && (command.front() == u' ' || command.front() == u'\t')) command.remove_prefix(1);
  CommandParts parts;
  std::size_t rest = 0;
  if (!command.empty() && command.front() == u'"') {
    const std::size_t close = command.find(u'"', 1);
    parts.program = WString(command.substr(1, close == WStringView::npos ? WStringView::npos : close - 1));
    rest = close == WStringView::npos ? command.size() : close + 1;
  } else {
    rest = command.find_first_of(u" \t");
    if (rest == WStringView::npos) rest = command.size();
    parts.program = WString(command.substr(0, rest));
  }
  WStringView arguments = command.substr(rest);
  while (!arguments.empty() && (arguments.front() == u' ' || arguments.front() == u'\t')) arguments.remove_prefix(1);
  parts.arguments = WString(arguments);
  return parts;
}

WString PathInFolder(const WString& folder, const WString& path) {
  const bool drive = path.size() >= 2 && path[1] == u':';
  const bool unc = path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\';
  if (drive || unc || folder.empty() || path.empty()) return path;
  WString joined = folder;
  if (joined.back() != u'\\') joined += u'\\';
  return joined + (path.front() == u'\\' ? path.substr(1) : path);
}

}  // namespace ks
