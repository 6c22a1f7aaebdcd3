#pragma once
// Starting a thread without letting an exception into code built without them.

#include <functional>
#include <thread>

namespace ks {

// Starts `body` on `thread`; false (and `thread` left empty) when the system
// cannot start one, so the caller can do the work itself instead.
bool TryStartThread(std::thread& thread, std::function<void()> body);

}  // namespace ks
