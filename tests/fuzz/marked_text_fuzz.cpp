// Decoding any bytes must not crash, and the decoded text must survive an
// encode/decode round trip unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "lib/marked_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ks::NStringView input(reinterpret_cast<const char*>(data), size);
  const ks::WString text = ks::DecodeMarkedText(input);
  for (bool allow_ansi : {false, true}) {
    const ks::NString marked = ks::EncodeMarkedText(text, allow_ansi);
    if (ks::DecodeMarkedText(marked) != text) std::abort();
    if (ks::WideToUtf8(ks::Utf8ToWide(ks::WideToUtf8(text))) != ks::WideToUtf8(text)) std::abort();
  }
  return 0;
}
