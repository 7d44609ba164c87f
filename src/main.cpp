// kest: one operation on a numeric ASCII data file per run.
#include <cstdlib>
#include <new>

#include "base/diagnostics.h"
#include "driver/kest.h"

// The program's allocator: malloc and free, and an exhausted heap throws an
// AllocationFailure that carries the size asked for, so that every allocation,
// checked or not, ends in the report "Could not allocate memory %lu bytes". The
// nothrow forms of the library call these and hand back nullptr instead. The
// address sanitizer brings an allocator of its own (g++ and clang tell of it
// differently).
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KEST_ADDRESS_SANITIZER 1
#endif
#endif
#if !defined(__SANITIZE_ADDRESS__) && !defined(KEST_ADDRESS_SANITIZER)
void* operator new(std::size_t bytes) {
  for (;;) {
    if (void* block = std::malloc(bytes == 0 ? 1 : bytes)) return block;
    const std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw kest::AllocationFailure(bytes);
    handler();
  }
}
void* operator new[](std::size_t bytes) {
  return ::operator new(bytes);
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
#endif

int main(int argc, char** argv) {
  return kest::main_entry(argc, argv);
}
