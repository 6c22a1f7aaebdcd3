#pragma once
// The classes root as the association steps see it, through RegKey in the
// engine's own registry view. A test points it at a key of its own.

#include <windows.h>

#include <utility>

#include "integration/file_associations.h"

namespace ks {

class RegistryClassesKeys : public ClassesKeys {
 public:
  // Keys are named below `root`\`base` (`base` may be empty).
  explicit RegistryClassesKeys(HKEY root = HKEY_CLASSES_ROOT, WString base = WString())
      : root_(root), base_(std::move(base)) {}

  bool Exists(const WString& key) override;
  bool Create(const WString& key) override;
  std::optional<WString> Value(const WString& key, const WString& name) override;
  bool SetValue(const WString& key, const WString& name, const WString& text) override;
  void DeleteValue(const WString& key, const WString& name) override;
  std::vector<WString> SubKeys(const WString& key) override;
  std::vector<WString> ValueNames(const WString& key) override;
  void DeleteTree(const WString& key) override;

 private:
  WString Path(const WString& key) const { return base_.empty() ? key : base_ + u'\\' + key; }

  HKEY root_;
  WString base_;
};

// Tells the shell once that file associations changed.
void NotifyAssociationsChanged();

}  // namespace ks
