// The pool behind the typed strategy's lists: every size gets at least the
// bytes it asked for, pieces come back intact after recycling and across
// threads, and lists built on the pool behave as ordinary vectors.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/strategy/pool.h"

namespace lantor::strategy {
namespace {

TEST(Pool, EverySizeHoldsWhatItAskedFor) {
  // Two pieces of each size, both filled to the last byte, then checked:
  // a piece smaller than its size would overwrite its neighbour or the
  // allocator's bookkeeping.
  for (std::size_t bytes = 1; bytes <= 5000; bytes += (bytes < 300 ? 1 : 37)) {
    for (int round = 0; round < 2; ++round) {
      auto* a = static_cast<unsigned char*>(pool_allocate(bytes));
      auto* b = static_cast<unsigned char*>(pool_allocate(bytes));
      std::memset(a, 0xA5, bytes);
      std::memset(b, 0x5A, bytes);
      for (std::size_t i = 0; i < bytes; ++i) {
        ASSERT_EQ(a[i], 0xA5) << bytes;
        ASSERT_EQ(b[i], 0x5A) << bytes;
      }
      pool_deallocate(b, bytes);
      pool_deallocate(a, bytes);
    }
  }
}

TEST(Pool, ListsGrowShrinkAndMoveLikeVectors) {
  using Items = std::vector<std::string, PoolAllocator<std::string>>;
  Items items;
  for (int i = 0; i < 1000; ++i) items.push_back(std::string(static_cast<std::size_t>(i % 40), 'n'));
  Items moved = std::move(items);
  Items copied = moved;
  copied.resize(10);
  copied.shrink_to_fit();
  ASSERT_EQ(moved.size(), 1000u);
  for (int i = 0; i < 1000; ++i)
    ASSERT_EQ(moved[static_cast<std::size_t>(i)].size(), static_cast<std::size_t>(i % 40));
  ASSERT_EQ(copied.size(), 10u);
  EXPECT_EQ(copied[9], std::string(9, 'n'));
}

TEST(Pool, PiecesTakenOnOneThreadGoBackOnAnother) {
  // Each thread keeps its own free pieces: a piece given back on another
  // thread, or after the thread that took it has ended, must stay whole.
  std::vector<unsigned char*> pieces;
  std::thread taker([&] {
    for (int i = 0; i < 2000; ++i) {
      auto* p = static_cast<unsigned char*>(pool_allocate(64));
      std::memset(p, 0x5A, 64);
      pieces.push_back(p);
    }
  });
  taker.join();
  std::thread giver([&] {
    for (unsigned char* p : pieces) {
      for (int i = 0; i < 64; ++i) ASSERT_EQ(p[i], 0x5A);
      pool_deallocate(p, 64);
    }
  });
  giver.join();
}

}  // namespace
}  // namespace lantor::strategy
