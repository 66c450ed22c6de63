// What a reading of a tape can tell besides success or failure: the members
// it skipped as unknown and the names its operands refer to. The compile path
// never installs an observer and pays one test of a plain counter at the few
// places that report (a thread-local lookup costs a call in a shared
// module); the strategy checker installs one for the length of a reading
// (ScopedObserver) to learn what its warnings need.
#pragma once

#include <atomic>
#include <span>
#include <string_view>

#include "core/json/tape.h"

namespace lantor::schema {

struct Error;

class ReadObserver {
 public:
  // A member of `object` whose name none of `known` is, skipped unread.
  virtual void unknown_member(json::Node object, std::string_view name, json::Node value,
                              std::span<const std::string_view> known) = 0;
  // An operand written as a name (a JSON string).
  virtual void operand_name(json::Node name) = 0;
  // A record's member whose value failed to read, or a required member it
  // lacks: true to go on reading the record as if the member were absent, so
  // that one reading finds every such failure; false to fail as usual.
  virtual bool recovered(const Error& failure) = 0;

 protected:
  ~ReadObserver() = default;
};

// The observer of this thread's current reading, if any, and how many are
// installed on all threads together.
inline thread_local ReadObserver* read_observer = nullptr;
inline std::atomic<int> observers_installed{0};

// The observer of this thread's current reading, or null; looks at this
// thread's own only while some thread has one.
inline ReadObserver* current_observer() {
  return observers_installed.load(std::memory_order_relaxed) == 0 ? nullptr : read_observer;
}

// Installs `observer` for this thread until the scope ends.
class ScopedObserver {
 public:
  explicit ScopedObserver(ReadObserver& observer) : previous_(read_observer) {
    observers_installed.fetch_add(1, std::memory_order_relaxed);
    read_observer = &observer;
  }
  ~ScopedObserver() {
    read_observer = previous_;
    observers_installed.fetch_sub(1, std::memory_order_relaxed);
  }
  ScopedObserver(const ScopedObserver&) = delete;
  ScopedObserver& operator=(const ScopedObserver&) = delete;

 private:
  ReadObserver* previous_;
};

}  // namespace lantor::schema
