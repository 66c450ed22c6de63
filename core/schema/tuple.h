// Fixed-size tuples: a JSON array of exactly `size` elements, read from a
// tape (the data of the strategy's comparisons and expressions).
#pragma once

#include <cstddef>
#include <string>

#include "core/schema/source.h"

namespace lantor::schema {

// Reads the elements in order with `read_element(index, value) -> Status`.
// The first failing element ends the read; an array that ends early fails
// with the number of elements present, and one that runs long fails with its
// full length once every expected element has been read.
template <class ReadElement>
Status<Error> read_tuple(json::Node v, std::size_t size, ReadElement&& read_element) {
  if (!v.is_array()) return fail(unexpected(v, tuple_of_size(size)));
  const std::size_t count = v.size();
  json::Node element = v.elements().front();
  for (std::size_t i = 0; i < size; ++i) {
    if (i >= count) return fail(error_about(v, invalid_length(i, tuple_of_size(size))));
    LANTOR_TRY(read_element(i, element));
    element = element.next();
  }
  if (count > size) return fail(error_about(v, invalid_length(count, "fewer elements in array")));
  return Ok{};
}

}  // namespace lantor::schema
