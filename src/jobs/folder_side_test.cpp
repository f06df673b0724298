#include "jobs/folder_side.h"

#include <gtest/gtest.h>

#include <string>

namespace crvl {
namespace {

struct SideCase {
  std::u16string text;
  bool eject;
  bool search;
  bool hasSerial;
  bool serialValid;
  uint32_t serial;
  std::u16string path;
};

TEST(FolderSide, ReadsPrefixesStrictlyInOrderAndWritesBackExactly) {
  const SideCase cases[] = {
      {u"C:\\data", false, false, false, true, 0, u"C:\\data"},
      {u">E:\\x", true, false, false, true, 0, u"E:\\x"},
      {u"|1234abcd|E:\\x", false, false, true, true, 0x1234abcd, u"E:\\x"},
      {u"?|ff|E:\\x", false, true, true, true, 0xff, u"E:\\x"},
      {u">?|80000000|F:\\", true, true, true, true, 0x80000000u, u"F:\\"},
      // Out of order: the markers become part of the path.
      {u"?>E:\\x", false, true, false, true, 0, u">E:\\x"},
      {u"|12|>E:\\x", false, false, true, true, 0x12, u">E:\\x"},
      {u"E:\\a|b|c", false, false, false, true, 0, u"E:\\a|b|c"},
      // A bar without its closing bar leaves an empty path.
      {u"|1234E:\\x", false, false, true, false, 0, u""},
      {u">?|", true, true, true, false, 0, u""},
      // Digits that are not hexadecimal or do not fit 32 bits never match a medium.
      {u"|xyz|E:\\x", false, false, true, false, 0, u"E:\\x"},
      {u"|123456789|E:\\x", false, false, true, false, 0, u"E:\\x"},
      {u"|00000000ff|E:\\x", false, false, true, true, 0xff, u"E:\\x"},
      {u"||E:\\x", false, false, true, true, 0, u"E:\\x"},
      {u"", false, false, false, true, 0, u""},
      {u"/media/u/STICK/sync", false, false, false, true, 0, u"/media/u/STICK/sync"},
  };
  for (const SideCase& c : cases) {
    SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
    FolderSide side = parseFolderSide(c.text);
    EXPECT_EQ(side.eject, c.eject);
    EXPECT_EQ(side.search, c.search);
    EXPECT_EQ(side.hasSerial, c.hasSerial);
    EXPECT_EQ(side.serialValid, c.serialValid);
    EXPECT_EQ(side.serial, c.serial);
    EXPECT_EQ(side.path, c.path);
    EXPECT_EQ(formatFolderSide(side), c.text);
  }
}

TEST(FolderSide, SerialIsLowercaseHexWithoutLeadingZerosAndReadsBack) {
  const std::pair<uint32_t, std::u16string> cases[] = {
      {0, u"0"}, {0xF, u"f"}, {0x1234ABCD, u"1234abcd"}, {0x80000000u, u"80000000"},
      {0xFFFFFFFFu, u"ffffffff"}, {0x00C0FFEE, u"c0ffee"}};
  for (const auto& [serial, text] : cases) {
    EXPECT_EQ(formatSerial(serial), text);
    FolderSide side;
    side.eject = true;
    side.search = true;
    side.path = u"E:\\x";
    setSideSerial(side, serial);
    std::u16string stored = formatFolderSide(side);
    EXPECT_EQ(stored, u">?|" + text + u"|E:\\x");
    EXPECT_EQ(parseFolderSide(stored).serial, serial);
  }
}

}  // namespace
}  // namespace crvl
