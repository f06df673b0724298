#include "logs/log_format.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace crvl {
namespace {

TEST(LogFormatTest, NamesExtensionsAndByteOrderMarks) {
  struct Case {
    LogFormat format;
    std::u16string_view name, extension;
    LogEncoding encoding;
    std::string_view bom;
  };
  const Case cases[] = {
      {1, u"Text", u"txt", LogEncoding::Ansi, ""},
      {2, u"Text Unicode", u"txt", LogEncoding::Utf16, "\xFF\xFE"},
      {3, u"CSV", u"csv", LogEncoding::Ansi, ""},
      {4, u"CSV Unicode", u"csv", LogEncoding::Utf16, "\xFF\xFE"},
      {5, u"HTML", u"htm", LogEncoding::Ansi, ""},
      {6, u"HTML Unicode", u"htm", LogEncoding::Utf16, "\xFF\xFE"},
      {7, u"HTML Unicode UTF-8", u"htm", LogEncoding::Utf8, "\xEF\xBB\xBF"},
  };
  for (const Case& c : cases) {
    const LogFormatInfo* info = logFormatInfo(c.format);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->name, c.name);
    EXPECT_EQ(logFormatExtension(c.format), c.extension);
    EXPECT_EQ(info->encoding, c.encoding);
    EXPECT_EQ(info->byteOrderMark, c.bom);
  }
  for (LogFormat bad : {0, 8, -1, 1000}) {
    EXPECT_EQ(logFormatInfo(bad), nullptr);
    EXPECT_TRUE(logFormatExtension(bad).empty());
  }
}

TEST(LogFormatTest, StoredValuesOutOfRangeMeanHtmlUnicode) {
  const std::pair<uint32_t, LogFormat> cases[] = {
      {0, 6}, {1, 1}, {7, 7}, {8, 6}, {9, 6}, {0xFFFFFFFFu, 6}, {0x80000000u, 6},
  };
  for (const auto& [stored, format] : cases) EXPECT_EQ(logFormatFromSetting(stored), format) << stored;
}

TEST(HtmlEntityTest, TableHasEveryRowInOrder) {
  const HtmlEntityRow* rows = htmlEntityRows();
  EXPECT_EQ(std::string(rows[0].entity), "&quot;");
  EXPECT_EQ(rows[4].key, 0x80);
  EXPECT_EQ(rows[5].key, 0x20);
  EXPECT_EQ(std::string(rows[22].entity), "&trade;");
  // Rows 26-105 are 0xB0-0xFF in byte order.
  for (size_t i = 25; i < kHtmlEntityRowCount; ++i) EXPECT_EQ(rows[i].key, 0xB0 + (i - 25)) << i;
  std::set<uint8_t> keys;
  for (size_t i = 0; i < kHtmlEntityRowCount; ++i) keys.insert(rows[i].key);
  EXPECT_EQ(keys.count(0xA0), 0u);
  EXPECT_EQ(keys.size(), kHtmlEntityRowCount - 3);  // three keys have a second row
}

// These expectations hold for the Windows-1252 code page (the POSIX default; Wine and
// Western Windows systems answer 1252).
TEST(HtmlEntityTest, EscapingOneUnitAtATime) {
  const std::pair<std::u16string_view, std::u16string_view> cases[] = {
      {u"a b", u"a&nbsp;b"},
      {u"\u00C4", u"&Auml;"},
      {u"\u00A6\u00A8\u00AF", u"&brvbar;&uml;&macr;"},  // first row wins
      {u"\u20AC\u2122", u"&euro;&trade;"},              // keys through the code page
      {u"\u0152", u"&#338;"},
      {u"\u00A0", u"&#160;"},                            // no row for 0xA0
      {u"\u0080", u"\u0080"},                            // not above 128
      {u"\u0081", u"&#129;"},
      {u"<a href=\"x\">&amp;</a>", u"&lt;a&nbsp;href=&quot;x&quot;&gt;&amp;amp;&lt;/a&gt;"},
      {u"\U0001F600", u"&#55357;&#56832;"},
      {u"\u00FF\u00DF\u00F7", u"&yuml;&szlig;&divide;"},
      {u"", u""},
  };
  for (const auto& [text, escaped] : cases) {
    std::u16string out = u"stale";
    EXPECT_EQ(escapeHtml(text, 1024, out), kSuccess);
    EXPECT_EQ(out, escaped);
  }
}

TEST(HtmlEntityTest, CellThatDoesNotFitIsCutAtTheLastWholeEntity) {
  struct Case {
    std::u16string_view text;
    size_t capacity;
    std::u16string_view result;
    ErrorCode code;
  };
  const Case cases[] = {
      {u"ab", 3, u"ab", kSuccess},  // exactly fits with its terminating zero
      {u"abc", 3, u"ab", kErrorInsufficientBuffer},
      {u"a b", 7, u"a", kErrorInsufficientBuffer},  // "&nbsp;" needs 6, only 5 left
      {u"a b", 8, u"a&nbsp;", kErrorInsufficientBuffer},
      {u"a b", 9, u"a&nbsp;b", kSuccess},
      {u"\u0152\u0152", 10, u"&#338;", kErrorInsufficientBuffer},
      {u"x", 0, u"", kErrorInsufficientBuffer},
  };
  for (const Case& c : cases) {
    std::u16string out;
    EXPECT_EQ(escapeHtml(c.text, c.capacity, out), c.code);
    EXPECT_EQ(out, c.result);
  }
}

TEST(CsvTest, FieldRule) {
  struct Case {
    std::vector<std::u16string_view> cells;
    std::u16string_view line;
  };
  const Case cases[] = {
      {{u"+>", u"a", u"b", u"OK"}, u"+>;a;b;OK"},
      {{u"", u"", u"r", u"OK"}, u";;r;OK"},
      {{u"=>", u"a;b", u"c", u"say \"hi\""}, u"=>;\"a;b\";c;\"say \"hi\"\""},
      {{u"", u"", u"", u""}, u";;;"},
  };
  for (const Case& c : cases) {
    std::u16string wide;
    std::string narrow;
    for (size_t i = 0; i < c.cells.size(); ++i) {
      appendCsvCell(c.cells[i], i == 0, wide);
      appendCsvCell(std::string(c.cells[i].begin(), c.cells[i].end()), i == 0, narrow);
    }
    EXPECT_EQ(wide, c.line);
    EXPECT_EQ(narrow, std::string(c.line.begin(), c.line.end()));
  }
}

TEST(AnsiTest, SurrogatesAndUnmappableCharactersBecomeDefaultCharacters) {
  EXPECT_EQ(toLogAnsi(u"\u00C4\u0152\u20AC"), "\xC4\x8C\x80");
  EXPECT_EQ(toLogAnsi(u"a\U0001F600b"), "a??b");
  EXPECT_EQ(toLogAnsi(u"\u4E2D"), "?");
  EXPECT_EQ(toLogAnsi(u"\xD800"), "?");  // a lone half
}

}  // namespace
}  // namespace crvl
