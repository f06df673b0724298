#include "jobs/value_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace crvl {
namespace {

struct SplitCase {
  const char* text;
  std::vector<std::string> items;
};

TEST(ValueList, SplitFollowsTheQuotingRules) {
  const SplitCase cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"1;\"a;b\";c", {"1", "a;b", "c"}},
      {"\"a\"b;c", {"\"a\"b;c"}},  // no closing quote before ';' or the end
      {"'x;y';z", {"x;y", "z"}},
      {"'it''s';n", {"it''s", "n"}},  // the closing quote is the one before ';'
      {"\"a'b\";'c\"d'", {"a'b", "c\"d"}},
      {"\"\";x", {"", "x"}},
      {"\"", {"\""}},
      {"a;\"unterminated;b", {"a", "\"unterminated;b"}},
      {"a;;b", {"a", "", "b"}},
      {";", {""}},
      {";a", {"", "a"}},
      {"a;", {"a"}},
      {"a;;", {"a", ""}},
      {"\"q\";", {"q"}},
      {"b\"c;d", {"b\"c", "d"}},  // a quote inside an item is plain text
      {"a;b\r\nc;d", {"a", "b"}},
      {"a;\"b\nc\";d", {"a", "\"b"}},
      {"\ra;b", {}},
  };
  for (const SplitCase& c : cases) {
    const auto items = splitList(std::string_view(c.text));
    ASSERT_EQ(items.size(), c.items.size()) << c.text;
    for (size_t i = 0; i < items.size(); ++i) EXPECT_EQ(items[i], c.items[i]) << c.text;

    // The UTF-16 form reads the same items.
    std::u16string wide(c.text, c.text + std::char_traits<char>::length(c.text));
    const auto wideItems = splitList(std::u16string_view(wide));
    ASSERT_EQ(wideItems.size(), c.items.size()) << c.text;
    for (size_t i = 0; i < wideItems.size(); ++i) {
      EXPECT_EQ(std::u16string(wideItems[i]),
                std::u16string(c.items[i].begin(), c.items[i].end()))
          << c.text;
    }
  }
}

TEST(ValueList, OtherSeparatorsAndIndexBeyondTheEnd) {
  const auto items = splitList(std::string_view("a,\"b,c\",d;e"), ',');
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[1], "b,c");
  EXPECT_EQ(items[2], "d;e");
  EXPECT_EQ(listItem(items, 2), "d;e");
  EXPECT_EQ(listItem(items, 3), "");
  EXPECT_EQ(listItem(items, SIZE_MAX), "");
  const auto wide = splitList(std::u16string_view(u"x|y"), u'|');
  EXPECT_EQ(listItem(wide, 1), u"y");
  EXPECT_EQ(listItem(wide, 2), u"");
}

TEST(ValueList, ItemsReadAsMarkedText) {
  const auto items = splitList(std::string_view("caf\xE9;\xEF\xBB\xBF\xCE\xA9;\xC3\xA9"));
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(listItemText(items, 0), u"caf\u00e9");
  EXPECT_EQ(listItemText(items, 1), u"\u03a9");
  EXPECT_EQ(listItemText(items, 2, /*utf8File=*/true), u"\u00e9");
  EXPECT_EQ(listItemText(items, 9), u"");
}

struct AppendCase {
  const char* what;
  std::string list;
  std::string item;
  std::string expected;
};

TEST(ValueList, AppendRules) {
  const AppendCase cases[] = {
      {"first item", "", "a", "a"},
      {"second item", "a", "b", "a;b"},
      {"empty item into empty list", "", "", ";"},
      {"item after the empty first item", ";", "b", ";b"},
      {"empty item after the empty first item", ";", "", ";;"},
      {"item after two empty items", ";;", "x", ";;x"},
      {"empty item after an item", "a", "", "a;"},
      {"item with ';' is quoted", "a", "x;y", "a;\"x;y\""},
      {"item with '\"' is quoted, not escaped", "", "say \"hi\"", "\"say \"hi\"\""},
      {"apostrophe is not quoted", "", "it's", "it's"},
  };
  for (const AppendCase& c : cases) {
    std::string list = c.list;
    appendListItem(std::string_view(c.item), list);
    EXPECT_EQ(list, c.expected) << c.what;
    std::u16string wide(c.list.begin(), c.list.end());
    appendListItem(std::u16string_view(std::u16string(c.item.begin(), c.item.end())), wide);
    EXPECT_EQ(wide, std::u16string(c.expected.begin(), c.expected.end())) << c.what;
  }
}

TEST(ValueList, AppendCutsAtTheBufferSize) {
  std::string list = "abc";
  appendListItem(std::string_view("x;y"), list, 7);  // room for 6 bytes
  EXPECT_EQ(list, "abc;\"x");
  appendListItem(std::string_view("more"), list, 7);
  EXPECT_EQ(list, "abc;\"x");
  std::string none;
  appendListItem(std::string_view("a"), none, 0);
  EXPECT_EQ(none, "");
  std::u16string wide = u"ab";
  appendListItem(std::u16string_view(u"cd"), wide, 5);
  EXPECT_EQ(wide, u"ab;c");
}

TEST(ValueList, AppendedItemsSplitBack) {
  const std::vector<std::string> lists[] = {
      {"", "plain", "x;y", "\"quoted\"", "a\"b", "", "z"},
      {"", "", "x"},
      {"", "", "", "y"},
  };
  for (const std::vector<std::string>& items : lists) {
    std::string list;
    for (const std::string& item : items) appendListItem(std::string_view(item), list);
    const auto back = splitList(std::string_view(list));
    ASSERT_EQ(back.size(), items.size()) << list;
    for (size_t i = 0; i < items.size(); ++i) EXPECT_EQ(back[i], items[i]) << list;
  }
}

// Every item that can be stored reads back whole, wherever it stands in the list.
TEST(ValueList, EveryStorableItemReadsBack) {
  const std::string items[] = {
      "'Til dawn", "Q\";x", "'", "\"", "\"\"", "'a\";b", "x'", "x\"", "\" lead",
      " blank first", "\ttab", "';", "\";'", "a;b", "", "plain",
  };
  for (const std::string& item : items) {
    ASSERT_TRUE(isStorableListItem(std::string_view(item))) << item;
    for (int place = 0; place < 3; ++place) {
      std::string list;
      if (place > 0) appendListItem(std::string_view("before"), list);
      EXPECT_TRUE(appendListItem(std::string_view(item), list));
      if (place > 1) appendListItem(std::string_view("after"), list);
      const auto back = splitList(std::string_view(list));
      EXPECT_EQ(std::string(listItem(back, place > 0 ? 1 : 0)), item) << list;
      if (place > 1) {
        EXPECT_EQ(listItem(back, 2), "after") << list;
      }
      // The settings reader drops blanks at the start of a value.
      EXPECT_FALSE(list.starts_with(' ') || list.starts_with('\t')) << list;
    }
  }
}

// Items no quoting reads back are refused and leave an empty place.
TEST(ValueList, ItemsThatCannotBeStored) {
  const std::string items[] = {"a\";b';c", "line\nbreak", "cr\r", "\";';"};
  for (const std::string& item : items) {
    EXPECT_FALSE(isStorableListItem(std::string_view(item))) << item;
    EXPECT_FALSE(isStorableListItem(std::u16string(item.begin(), item.end()))) << item;
    std::string list = "a";
    EXPECT_FALSE(appendListItem(std::string_view(item), list)) << item;
    appendListItem(std::string_view("z"), list);
    EXPECT_EQ(list, "a;;z") << item;
  }
}

}  // namespace
}  // namespace crvl
