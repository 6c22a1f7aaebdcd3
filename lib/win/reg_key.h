#pragma once
// RegKey: the only way the installer and the uninstaller touch the registry.
// It holds the open key and a stack of the keys opened before it, so that
// work on a sub-key can Close() back to the outer key. Every operation sets
// the thread's last error (0 on success), which callers turn into their log
// and failure-summary lines.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "lib/registry_path.h"
#include "lib/text.h"

namespace ks {

// Flags of Open and OpenPath.
inline constexpr unsigned kRegNoPush = 0x1;         // replace the current key instead of stacking it
inline constexpr unsigned kRegShowError = 0x10;     // message box "Registry Error" on failure
inline constexpr unsigned kRegOpenOnly = 0x40;      // never create
inline constexpr unsigned kRegNoSecurity = 0x800;   // create without our security descriptor
inline constexpr unsigned kRegFailIfExists = 0x10000;  // error 183 when the key can be read already

// Flags of the value writers.
inline constexpr unsigned kRegDeleteIfEmpty = 0x8;  // empty text (or 0) deletes the value instead
inline constexpr unsigned kRegBinaryText = 0x80;    // narrow text stored as REG_BINARY
inline constexpr unsigned kRegExpandText = 0x100;   // REG_EXPAND_SZ
inline constexpr unsigned kRegWideText = 0x1000;    // implied by the wide SetString overload
inline constexpr unsigned kRegKeepExisting = 0x8000;  // an existing value stays (success)

// Access masks of the registry view: read/write plus KEY_WOW64_64KEY or
// KEY_WOW64_32KEY.
inline constexpr REGSAM kRegAccess64 = 0x2010f;
inline constexpr REGSAM kRegAccess32 = 0x2020f;
// The engine is a 32-bit program: a registry call that names no view lands
// in the 32-bit view on 64-bit Windows. The x86_64 build of the same source
// (for test hosts without 32-bit execution) names that view itself, so that
// both builds read and write where the shipped engine does.
inline constexpr REGSAM kRegOwnView = KEY_WOW64_32KEY;
// Read and write access (0x2000f) in that view.
inline constexpr REGSAM kRegAccessOwnView = 0x2000f | kRegOwnView;
inline constexpr REGSAM kRegViewBits = KEY_WOW64_64KEY | KEY_WOW64_32KEY;

// Open results.
inline constexpr int kRegFailed = 0;
inline constexpr int kRegOpened = 1;
inline constexpr int kRegCreated = 2;

HKEY RootKey(RegRoot root);

// A value name. Names are narrow (system code page) in most callers and wide
// in some (values named by the archive); both are accepted and kept wide.
class RegName {
 public:
  RegName(const char* ansi) : wide_(AnsiToWide(ansi ? NStringView(ansi) : NStringView())) {}
  RegName(NStringView ansi) : wide_(AnsiToWide(ansi)) {}
  RegName(const NString& ansi) : wide_(AnsiToWide(ansi)) {}
  RegName(const char16_t* wide) : wide_(wide ? wide : u"") {}
  RegName(WStringView wide) : wide_(wide) {}
  RegName(const WString& wide) : wide_(wide) {}
  const WString& wide() const { return wide_; }

 private:
  WString wide_;
};

class RegKey {
 public:
  RegKey() = default;
  ~RegKey();  // closes the current key and every stacked one
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  // 0 failed, 1 opened an existing key, 2 created a new one. Without
  // kRegOpenOnly the key is created (non-volatile, empty class); a null root
  // fails with error 87. On success the previous key is stacked (or, with
  // kRegNoPush, closed); on failure nothing changes.
  int Open(HKEY root, const WString& key_path, unsigned flags, REGSAM access);
  // A registry path (integration/registry_path.h); a bad one fails with 161.
  int OpenPath(const WString& path, unsigned flags, REGSAM access);
  // Closes the current key and returns to the stacked one.
  void Close();
  bool is_open() const { return handle_ != nullptr; }

  HKEY handle() const { return handle_; }
  // "HKEY_LOCAL_MACHINE\Software\Maker"; empty when nothing is open.
  const WString& name() const { return name_; }

  // REG_SZ from narrow (system code page) text; kRegExpandText, kRegBinaryText
  // (the bytes as they are), kRegDeleteIfEmpty and kRegKeepExisting apply.
  bool SetString(const RegName& name, NStringView text, unsigned flags = 0);
  // The same from wide text.
  bool SetString(const RegName& name, WStringView text, unsigned flags = 0);
  // REG_DWORD; kRegDeleteIfEmpty deletes instead when `value` is 0.
  bool SetDword(const RegName& name, DWORD value, unsigned flags = 0);
  bool SetQword(const RegName& name, std::uint64_t value);
  // REG_SZ holding FormatRegDouble(value).
  bool SetDouble(const RegName& name, double value);
  // Raw bytes of any type; kRegKeepExisting applies.
  bool SetValue(const RegName& name, DWORD type, const void* bytes, std::size_t size, unsigned flags = 0);
  bool SetValue(const RegName& name, DWORD type, const std::vector<std::uint8_t>& bytes, unsigned flags = 0);
  // REG_MULTI_SZ: each string with its zero, then one more zero.
  bool SetMultiString(const RegName& name, const std::vector<WString>& strings);

  bool DeleteValue(const RegName& name);
  bool ValueExists(const RegName& name);

  // Readers: false (last error set) when the value is missing or of another
  // type. Strings lose their terminating zeros; REG_EXPAND_SZ is not expanded.
  bool GetValue(const RegName& name, DWORD* type, std::vector<std::uint8_t>* bytes);
  bool GetString(const RegName& name, WString* out);  // REG_SZ or REG_EXPAND_SZ
  bool GetDword(const RegName& name, DWORD* out);
  bool GetQword(const RegName& name, std::uint64_t* out);
  // Every string up to the list's closing zero, empty ones included (the
  // pending rename list pairs a path with an empty one to mean deletion).
  bool GetMultiString(const RegName& name, std::vector<WString>* out);

  // Names of the current key's sub-keys; false when they cannot be listed.
  bool SubKeys(std::vector<WString>* out);
  // Names of the current key's values, "" for a default value that is set.
  bool ValueNames(std::vector<WString>* out);

 private:
  struct Saved {
    HKEY handle;
    WString name;
  };
  void CloseAll();
  HKEY handle_ = nullptr;
  WString name_;
  std::vector<Saved> stack_;
};

// Deletes a key with all its sub-keys; `view` is KEY_WOW64_64KEY,
// KEY_WOW64_32KEY or 0. True when the key is gone (also when it was missing).
bool DeleteKeyTree(HKEY root, const WString& path, REGSAM view);
// Deletes a key only when it has neither sub-keys nor values.
bool DeleteKeyIfEmpty(HKEY root, const WString& path, REGSAM view);

// The user profiles whose hives "\HKAU\" forms reach: the sub-keys of
// ProfileList, or when that cannot be read, those of HKEY_USERS without
// ".DEFAULT" and the "_Classes" hives.
std::vector<WString> UserHives();

// Runs `work` on HKEY_USERS\<profile> of every user (opened with 0x20009 plus
// the view bits of `access`). True when it succeeded for every profile; the
// first failure's error is left as the last error.
bool ForEachUserHive(REGSAM access, const std::function<bool(HKEY hive, const WString& profile)>& work);

// The "\HKAU\" forms: `key_path` is relative to each user's hive.
bool SetInAllUserHives(const WString& key_path, const RegName& name, DWORD type,
                       const std::vector<std::uint8_t>& bytes, REGSAM access, unsigned flags);
bool CreateInAllUserHives(const WString& key_path, REGSAM access);
bool DeleteValueInAllUserHives(const WString& key_path, const RegName& name, REGSAM access);

}  // namespace ks
