// Control Panel extensions: the keys in the 64-bit view, their removal
// records, and the records the engine takes for corrupt.

#include "integration/win/control_panel_extension.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

#include "lib/win/reg_key.h"
#include "memory_sink.h"

namespace ks {
namespace {

class ControlPanelExtension : public ::testing::Test {
 protected:
  void SetUp() override {
    char id[64];
    std::snprintf(id, sizeof(id), "{0B7F3C52-6E1D-4A98-B2C4-%012lX}", static_cast<unsigned long>(GetCurrentProcessId()));
    class_id_ = id;
    log_.set_sink(&sink_);
    progress_.log = &log_;
  }
  void TearDown() override {
    DeleteKeyTree(HKEY_LOCAL_MACHINE, ClassKey(), KEY_WOW64_64KEY);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, NameSpaceKey(), KEY_WOW64_64KEY);
  }
  WString ClassKey() const { return u"Software\\Classes\\CLSID\\" + Widen(class_id_); }
  WString NameSpaceKey() const {
    return u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ControlPanel\\NameSpace\\" + Widen(class_id_);
  }
  static WString Default(const WString& key_path) {
    RegKey key;
    WString text = u"<missing>";
    if (key.Open(HKEY_LOCAL_MACHINE, key_path, kRegOpenOnly, KEY_READ | KEY_WOW64_64KEY) != kRegFailed)
      key.GetString(RegName(u""), &text);
    return text;
  }

  NString class_id_;
  test::MemorySink sink_;
  InstallLog log_;
  ComponentProgress progress_;
  UninstallData uninstall_;
};

TEST_F(ControlPanelExtension, KeysAreWrittenAndRecordedForRemoval) {
  const ControlPanelRecord record{u"C:\\Program Files\\Pad\\pad.exe", "", class_id_, "/cpl \xE9"};
  ASSERT_EQ(RegisterControlPanelExtension(record, progress_, uninstall_), 0);
  EXPECT_EQ(sink_.bytes, "Registering control panel applet \"pad.exe\"...OK\r\n");
  EXPECT_EQ(Default(ClassKey()), u"pad.exe");
  EXPECT_EQ(Default(ClassKey() + u"\\DefaultIcon"), record.path);
  EXPECT_EQ(Default(ClassKey() + u"\\Shell\\Open\\Command"), u"\"C:\\Program Files\\Pad\\pad.exe\" /cpl \u00E9");
  EXPECT_EQ(Default(NameSpaceKey()), u"pad.exe");
  EXPECT_EQ(uninstall_.items(), "*\\HKLM\\Software\\Classes\\CLSID\\" + class_id_ +
                                    "\r\n*\\HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
                                    "ControlPanel\\NameSpace\\" + class_id_ + "\r\n");
}

TEST_F(ControlPanelExtension, ANameOrClassMissingIsCorrupt) {
  EXPECT_EQ(RegisterControlPanelExtension({u"C:\\Pad\\", "", class_id_, ""}, progress_, uninstall_),
            kCorruptAppletName);
  EXPECT_EQ(RegisterControlPanelExtension({u"C:\\Pad\\pad.exe", "Pad", "", ""}, progress_, uninstall_),
            kCorruptAppletClass);
  EXPECT_EQ(sink_.bytes, "");
  EXPECT_EQ(uninstall_.items(), "");
}

}  // namespace
}  // namespace ks
