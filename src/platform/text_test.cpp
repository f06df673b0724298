#include "platform/text.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "os_traits.h"

namespace crvl::platform {
namespace {

using namespace std::string_literals;

std::string bytes(std::initializer_list<int> list) {
  std::string out;
  for (int b : list) out.push_back(static_cast<char>(b));
  return out;
}

// Both builds answer 1252 here: Windows (and Wine) by default, POSIX without
// CRVL_CODEPAGE.
TEST(CodePage, Windows1252BytesMapBothWays) {
  ASSERT_EQ(ansiCodePage(), 1252u);
  struct Case {
    int byte;
    char16_t unit;
  };
  const Case cases[] = {
      {0x41, u'A'},    {0x80, 0x20AC}, {0x81, 0x0081}, {0x8A, 0x0160}, {0x8D, 0x008D},
      {0x8F, 0x008F},  {0x90, 0x0090}, {0x92, 0x2019}, {0x9D, 0x009D}, {0x9F, 0x0178},
      {0xA0, 0x00A0},  {0xE9, 0x00E9}, {0xFF, 0x00FF}, {0x00, 0x0000},
  };
  for (const Case& c : cases) {
    const std::string b(1, static_cast<char>(c.byte));
    EXPECT_EQ(ansiToUtf16(b), std::u16string(1, c.unit)) << c.byte;
    bool exact = false;
    EXPECT_EQ(utf16ToAnsi(std::u16string(1, c.unit), &exact), b) << c.byte;
    EXPECT_TRUE(exact) << c.byte;
  }
}

TEST(CodePage, RoundTripDecidesMarkedText) {
  struct Case {
    std::u16string text;
    bool roundTrips;
  };
  const Case cases[] = {
      {u"", true},
      {u"C:\\Daten\\Büro ÄÖÜ ß €", true},
      {u"\u0100bc", false},              // Latin A with macron is outside 1252
      {u"\u65E5\u672C", false},          // CJK
      {u"a\xD83D\xDE00", false},         // a surrogate pair
      {u"a\xD800", false},               // a lone high half
      {u"\xDC00z", false},               // a lone low half
      {u"\u0080", false},                // U+0080 has no byte: 0x80 is the euro sign
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ansiRoundTrips(c.text), c.roundTrips) << testing::PrintToString(c.text);
    bool exact = !c.roundTrips;
    const std::string out = utf16ToAnsi(c.text, &exact);
    EXPECT_EQ(exact, c.roundTrips) << testing::PrintToString(c.text);
    if (c.roundTrips) {
      EXPECT_EQ(ansiToUtf16(out), c.text);
    }
  }
}

TEST(CodePage, UnmappedUnitBecomesQuestionMark) {
  bool exact = true;
  EXPECT_EQ(utf16ToAnsi(u"x\u4E00y", &exact), "x?y");
  EXPECT_FALSE(exact);
}

struct UnitCase {
  std::u16string text;
  std::string utf8;
};

TEST(UnitsUtf8, EveryUnitIsEncodedOnItsOwn) {
  const UnitCase cases[] = {
      {u"", ""},
      {u"A~", "A~"},
      {u"\u007F\u0080", bytes({0x7F, 0xC2, 0x80})},
      {u"\u00E9\u07FF", bytes({0xC3, 0xA9, 0xDF, 0xBF})},
      {u"\u0800\u20AC\uFFFF", bytes({0xE0, 0xA0, 0x80, 0xE2, 0x82, 0xAC, 0xEF, 0xBF, 0xBF})},
      // A surrogate pair is two units of three bytes each, not one four-byte character.
      {u"\xD83D\xDE00", bytes({0xED, 0xA0, 0xBD, 0xED, 0xB8, 0x80})},
      {u"\xDC00\xD800", bytes({0xED, 0xB0, 0x80, 0xED, 0xA0, 0x80})},
      {std::u16string(1, u'\0'), std::string(1, '\0')},
  };
  for (const UnitCase& c : cases) {
    EXPECT_EQ(unitsToUtf8(c.text), c.utf8) << testing::PrintToString(c.text);
    EXPECT_EQ(utf8ToUnits(c.utf8), c.text) << testing::PrintToString(c.text);
  }
  std::string out = "x";
  appendUnitsAsUtf8(u"\u00E9", out);
  EXPECT_EQ(out, "x" + bytes({0xC3, 0xA9}));
}

TEST(UnitsUtf8, DecoderKeepsEveryBrokenByteAndStopsAtTheEnd) {
  const UnitCase cases[] = {
      // A byte that begins no complete sequence is U+DC00 + byte, never NUL or CR.
      {u"\xDCC3", bytes({0xC3})},
      {u"\xDCE2\xDC82", bytes({0xE2, 0x82})},
      {u"\xDCE2", bytes({0xE2})},
      {u"a\xDC80"s, bytes({0x61, 0x80})},
      {u"\xDC80\xDC8D"s, bytes({0x80, 0x8D})},
      {u"\xDCC0\xDC80"s, bytes({0xC0, 0x80})},   // the overlong NUL
      {u"\xDCF0"s, bytes({0xF0})},
      {u"\xDCE0\xDC80\xDC8D"s, bytes({0xE0, 0x80, 0x8D})},  // an overlong CR
      {u"\xDCC1\u0001", bytes({0xC1, 0x01})},
      // A complete four-byte sequence is a surrogate pair; a cut one is bytes.
      {u"\xD83D\xDE00"s, bytes({0xF0, 0x9F, 0x98, 0x80})},
      {u"\xDCF0\xDC9F\xDC98"s, bytes({0xF0, 0x9F, 0x98})},
      {u"\xDCF4\xDC90\xDC80\xDC80"s, bytes({0xF4, 0x90, 0x80, 0x80})},  // above U+10FFFF
  };
  for (const UnitCase& c : cases) {
    // An exact-size heap copy: reading one byte too far trips the address sanitizer.
    auto exact = std::make_unique<char[]>(c.utf8.size());
    std::copy(c.utf8.begin(), c.utf8.end(), exact.get());
    EXPECT_EQ(utf8ToUnits(std::string_view(exact.get(), c.utf8.size())), c.text)
        << testing::PrintToString(c.utf8);
  }
}

TEST(StandardUtf8, ValidTextAndPairs) {
  const std::u16string text = u"Gr\u00FC\u00DFe \u20AC \xD83D\xDE00 \u65E5";
  const std::string utf8 = toUtf8(text);
  EXPECT_EQ(utf8, "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x98\x80 \xE6\x97\xA5");
  EXPECT_EQ(fromUtf8(utf8), text);
  EXPECT_EQ(toUtf8(u"a\xD800" "b\xDC00"), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}

TEST(StandardUtf8, InvalidInputBecomesReplacementCharacters) {
  struct Case {
    std::string utf8;
    std::u16string text;
  };
  const Case cases[] = {
      {bytes({0xFF}), u"\uFFFD"},
      {bytes({0x80, 0x41}), u"\uFFFDA"},
      {bytes({0xC0, 0x80}), u"\uFFFD\uFFFD"},                  // overlong NUL
      {bytes({0xE0, 0x80, 0x80}), u"\uFFFD\uFFFD\uFFFD"},      // overlong
      {bytes({0xED, 0xA0, 0x80}), u"\uFFFD\uFFFD\uFFFD"},      // an encoded surrogate
      {bytes({0xF4, 0x90, 0x80, 0x80}), u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {bytes({0xE2, 0x82}), u"\uFFFD"},                        // cut off at the end
      {bytes({0xE2, 0x82, 0x41}), u"\uFFFDA"},
      {bytes({0xF0, 0x9F, 0x98}), u"\uFFFD"},
  };
  for (const Case& c : cases) {
    auto exact = std::make_unique<char[]>(c.utf8.size());
    std::copy(c.utf8.begin(), c.utf8.end(), exact.get());
    EXPECT_EQ(fromUtf8(std::string_view(exact.get(), c.utf8.size())), c.text)
        << testing::PrintToString(c.utf8);
  }
}

// Random texts and bytes (fixed seed): every UTF-16 text survives the per-unit form,
// and decoding arbitrary bytes gives text that standard UTF-8 carries unchanged.
TEST(Utf8Forms, RandomRoundTrips) {
  std::mt19937 random(20240807);
  for (int round = 0; round < 2000; ++round) {
    std::u16string text(random() % 40, u'\0');
    for (char16_t& u : text) u = static_cast<char16_t>(random());
    ASSERT_EQ(utf8ToUnits(unitsToUtf8(text)), text) << round;
    std::string raw(random() % 40, '\0');
    for (char& b : raw) b = static_cast<char>(random());
    const std::u16string decoded = fromUtf8(raw);
    ASSERT_EQ(fromUtf8(toUtf8(decoded)), decoded) << round;
    (void)utf8ToUnits(raw);  // any bytes decode without reading past the end
  }
}

// System byte strings (POSIX names): valid UTF-8 decodes as usual, every other byte
// to U+DC00 + byte, and the encoder gives back exactly the bytes it was given.
TEST(SystemBytes, InvalidBytesBecomeEscapesAndComeBack) {
  struct Case {
    std::string bytes;
    std::u16string text;
  };
  const Case cases[] = {
      {"plain", u"plain"},
      {"caf\xc3\xa9"s, u"caf\u00E9"},
      {"caf\xe9"s, u"caf\xDCE9"},                           // Latin-1 byte
      {"\xff\xfe"s, u"\xDCFF\xDCFE"},                      // bytes that never begin UTF-8
      {"\xe2\x82"s, u"\xDCE2\xDC82"},                      // a sequence cut short
      {"\xed\xa0\x80"s, u"\xDCED\xDCA0\xDC80"},           // an encoded surrogate
      {"\xc0\xaf"s, u"\xDCC0\xDCAF"},                      // an overlong form
      {"\xf0\x9f\x98\x80\x80"s, u"\U0001F600\xDC80"},    // a pair, then a stray byte
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    EXPECT_EQ(fromSystemBytes(c.bytes), c.text);
    EXPECT_EQ(toSystemBytes(c.text), c.bytes);
  }
  // Lone surrogates that decoding never makes have no byte of their own.
  EXPECT_EQ(toSystemBytes(u"\xD800x"), "\xef\xbf\xbdx"s);
  EXPECT_EQ(toSystemBytes(u"\xDC10"), "\xef\xbf\xbd"s);
  std::mt19937 random(20261208);
  for (int round = 0; round < 2000; ++round) {
    std::string raw(random() % 40, '\0');
    for (char& b : raw) b = static_cast<char>(random());
    ASSERT_EQ(toSystemBytes(fromSystemBytes(raw)), raw) << round;
  }
}

struct NameCase {
  std::u16string a;
  std::u16string b;
  bool equal;
};

const std::vector<NameCase>& nameCases() {
  static const std::vector<NameCase> cases = {
      {u"", u"", true},
      {u"Readme.TXT", u"readme.txt", true},
      {u"readme.txt", u"readme.txt ", false},
      {u"a", u"b", false},
      {u"\u00C4\u00D6\u00DC", u"\u00E4\u00F6\u00FC", true},
      // Simple folding never expands sharp s; the Windows locale compares it as "ss".
      {u"STRASSE", u"stra\u00DFe", os::kWindows},
      {u"\u03A3\u0399\u03A3\u03A5\u03A6\u039F\u03A3", u"\u03C3\u03B9\u03C3\u03C5\u03C6\u03BF\u03C2",
       true},  // Greek capital sigma against the final form
      {u"\u041F\u0420\u0418\u0412\u0415\u0422", u"\u043F\u0440\u0438\u0432\u0435\u0442", true},
      {u"\u0131", u"i", false},  // Turkish dotless i is its own letter
      {u"\u3072\u3089\u304C\u306A", u"\u30D2\u30E9\u30AC\u30CA", true},  // hiragana, katakana
      {u"\u00E9", u"e", false},
      {u"\u0160koda", u"\u0161KODA", true},
  };
  return cases;
}

TEST(Names, CaseInsensitiveComparison) {
  for (const NameCase& c : nameCases()) {
    EXPECT_EQ(namesEqual(c.a, c.b), c.equal)
        << testing::PrintToString(c.a) << " vs " << testing::PrintToString(c.b);
    EXPECT_EQ(namesEqual(c.b, c.a), c.equal) << "reversed";
  }
}

TEST(Names, EqualNamesHaveEqualFoldKeys) {
  for (const NameCase& c : nameCases()) {
    if (!c.equal) continue;
    std::u16string ka, kb;
    appendFoldKey(c.a, ka);
    appendFoldKey(c.b, kb);
    EXPECT_EQ(ka, kb) << testing::PrintToString(c.a);
  }
  std::u16string key = u"prefix";
  appendFoldKey(u"Name", key);
  std::u16string alone;
  appendFoldKey(u"Name", alone);
  EXPECT_EQ(key, u"prefix" + alone);
  std::u16string k1, k2;
  appendFoldKey(u"alpha", k1);
  appendFoldKey(u"beta", k2);
  EXPECT_NE(k1, k2);
}

TEST(Names, UpperCase) {
  EXPECT_EQ(toUpper(u"abc \u00E4\u00F6\u00FC \u00DF \u0444"), u"ABC \u00C4\u00D6\u00DC \u00DF \u0424");
  EXPECT_EQ(toUpper(u'q'), u'Q');
  EXPECT_EQ(toUpper(u'\u00FF'), u'\u0178');
  EXPECT_EQ(toUpper(u'\xD800'), u'\xD800');
  EXPECT_EQ(toUpper(u"1:\\x/"), u"1:\\X/");
}

}  // namespace
}  // namespace crvl::platform
