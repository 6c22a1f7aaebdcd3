#include "core/corrupt_message.h"

#include <string>

namespace ks {

const char16_t kDefaultCorruptText[] =
    u"This installation program is corrupt.  This is usually caused by a faulty download, but it "
    u"can also be caused by a virus on your computer.  The installation cannot proceed.\r\n\r\n"
    u"Delete the corrupted installer (to prevent caching), then re-download it.  If the problem "
    u"persists, check your system for viruses.\r\n\r\nError code: %d";

WString CorruptMessage(WStringView localized, int code) {
  const WStringView text = localized.empty() ? WStringView(kDefaultCorruptText) : localized;
  WString out;
  bool filled = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'%' && i + 1 < text.size()) {
      if (text[i + 1] == u'%') {
        out += u'%';
        ++i;
        continue;
      }
      if (text[i + 1] == u'd' && !filled) {
        out += Widen(std::to_string(code));
        filled = true;
        ++i;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

WString SystemErrorSuffix(WStringView code_text, WStringView system_text) {
  return u"\r\nSystem error, code " + WString(code_text) + u": " + WString(system_text);
}

}  // namespace ks
