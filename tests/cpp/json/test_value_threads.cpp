// Values built on one thread and dropped on another, and threads that end
// with blocks of theirs still alive elsewhere: the heap parts of values are
// recycled per thread, and must come out intact wherever they go.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "core/json/canonical.h"
#include "core/json/parse.h"

namespace lantor::json {
namespace {

constexpr const char* kText =
    R"({"name":"a string longer than fifteen bytes","list":[1,"x",{"k":[true,null]}],"o":{}})";

TEST(ValueThreads, BuiltOnOneThreadDroppedOnAnother) {
  std::vector<Value> built;
  std::thread maker([&] {
    for (int i = 0; i < 2000; ++i) built.push_back(*parse_json(kText));
  });
  maker.join();  // the maker's thread has ended; its values live on here
  std::string expected = canonical_json(*parse_json(kText));
  for (const Value& v : built) ASSERT_EQ(canonical_json(v), expected);

  std::thread dropper([moved = std::move(built)]() mutable { moved.clear(); });
  dropper.join();
}

TEST(ValueThreads, ManyThreadsBuildCopyAndDrop) {
  std::vector<std::thread> threads;
  std::vector<std::string> results(8);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t, &results] {
      std::string last;
      for (int i = 0; i < 3000; ++i) {
        Value v = *parse_json(kText);
        Value copy = v;
        v = Value::string(std::string(static_cast<std::size_t>(i % 40), 'z'));
        last = canonical_json(copy);
      }
      results[static_cast<std::size_t>(t)] = last;
    });
  }
  for (std::thread& th : threads) th.join();
  std::string expected = canonical_json(*parse_json(kText));
  for (const std::string& r : results) EXPECT_EQ(r, expected);
}

}  // namespace
}  // namespace lantor::json
