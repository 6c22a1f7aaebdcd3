#pragma once
// The built-in English text table. The engine carries no texts of its own:
// every text it shows comes from the archive, so the tool always writes a
// complete English row set and the author overrides only what they want.

#include <string>
#include <vector>

namespace ks::authoring {

// Texts by number (UTF-8, CR LF line ends); numbers the engine does not use
// hold an empty text. The size is one more than the highest number used.
const std::vector<std::string>& EnglishTexts();

// The name under which the English texts are listed on the language page.
inline constexpr const char* kEnglishName = "English";

}  // namespace ks::authoring
