#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "jobs/profile_store.h"
#include "language/language_choice.h"
#include "language/language_file.h"
#include "language/language_table.h"
#include "platform/test_folder.h"

namespace crvl {
namespace {

namespace fs = std::filesystem;

std::string utf16File(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

std::vector<uint16_t> idsOf(LanguageTable table) {
  std::vector<uint16_t> ids;
  for (const CrvlLanguageRecord* r = table + 1; r->text != nullptr; ++r) ids.push_back(r->id);
  return ids;
}

// Restores English as the current table after a test that changed it.
struct CurrentTableGuard {
  ~CurrentTableGuard() { setCurrentLanguageTable(nullptr); }
};

TEST(LanguageLibraryTest, RecordLayoutAndTables) {
  const CrvlLanguageResources* first = r(0);
  EXPECT_EQ(r(1031), first) << "the language id is ignored";
  EXPECT_EQ(first->reserved, nullptr);
  ASSERT_NE(first->tables[0], nullptr);
  EXPECT_EQ(first->tables[3], nullptr);
  struct Case {
    LanguageTable table;
    int16_t header;
    std::u16string_view key, name;
  };
  const Case cases[] = {
      {englishTable(), 0, u"US", u"English"},
      {germanTable(), 1253, u"DE", u"German (Deutsch)"},
      {keyTable(), 0, u"-", u"Extl"},
  };
  const std::vector<uint16_t> englishIds = idsOf(englishTable());
  EXPECT_EQ(englishIds.size(), 189u);
  for (const Case& c : cases) {
    EXPECT_EQ(c.table[0].id, c.header);
    EXPECT_EQ(tableKey(c.table), c.key);
    EXPECT_EQ(c.table[1].id, 1);
    EXPECT_EQ(lookupText(c.table, 1), c.name);
    EXPECT_EQ(idsOf(c.table), englishIds) << "every table has the same ids in the same order";
  }
  // The 10-byte records are packed back to back: the id of record 2 sits at byte 20.
  const auto* bytes = reinterpret_cast<const unsigned char*>(englishTable());
  EXPECT_EQ(bytes[20] | bytes[21] << 8, 2003);
  EXPECT_EQ(englishIds[3], 100);
  EXPECT_EQ(englishIds.back(), 7012);
}

std::vector<std::pair<uint16_t, uint32_t>> menuItems(const CrvlMenuRecord* menu) {
  std::vector<std::pair<uint16_t, uint32_t>> items;
  for (; menu->id != 0 || menu->flags != 0 || menu->submenu != nullptr; ++menu) {
    const uint16_t id = menu->id;  // packed fields: copied, never bound to references
    const uint32_t flags = menu->flags;
    items.emplace_back(id, flags);
  }
  return items;
}

TEST(LanguageLibraryTest, MenuTemplates) {
  const CrvlLanguageResources& res = languageResources();
  using Items = std::vector<std::pair<uint16_t, uint32_t>>;
  const std::pair<uint16_t, uint32_t> sep{0xFFFF, 0x0800};
  EXPECT_EQ(menuItems(res.trayMenu),
            (Items{{119, 0}, sep, {102, 0}, {103, 0}, {104, 0}, sep, {130, 0}, {107, 0}, {221, 0},
                   {222, 0}, sep, {109, 0}, sep, {110, 0}, sep, {100, 0}}));
  EXPECT_EQ(menuItems(res.trayMenu[0].submenu), (Items{{118, 0}}));
  EXPECT_EQ(menuItems(res.trayMenu[6].submenu), (Items{{131, 0}, {132, 0}, {133, 0}}));
  EXPECT_EQ(menuItems(res.trayMenu[13].submenu), (Items{{111, 0}, {113, 0}, {114, 0}, {115, 0}}));
  EXPECT_EQ(menuItems(res.jobMenu),
            (Items{{201, 0}, {202, 0}, {203, 0}, {204, 0}, {205, 0}, {206, 0}}));
  EXPECT_EQ(menuItems(res.selectionMenu), (Items{{122, 0}, {123, 0}, {124, 0}}));
  EXPECT_EQ(sizeof(CrvlMenuRecord), 14u);
}

TEST(LookupTest, TextsByIdInBuiltInTables) {
  struct Case {
    LanguageTable table;
    uint16_t id;
    size_t capacity;
    std::u16string_view text;
  };
  const Case cases[] = {
      {englishTable(), 111, kTextCapacity, u"&Help"},     // remapped to 110
      {englishTable(), 104, kTextCapacity, u"&Plan..."},  // remapped to 203
      {germanTable(), 104, kTextCapacity, u"&Planen..."},
      {englishTable(), 9999, kTextCapacity, u""},
      {englishTable(), 0, kTextCapacity, u""},
      {englishTable(), 2003, kTextCapacity, u""},
      {germanTable(), 8, kTextCapacity, u"Schlie\u00DFen"},  // Windows-1252 bytes
      {germanTable(), 3217, kTextCapacity, u"T\u00E4glich"},
      {germanTable(), 3110, kTextCapacity, u"Beim Start "},
      {englishTable(), 7002, kTextCapacity, u"Are you sure you want to remove %lu logs?"},
      {keyTable(), 7002, kTextCapacity, u"DlLM"},
      {englishTable(), 100, 3, u"E&"},
      {englishTable(), 100, 1, u""},
      {englishTable(), 100, 0, u""},
      {nullptr, 100, kTextCapacity, u""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(lookupText(c.table, c.id, c.capacity), c.text) << c.id;
  }
}

TEST(LookupTest, TooltipsAndTitles) {
  const std::pair<std::u16string_view, std::u16string_view> tooltips[] = {
      {u"Nach &Updates suchen;Neue Updates suchen", u"Nach Updates suchen"},
      {u"a;b;c&d", u"cd"},
      {u"View &Log...\tCtrl+L", u"View Log"},
      {u"&Product Information...", u"Product Information"},
      {u"", u""},
  };
  for (const auto& [text, tip] : tooltips) EXPECT_EQ(tooltipFromText(text), tip);
  const std::pair<std::u16string_view, std::u16string_view> titles[] = {
      {u"L&anguage...", u" Language"},
      {u" Already", u" Already"},
      {u"Logs\tF2", u" Logs"},
      {u"", u" "},
  };
  for (const auto& [text, title] : titles) EXPECT_EQ(titleFromText(text), title);

  CurrentTableGuard guard;
  setCurrentLanguageTable(germanTable());
  EXPECT_EQ(tooltipText(114), u"Nach Updates suchen");
  EXPECT_EQ(dialogTitleText(3301), u" Protokoll\u00FCbersicht");
  setCurrentLanguageTable(nullptr);
  EXPECT_EQ(dialogTitleText(5100), u" Configuration");
  EXPECT_EQ(uiText(111), u"&Help");
}

TEST(LanguageFileTest, Utf16FileOverridesItsIdsAndFallsBackToEnglish) {
  const LanguageFile file(utf16File(
      u"; comment\r\nLanguage=Klingon\r\nExit__=Q&uit\\nnow\r\nCP=1250\r\nStop=\\tgo\r\n"));
  const OwnedLanguageTable built = buildLanguageTable(file, keyTable(), englishTable());
  ASSERT_TRUE(built);
  const LanguageTable table = built.table();
  EXPECT_EQ(table[0].id, static_cast<int16_t>(~1250));
  EXPECT_EQ(tableKey(table), u"-");
  EXPECT_EQ(lookupText(table, 1), u"Klingon");
  EXPECT_EQ(lookupText(table, 100), u"Q&uit\nnow");
  EXPECT_EQ(lookupText(table, 102), u"\tgo");
  EXPECT_EQ(lookupText(table, 103), u"View &Log...");
  EXPECT_EQ(lookupText(table, 111), u"&Help");
  EXPECT_EQ(lookupText(table, 8), u"Close");
  EXPECT_EQ(idsOf(table), idsOf(englishTable()));
}

TEST(LanguageFileTest, EncodingsAndKeySearch) {
  struct Case {
    std::string bytes;
    std::string_view key;
    std::optional<std::u16string> value;
  };
  const Case cases[] = {
      {"\xEF\xBB\xBFLanguage=\xCE\x95\xCE\xBB\r\n", "Language", u"\u0395\u03BB"},
      {"Language=Fran\xE7" "ais\nExit=x", "Language", u"Fran\u00E7ais"},
      {"Exit is near\r\nExit=Real", "Exit", u"Real"},  // first occurrence followed by '='
      {"xExit_=inner", "Exit", u"inner"},               // a plain search
      {"Exit", "Exit", std::nullopt},
      {"Exit___", "Exit", std::nullopt},
      {"Exit=", "Exit", u""},
      {"Exit=a\rb", "Exit", u"a"},
      {"", "Exit", std::nullopt},
      {"\xFF\xFE", "Exit", std::nullopt},
      {std::string("\xFF\xFE" "E\0x\0i\0t\0=\0Z", 13), "Exit", u""},  // odd last byte dropped
      {"\xEF\xBB\xBF" "Exit=" + std::string(3000, 'a'), "Exit", std::u16string(2730, u'a')},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LanguageFile(c.bytes).value(c.key), c.value) << c.bytes.substr(0, 40);
  }
}

TEST(LanguageFileTest, SeveralKeysAtOnceFollowTheSingleKeyRule) {
  struct Case {
    const char* what;
    std::string bytes;
    std::vector<std::string_view> keys;
    std::vector<std::optional<std::u16string>> values;
  };
  const Case cases[] = {
      {"each key's first qualifying place", "Exit is here\r\nStop=S\r\nExit__=E\r\nStop=later",
       {"Exit", "Stop"}, {u"E", u"S"}},
      {"keys that overlap in the text", "AAA=x\r\nBAA_=y", {"AA", "AAA", "BA", "A"}, {u"x", u"x", std::nullopt, u"x"}},
      {"a key inside another key's name", "JCfg=config\r\nCfg=own", {"Cfg", "JCfg"}, {u"config", u"config"}},
      {"keys holding '_' and '='", "K_=1\r\nL=_=2\r\nM_=_=3", {"K_", "L=", "M_=", "K"}, {u"1", u"2", u"3", u"1"}},
      {"one '=' after a long run of '_'", "Key" + std::string(5000, '_') + "=long", {"Key", "Ke"}, {u"long", std::nullopt}},
      {"the same key twice", "Exit=E", {"Exit", "Exit"}, {u"E", u"E"}},
      {"empty and missing keys", "=v\r\nExit=E", {"", "Stop", "Exit"}, {std::nullopt, std::nullopt, u"E"}},
      {"UTF-16 text", utf16File(u"x Exit\r\nExit_=\u0416\r\nCP=1251"), {"CP", "Exit"}, {u"1251", u"\u0416"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const LanguageFile file(c.bytes);
    EXPECT_EQ(file.values(c.keys), c.values);
    for (size_t i = 0; i < c.keys.size(); ++i) EXPECT_EQ(file.value(c.keys[i]), c.values[i]) << c.keys[i];
  }
}

// The plain rule, looked up key by key: the first place where the key's characters stand
// followed by any '_' and '='.
std::optional<std::u16string> plainSearch(const std::string& text, const std::string& key) {
  if (key.empty()) return std::nullopt;
  for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
    size_t pos = at + key.size();
    while (pos < text.size() && text[pos] == '_') ++pos;
    if (pos < text.size() && text[pos] == '=') {
      const size_t end = text.find_first_of("\r\n", pos + 1);
      const std::string value = text.substr(pos + 1, end == std::string::npos ? std::string::npos : end - pos - 1);
      return std::u16string(value.begin(), value.end());
    }
  }
  return std::nullopt;
}

TEST(LanguageFileTest, OnePassLookupMatchesThePlainSearchOnRandomTexts) {
  uint32_t seed = 2024;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 24;
  };
  const char alphabet[] = {'A', 'B', 'C', '_', '=', '\n', 'x'};
  const std::vector<std::string> keys = {"A", "AB", "BA", "ABA", "A_", "B=", "CC", "ABAB", "_", "x=A"};
  const std::vector<std::string_view> views(keys.begin(), keys.end());
  for (int round = 0; round < 300; ++round) {
    std::string text;
    const size_t length = next() % 60;
    for (size_t i = 0; i < length; ++i) text.push_back(alphabet[next() % sizeof alphabet]);
    const std::vector<std::optional<std::u16string>> found = LanguageFile(text).values(views);
    for (size_t k = 0; k < keys.size(); ++k) {
      ASSERT_EQ(found[k], plainSearch(text, keys[k])) << "key " << keys[k] << " in \"" << text << "\"";
    }
  }
}

TEST(LanguageFileTest, MalformedFilesBuildCompleteTables) {
  const std::string inputs[] = {
      "",
      "\xFF\xFE",
      "\xFF\xFE\x00",
      "\xEF\xBB\xBF\xC3",
      "CP=99999999999999999999\r\nLanguage",
      "CP=abc\nLanguage=\n",
      "CP=-5",
      std::string(4096, '\xFF'),
      std::string("\0\0\0=\0\r\n\0Exit=\0\0", 15),
      "Exit=\\",
      "Exit=\\n\\n\\",
  };
  for (const std::string& bytes : inputs) {
    const OwnedLanguageTable built =
        buildLanguageTable(LanguageFile(bytes), keyTable(), englishTable());
    ASSERT_TRUE(built);
    EXPECT_LT(built.table()[0].id, 0) << "texts stay UTF-16";
    EXPECT_EQ(idsOf(built.table()), idsOf(englishTable()));
    EXPECT_EQ(lookupText(built.table(), 5100), u"Configuration");
  }
  EXPECT_EQ(lookupText(buildLanguageTable(LanguageFile("CP=1"), keyTable(), englishTable()).table(), 1),
            u"Extl");
  EXPECT_EQ(lookupText(buildLanguageTable(LanguageFile("Exit=\\n\\n\\"), keyTable(), englishTable())
                           .table(),
                       100),
            u"\n\n\\");
}

TEST(LanguageFileTest, FileNames) {
  const std::pair<std::u16string_view, std::u16string_view> prefixes[] = {
      {u"/opt/app/Syncer.exe", u"Synce"}, {u"/opt/app/Tool.exe", u"Tool"},
      {u"crvl", u"crvl"}, {u"/a.b/archive.tar.exe", u"archi"},
  };
  for (const auto& [path, prefix] : prefixes) EXPECT_EQ(languageFilePrefix(path), prefix);
  EXPECT_EQ(languageFilePath(u"/opt/app/Syncer.exe", u"DE"), u"/opt/app/Synce_DE.LNG");
  EXPECT_EQ(languageFilePath(u"/opt/app/Syncer.exe", u"K"), u"/opt/app/Synce_K .LNG");
}

class LanguageChoiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = (folder_ / "Syncer.exe").u16string();
    write("s.ini", "[CRVL]\r\n");
    store_.openStore((folder_ / "s.ini").u16string(), kStoreOwnFile);
  }
  void write(const std::string& name, const std::string& bytes) {
    std::ofstream(folder_ / name, std::ios::binary) << bytes;
  }
  std::string storedLanguage() {
    store_.reloadStore();
    std::string value;
    store_.getString("CRVL", "Language", nullptr, value);
    return value;
  }

  testing::TestFolder testFolder_;
  const fs::path& folder_ = testFolder_.root();
  std::u16string program_;
  ProfileStore store_;
  CurrentTableGuard guard_;
};

TEST_F(LanguageChoiceTest, SystemLanguageDecidesWhenNothingIsStored) {
  struct Case {
    uint16_t systemLanguage;
    const char* key;
  };
  const Case cases[] = {{1031, "DE"}, {2055, "DE"}, {3079, "DE"}, {4103, "DE"}, {5127, "DE"},
                        {1033, "US"}, {1036, "US"}, {6151, "US"}};
  for (const Case& c : cases) {
    store_.deleteKey("CRVL", "Language");
    LanguageState state;
    state.applyLanguage(store_, program_, c.systemLanguage);
    EXPECT_EQ(storedLanguage(), c.key) << c.systemLanguage << " (stored and flushed)";
    EXPECT_EQ(currentLanguageTable(), std::string(c.key) == "DE" ? germanTable() : englishTable());
  }
}

TEST_F(LanguageChoiceTest, StoredKeyChoosesBuiltInOrFileTable) {
  write("Synce_KL.LNG", utf16File(u"Language=Klingon\r\nExit=Qapla'\r\n"));
  write("Synce_US.LNG", "Language=American\r\nExit=Leave\r\n");
  struct Case {
    const char* stored;
    std::u16string_view exitText;
    bool fromFile;
  };
  const Case cases[] = {
      {"de", u"&Beenden", false},  // built-in keys ignore case
      {"US", u"E&xit", false},     // the built-in table wins over a US file
      {"KL", u"Qapla'", true},
      {"ZZ", u"Leave", true},      // no file for the key: the US file
  };
  for (const Case& c : cases) {
    store_.putString("CRVL", "Language", c.stored);
    LanguageState state;
    state.applyLanguage(store_, program_, 1033);
    EXPECT_EQ(uiText(100), c.exitText) << c.stored;
    EXPECT_EQ(state.fromFile(), c.fromFile) << c.stored;
    if (c.fromFile) {
      EXPECT_EQ(uiText(102), u"St&op") << "missing keys fall back to English";
    }
  }
  fs::remove(folder_ / "Synce_US.LNG");
  store_.putString("CRVL", "Language", "ZZ");
  LanguageState state;
  state.applyLanguage(store_, program_, 1031);
  EXPECT_FALSE(state.fromFile());
  EXPECT_EQ(currentLanguageTable(), englishTable());
}

TEST_F(LanguageChoiceTest, AReaderKeepsAFileTableThatAnotherLanguageReplaced) {
  write("Synce_KL.LNG", utf16File(u"Language=Klingon\r\nExit=Qapla'\r\n"));
  LanguageState state;
  store_.putString("CRVL", "Language", "KL");
  state.applyLanguage(store_, program_, 1033);
  // A run holds the table while the Language dialog chooses German and then the
  // file again: the table it holds is never freed under it.
  const std::shared_ptr<const CrvlLanguageRecord> held = sharedCurrentLanguageTable();
  store_.putString("CRVL", "Language", "DE");
  state.applyLanguage(store_, program_, 1033);
  store_.putString("CRVL", "Language", "KL");
  state.applyLanguage(store_, program_, 1033);
  EXPECT_EQ(lookupText(held.get(), 100), u"Qapla'");
  EXPECT_NE(held.get(), currentLanguageTable()) << "the file was read afresh";
}

TEST_F(LanguageChoiceTest, AvailableLanguages) {
  const std::string padding(120, ' ');
  write("Synce_KL.LNG", "Language=Klingon\r\n" + padding);
  write("Synce_nl.LNG", "Language=Nederlands\r\n" + padding);
  write("Synce_SM.LNG", "Language=Small\r\n");                 // 100 bytes or fewer
  write("Synce_NO.LNG", "Exit=No name\r\n" + padding);          // no "Language" entry
  write("Synce_de.LNG", "Language=Deutsch extern\r\n" + padding);  // key already listed
  write("Other_XY.LNG", "Language=Other\r\n" + padding);
  write("Synce_ABC.LNG", "Language=Three\r\n" + padding);
  std::vector<LanguageChoice> list = availableLanguages(program_);
  ASSERT_GE(list.size(), 2u);
  EXPECT_EQ(list[0].key, u"US");
  EXPECT_EQ(list[0].name, u"English");
  EXPECT_EQ(list[1].key, u"DE");
  EXPECT_EQ(list[1].name, u"German (Deutsch)");
  std::sort(list.begin() + 2, list.end(),
            [](const LanguageChoice& a, const LanguageChoice& b) { return a.key < b.key; });
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[2].key, u"KL");
  EXPECT_EQ(list[2].name, u"Klingon");
  EXPECT_EQ(list[3].key, u"NL");
  EXPECT_EQ(list[3].name, u"Nederlands");
}

}  // namespace
}  // namespace crvl
