#pragma once

namespace ks {
// The engine's archive format version; an archive of another version is refused.
inline constexpr const char* kEngineVersion = "46.0";
}  // namespace ks
