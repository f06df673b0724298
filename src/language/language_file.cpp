#include "language/language_file.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "jobs/path_macros.h"
#include "platform/listings.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/paths.h"

namespace crvl {
namespace {

size_t lastSeparator(std::u16string_view path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (platform::isPathSeparator(path[i - 1])) return i;
  }
  return 0;
}

char16_t asciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c; }

bool asciiEqualNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (asciiUpper(a[i]) != asciiUpper(b[i])) return false;
  }
  return true;
}

// The texts of `keys` in a run of units (char or char16_t): for each key, the text
// after the first occurrence of its characters that is followed by any number of '_'
// and '=' (up to CR, LF or the end). One pass: every '=' is looked at once, with every
// position in the run of '_' before it, and the keys (by length) that end there are
// found in a hash table. The occurrences are met in the order of their start for each
// key, so the first one met is the first in the text.
template <typename Char>
std::vector<std::optional<std::basic_string_view<Char>>> findValues(std::basic_string_view<Char> text,
                                                                    const std::vector<std::string_view>& keys) {
  using View = std::basic_string_view<Char>;
  std::vector<std::optional<View>> found(keys.size());
  std::vector<std::basic_string<Char>> units(keys.size());
  std::unordered_map<View, std::vector<size_t>> slots;  // key text -> indices in `keys`
  std::vector<size_t> lengths;
  for (size_t i = 0; i < keys.size(); ++i) {
    if (keys[i].empty()) continue;
    for (char c : keys[i]) units[i].push_back(static_cast<Char>(static_cast<unsigned char>(c)));
  }
  for (size_t i = 0; i < keys.size(); ++i) {
    if (units[i].empty()) continue;
    slots[View(units[i])].push_back(i);
    if (std::find(lengths.begin(), lengths.end(), units[i].size()) == lengths.end()) {
      lengths.push_back(units[i].size());
    }
  }
  size_t open = slots.size();  // distinct keys not found yet
  const Char equals = static_cast<Char>('=');
  const Char underscore = static_cast<Char>('_');
  for (size_t e = 0; open > 0 && e < text.size(); ++e) {
    if (text[e] != equals) continue;
    size_t runStart = e;
    while (runStart > 0 && text[runStart - 1] == underscore) --runStart;
    std::optional<View> value;  // the text after this '=', found once
    for (size_t end = runStart; end <= e && open > 0; ++end) {
      for (size_t length : lengths) {
        if (length > end) continue;
        const auto slot = slots.find(text.substr(end - length, length));
        if (slot == slots.end() || found[slot->second.front()]) continue;
        if (!value) {
          size_t stop = e + 1;
          while (stop < text.size() && text[stop] != static_cast<Char>('\r') &&
                 text[stop] != static_cast<Char>('\n')) {
            ++stop;
          }
          value = text.substr(e + 1, stop - e - 1);
        }
        for (size_t index : slot->second) found[index] = value;
        --open;
      }
    }
  }
  return found;
}

}  // namespace

std::u16string languageFilePrefix(std::u16string_view programPath) {
  std::u16string_view name = programPath.substr(lastSeparator(programPath));
  const size_t dot = name.rfind(u'.');
  if (dot != std::u16string_view::npos) name = name.substr(0, dot);
  return std::u16string(name.substr(0, 5));
}

std::u16string languageFilePath(std::u16string_view programPath, std::u16string_view key) {
  std::u16string path(programPath.substr(0, lastSeparator(programPath)));
  path += languageFilePrefix(programPath);
  path += u'_';
  path += key;
  if (key.size() == 1) path += u' ';
  path += u".LNG";
  return path;
}

LanguageFile::LanguageFile(std::string bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    encoding_ = Encoding::Utf16;
    const size_t count = (bytes.size() - 2) / 2;
    units_.resize(count);
    for (size_t i = 0; i < count; ++i) {
      units_[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                        static_cast<unsigned char>(bytes[3 + 2 * i]) << 8);
    }
  } else if (bytes.size() >= 3 && std::memcmp(bytes.data(), "\xEF\xBB\xBF", 3) == 0) {
    encoding_ = Encoding::Utf8;
    bytes_ = bytes.substr(3);
  } else {
    encoding_ = Encoding::Ansi;
    bytes_ = std::move(bytes);
  }
}

std::optional<std::u16string> LanguageFile::value(std::string_view key) const {
  return std::move(values({key}).front());
}

std::vector<std::optional<std::u16string>> LanguageFile::values(const std::vector<std::string_view>& keys) const {
  std::vector<std::optional<std::u16string>> texts(keys.size());
  if (encoding_ == Encoding::Utf16) {
    const auto found = findValues<char16_t>(units_, keys);
    for (size_t i = 0; i < keys.size(); ++i) {
      if (found[i]) texts[i] = std::u16string(*found[i]);
    }
    return texts;
  }
  const auto found = findValues<char>(bytes_, keys);
  for (size_t i = 0; i < keys.size(); ++i) {
    if (!found[i]) continue;
    if (encoding_ == Encoding::Utf8) {
      texts[i] = platform::fromUtf8(found[i]->substr(0, kLanguageValueUtf8Bytes));
    } else {
      texts[i] = platform::ansiToUtf16(*found[i]);
    }
  }
  return texts;
}

OwnedLanguageTable buildLanguageTable(const LanguageFile& file, LanguageTable keys,
                                      LanguageTable english) {
  OwnedLanguageTable result;
  if (keys == nullptr || english == nullptr) return result;

  // Every text the table needs, found in one pass over the file.
  std::vector<std::string_view> wanted = {"CP", "Language"};
  for (const CrvlLanguageRecord* record = keys + 2; record->text != nullptr; ++record) {
    wanted.emplace_back(static_cast<const char*>(record->text));
  }
  std::vector<std::optional<std::u16string>> found = file.values(wanted);

  // Code page: a decimal number in 0-32767; anything else counts as 0.
  uint32_t codePage = 0;
  if (const auto& cp = found[0]) {
    bool valid = !cp->empty() && cp->size() <= 5;
    uint32_t number = 0;
    for (char16_t c : *cp) {
      if (c < u'0' || c > u'9') {
        valid = false;
        break;
      }
      number = number * 10 + (c - u'0');
    }
    if (valid && number <= 32767) codePage = number;
  }

  std::vector<std::pair<int16_t, std::u16string>> entries;
  entries.emplace_back(static_cast<int16_t>(~codePage), u"-");
  auto& name = found[1];
  entries.emplace_back(1, name ? std::move(*name) : lookupText(keys, 1));
  size_t next = 2;
  for (const CrvlLanguageRecord* record = keys + 2; record->text != nullptr; ++record) {
    std::u16string text;
    if (const auto& stored = found[next++]) {
      text.reserve(stored->size());
      for (size_t i = 0; i < stored->size(); ++i) {
        if ((*stored)[i] == u'\\' && i + 1 < stored->size() && (*stored)[i + 1] == u'n') {
          text.push_back(u'\n');
          ++i;
        } else {
          text.push_back((*stored)[i]);
        }
      }
    } else {
      text = lookupText(english, static_cast<uint16_t>(record->id));
    }
    entries.emplace_back(record->id, std::move(text));
  }

  // One block: the records (and the terminator), then the zero-terminated texts.
  const size_t recordBytes = (entries.size() + 1) * sizeof(CrvlLanguageRecord);
  size_t textUnits = 0;
  for (const auto& entry : entries) textUnits += entry.second.size() + 1;
  const size_t textOffset = (recordBytes + alignof(char16_t) - 1) & ~(alignof(char16_t) - 1);
  result.block_ = std::shared_ptr<unsigned char[]>(new unsigned char[textOffset + textUnits * sizeof(char16_t)]());
  auto* records = reinterpret_cast<CrvlLanguageRecord*>(result.block_.get());
  auto* texts = reinterpret_cast<char16_t*>(result.block_.get() + textOffset);
  for (size_t i = 0; i < entries.size(); ++i) {
    CrvlLanguageRecord record{};
    record.id = entries[i].first;
    record.text = texts;
    std::memcpy(&records[i], &record, sizeof record);
    std::memcpy(texts, entries[i].second.data(), entries[i].second.size() * sizeof(char16_t));
    texts += entries[i].second.size();
    *texts++ = u'\0';
  }
  const CrvlLanguageRecord terminator{};
  std::memcpy(&records[entries.size()], &terminator, sizeof terminator);
  return result;
}

OwnedLanguageTable loadLanguageFile(std::u16string_view programPath, std::u16string_view key) {
  std::string bytes;
  if (platform::readWholeFile(languageFilePath(programPath, key), bytes) != kSuccess &&
      platform::readWholeFile(languageFilePath(programPath, u"US"), bytes) != kSuccess) {
    return {};
  }
  return buildLanguageTable(LanguageFile(std::move(bytes)), keyTable(), englishTable());
}

std::vector<LanguageChoice> availableLanguages(std::u16string_view programPath) {
  std::vector<LanguageChoice> list;
  const CrvlLanguageRecord* const* tables = languageResources().tables;
  for (size_t i = 0; tables[i] != nullptr; ++i) {
    if (tables[i] == keyTable()) continue;
    list.push_back({tableKey(tables[i]), lookupText(tables[i], 1)});
  }

  const std::u16string folder(programPath.substr(0, lastSeparator(programPath)));
  const std::u16string prefix = languageFilePrefix(programPath) + u'_';
  std::vector<std::u16string> names;
  if (platform::listFileNames(folder.empty() ? u"." : folder, names) != kSuccess) return list;
  for (const std::u16string& name : names) {
    // prefix, two key characters, ".LNG"
    if (name.size() != prefix.size() + 6 ||
        !asciiEqualNoCase(std::u16string_view(name).substr(0, prefix.size()), prefix) ||
        !asciiEqualNoCase(std::u16string_view(name).substr(prefix.size() + 2), u".LNG")) {
      continue;
    }
    std::u16string key = name.substr(prefix.size(), 2);
    for (char16_t& c : key) c = asciiUpper(c);
    bool listed = false;
    for (const auto& entry : list) listed = listed || asciiEqualNoCase(entry.key, key);
    if (listed) continue;
    std::string bytes;
    if (platform::readWholeFile(folder + name, bytes) != kSuccess ||
        bytes.size() < kLanguageFileMinBytes) {
      continue;
    }
    auto display = LanguageFile(std::move(bytes)).value("Language");
    if (!display) continue;
    list.push_back({std::move(key), std::move(*display)});
  }
  return list;
}

}  // namespace crvl
