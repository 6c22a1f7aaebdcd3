#include "authoring/diagnostic.h"

namespace ks::authoring {

std::string FormatDiagnostic(const Diagnostic& d) {
  std::string out = d.file;
  if (d.line > 0) {
    out += ':' + std::to_string(d.line);
    if (d.column > 0) out += ':' + std::to_string(d.column);
  }
  if (!out.empty()) out += ": ";
  if (!d.key.empty()) out += d.key + ": ";
  return out + d.message;
}

std::string Diagnostics::Text() const {
  std::string out;
  for (const Diagnostic& d : list_) out += FormatDiagnostic(d) + '\n';
  return out;
}

}  // namespace ks::authoring
