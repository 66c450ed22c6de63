#include "core/strategy/tuple.h"

namespace lantor::strategy {

std::string tuple_of_size(std::size_t n) { return "a tuple of size " + std::to_string(n); }

}  // namespace lantor::strategy
