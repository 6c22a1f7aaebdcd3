#include "integration/relative_path.h"

#include "engine/special_folders.h"

namespace ks {

WString AbsoluteAgainst(const WString& path, const WString& folder) {
  if (path.empty() || path.find(u':') != WString::npos || path[0] == u'\\') return path;
  return JoinPath(folder, path);
}

}  // namespace ks
