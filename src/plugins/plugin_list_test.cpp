// The stored plug-in list, the entry conversion and the configuration page's rows.
#include "plugins/plugin_list.h"

#include <gtest/gtest.h>

#include "jobs/profile_store.h"
#include "platform/test_folder.h"
#include "plugins/plugin_entries.h"
#include "plugins/plugin_page.h"
#include "plugins/plugin_slot.h"

namespace crvl {
namespace {

using testing::TempFolder;

TEST(PluginList, BothStoredFormsAreRead) {
  struct Case {
    const char* key;
    std::string value;
    bool isEntry;
    PluginEntry expected;
  };
  const Case cases[] = {
      {"1", "Server;+C:\\p\\srv.wfx64;user=me", true, {true, u"Server", u"C:\\p\\srv.wfx64", u"user=me"}},
      {"2", "Off;-/opt/p/off.wfx;", true, {false, u"Off", u"/opt/p/off.wfx", u""}},
      {"3", "\"a;b\";+x.wfx;\"p;q\"", true, {true, u"a;b", u"x.wfx", u"p;q"}},
      // A path without "+" or "-" is enabled; ".." is the program's folder.
      {"4", "Rel;..\\plugins\\r.wfx", true, {true, u"Rel", u"%MY_PATH%\\plugins\\r.wfx", u""}},
      // The older form: the key is the name, the value the path and "*" the parameters.
      {"Remote", "C:\\p\\remote.wfx*host=a*b", true, {true, u"Remote", u"C:\\p\\remote.wfx", u"host=a*b"}},
      {"Old", "-C:\\p\\old.wfx", true, {false, u"Old", u"C:\\p\\old.wfx", u""}},
      // Text the code page cannot hold is stored as marked UTF-8.
      {"5", "\xEF\xBB\xBF\xD1\x81\xD0\xBD;+s.wfx", true, {true, u"\u0441\u043d", u"s.wfx", u""}},
      {"6", "", false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    PluginEntry entry;
    ASSERT_EQ(parsePluginValue(c.key, c.value, false, &entry), c.isEntry);
    if (c.isEntry) {
      EXPECT_EQ(entry, c.expected);
    }
  }
  // Fields are cut to their limits.
  PluginEntry entry;
  ASSERT_TRUE(parsePluginValue("1", std::string(100, 'n') + ";+" + std::string(1100, 'p') + ";" + std::string(600, 'q'),
                               false, &entry));
  EXPECT_EQ(entry.name.size(), 63u);
  EXPECT_EQ(entry.modulePath.size(), 1023u);
  EXPECT_EQ(entry.parameters.size(), 511u);
}

TEST(PluginList, WritingReportsWhetherTheStoredListChanged) {
  TempFolder tmp;
  tmp.write("s.ini", "[CRVL]\r\nOpt=0\r\n\r\n[pgnFS]\r\nRemote=C:\\p\\r.wfx*x\r\n\r\n[Job]\r\n1=a\r\n");
  ProfileStore store;
  store.openStore(tmp.text("s.ini"), kStoreOwnFile);
  std::vector<PluginEntry> rows = readPluginEntries(store);
  ASSERT_EQ(rows.size(), 1u);
  // Read from the older form, the same list is stored in the current one: a change.
  EXPECT_TRUE(writePluginEntries(store, rows));
  EXPECT_FALSE(writePluginEntries(store, rows));
  rows.push_back({false, u"Second", u"%MY_PATH%\\s.wfx", u"p;1"});
  EXPECT_TRUE(writePluginEntries(store, rows));
  EXPECT_EQ(readPluginEntries(store), rows);
  std::string value;
  store.getString("pgnFS", "2", nullptr, value);
  EXPECT_EQ(value, "Second;-%MY_PATH%\\s.wfx;\"p;1\"");
  rows[1].enabled = true;  // unchecking and checking are changes of the list
  EXPECT_TRUE(writePluginEntries(store, rows));
  EXPECT_TRUE(writePluginEntries(store, {}));
  EXPECT_TRUE(readPluginEntries(store).empty());
}

// Fields with blanks and quotes where the stored form could lose them read back from
// the file as they were, in a file of either encoding.
TEST(PluginList, FieldsReadBackFromTheFile) {
  const std::vector<PluginEntry> rows = {
      {true, u" Lead", u" /p/lead.wfx", u" p "},
      {false, u"'Til dawn", u"'q'.wfx", u"\"a\";b"},
      {true, u"\"", u"x\";y.wfx", u"'"},
      {true, u"", u"", u"\t"},
      {true, u"\u20ac ", u"\u20ac.wfx", u"\"\u20ac\""},
  };
  for (const char* head : {"", "\xEF\xBB\xBF"}) {
    TempFolder tmp;
    tmp.write("s.ini", std::string(head) + "[CRVL]\r\nOpt=0\r\n");
    {
      ProfileStore store;
      store.openStore(tmp.text("s.ini"), kStoreOwnFile);
      ASSERT_TRUE(writePluginEntries(store, rows));
      ASSERT_EQ(store.flushStore(), kSuccess);
    }
    ProfileStore store;
    store.openStore(tmp.text("s.ini"), kStoreOwnFile);
    EXPECT_EQ(readPluginEntries(store), rows) << tmp.read("s.ini");
    EXPECT_FALSE(writePluginEntries(store, rows)) << "read back as another list";
  }
}

TEST(PluginPage, ToolbarAndRowOperations) {
  PluginListPage page;
  const PluginEntry a{true, u"A", u"a.wfx", u""}, b{false, u"B", u"b.wfx", u"x"}, c{true, u"C", u"c.wfx", u""};
  page.add(a);
  EXPECT_FALSE(page.offersContextMenu());
  page.add(b);
  page.add(c);
  EXPECT_TRUE(page.offersContextMenu());
  page.select(-1);
  EXPECT_EQ(page.buttons(), PluginPageButtons{});
  page.select(0);
  EXPECT_EQ(page.buttons(), (PluginPageButtons{true, true, true, false, true}));
  page.select(2);
  EXPECT_EQ(page.buttons(), (PluginPageButtons{true, true, true, true, false}));

  // Duplicating the second of three rows gives four, the second and third equal.
  page.select(1);
  page.duplicate();
  ASSERT_EQ(page.rows(), (std::vector<PluginEntry>{a, b, b, c}));
  EXPECT_EQ(page.selected(), 2);
  page.moveDown();
  EXPECT_EQ(page.rows(), (std::vector<PluginEntry>{a, b, c, b}));
  EXPECT_EQ(page.selected(), 3);
  page.moveUp();
  page.moveUp();
  EXPECT_EQ(page.rows(), (std::vector<PluginEntry>{a, b, b, c}));
  page.select(0);
  page.moveUp();  // the first row stays first
  EXPECT_EQ(page.rows()[0], a);
  page.remove();
  EXPECT_EQ(page.rows(), (std::vector<PluginEntry>{b, b, c}));
  EXPECT_EQ(page.selected(), -1);
  page.edit(a);  // nothing selected: nothing edited
  EXPECT_EQ(page.rows()[0], b);

  page.invertChecks();
  EXPECT_TRUE(page.rows()[0].enabled);
  EXPECT_FALSE(page.rows()[2].enabled);
  page.checkAll();
  EXPECT_TRUE(page.rows()[2].enabled);
  page.uncheckAll();
  page.setChecked(1, true);
  EXPECT_EQ(page.rows()[0].enabled, false);
  EXPECT_EQ(page.rows()[1].enabled, true);
}

TEST(PluginEntries, AttributesSizesTimesAndNames) {
  struct AttributeCase {
    uint32_t attributes;
    uint32_t mode;
    uint16_t expected;
  };
  const AttributeCase attributeCases[] = {
      {0x21, 0, 0x21},
      {0x4837, 0, 0x4037},                       // compressed and reparse bits are dropped
      {0x80000020, 0100644, 0x8000 | 0x1 | 0x2 | 0x20 | 0x100},
      {0x80000010, 040755, 0x8010 | 0x7 | 0xA0 | 0x500},
      {0x80000020, 0120777, 0x8000 | 0x2010 | 0x7 | 0xE0 | 0x700},  // a link
      {0x80000000, 0, 0x8000},
  };
  for (const AttributeCase& c : attributeCases) {
    EXPECT_EQ(convertAttributes(c.attributes, c.mode), c.expected) << std::hex << c.attributes << " " << c.mode;
  }
  // A Unix link is a link to the run; a Unix file that others may execute is not.
  EXPECT_TRUE(isLinkEntry(convertAttributes(0x80000020, 0120777)));
  EXPECT_FALSE(isLinkEntry(convertAttributes(0x80000020, 0100777)));

  EXPECT_EQ(convertSize(1, 2), 0x100000002ull);
  EXPECT_EQ(convertSize(0xFFFFFFFF, 0xFFFFFF9B), 0xFFFFFFFFFFFFFF9Bull);
  EXPECT_EQ(convertSize(0xFFFFFFFF, 0xFFFFFF9C), UINT64_MAX);  // 2^64 - 100: unknown
  EXPECT_EQ(convertTime({5, 0xFFFFFFFE}), 0xFFFFFFFE00000005ull);
  EXPECT_EQ(convertTime({5, 0xFFFFFFFF}), 0u);  // missing

  const std::pair<std::u16string, bool> names[] = {
      {u".", true},      {u"..", false},         {u"", false},          {u"a.txt", true},   {u"a/b", false},
      {u"a\\b", false},  {u"C:\\x", false},      {u"C:x", false},       {u"x:stream", false}, {u"tab\tname", false},
      {u"...", true},    {u"\u00e9t\u00e9", true},
  };
  for (const auto& [name, passed] : names) EXPECT_EQ(isPassedName(name), passed);

  wfx::FindDataW data{};
  data.attributes = 0x20;
  data.sizeLow = 7;
  data.lastWriteTime = {1, 2};
  data.creationTime = {0, 0xFFFFFFFF};
  std::fill(std::begin(data.name), std::end(data.name), u'n');  // no terminator: bounded
  std::copy_n(u"SHORT~1.TXT", 11, data.alternateName);
  ConvertedEntry entry;
  convertEntry(data, entry);
  EXPECT_EQ(entry.name.size(), wfx::kMaxPath);
  EXPECT_EQ(entry.alternateName, u"SHORT~1.TXT");
  EXPECT_EQ(uint64_t{entry.block.size}, 7u);
  EXPECT_EQ(uint64_t{entry.block.lastWriteTime}, 0x200000001ull);
  EXPECT_EQ(uint64_t{entry.block.creationTime}, 0u);
}

TEST(PluginPaths, PathsInsideAPlugin) {
  const std::tuple<std::u16string, std::u16string> inside[] = {
      {u"\\\\\\Srv\\dir\\a.txt", u"\\dir\\a.txt"}, {u"///srv/dir/a.txt", u"\\dir\\a.txt"},
      {u"\\\\\\SRV", u"\\"},                      {u"\\dir", u"\\dir"},
      {u"", u"\\"},                               {u"\\\\\\Srvx\\a", u"\\\\\\Srvx\\a"},  // another name
  };
  for (const auto& [path, expected] : inside) EXPECT_EQ(pathInsidePlugin(path, u"Srv"), expected);
  EXPECT_EQ(folderOfInsidePath(u"\\a\\b.txt"), u"\\a\\");
  EXPECT_EQ(folderOfInsidePath(u"\\b.txt"), u"\\");
  EXPECT_EQ(folderOfInsidePath(u"\\a\\b\\"), u"\\a\\");
  EXPECT_EQ(folderOfInsidePath(u"\\"), u"\\");
}

}  // namespace
}  // namespace crvl
