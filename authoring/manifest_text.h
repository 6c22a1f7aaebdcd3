#pragma once
// Texts of the manifest in the forms the settings carry: wide (UTF-16) or
// narrow (code page 1252), each within the byte limit of its field encoding.
// A text that does not fit gets a diagnostic at its key and comes back empty.

#include <cstddef>
#include <optional>
#include <string_view>

#include "authoring/toml_reader.h"
#include "core/bytes.h"
#include "lib/text.h"

namespace ks::authoring {

// Limits of the field encodings, in bytes of the stored form.
inline constexpr std::size_t kText16Bytes = 0xFFFF;
inline constexpr std::size_t kText8Bytes = 0xFF;
inline constexpr std::size_t kZTextBytes = 511;
inline constexpr std::size_t kNoLimit = 0x40000000;
// The crash report's addresses: an e-mail address, and a web address that
// the engine's internet functions take whole.
inline constexpr std::size_t kCrashSupportAddressBytes = 254;
inline constexpr std::size_t kCrashFormAddressBytes = 2000;

// max_bytes counts UTF-16LE bytes.
std::optional<WString> WideText(TomlReader& t, std::string_view key, std::size_t max_bytes = kNoLimit);
// Narrow texts travel in the system code page; the tool writes code page 1252
// and refuses characters it lacks instead of turning them into "?".
std::optional<NString> NarrowText(TomlReader& t, std::string_view key, std::size_t max_bytes = kNoLimit);

// A licence or readme document as the engine takes it: RTF and UTF-16LE text
// (it begins with the mark FF FE) stay as they are; other text is UTF-8 (its
// mark dropped) or, when it is no valid UTF-8, code page 1252, and becomes
// UTF-16LE behind the mark FF FE.
Bytes DocumentForEngine(const Bytes& file);

}  // namespace ks::authoring
