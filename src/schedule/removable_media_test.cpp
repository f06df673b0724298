#include "schedule/removable_media.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace crvl {
namespace {

// A machine of drives and mounts for the medium check.
struct FakeMachine {
  std::map<char16_t, uint32_t> serials;  // drive letter -> serial of its medium
  std::map<char16_t, platform::DriveClass> classes;
  std::vector<std::pair<std::u16string, uint32_t>> mounts;  // mount point, serial
  std::vector<char16_t> ejected;

  static FakeMachine& self(void* c) { return *static_cast<FakeMachine*>(c); }

  VolumeQueries queries() {
    VolumeQueries q;
    q.context = this;
    q.volumeSerial = [](void* c, std::u16string_view path) -> uint32_t {
      FakeMachine& m = self(c);
      if (path.size() >= 2 && path[1] == u':') {
        auto it = m.serials.find(path[0] >= u'a' ? char16_t(path[0] - 32) : path[0]);
        return it == m.serials.end() ? 0 : it->second;
      }
      // The longest mount point that is a prefix of the path.
      size_t best = 0;
      uint32_t serial = 0;
      for (const auto& [mount, s] : m.mounts) {
        if (path.substr(0, mount.size()) == mount &&
            (path.size() == mount.size() || path[mount.size()] == u'/' || mount == u"/") &&
            mount.size() >= best) {
          best = mount.size();
          serial = s;
        }
      }
      return serial;
    };
    q.presentDrives = [](void* c) -> uint32_t {
      uint32_t bits = 0;
      for (const auto& [letter, serial] : self(c).serials) bits |= 1u << (letter - u'A');
      return bits;
    };
    q.driveClass = [](void* c, char16_t letter) {
      auto& classes = self(c).classes;
      auto it = classes.find(letter);
      return it == classes.end() ? platform::DriveClass::RemovableLike : it->second;
    };
    q.findMountWithSerial = [](void* c, uint32_t serial, std::u16string* mount) {
      for (const auto& [m, s] : self(c).mounts) {
        if (s == serial) {
          *mount = m;
          return true;
        }
      }
      return false;
    };
    q.ejectDrive = [](void* c, char16_t letter) { self(c).ejected.push_back(letter); };
    return q;
  }
};

struct MediumCase {
  const char* name;
  std::u16string path;
  uint32_t serial;
  bool fixed;
  bool passes;
  std::u16string usedPath;
};

TEST(MediumCheck, FindsTheMediumByItsSerial) {
  FakeMachine machine;
  machine.serials = {{u'A', 0xAAAA}, {u'C', 0xC0C0}, {u'D', 0xD0D0}, {u'E', 0x1111},
                     {u'F', 0xABCD}, {u'G', 0xABCD}, {u'N', 0x5E5E}};
  machine.classes = {{u'C', platform::DriveClass::Fixed},
                     {u'N', platform::DriveClass::NotSearchable}};
  const MediumCase cases[] = {
      {"no serial recorded", u"Q:\\gone", 0, true, true, u"Q:\\gone"},
      {"fixed letter, right medium", u"F:\\sync", 0xABCD, true, true, u"F:\\sync"},
      {"fixed letter, medium now at F:", u"E:\\sync", 0xABCD, true, false, u"E:\\sync"},
      {"search marker, medium now at F:", u"E:\\sync", 0xABCD, false, true, u"F:\\sync"},
      {"search, own drive holds it", u"g:\\sync", 0xABCD, false, true, u"g:\\sync"},
      {"search over fixed disks too", u"E:\\x", 0xC0C0, false, true, u"C:\\x"},
      {"medium absent", u"E:\\sync", 0x9999, false, false, u"E:\\sync"},
      {"A: is never searched", u"E:\\x", 0xAAAA, false, false, u"E:\\x"},
      {"network drive is never searched", u"E:\\x", 0x5E5E, false, false, u"E:\\x"},
      {"a UNC path cannot move", u"\\\\srv\\share\\x", 0xABCD, false, false,
       u"\\\\srv\\share\\x"},
      {"plug-in paths have no serial", u"\\\\\\ftp\\x", 0xABCD, true, false, u"\\\\\\ftp\\x"},
  };
  for (const MediumCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::u16string path = c.path;
    EXPECT_EQ(checkMedium(path, c.serial, c.fixed, machine.queries()), c.passes);
    EXPECT_EQ(path, c.usedPath);
  }
}

TEST(MediumCheck, FindsAMovedMountPointOnPosixPaths) {
  FakeMachine machine;
  machine.mounts = {{u"/", 0x1}, {u"/media/ann/NEWLABEL", 0x1234ABCD}, {u"/mnt/disk", 0x77}};
  const MediumCase cases[] = {
      {"mount point renamed", u"/media/ann/STICK/photos/2024", 0x1234ABCD, false, true,
       u"/media/ann/NEWLABEL/photos/2024"},
      {"root of the medium", u"/media/ann/STICK", 0x1234ABCD, false, true,
       u"/media/ann/NEWLABEL"},
      {"already in place", u"/media/ann/NEWLABEL/x", 0x1234ABCD, true, true,
       u"/media/ann/NEWLABEL/x"},
      {"fixed: moved medium fails", u"/media/ann/STICK/x", 0x1234ABCD, true, false,
       u"/media/ann/STICK/x"},
      {"too short to hold the mount", u"/media/x", 0x1234ABCD, false, false, u"/media/x"},
      {"not mounted", u"/media/ann/STICK/x", 0x4444, false, false, u"/media/ann/STICK/x"},
  };
  for (const MediumCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::u16string path = c.path;
    EXPECT_EQ(checkMedium(path, c.serial, c.fixed, machine.queries()), c.passes);
    EXPECT_EQ(path, c.usedPath);
  }
}

TEST(EjectSet, EjectsEachMarkedDriveOnceInOrderAndNeverAOrB) {
  FakeMachine machine;
  EjectSet set;
  EXPECT_TRUE(set.empty());
  for (char16_t letter : {u'f', u'A', u'B', u'a', u'F', u'D', u'z', u'1', u'/'}) set.mark(letter);
  EXPECT_FALSE(set.isMarked(u'A'));
  EXPECT_FALSE(set.isMarked(u'B'));
  ejectMarkedDrives(set, machine.queries());
  EXPECT_EQ(machine.ejected, (std::vector<char16_t>{u'D', u'F', u'Z'}));

  FakeMachine none;
  ejectMarkedDrives(EjectSet{}, none.queries());
  EXPECT_TRUE(none.ejected.empty());
}

}  // namespace
}  // namespace crvl
