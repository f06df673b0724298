// The access keys ("&x") of the built-in languages: within one menu, and within one
// dialog of CRVL.exe (a control that shows a text carries the text's string id), no key
// stands for two items.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <cwctype>
#include <map>
#include <string>
#include <vector>

#include "language/language_table.h"

namespace crvl::shell {
namespace {

// The key of a text: the character after its first single "&" ("&&" is a plain "&"),
// lower-cased; 0 when it has none.
char16_t accessKey(std::u16string_view text) {
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != u'&') continue;
    if (text[i + 1] == u'&') {
      ++i;
      continue;
    }
    return static_cast<char16_t>(std::towlower(static_cast<wint_t>(text[i + 1])));
  }
  return 0;
}

// "key 'x': id a, id b" for every key that two of `ids` share in `table`.
std::string clashes(LanguageTable table, const std::vector<uint16_t>& ids) {
  std::map<char16_t, uint16_t> seen;
  std::string out;
  for (const uint16_t id : ids) {
    const char16_t key = accessKey(lookupText(table, id));
    if (key == 0) continue;
    const auto [at, fresh] = seen.emplace(key, id);
    if (!fresh) {
      out += "key '" + std::string(1, static_cast<char>(key < 128 ? key : '?')) + "': " + std::to_string(at->second) +
             ", " + std::to_string(id) + "; ";
    }
  }
  return out;
}

std::string languageKey(LanguageTable table) {
  const std::u16string key = tableKey(table);
  return std::string(key.begin(), key.end());
}

void checkMenu(const CrvlMenuRecord* menu, const char* name) {
  std::vector<uint16_t> ids;
  for (const CrvlMenuRecord* item = menu; item->id != 0 || item->flags != 0; ++item) {
    if (item->id == CRVL_MENU_SEPARATOR_ID) continue;
    ids.push_back(item->id);
    if (item->submenu != nullptr) checkMenu(item->submenu, name);
  }
  for (const LanguageTable table : {englishTable(), germanTable()}) {
    EXPECT_EQ(clashes(table, ids), "") << name << ", language " << languageKey(table);
  }
}

TEST(AccessKeys, EveryMenuOfTheBuiltInLanguagesHasDistinctKeys) {
  const CrvlLanguageResources& resources = languageResources();
  checkMenu(resources.trayMenu, "tray menu");
  checkMenu(resources.jobMenu, "job menu");
  checkMenu(resources.selectionMenu, "selection menu");
}

// Reads a DLGTEMPLATEEX: the ids of its buttons and static controls (those that show a
// text, and so may carry a key).
class TemplateReader {
 public:
  explicit TemplateReader(const uint8_t* bits) : at_(bits) {}

  std::vector<uint16_t> labelIds() {
    std::vector<uint16_t> ids;
    skip(2 + 2 + 4 + 4);  // version, signature, help id, extended style
    const uint32_t style = dword();
    const uint16_t count = word();
    skip(8);  // x, y, cx, cy
    skipNameOrOrdinal();  // menu
    skipNameOrOrdinal();  // class
    skipNameOrOrdinal();  // title
    if ((style & DS_SETFONT) != 0) {
      skip(6);
      skipNameOrOrdinal();
    }
    for (uint16_t i = 0; i < count; ++i) {
      align();
      skip(4 + 4 + 4 + 8);  // help id, extended style, style, x, y, cx, cy
      const auto id = static_cast<uint16_t>(dword());
      uint16_t classOrdinal = 0;
      if (word() == 0xFFFF) {
        classOrdinal = word();
      } else {
        back();
        skipNameOrOrdinal();
      }
      skipNameOrOrdinal();  // text
      skip(word());         // creation data
      if (classOrdinal == 0x0080 || classOrdinal == 0x0082) ids.push_back(id);
    }
    return ids;
  }

 private:
  uint16_t word() {
    uint16_t v;
    std::memcpy(&v, at_, 2);
    at_ += 2;
    return v;
  }
  uint32_t dword() {
    uint32_t v;
    std::memcpy(&v, at_, 4);
    at_ += 4;
    return v;
  }
  void back() { at_ -= 2; }
  void skip(size_t bytes) { at_ += bytes; }
  void align() {
    while ((reinterpret_cast<uintptr_t>(at_) & 3) != 0) ++at_;
  }
  void skipNameOrOrdinal() {
    const uint16_t first = word();
    if (first == 0) return;
    if (first == 0xFFFF) {
      skip(2);
      return;
    }
    while (word() != 0) {
    }
  }
  const uint8_t* at_;
};

TEST(AccessKeys, EveryDialogOfTheBuiltInLanguagesHasDistinctKeys) {
  const std::string path = std::string(CRVL_BINARY_DIR) + "/CRVL.exe";
  HMODULE module = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr) << path;
  std::vector<uintptr_t> names;
  ::EnumResourceNamesW(
      module, RT_DIALOG,
      [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR list) -> BOOL {
        if (IS_INTRESOURCE(name)) reinterpret_cast<std::vector<uintptr_t>*>(list)->push_back(reinterpret_cast<uintptr_t>(name));
        return TRUE;
      },
      reinterpret_cast<LONG_PTR>(&names));
  EXPECT_GE(names.size(), 12u);
  for (const uintptr_t name : names) {
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(name), RT_DIALOG);
    const auto* bits = static_cast<const uint8_t*>(::LockResource(::LoadResource(module, found)));
    ASSERT_NE(bits, nullptr) << name;
    const std::vector<uint16_t> ids = TemplateReader(bits).labelIds();
    for (const LanguageTable table : {englishTable(), germanTable()}) {
      EXPECT_EQ(clashes(table, ids), "") << "dialog " << name << ", language " << languageKey(table);
    }
  }
  ::FreeLibrary(module);
}

}  // namespace
}  // namespace crvl::shell
