#pragma once
// The system's cryptographic random source and start-up noise for the fallback.

#include <cstddef>
#include <cstdint>

namespace ks {

// BCryptGenRandom, else RtlGenRandom (advapi32's SystemFunction036); false
// when neither exists or both fail.
bool SystemRandom(void* out, std::size_t size);

// Time, counters and ids of this process, folded into one seed.
std::uint64_t StartupNoise();

}  // namespace ks
