#pragma once
// Sending a crash report to the maker: the support address and the form's
// address that a product carries (the authoring tool writes them into its
// copy of the engine as strings; the engine ships both empty), and the
// multipart form the report travels in. Everything here is 8-bit text, code
// page 1252.

#include <cstdint>
#include <utility>
#include <vector>

#include "lib/text.h"

namespace ks {

// The engine's string resources that hold the two addresses.
inline constexpr std::uint16_t kSupportAddressStringId = 2720;
inline constexpr std::uint16_t kReportEndpointStringId = 2721;

struct ReportAddresses {
  NString support;  // the maker's e-mail address; empty: "Inform Us" is disabled
  NString endpoint;  // the form's web address (https:// or http://); empty: nothing is sent
};

// What the user typed into the crash dialog.
struct ReportInput {
  NString email;
  NString comments;
};

inline constexpr char kReportBoundary[] = "AaB03x";
inline constexpr char kReportContentType[] = "Content-Type: multipart/form-data; boundary=AaB03x\r\n";
inline constexpr char kReportHeaderLine[] = "X-Tessarine-Internal: 2";

// "Exception - Installer 46.0: <file name of the running program>"
NString ReportSubject(NStringView version, NStringView program_file_name);

// The first header line, then (with an e-mail address) "X-Exception-Email:"
// and "Reply-To:" lines; trimmed of trailing white space, ending in CR LF.
// Control characters are taken out of the address, so that it cannot add
// header lines of its own.
NString ReportHeaders(NStringView email);

// The report, then "\r\nEmail: <address>\r\n" with an address, then the comments.
NString ReportBody(NStringView report, const ReportInput& input);

// The fields "from", "body", "subject" and "headers", in that order, as the
// multipart form's bytes.
NString ReportForm(NStringView from, NStringView body, NStringView subject, NStringView headers);

// The crash dialog's opening text, naming the support address.
NString ApologyText(NStringView support_address);

// The address without surrounding blanks and control characters.
NString CleanEmail(NStringView email);

}  // namespace ks
