// A value-or-error result. Every fallible operation of the core returns one of
// these; nothing in the core throws for a domain failure.
#pragma once

#include <cassert>
#include <new>
#include <string>
#include <type_traits>
#include <utility>

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

// The value and the error share storage, with a flag telling which one is
// there. Results are made, moved and tested on every step of a typed read, so
// they stay this plain: a move is one branch and one member move, with none
// of the generic visiting or checked access of a general sum type.
// Accessing the side that is not there is a programming error.
template <class T, class E = std::string>
class [[nodiscard]] Result {
 public:
  Result(T value) : ok_(true) { ::new (static_cast<void*>(&value_)) T(std::move(value)); }
  template <class F>
  Result(Failure<F> failure) : ok_(false) {
    ::new (static_cast<void*>(&error_)) E(std::move(failure.error));
  }
  Result(Result&& other) noexcept(std::is_nothrow_move_constructible_v<T> &&
                                  std::is_nothrow_move_constructible_v<E>)
      : ok_(other.ok_) {
    construct_from(std::move(other));
  }
  Result(const Result& other) : ok_(other.ok_) {
    if (ok_)
      ::new (static_cast<void*>(&value_)) T(other.value_);
    else
      ::new (static_cast<void*>(&error_)) E(other.error_);
  }
  Result& operator=(Result&& other) noexcept(std::is_nothrow_move_assignable_v<T> &&
                                             std::is_nothrow_move_assignable_v<E> &&
                                             std::is_nothrow_move_constructible_v<T> &&
                                             std::is_nothrow_move_constructible_v<E>) {
    if (this == &other) return *this;
    if (ok_ && other.ok_) {
      value_ = std::move(other.value_);
    } else if (!ok_ && !other.ok_) {
      error_ = std::move(other.error_);
    } else if constexpr (std::is_nothrow_move_constructible_v<T> && std::is_nothrow_move_constructible_v<E>) {
      destroy();
      construct_from(std::move(other));
    } else {
      destroy();
      try {
        construct_from(std::move(other));
      } catch (...) {
        // Nothing is left to destroy: hold an empty error rather than
        // nothing at all.
        ok_ = false;
        ::new (static_cast<void*>(&error_)) E();
        throw;
      }
    }
    return *this;
  }
  Result& operator=(const Result& other) {
    if (this != &other) *this = Result(other);
    return *this;
  }
  ~Result() { destroy(); }

  bool ok() const { return ok_; }
  // Not for a Result that holds a bool, where `if (r)` would read as a test
  // of the value.
  explicit operator bool() const
    requires(!std::is_same_v<T, bool>)
  {
    return ok_;
  }

  T& value() & { return checked_value(); }
  const T& value() const& { return const_cast<Result*>(this)->checked_value(); }
  T&& value() && { return std::move(checked_value()); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

  E& error() & { return checked_error(); }
  const E& error() const& { return const_cast<Result*>(this)->checked_error(); }
  E&& error() && { return std::move(checked_error()); }

 private:
  // Builds this side from `other`'s, whichever it is.
  void construct_from(Result&& other) {
    if (other.ok_)
      ::new (static_cast<void*>(&value_)) T(std::move(other.value_));
    else
      ::new (static_cast<void*>(&error_)) E(std::move(other.error_));
    ok_ = other.ok_;
  }
  T& checked_value() {
    assert(ok_ && "value() of a failed Result");
    return value_;
  }
  E& checked_error() {
    assert(!ok_ && "error() of a successful Result");
    return error_;
  }
  void destroy() noexcept {
    if (ok_)
      value_.~T();
    else
      error_.~E();
  }

  union {
    T value_;
    E error_;
  };
  bool ok_;
};

// A Result with nothing to carry on success.
template <class E = std::string>
using Status = Result<Ok, E>;

}  // namespace lantor

// Returns early from the enclosing function with the error of `expr` when it
// failed. `expr` is evaluated once.
#define LANTOR_TRY(expr)                                                                        \
  do {                                                                                          \
    auto&& lantor_try_result_ = (expr);                                                         \
    if (!lantor_try_result_.ok()) return ::lantor::fail(std::move(lantor_try_result_).error()); \
  } while (0)

#define LANTOR_CONCAT_INNER(a, b) a##b
#define LANTOR_CONCAT(a, b) LANTOR_CONCAT_INNER(a, b)

// Evaluates `expr` once; returns early with its error when it failed, and
// otherwise assigns its value to `lhs`, which may be a declaration (so it is
// more than one statement, and needs braces as the body of an `if`):
//   LANTOR_ASSIGN_OR_RETURN(auto bars, read_u32(node));
//   LANTOR_ASSIGN_OR_RETURN(out.bars, read_u32(node));
// `lhs` may be a declaration and `result` is a name being declared; neither
// can be put in parentheses.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define LANTOR_ASSIGN_OR_RETURN(lhs, expr) \
  LANTOR_ASSIGN_OR_RETURN_IMPL(LANTOR_CONCAT(lantor_result_, __LINE__), lhs, expr)
#define LANTOR_ASSIGN_OR_RETURN_IMPL(result, lhs, expr)               \
  auto result = (expr);                                               \
  if (!result.ok()) return ::lantor::fail(std::move(result).error()); \
  lhs = std::move(result).value()
// NOLINTEND(bugprone-macro-parentheses)
