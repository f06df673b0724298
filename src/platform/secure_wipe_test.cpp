#include "platform/secure_wipe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

namespace crvl::platform {
namespace {

TEST(SecureWipe, ZeroesExactlyTheGivenBytes) {
  struct Case {
    size_t offset, size;
  };
  for (const Case& c : {Case{0, 16}, Case{3, 5}, Case{7, 0}}) {
    std::array<unsigned char, 16> bytes;
    bytes.fill(0xA5);
    secureWipe(bytes.data() + c.offset, c.size);
    for (size_t i = 0; i < bytes.size(); ++i) {
      const bool inside = i >= c.offset && i < c.offset + c.size;
      EXPECT_EQ(bytes[i], inside ? 0 : 0xA5) << c.offset << "+" << c.size << " at " << i;
    }
  }
  secureWipe(nullptr, 8);  // defined: nothing happens
}

}  // namespace
}  // namespace crvl::platform
