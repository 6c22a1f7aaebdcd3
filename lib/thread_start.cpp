#include "lib/thread_start.h"

#include <system_error>
#include <utility>

namespace ks {

bool TryStartThread(std::thread& thread, std::function<void()> body) {
  // std::thread reports a thread it cannot start only by throwing; this file
  // alone is built with exceptions in the engine.
  try {
    thread = std::thread(std::move(body));
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

}  // namespace ks
