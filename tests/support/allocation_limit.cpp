// The replaced global allocation functions behind FailAllocation. Only the
// tests that make allocations fail link this file (tests/CMakeLists.txt).
#include "support/allocation_limit.h"

#include <cstdlib>
#include <new>

namespace {

std::uint64_t countdown = 0;  // allocations left up to the failing one; 0: none fails
bool failed = false;

void* allocate(std::size_t size) {
  for (;;) {
    if (countdown != 0 && --countdown == 0) {
      failed = true;
    } else if (void* block = std::malloc(size != 0 ? size : 1)) {
      return block;
    }
    const std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
  }
}

void* allocateOrNull(std::size_t size) noexcept {
  try {
    return allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

namespace vtest {

void FailAllocation(std::uint64_t n) {
  countdown = n;
  failed = false;
}

bool AllocationFailed() {
  return failed;
}

}  // namespace vtest

void* operator new(std::size_t size) {
  return allocate(size);
}
void* operator new[](std::size_t size) {
  return allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return allocateOrNull(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return allocateOrNull(size);
}
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete[](void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
  std::free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
  std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
  std::free(block);
}
