// Properties of the generated case tables over the whole Basic Multilingual Plane.
#include <gtest/gtest.h>

#include "platform/text.h"

namespace crvl::platform {
namespace {

TEST(CaseTables, FoldKeysAreStableAndMatchTheirNames) {
  for (uint32_t cp = 0; cp < 0x10000; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    const std::u16string name(1, static_cast<char16_t>(cp));
    std::u16string key;
    appendFoldKey(name, key);
    ASSERT_EQ(key.size(), 1u) << std::hex << cp;
    std::u16string keyOfKey;
    appendFoldKey(key, keyOfKey);
    ASSERT_EQ(keyOfKey, key) << std::hex << cp;
    ASSERT_TRUE(namesEqual(name, key)) << std::hex << cp;
    // Upper-casing never changes what a name is equal to, except for the dotless i
    // (whose capital is the ordinary I) and the dotted capital I.
    if (cp != 0x0131 && cp != 0x0130) {
      ASSERT_TRUE(namesEqual(name, std::u16string(1, toUpper(static_cast<char16_t>(cp)))))
          << std::hex << cp;
    }
  }
}

TEST(CaseTables, SupplementaryLettersAndBrokenPairs) {
  // Deseret capital and small long I, as surrogate pairs.
  EXPECT_TRUE(namesEqual(u"\xD801\xDC00", u"\xD801\xDC28"));
  EXPECT_EQ(toUpper(u"x\xD801\xDC28"), u"X\xD801\xDC00");
  // Lone halves compare as themselves and never match a pair.
  EXPECT_TRUE(namesEqual(u"\xD801", u"\xD801"));
  EXPECT_FALSE(namesEqual(u"\xD801\xDC00", u"\xD801\xDC01"));
  EXPECT_FALSE(namesEqual(u"\xD801" "a", u"\xD801" "b"));
  // The dotted capital I folds to nothing else.
  EXPECT_FALSE(namesEqual(u"\u0130", u"i"));
  EXPECT_FALSE(namesEqual(u"\u0130", u"I"));
}

}  // namespace
}  // namespace crvl::platform
