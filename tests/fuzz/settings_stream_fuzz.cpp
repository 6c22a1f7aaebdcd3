// Reading any settings stream must end with 0 or a corrupt code, without a
// crash, a hang or an allocation larger than the input justifies (run with
// -malloc_limit_mb). A stream that reads cleanly must survive being written
// and read again.
//
// The first byte chooses the reader's input (silent, automatic, the archive
// flag that adds field 56); the rest is the stream.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/install_settings.h"

namespace {

ks::SettingsInput InputFrom(std::uint8_t options) {
  ks::SettingsInput input;
  input.silent = options & 1;
  input.automatic = options & 2;
  if (options & 4) input.archive_flags = ks::kArchiveFlagSecondDialogColours;
  input.os_short_name = u"10";
  input.os_name = u"Windows 10";
  input.program_files = u"C:\\Program Files";
  input.program_files_64 = u"C:\\Program Files";
  return input;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const ks::SettingsInput input = InputFrom(data[0]);
  ks::SettingsReadHooks hooks;
  hooks.after_field_6 = [] { return 0; };

  ks::InstallSettings settings;
  ks::LocalizedTexts texts;
  const int code = ks::ReadInstallSettings(ks::ByteReader(data + 1, size - 1), input, hooks, settings, texts);
  for (int n : {-1, 0, 1, 13, 21, 114, 9999, 10000}) {
    if (texts.Text(n).size() > 0x100000) std::abort();
  }
  if (code != 0) return 0;

  ks::SettingsWriter out;
  // Line ends made CR LF may push a text over the terminated-text limit; such
  // a record cannot be written again, which is not a reader fault.
  if (!ks::WriteInstallSettings(settings, texts, input.archive_flags, out)) return 0;
  ks::InstallSettings again;
  ks::LocalizedTexts texts_again;
  ks::SettingsInput plain = input;
  plain.silent = false;  // the flags were changed once already
  if (ks::ReadInstallSettings(ks::ByteReader(out.bytes()), plain, hooks, again, texts_again) != 0) std::abort();
  if (again.product_flags != settings.product_flags) std::abort();
  if (texts_again.text_count() != texts.text_count()) std::abort();
  return 0;
}
