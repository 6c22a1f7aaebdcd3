#include "authoring/progress.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#define KS_ISATTY _isatty
#define KS_FILENO _fileno
#else
#include <unistd.h>
#define KS_ISATTY isatty
#define KS_FILENO fileno
#endif

namespace ks::authoring {
namespace {

int Percent(std::uint64_t done, std::uint64_t total) {
  if (total == 0 || done >= total) return 100;
  return static_cast<int>(done * 100 / total);
}

std::string Size(std::uint64_t bytes) {
  char buf[32];
  if (bytes < 1024) {
    std::snprintf(buf, sizeof buf, "%llu B", static_cast<unsigned long long>(bytes));
  } else if (bytes < 1024 * 1024) {
    std::snprintf(buf, sizeof buf, "%.1f KiB", static_cast<double>(bytes) / 1024);
  } else {
    std::snprintf(buf, sizeof buf, "%.1f MiB", static_cast<double>(bytes) / (1024 * 1024));
  }
  return buf;
}

}  // namespace

std::string RenderProgress(const std::string& label, std::uint64_t done, std::uint64_t total, int width) {
  const int percent = Percent(done, total);
  const int filled = percent * width / 100;
  std::string bar = label + " [" + std::string(static_cast<std::size_t>(filled), '#') +
                    std::string(static_cast<std::size_t>(width - filled), '.') + "] ";
  const std::string pct = std::to_string(percent) + "%";
  bar += std::string(4 - pct.size(), ' ') + pct + "  " + Size(done < total ? done : total);
  return bar;
}

ProgressBar::ProgressBar(std::FILE* out, bool interactive, std::string label)
    : out_(out), interactive_(interactive), label_(std::move(label)) {}

ProgressBar ProgressBar::ForStderr(bool quiet, std::string label) {
  if (quiet) return ProgressBar(nullptr, false, std::move(label));
  return ProgressBar(stderr, KS_ISATTY(KS_FILENO(stderr)) != 0, std::move(label));
}

void ProgressBar::Update(std::uint64_t done, std::uint64_t total) {
  std::lock_guard<std::mutex> lock(mutex_);
  done_ = done;
  total_ = total;
  if (!out_) return;
  const int percent = Percent(done, total);
  const bool draw = interactive_ ? percent != shown_percent_ : percent / 10 != shown_percent_ / 10;
  if (!draw || percent == 100) return;  // 100 % is drawn once, by Finish
  shown_percent_ = percent;
  std::fprintf(out_, interactive_ ? "\r%s" : "%s\n", RenderProgress(label_, done, total, 30).c_str());
  std::fflush(out_);
}

void ProgressBar::Finish() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!out_) return;
  std::fprintf(out_, interactive_ ? "\r%s\n" : "%s\n", RenderProgress(label_, total_, total_, 30).c_str());
  std::fflush(out_);
}

}  // namespace ks::authoring
