#pragma once
// What the tool tells an author when an input is wrong: where (file, line,
// column), which key, and what was expected. Errors are collected, not
// thrown, so that one run reports every mistake of a manifest at once.

#include <string>
#include <vector>

namespace ks::authoring {

struct Diagnostic {
  std::string file;
  int line = 0;    // 0 when the problem has no position (a missing file)
  int column = 0;
  std::string key;  // dotted key path, e.g. "product.version"; may be empty
  std::string message;
};

// "file:line:column: key: message", leaving out the parts that are unknown.
std::string FormatDiagnostic(const Diagnostic& d);

class Diagnostics {
 public:
  void Add(Diagnostic d) { list_.push_back(std::move(d)); }
  bool empty() const { return list_.empty(); }
  std::size_t size() const { return list_.size(); }
  const std::vector<Diagnostic>& list() const { return list_; }
  const Diagnostic& front() const { return list_.front(); }
  // All diagnostics, one formatted line each.
  std::string Text() const;

 private:
  std::vector<Diagnostic> list_;
};

}  // namespace ks::authoring
