#include "core/win/process_state.h"

namespace ks {

ProcessState& Process() {
  static ProcessState state;
  return state;
}

}  // namespace ks
