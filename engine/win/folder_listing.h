#pragma once
// What one folder holds, read in one enumeration. Under Wine a lookup of a
// name that is not there reads the whole folder each time; a loop that asks
// about every file of a folder (and the pending write beside each) asks this
// listing instead and goes to the system only where the listing cannot say.

#include <cstdint>
#include <utility>
#include <vector>

#include "lib/text.h"

namespace ks {

enum class ListedAs {
  kAbsent,     // the folder was listed in full and holds no such name
  kPlainFile,  // a file that is neither read-only nor a folder
  kUnknown,    // anything else: a folder, a read-only file, or no listing
};

class FolderListing {
 public:
  // Reads `folder` unless it is the folder read last.
  void Use(const WString& folder);
  // A name in the folder of the last Use, compared as the file system does
  // (case-insensitively).
  ListedAs Find(const WString& name) const;

 private:
  WString folder_;
  bool used_ = false;
  bool complete_ = false;
  std::vector<std::pair<WString, std::uint32_t>> entries_;  // name, attributes
};

}  // namespace ks
