#include "schedule/folder_pair_form.h"

#include <gtest/gtest.h>

#include <string>

namespace crvl {
namespace {

// E: a stick (serial 1234 while present), C: a fixed disk (serial c0de), \\srv\share a
// share with a serial, everything else without one.
struct Drives {
  bool stickPresent = true;
  VolumeQueries queries() {
    VolumeQueries q;
    q.context = this;
    q.volumeSerial = [](void* c, std::u16string_view path) -> uint32_t {
      if (path.substr(0, 2) == u"E:") return static_cast<Drives*>(c)->stickPresent ? 0x1234u : 0u;
      if (path.substr(0, 2) == u"C:") return 0xC0DEu;
      if (path.substr(0, 5) == u"\\\\srv") return 0x5u;
      return 0u;
    };
    q.driveClass = [](void*, char16_t letter) {
      return letter == u'E' ? platform::DriveClass::RemovableLike
             : letter == u'C' ? platform::DriveClass::Fixed
                              : platform::DriveClass::NotSearchable;
    };
    return q;
  }
};

TEST(FolderPairForm, BoxesFromTheStoredSide) {
  struct Case {
    const char16_t* side;
    const char16_t* path;
    bool only, fix, eject;
    uint32_t remembered;
  } cases[] = {
      {u"E:\\x", u"E:\\x", false, true, false, 0},
      {u">?|abcd|E:\\x", u"E:\\x", true, false, true, 0xabcd},
      {u"|1|C:\\y", u"C:\\y", true, true, false, 1},
      {u"|zz|C:\\y", u"C:\\y", true, true, false, 0},  // an unreadable serial is not remembered
  };
  for (const Case& c : cases) {
    const SideForm f = fillSideForm(c.side);
    EXPECT_EQ(f.path, c.path);
    EXPECT_EQ(f.thisMediumOnly, c.only);
    EXPECT_EQ(f.fixDriveLetter, c.fix);
    EXPECT_EQ(f.eject, c.eject);
    EXPECT_EQ(f.rememberedSerial, c.remembered);
  }
}

TEST(FolderPairForm, BoxesAreEnabledByTheKindOfDrive) {
  Drives drives;
  const VolumeQueries q = drives.queries();
  struct Case {
    const char16_t* path;
    bool only;
    SideEnables enables;  // thisMediumOnly, fixDriveLetter, eject
  } cases[] = {
      {u"E:\\x", true, {true, true, true}},
      {u"E:\\x", false, {true, false, true}},  // "Fix drive letter" waits for the medium box
      {u"C:\\x", true, {true, true, false}},
      {u"A:\\x", true, {false, false, false}},  // never searched, no serial
      {u"\\\\srv\\share\\x", false, {true, false, false}},
      {u"\\\\\\Plugin\\x", false, {false, false, false}},
  };
  for (const Case& c : cases) {
    SideForm f;
    f.path = c.path;
    f.thisMediumOnly = c.only;
    EXPECT_EQ(sideEnables(f, q), c.enables) << std::u16string(c.path).size();
  }
}

TEST(FolderPairForm, SidesWrittenBackWithTheSerialOfNowOrTheRememberedOne) {
  Drives drives;
  const VolumeQueries q = drives.queries();
  struct Case {
    const char16_t* filled;
    bool only, fix, eject;
    bool present;
    const char16_t* written;
  } cases[] = {
      {u"E:\\x", true, true, false, true, u"|1234|E:\\x"},
      {u"E:\\x", true, false, true, true, u">?|1234|E:\\x"},
      {u"|abcd|E:\\x", true, true, false, false, u"|abcd|E:\\x"},  // the stick is elsewhere
      {u"E:\\x", true, true, false, false, u"E:\\x"},              // no serial at all
      {u"?|abcd|E:\\x", false, false, false, true, u"E:\\x"},      // unbound again
      {u"D:\\x", false, true, true, true, u">D:\\x"},
  };
  for (const Case& c : cases) {
    drives.stickPresent = c.present;
    SideForm f = fillSideForm(c.filled);
    f.thisMediumOnly = c.only;
    f.fixDriveLetter = c.fix;
    f.eject = c.eject;
    EXPECT_EQ(writeSideForm(f, q), c.written) << std::u16string(c.filled).size();
  }
}

}  // namespace
}  // namespace crvl
