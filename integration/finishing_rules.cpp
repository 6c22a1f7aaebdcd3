#include "integration/finishing_rules.h"

namespace ks {

bool IsRtfText(const Bytes& text) {
  static const char kRtf[] = "{\\rtf";
  constexpr std::size_t kLength = sizeof(kRtf) - 1;
  bool narrow = text.size() >= kLength;
  for (std::size_t i = 0; narrow && i < kLength; ++i) narrow = text[i] == static_cast<std::uint8_t>(kRtf[i]);
  if (narrow) return true;
  if (text.size() < 2 * kLength) return false;
  for (std::size_t i = 0; i < kLength; ++i) {
    if (text[2 * i] != static_cast<std::uint8_t>(kRtf[i]) || text[2 * i + 1] != 0) return false;
  }
  return true;
}

namespace {

bool HasUtf16Bom(const Bytes& text) { return text.size() >= 2 && text[0] == 0xFF && text[1] == 0xFE; }

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

}  // namespace ks
