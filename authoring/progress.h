#pragma once
// The progress bar the tool draws on stderr while it compresses. On a
// terminal it redraws one line in place; into a file or pipe it writes a line
// only at every tenth, so that logs stay short. Quiet mode draws nothing.

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace ks::authoring {

// The bar's text for a state, e.g. "Compressing [#####.....]  50%  1.2 MiB".
std::string RenderProgress(const std::string& label, std::uint64_t done, std::uint64_t total, int width);

class ProgressBar {
 public:
  // out may be null (quiet). interactive: out is a terminal.
  ProgressBar(std::FILE* out, bool interactive, std::string label);
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // Thread-safe; draws only when the shown percentage changes.
  void Update(std::uint64_t done, std::uint64_t total);
  // Draws the final state and ends the line.
  void Finish();

  // stderr when not quiet, with the terminal test of the platform.
  static ProgressBar ForStderr(bool quiet, std::string label);

 private:
  std::FILE* out_;
  bool interactive_;
  std::string label_;
  int shown_percent_ = -10;  // no tenth drawn yet
  std::uint64_t done_ = 0, total_ = 0;
  std::mutex mutex_;
};

}  // namespace ks::authoring
