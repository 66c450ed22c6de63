#include "core/strategy/record.h"

namespace lantor::strategy {

std::string counted_name(std::string_view name, std::size_t n) {
  std::string out(name);
  out += " with ";
  out += std::to_string(n);
  out += n == 1 ? " element" : " elements";
  return out;
}

std::string elements_in_sequence(std::size_t n) {
  std::string out = std::to_string(n);
  out += n == 1 ? " element in sequence" : " elements in sequence";
  return out;
}

}  // namespace lantor::strategy
