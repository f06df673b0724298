#include "language/language_table.h"

#include <atomic>
#include <memory>
#include <mutex>

#include "platform/text.h"

namespace crvl {
namespace {

// Windows-1252 bytes 0x80-0x9F; the rest of the page equals ISO 8859-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

std::u16string decodeSingleByte(const char* text, size_t limit, uint32_t codePage) {
  size_t length = 0;
  while (length < limit && text[length] != '\0') ++length;
  const std::string_view bytes(text, length);
  if (codePage == 1252) {
    std::u16string out;
    out.reserve(length);
    for (unsigned char b : bytes) {
      out.push_back(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : static_cast<char16_t>(b));
    }
    return out;
  }
  // The built-in tables use the system page (0) or 1252; any other page falls back to
  // the system page, which is all the platform layer converts.
  std::u16string out = platform::ansiToUtf16(bytes);
  if (out.size() > limit) out.resize(limit);
  return out;
}

// The current table and what keeps it alive (empty for the built-in tables): readers
// copy both under the lock, so a table replaced meanwhile lives until they are done.
std::mutex gCurrentLock;
std::shared_ptr<const CrvlLanguageRecord> gCurrentTable;

}  // namespace

const CrvlLanguageResources& languageResources() noexcept {
  // The library's record is constant for the process; `r` is asked once.
  static const CrvlLanguageResources* const resources = r(0);
  return *resources;
}

LanguageTable englishTable() noexcept { return languageResources().tables[0]; }
LanguageTable germanTable() noexcept { return languageResources().tables[1]; }
LanguageTable keyTable() noexcept { return languageResources().tables[2]; }

std::u16string tableKey(LanguageTable table) {
  if (table == nullptr || table[0].text == nullptr) return {};
  if (table[0].id < 0) return std::u16string(static_cast<const char16_t*>(table[0].text));
  return decodeSingleByte(static_cast<const char*>(table[0].text), 16, 0);
}

uint16_t remapStringId(uint16_t id) noexcept {
  static constexpr struct { uint16_t from, to; } kRemap[] = {{111, 110}, {104, 203}};
  for (const auto& pair : kRemap) {
    if (pair.from == id) return pair.to;
  }
  return id;
}

std::u16string lookupText(LanguageTable table, uint16_t id, size_t capacity) {
  std::u16string out;
  if (table == nullptr || capacity == 0) return out;
  id = remapStringId(id);
  const int16_t header = table[0].id;
  const CrvlLanguageRecord* record = table + 1;
  // The terminator (id 0, null text) ends the walk; no table record has id 0.
  while (record->text != nullptr && static_cast<uint16_t>(record->id) != id) ++record;
  if (record->text == nullptr) return out;
  const size_t limit = capacity - 1;
  if (header < 0) {
    const auto* text = static_cast<const char16_t*>(record->text);
    for (size_t i = 0; i < limit && text[i] != u'\0'; ++i) out.push_back(text[i]);
  } else {
    const uint32_t codePage = header == 0 ? 0u : static_cast<uint32_t>(header) - 1;
    out = decodeSingleByte(static_cast<const char*>(record->text), limit, codePage);
  }
  // Backslash-"t" stands for a tab.
  size_t write = 0;
  for (size_t read = 0; read < out.size(); ++read, ++write) {
    if (out[read] == u'\\' && read + 1 < out.size() && out[read + 1] == u't') {
      out[write] = u'\t';
      ++read;
    } else {
      out[write] = out[read];
    }
  }
  out.resize(write);
  return out;
}

LanguageTable currentLanguageTable() noexcept { return sharedCurrentLanguageTable().get(); }

std::shared_ptr<const CrvlLanguageRecord> sharedCurrentLanguageTable() noexcept {
  std::shared_ptr<const CrvlLanguageRecord> table;
  {
    std::lock_guard<std::mutex> guard(gCurrentLock);
    table = gCurrentTable;
  }
  if (table == nullptr) table = std::shared_ptr<const CrvlLanguageRecord>(std::shared_ptr<void>(), englishTable());
  return table;
}

void setCurrentLanguageTable(LanguageTable table, std::shared_ptr<const void> keeper) noexcept {
  std::shared_ptr<const CrvlLanguageRecord> next(std::move(keeper), table);
  std::lock_guard<std::mutex> guard(gCurrentLock);
  gCurrentTable.swap(next);
  // The table replaced goes when `next` does, or with the last reader's copy.
}

std::u16string uiText(uint16_t id, size_t capacity) {
  const std::shared_ptr<const CrvlLanguageRecord> table = sharedCurrentLanguageTable();
  return lookupText(table.get(), id, capacity);
}

namespace {

// Cut at the first tab, drop "&", cut at the first "...".
std::u16string plainLabel(std::u16string_view text) {
  const size_t tab = text.find(u'\t');
  if (tab != std::u16string_view::npos) text = text.substr(0, tab);
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c != u'&') out.push_back(c);
  }
  const size_t dots = out.find(u"...");
  if (dots != std::u16string::npos) out.resize(dots);
  return out;
}

}  // namespace

std::u16string tooltipFromText(std::u16string_view text) {
  const size_t first = text.find(u';');
  if (first != std::u16string_view::npos) {
    const size_t second = text.find(u';', first + 1);
    text = second == std::u16string_view::npos ? text.substr(0, first) : text.substr(second + 1);
  }
  return plainLabel(text);
}

std::u16string tooltipText(uint16_t id, size_t capacity) {
  return tooltipFromText(uiText(id, capacity));
}

std::u16string titleFromText(std::u16string_view text) {
  std::u16string title = plainLabel(text);
  if (title.empty() || title.front() != u' ') title.insert(title.begin(), u' ');
  return title;
}

std::u16string dialogTitleText(uint16_t id, size_t capacity) {
  return titleFromText(uiText(id, capacity));
}

}  // namespace crvl
