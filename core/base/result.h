// A value-or-error result. Every fallible operation of the core returns one of
// these; nothing in the core throws for a domain failure.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace lantor {

template <class E>
struct Failure {
  E error;
};

// Wraps an error so that it converts into any Result<T, E>.
template <class E>
Failure<std::decay_t<E>> fail(E&& error) {
  return {std::forward<E>(error)};
}

inline Failure<std::string> fail(const char* error) { return {std::string(error)}; }

// The value type of a Result that carries nothing on success.
struct Ok {};

template <class T, class E = std::string>
class [[nodiscard]] Result {
 public:
  Result(T value) : data_(std::in_place_index<0>, std::move(value)) {}
  template <class F>
  Result(Failure<F> failure) : data_(std::in_place_index<1>, std::move(failure.error)) {}

  bool ok() const { return data_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<0>(data_); }
  const T& value() const& { return std::get<0>(data_); }
  T&& value() && { return std::get<0>(std::move(data_)); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

  E& error() & { return std::get<1>(data_); }
  const E& error() const& { return std::get<1>(data_); }
  E&& error() && { return std::get<1>(std::move(data_)); }

 private:
  std::variant<T, E> data_;
};

// A Result with nothing to carry on success.
template <class E = std::string>
using Status = Result<Ok, E>;

}  // namespace lantor

// Returns early from the enclosing function with the error of `expr` when it
// failed. `expr` is evaluated once.
#define LANTOR_TRY(expr)                                   \
  do {                                                     \
    auto&& lantor_try_result_ = (expr);                    \
    if (!lantor_try_result_.ok())                          \
      return ::lantor::fail(std::move(lantor_try_result_).error()); \
  } while (0)
