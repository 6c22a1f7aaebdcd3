#include "crash/report_form.h"

namespace ks {
namespace {

void TrimTrailingBlanks(NString& text) {
  const std::size_t end = text.find_last_not_of(" \t\r\n");
  text.erase(end == NString::npos ? 0 : end + 1);
}

}  // namespace

NString CleanEmail(NStringView email) {
  NString out;
  for (const char c : email) {
    if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) out += c;
  }
  const std::size_t first = out.find_first_not_of(' ');
  if (first == NString::npos) return {};
  out.erase(0, first);
  TrimTrailingBlanks(out);
  return out;
}

NString ApologyText(NStringView support_address) {
  return "We apologize for the inconvenience, but the program has performed an illegal operation and must close.  "
         "Please report this problem to " +
         NString(support_address) + " by clicking the \"Inform Us\" button below.";
}

NString ReportSubject(NStringView version, NStringView program_file_name) {
  return "Exception - Installer " + NString(version) + ": " + NString(program_file_name);
}

NString ReportHeaders(NStringView email) {
  const NString address = CleanEmail(email);
  NString headers = NString(kReportHeaderLine) + "\r\n";
  if (!address.empty()) headers += "X-Exception-Email: " + address + "\r\nReply-To: " + address + "\r\n";
  TrimTrailingBlanks(headers);
  return headers + "\r\n";
}

NString ReportBody(NStringView report, const ReportInput& input) {
  NString body(report);
  const NString address = CleanEmail(input.email);
  if (!address.empty()) body += "\r\nEmail: " + address + "\r\n";
  body += input.comments;
  return body;
}

NString ReportForm(NStringView from, NStringView body, NStringView subject, NStringView headers) {
  const std::pair<const char*, NStringView> fields[] = {
      {"from", from}, {"body", body}, {"subject", subject}, {"headers", headers}};
  NString form;
  for (const auto& [name, value] : fields) {
    form += "--" + NString(kReportBoundary) + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n";
    form += value;
    form += "\r\n";
  }
  return form + "--" + kReportBoundary + "--\r\n";
}

}  // namespace ks
