// The property lookup over the committed table (tools/gen_unicode_table.py).
#include <algorithm>
#include <cstddef>

#include "core/schema/unicode.h"

namespace lantor::schema {
namespace {

struct CodeRange {
  char32_t lo;
  char32_t hi;
};

#include "core/schema/unicode_table.inc"

}  // namespace

bool needs_unicode_escape(char32_t cp) {
  const CodeRange* end = kEscapedRanges + kEscapedRangeCount;
  // The first range whose upper end is at or above cp.
  const CodeRange* r =
      std::lower_bound(kEscapedRanges, end, cp, [](const CodeRange& r, char32_t c) { return r.hi < c; });
  return r != end && r->lo <= cp;
}

}  // namespace lantor::schema
