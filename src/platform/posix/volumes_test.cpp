#include "platform/volumes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace crvl::platform {
namespace {

TEST(PosixVolumes, TheMountOfAPathIsFoundAgainByItsSerial) {
  const char16_t* paths[] = {u"/", u"/tmp", u"/proc"};
  for (const char16_t* path : paths) {
    uint32_t serial = volumeSerial(path);
    ASSERT_NE(serial, 0u);
    std::u16string mount;
    ASSERT_TRUE(findMountWithSerial(serial, &mount));
    EXPECT_EQ(volumeSerial(mount), serial);
  }
  // The proc file system is not the root file system.
  EXPECT_NE(volumeSerial(u"/proc"), volumeSerial(u"/"));
}

TEST(PosixVolumes, AMissingFolderBelongsToItsNearestExistingFolder) {
  EXPECT_EQ(volumeSerial(u"/proc/no/such/folder"), volumeSerial(u"/proc"));
  EXPECT_EQ(volumeSerial(u""), 0u);
  EXPECT_EQ(volumeSerial(u"relative-nowhere"), 0u);
  std::u16string none;
  EXPECT_FALSE(findMountWithSerial(0, &none));
  EXPECT_EQ(driveClass(u'E'), DriveClass::NotSearchable);
}

}  // namespace
}  // namespace crvl::platform
