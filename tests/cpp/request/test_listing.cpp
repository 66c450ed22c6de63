// The list of the command bodies' types, made from the readers' own tables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/request/tables.h"
#include "tests/support/listing_check.h"

namespace lantor::request {
namespace {

TEST(Listing, EveryTypeNamedIsListed) {
  EXPECT_EQ(lantor::testing::unresolved(types()), std::vector<std::string>());
  std::string names;
  for (const schema::TypeInfo& t : types()) names += std::string(t.name) + " ";
  EXPECT_EQ(names,
            "CompileReq CompileSpec Target Target::NoStd OptLevel DatasetRef DatasetRef::Csv "
            "DatasetRef::Inline BytesReq ");
}

}  // namespace
}  // namespace lantor::request
