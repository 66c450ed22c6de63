#include <gtest/gtest.h>

#include <string>

#include "core/base/oserror.h"
#include "core/base/sha256.h"

namespace lantor {
namespace {

TEST(Sha256, KnownDigests) {
  EXPECT_EQ(sha256_hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha256_hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // A NUL byte is data like any other, not the end of the input.
  EXPECT_NE(sha256_hex(std::string("a\0b", 3)), sha256_hex("a"));
}

TEST(Sha256, PiecewiseEqualsOneShot) {
  std::string text;
  for (int i = 0; i < 10000; ++i) text += static_cast<char>('a' + i % 26);
  for (std::size_t cut : {0u, 1u, 63u, 64u, 65u, 5000u, 9999u, 10000u}) {
    Sha256 digest;
    digest.update(std::string_view(text).substr(0, cut));
    // A copy carries on alone: what the original is fed later is not its.
    Sha256 copy = digest;
    digest.update(std::string_view(text).substr(cut));
    EXPECT_EQ(digest.hex(), sha256_hex(text)) << "cut at " << cut;
    EXPECT_EQ(copy.hex(), sha256_hex(std::string_view(text).substr(0, cut))) << "cut at " << cut;
  }
}

TEST(OsError, MessageThenNumber) {
  EXPECT_EQ(os_error_text(2), "No such file or directory (os error 2)");
  EXPECT_EQ(os_error_text(21), "Is a directory (os error 21)");
}

}  // namespace
}  // namespace lantor
