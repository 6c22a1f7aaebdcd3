#pragma once
// Control Panel extensions: the class key with its icon and open command and
// the Control Panel's namespace entry, both in the 64-bit registry view (the
// view Explorer reads on 64-bit Windows); both keys are recorded for removal.

#include "integration/component_texts.h"
#include "lib/text.h"
#include "records/uninstall_data.h"

namespace ks {

struct ControlPanelRecord {
  WString path;       // the placed program
  NString title;      // UTF-8; empty: the file name
  NString class_id;   // marked text
  NString arguments;  // code page 1252
};

// Returns 0, or the corrupt code of a record without a name (78) or class
// identifier (79); registry failures are logged and end only this record.
int RegisterControlPanelExtension(const ControlPanelRecord& record, const ComponentProgress& progress,
                                  UninstallData& uninstall);

}  // namespace ks
