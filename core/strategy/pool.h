// Storage for the lists of the typed strategy (model.h): a model is built
// and dropped within one command, a few hundred pieces at a time, which
// overflows the general allocator's small per-thread caches; each thread
// keeps its own lists of free pieces by size class instead, up to a bound.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <utility>

namespace lantor::strategy {

// `bytes` of storage, aligned for any object; never null (throws
// std::bad_alloc like operator new).
void* pool_allocate(std::size_t bytes);
// Gives back what pool_allocate(bytes) returned, with the same `bytes`. Any
// thread may give back what another one took.
void pool_deallocate(void* p, std::size_t bytes) noexcept;

// A stateless allocator over the pool, for the element lists.
template <class T>
struct PoolAllocator {
  using value_type = T;
  PoolAllocator() noexcept = default;
  template <class U>
  PoolAllocator(const PoolAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) { return static_cast<T*>(pool_allocate(n * sizeof(T))); }
  void deallocate(T* p, std::size_t n) noexcept { pool_deallocate(p, n * sizeof(T)); }
  template <class U>
  friend bool operator==(const PoolAllocator&, const PoolAllocator<U>&) noexcept {
    return true;
  }
};

// Owns one object made by pool_make: the nodes of the model's trees.
template <class T>
struct PoolDelete {
  void operator()(T* p) const noexcept {
    p->~T();
    pool_deallocate(p, sizeof(T));
  }
};
template <class T>
using Owned = std::unique_ptr<T, PoolDelete<T>>;

// A T made in storage from the pool.
template <class T, class... Args>
Owned<T> pool_make(Args&&... args) {
  void* storage = pool_allocate(sizeof(T));
  struct GiveBack {
    void* storage;
    ~GiveBack() {
      if (storage != nullptr) pool_deallocate(storage, sizeof(T));
    }
  } on_throw{storage};
  T* made = ::new (storage) T(std::forward<Args>(args)...);
  on_throw.storage = nullptr;
  return Owned<T>(made);
}

}  // namespace lantor::strategy
