// Allocation failures end the run through the support library's
// out-of-memory path (the crash hook, then the fatal error with its log and
// notification) instead of an exception nobody catches, which would abort
// the process without a word. Replacing the global operators is the one
// place that sees every allocation and its requested size; any program that
// links the support library gets them.

#include <cstdlib>
#include <new>

#include "lib/fatal.h"

void* operator new(std::size_t size) {
  if (void* memory = std::malloc(size != 0 ? size : 1)) return memory;
  ks::RaiseOutOfMemory(size);
}

void* operator new[](std::size_t size) { return ::operator new(size); }

// Who asks without exceptions handles a failure: the standard answer, null.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size != 0 ? size : 1); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size != 0 ? size : 1); }

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
