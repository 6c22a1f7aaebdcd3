#pragma once
// Waiting for something another process brings about: a file it writes, a
// registry value it sets, a folder it removes.

#include <chrono>
#include <functional>
#include <thread>

namespace ks::e2e {

// Asks `condition` every 50 ms (or every `interval`, for a moment that lasts
// only a little longer) until it holds or `timeout` has passed. The last
// answer, taken at the deadline, decides. A wait for something that must NOT
// happen proves nothing; wait for an event that comes after it instead (see
// DriverOptions::wait_for_descendants).
inline bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
                      std::chrono::milliseconds interval = std::chrono::milliseconds(50)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(interval);
  }
  return condition();
}

}  // namespace ks::e2e
