#pragma once
// "key<separator>value" lines, as helper programs and logs print them, and
// the CR LF lines of logs and reports.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace ks::e2e {

using KeyValueLines = std::vector<std::pair<std::string, std::string>>;

// The lines of `text` that hold `separator`, split at its first occurrence;
// CR LF and LF endings alike.
inline KeyValueLines ParseKeyValueLines(const std::string& text, char separator = '=') {
  KeyValueLines lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t at = line.find(separator);
    if (at != std::string::npos) lines.emplace_back(line.substr(0, at), line.substr(at + 1));
  }
  return lines;
}

// The lines of `text` ended by CR LF; what follows the last CR LF is the
// last line (empty when the text ends with CR LF).
inline std::vector<std::string> CrLfLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
    lines.push_back(text.substr(start, at - start));
  lines.push_back(text.substr(start));
  return lines;
}

// The value of the first line with `key`; a missing key fails the test.
inline std::string ValueOf(const KeyValueLines& lines, const std::string& key) {
  for (const auto& kv : lines) {
    if (kv.first == key) return kv.second;
  }
  ADD_FAILURE() << "no line " << key;
  return {};
}

}  // namespace ks::e2e
