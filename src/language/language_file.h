// External language files: "<first five letters of the program name>_<key>.LNG" in the
// program's folder, lines of the form key, any "_", "=", text. A file names its texts
// by the four-letter keys of the key table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "language/language_table.h"
#include "platform/errors.h"

namespace crvl {

// A UTF-8 value is taken up to this many bytes.
inline constexpr size_t kLanguageValueUtf8Bytes = 2730;
// Files of this size or smaller are not offered as languages.
inline constexpr uint64_t kLanguageFileMinBytes = 101;

// The name prefix of language files for a program path: the file name without its
// extension (text up to its last '.'), cut to five characters.
[[nodiscard]] std::u16string languageFilePrefix(std::u16string_view programPath);

// The language file for `key` beside the program: prefix, "_", the key (a key of one
// character gets a space as its second character), ".LNG".
[[nodiscard]] std::u16string languageFilePath(std::u16string_view programPath,
                                              std::u16string_view key);

// The contents of a language file and the rule to read its texts by key.
class LanguageFile {
 public:
  // Takes the raw bytes: FF FE starts UTF-16LE (an odd last byte is ignored), EF BB BF
  // starts UTF-8, anything else is read in the system ANSI code page.
  explicit LanguageFile(std::string bytes);

  // The text of the first occurrence of `key` that is followed by any number of '_'
  // and '='; the text runs to CR, LF or the end of the file. Nothing when no
  // occurrence qualifies.
  [[nodiscard]] std::optional<std::u16string> value(std::string_view key) const;

  // The texts of several keys, in the order of `keys`, each as value() would give it.
  // One pass over the file, however many keys there are.
  [[nodiscard]] std::vector<std::optional<std::u16string>> values(
      const std::vector<std::string_view>& keys) const;

 private:
  enum class Encoding { Ansi, Utf8, Utf16 };
  Encoding encoding_;
  std::string bytes_;      // ANSI and UTF-8 files, without the byte order mark
  std::u16string units_;   // UTF-16 files, without the byte order mark
};

// A language table built from a file: one owned block (records followed by their
// UTF-16 texts). Move-only.
class OwnedLanguageTable {
 public:
  OwnedLanguageTable() = default;
  [[nodiscard]] LanguageTable table() const noexcept {
    return reinterpret_cast<LanguageTable>(block_.get());
  }
  [[nodiscard]] explicit operator bool() const noexcept { return block_ != nullptr; }
  // What keeps the table's memory alive (shared with the current-table record).
  [[nodiscard]] std::shared_ptr<const void> keeper() const noexcept { return block_; }

 private:
  friend OwnedLanguageTable buildLanguageTable(const LanguageFile& file, LanguageTable keys,
                                               LanguageTable english);
  std::shared_ptr<unsigned char[]> block_;
};

// Builds a table from a file: header (the complement of "CP", text "-"), record 1 with
// the "Language" text (or "Extl"), then one record per key-table record from record 2
// on, in the same order: the file's text with backslash-"n" turned into a line feed,
// or the English text of the id when the file has no such key. A "CP" value that is
// not a number in 0-32767 counts as 0, so the header is always negative.
[[nodiscard]] OwnedLanguageTable buildLanguageTable(const LanguageFile& file, LanguageTable keys,
                                                    LanguageTable english);

// Reads the language file for `key` (falling back to the file for "US") and builds its
// table. An empty result when neither file can be read.
[[nodiscard]] OwnedLanguageTable loadLanguageFile(std::u16string_view programPath,
                                                  std::u16string_view key);

// An entry of the language list.
struct LanguageChoice {
  std::u16string key;
  std::u16string name;
};

// The languages the user can choose: the built-in tables except the key table (by
// display name), then every file in the program's folder named like a language file
// with a two-character key (key upper-cased), unless the file has 100 bytes or fewer,
// has no "Language" entry, or its key is already listed.
[[nodiscard]] std::vector<LanguageChoice> availableLanguages(std::u16string_view programPath);

}  // namespace crvl
