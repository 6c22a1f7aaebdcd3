#pragma once
// The texts of the reports and questions: a formatter that fills a localized
// format text with arguments.
//
// The format texts come from the archive, written by the product's author in
// any language. A printf-style call would trust them to name exactly the
// arguments given; here every conversion takes the next argument as text or
// number, whatever it was, and a missing one is empty (or 0).

#include <cstdint>
#include <vector>

#include "lib/text.h"

namespace ks {

class ReportArg {
 public:
  ReportArg(int number) : number_(number), is_number_(true) {}  // NOLINT: implicit by design
  ReportArg(std::int64_t number) : number_(number), is_number_(true) {}  // NOLINT
  ReportArg(WString text) : text_(std::move(text)) {}  // NOLINT
  ReportArg(const char16_t* text) : text_(text ? text : u"") {}  // NOLINT

  // Text as given, a number in decimal.
  WString AsText() const;
  // A number as given; text read as a leading decimal number (0 without one).
  std::int64_t AsNumber() const;

 private:
  WString text_;
  std::int64_t number_ = 0;
  bool is_number_ = false;
};

// Fills `format`: "%%" is a percent sign; a conversion (flags "-+ #0", a
// width, a precision, the length letters h, l, ll, I64, then one of s S d i u
// x X c) takes the next argument; width, "-" and "0" pad, a precision cuts a
// text. Anything else after "%" stays as it is.
WString FormatReportText(WStringView format, const std::vector<ReportArg>& args);

// The conversion letters of `format` in order, as FormatReportText reads
// them ("%%" and what is no conversion left out): "%s of %5d" gives "sd".
WString ReportConversions(WStringView format);

}  // namespace ks
