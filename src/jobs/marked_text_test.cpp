#include "jobs/marked_text.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"

namespace crvl {
namespace {

struct RoundTrip {
  const char* what;
  std::u16string text;
  bool marked;
};

// The program's code page is 1252 on both builds here (Wine answers 1252).
TEST(MarkedText, RoundTrips) {
  ASSERT_EQ(platform::ansiCodePage(), 1252u);
  const RoundTrip cases[] = {
      {"empty", u"", false},
      {"ASCII", u"C:\\Data\\file.txt", false},
      {"code page letters", u"Stra\u00dfe caf\u00e9 \u20ac", false},
      {"outside the code page", u"\u03a9 \u0416 \u4e2d\u6587", true},
      {"surrogate pair", u"\U0001F600 smile", true},
      {"lone high surrogate", u"a\xD800z", true},
      {"lone low surrogate", u"\xDC00", true},
      {"reversed pair", u"\xDC00\xD800", true},
      {"code-page text that looks like the marker", u"\u00ef\u00bb\u00bfabc", true},
      {"NUL unit", std::u16string(u"a\0b", 3), false},
      {"leading byte order mark", u"\uFEFFtext", true},
      {"byte order mark alone", u"\uFEFF", true},
  };
  for (const RoundTrip& c : cases) {
    const std::string bytes = encodeMarkedText(c.text);
    EXPECT_EQ(bytes.starts_with(kUtf8Marker), c.marked) << c.what;
    EXPECT_EQ(decodeMarkedText(bytes), c.text) << c.what;
    // In a file that began with the marker every value is UTF-8 and unmarked, unless
    // the text itself begins with U+FEFF.
    const std::string inUtf8File = encodeMarkedText(c.text, /*utf8File=*/true);
    EXPECT_EQ(inUtf8File.starts_with(kUtf8Marker), c.text.starts_with(u'\uFEFF')) << c.what;
    EXPECT_EQ(decodeMarkedText(inUtf8File, /*utf8File=*/true), c.text) << c.what;
  }
}

TEST(MarkedText, StoredBytes) {
  EXPECT_EQ(encodeMarkedText(u"caf\u00e9"), "caf\xE9");
  // Each unit on its own: a surrogate pair gives two three-byte groups.
  EXPECT_EQ(encodeMarkedText(u"\U0001F600"), "\xEF\xBB\xBF\xED\xA0\xBD\xED\xB8\x80");
  EXPECT_EQ(encodeMarkedText(u"\u03a9"), "\xEF\xBB\xBF\xCE\xA9");
}

TEST(MarkedText, DecodesForeignAndBrokenBytes) {
  struct Case {
    const char* what;
    std::string bytes;
    bool utf8File;
    std::u16string expected;
  } cases[] = {
      {"code page", "\xE9\x80", false, u"\u00e9\u20ac"},
      {"marker alone", "\xEF\xBB\xBF", false, u""},
      {"UTF-8 file", "caf\xC3\xA9", true, u"caf\u00e9"},
      {"marker inside a UTF-8 file", "\xEF\xBB\xBF\xC3\xA9", true, u"\u00e9"},
      {"four-byte sequence from another editor", "\xEF\xBB\xBF\xF0\x9F\x98\x80", false,
       u"\U0001F600"},
      // Broken bytes stay as U+DC00 + byte, so that the next save writes them again.
      {"cut two-byte sequence", "\xEF\xBB\xBF" "a\xC3", false, u"a\xDCC3"},
      {"cut three-byte sequence", "\xEF\xBB\xBF\xE4\xB8", false, u"\xDCE4\xDCB8"},
      {"cut four-byte sequence", "\xF0\x9F", true, u"\xDCF0\xDC9F"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(decodeMarkedText(c.bytes, c.utf8File), c.expected) << c.what;
  }
  // Arbitrary bytes decode to something without reading past the end.
  std::string noise;
  for (int i = 0; i < 256; ++i) noise.push_back(static_cast<char>(255 - i));
  for (size_t cut = 0; cut < noise.size(); cut += 7) {
    const std::string bytes = std::string(kUtf8Marker) + noise.substr(cut);
    EXPECT_LE(decodeMarkedText(bytes).size(), bytes.size()) << cut;
  }
}

}  // namespace
}  // namespace crvl
