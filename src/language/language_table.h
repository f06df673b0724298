// Looking up user-interface texts by string id in a language table, and the current
// table of the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "resources/language_resources.h"

namespace crvl {

using LanguageTable = const CrvlLanguageRecord*;

// The record of the language library; `r` is called once, on first use.
[[nodiscard]] const CrvlLanguageResources& languageResources() noexcept;

// The built-in tables.
[[nodiscard]] LanguageTable englishTable() noexcept;
[[nodiscard]] LanguageTable germanTable() noexcept;
[[nodiscard]] LanguageTable keyTable() noexcept;

// The language key of a table (its header text), as UTF-16.
[[nodiscard]] std::u16string tableKey(LanguageTable table);

// Applies the id remap table: 111 becomes 110, 104 becomes 203, others stay.
[[nodiscard]] uint16_t remapStringId(uint16_t id) noexcept;

// Default capacity of looked-up texts (characters, terminating zero included).
inline constexpr size_t kTextCapacity = 4096;

// The text of `id` (after the remap) in `table` as UTF-16, at most capacity - 1
// characters, with every backslash-"t" replaced by a tab. Single-byte texts are read in
// the header's code page (0: the system ANSI code page). Unknown ids, a null table and
// a capacity of 0 give the empty text.
[[nodiscard]] std::u16string lookupText(LanguageTable table, uint16_t id,
                                        size_t capacity = kTextCapacity);

// lookupText with the current table.
[[nodiscard]] std::u16string uiText(uint16_t id, size_t capacity = kTextCapacity);

// The tooltip form of a looked-up text: the part before the first ';' when there is
// one ';', the part after the second ';' when there are more; then cut at the first
// tab, "&" removed, cut at the first "...".
[[nodiscard]] std::u16string tooltipFromText(std::u16string_view text);
[[nodiscard]] std::u16string tooltipText(uint16_t id, size_t capacity = kTextCapacity);

// The window-title form of a looked-up text: cut at the first tab, "&" removed, cut at
// the first "...", with one leading space unless it begins with one already.
[[nodiscard]] std::u16string titleFromText(std::u16string_view text);
[[nodiscard]] std::u16string dialogTitleText(uint16_t id, size_t capacity = kTextCapacity);

// The current table (English until a language is applied). Reading is thread-safe.
// The raw pointer is for a look at once; a reader that keeps using the table (a run,
// a dialog) holds the shared form, which keeps a table built from a file alive after
// another language replaced it.
[[nodiscard]] LanguageTable currentLanguageTable() noexcept;
[[nodiscard]] std::shared_ptr<const CrvlLanguageRecord> sharedCurrentLanguageTable() noexcept;
// Makes `table` current; `keeper` owns its memory (empty for a built-in table) and is
// released when the last reader lets the table go. Null: English.
void setCurrentLanguageTable(LanguageTable table, std::shared_ptr<const void> keeper = nullptr) noexcept;

}  // namespace crvl
