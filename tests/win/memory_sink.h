#pragma once
// A step-log sink that keeps what the code under test logs, for comparing.

#include "records/install_log.h"

namespace ks::test {

class MemorySink : public StepLogSink {
 public:
  void Append(NStringView utf8) override { bytes.append(utf8); }
  NString bytes;
};

}  // namespace ks::test
