#pragma once
// What the step tests share: a step log whose lines the test reads, and a
// path-variable expansion that knows only %InstallDir%.

#include <functional>

#include "lib/text.h"
#include "records/install_log.h"

namespace ks::test {

class CapturedLog : public StepLogSink {
 public:
  void Append(NStringView utf8) override { text.append(utf8); }
  NString text;
};

inline std::function<WString(const WString&)> InstallDirExpansion(WString install_dir) {
  return [install_dir](const WString& text) {
    WString out = text;
    const std::size_t at = out.find(u"%InstallDir%");
    if (at != WString::npos) out.replace(at, 12, install_dir);
    return out;
  };
}

}  // namespace ks::test
