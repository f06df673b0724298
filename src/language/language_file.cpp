#include "language/language_file.h"

#include <cstring>

#include "jobs/path_macros.h"
#include "platform/file_names.h"
#include "platform/files.h"
#include "platform/text.h"

namespace crvl {
namespace {

size_t lastSeparator(std::u16string_view path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (isPathSeparator(path[i - 1])) return i;
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

// Finds the text of `key` in a run of units (char or char16_t).
template <typename Char>
std::optional<std::basic_string_view<Char>> findValue(std::basic_string_view<Char> text,
                                                      std::string_view key) {
  if (key.empty()) return std::nullopt;
  size_t from = 0;
  while (from + key.size() <= text.size()) {
    size_t hit = std::basic_string_view<Char>::npos;
    for (size_t i = from; i + key.size() <= text.size(); ++i) {
      size_t k = 0;
      while (k < key.size() && text[i + k] == static_cast<Char>(static_cast<unsigned char>(key[k]))) ++k;
      if (k == key.size()) {
        hit = i;
        break;
      }
    }
    if (hit == std::basic_string_view<Char>::npos) return std::nullopt;
    size_t pos = hit + key.size();
    while (pos < text.size() && text[pos] == static_cast<Char>('_')) ++pos;
    if (pos < text.size() && text[pos] == static_cast<Char>('=')) {
      const size_t start = pos + 1;
      size_t end = start;
      while (end < text.size() && text[end] != static_cast<Char>('\r') &&
             text[end] != static_cast<Char>('\n')) {
        ++end;
      }
      return text.substr(start, end - start);
    }
    from = hit + 1;
  }
  return std::nullopt;
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
  if (encoding_ == Encoding::Utf16) {
    auto found = findValue<char16_t>(units_, key);
    if (!found) return std::nullopt;
    return std::u16string(*found);
  }
  auto found = findValue<char>(bytes_, key);
  if (!found) return std::nullopt;
  if (encoding_ == Encoding::Utf8) {
    return platform::fromUtf8(found->substr(0, kLanguageValueUtf8Bytes));
  }
  return platform::ansiToUtf16(*found);
}

OwnedLanguageTable buildLanguageTable(const LanguageFile& file, LanguageTable keys,
                                      LanguageTable english) {
  OwnedLanguageTable result;
  if (keys == nullptr || english == nullptr) return result;

  // Code page: a decimal number in 0-32767; anything else counts as 0.
  uint32_t codePage = 0;
  if (auto cp = file.value("CP")) {
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
  auto name = file.value("Language");
  entries.emplace_back(1, name ? std::move(*name) : lookupText(keys, 1));
  for (const CrvlLanguageRecord* record = keys + 2; record->text != nullptr; ++record) {
    const auto* key = static_cast<const char*>(record->text);
    std::u16string text;
    if (auto found = file.value(key)) {
      text.reserve(found->size());
      for (size_t i = 0; i < found->size(); ++i) {
        if ((*found)[i] == u'\\' && i + 1 < found->size() && (*found)[i + 1] == u'n') {
          text.push_back(u'\n');
          ++i;
        } else {
          text.push_back((*found)[i]);
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
  result.block_ = std::make_unique<unsigned char[]>(textOffset + textUnits * sizeof(char16_t));
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
