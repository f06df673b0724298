#include "platform/volumes.h"

#include <gtest/gtest.h>

namespace crvl::platform {
namespace {

TEST(Volumes, SerialFromUuidMatchesWhatWindowsShows) {
  const std::pair<const char*, uint32_t> cases[] = {
      {"1234-ABCD", 0x1234ABCDu},                        // FAT, exFAT
      {"1234-abcd", 0x1234ABCDu},
      {"0123456789ABCDEF", 0x89ABCDEFu},                 // NTFS: the low half
      {"ABCD", 0xABCDu},
      {"", 0u},
      {"----", 0u},
      {"00000000-0000-0000-0000-000000000001", 0x1u},    // 128-bit: words folded
      {"11111111-2222-3333-4444-555555555555", 0x11111111u ^ 0x22223333u ^ 0x44445555u ^ 0x55555555u},
  };
  for (const auto& [uuid, serial] : cases) {
    EXPECT_EQ(serialFromUuid(uuid), serial) << uuid;
  }
}

}  // namespace
}  // namespace crvl::platform
