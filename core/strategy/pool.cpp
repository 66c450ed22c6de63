#include "core/strategy/pool.h"

#include <array>
#include <bit>
#include <new>

namespace lantor::strategy {
namespace {

// Size classes of 32 bytes up to 2 KiB, each a power of two; larger pieces
// go straight to the general allocator.
constexpr std::size_t kSmallest = 32;
constexpr std::size_t kClasses = 7;
constexpr std::size_t kLargest = kSmallest << (kClasses - 1);
// Each class keeps at most this many bytes of free pieces per thread.
constexpr std::size_t kKeptBytes = std::size_t{128} * 1024;

// Under AddressSanitizer a recycled piece would hide a use after free from
// it, and a rounded-up size an overflow: sanitized builds keep nothing and
// allocate exact sizes.
#if defined(__SANITIZE_ADDRESS__)
#define LANTOR_POOL_RECYCLES 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LANTOR_POOL_RECYCLES 0
#endif
#endif
#ifndef LANTOR_POOL_RECYCLES
#define LANTOR_POOL_RECYCLES 1
#endif

struct FreePiece {
  FreePiece* next;
};

struct FreeList {
  FreePiece* head;
  std::size_t count;
};

// Trivially destructible, so that it stays usable while other thread-local
// objects are destroyed at thread exit; `Drain` empties it then.
struct Pools {
  std::array<FreeList, kClasses> lists;
  bool closed;
};
thread_local Pools pools{};

struct Drain {
  ~Drain() {
    for (FreeList& list : pools.lists) {
      while (list.head != nullptr) {
        FreePiece* next = list.head->next;
        ::operator delete(list.head);
        list.head = next;
      }
      list.count = 0;
    }
    pools.closed = true;
  }
};

// The thread's lists, with its Drain constructed on first use so that it
// runs at the thread's exit.
Pools& thread_pools() {
  thread_local Drain drain;
  (void)drain;
  return pools;
}

std::size_t class_of(std::size_t bytes) {
  return bytes <= kSmallest ? 0 : static_cast<std::size_t>(std::bit_width(bytes - 1)) - 5;
}

}  // namespace

void* pool_allocate(std::size_t bytes) {
  if (!LANTOR_POOL_RECYCLES || bytes > kLargest) return ::operator new(bytes);
  const std::size_t c = class_of(bytes);
  FreeList& list = thread_pools().lists[c];
  if (FreePiece* piece = list.head) {
    list.head = piece->next;
    --list.count;
    return piece;
  }
  return ::operator new(kSmallest << c);
}

void pool_deallocate(void* p, std::size_t bytes) noexcept {
  if (p == nullptr) return;
  if (!LANTOR_POOL_RECYCLES || bytes > kLargest) {
    ::operator delete(p);
    return;
  }
  const std::size_t c = class_of(bytes);
  // While the thread's thread-local objects are being destroyed the lists are
  // closed (or their Drain cannot be made any more): pieces go straight back.
  Pools& own = pools.closed ? pools : thread_pools();
  FreeList& list = own.lists[c];
  if (own.closed || list.count >= kKeptBytes / (kSmallest << c)) {
    ::operator delete(p);
    return;
  }
  FreePiece* piece = static_cast<FreePiece*>(p);
  piece->next = list.head;
  list.head = piece;
  ++list.count;
}

}  // namespace lantor::strategy
