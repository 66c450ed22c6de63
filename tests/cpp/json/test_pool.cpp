// The pool behind value trees: every size gets at least the bytes it asked
// for, pieces come back intact after recycling, and lists built on the pool
// behave as ordinary vectors.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/json/pool.h"
#include "core/json/value.h"

namespace lantor::json {
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
  Array items;
  for (int i = 0; i < 1000; ++i) items.push_back(Value::uint(static_cast<std::uint64_t>(i)));
  Array moved = std::move(items);
  Array copied = moved;
  copied.resize(10);
  copied.shrink_to_fit();
  ASSERT_EQ(moved.size(), 1000u);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(moved[static_cast<std::size_t>(i)].as_uint(), static_cast<std::uint64_t>(i));
  ASSERT_EQ(copied.size(), 10u);
  EXPECT_EQ(copied[9].as_uint(), 9u);

  MemberList members;
  for (int i = 0; i < 100; ++i) members.push_back(Member{std::string(static_cast<std::size_t>(i), 'n'), Value::uint(1)});
  Object o;
  o.assign_unique(std::move(members));
  ASSERT_EQ(o.size(), 100u);
  EXPECT_EQ(o[99].name, std::string(99, 'n'));
}

}  // namespace
}  // namespace lantor::json
