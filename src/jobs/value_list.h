// ';'-separated value lists of the job file ("Option", "Filter"), the job register, the
// task list, the plug-in list and the log index.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace crvl {

inline constexpr char16_t kListItemSeparator = u';';

// Appends an item: a ';' goes first unless the list is empty or holds only ';' (the
// stored form of empty items alone, one ';' each: an empty item appended to an empty
// list gives ";", to ";" gives ";;", and "x" appended to ";;" gives ";;x"). An item that holds ';' or '"', that
// begins with '\'', or that begins the list with a blank is enclosed in double quotes
// (inner quotes are not escaped); in apostrophes instead when it holds '"' directly
// followed by ';'. An item that no quoting reads back (a CR or LF, or both '";' and
// "';") is stored as an empty item and the answer is false; true otherwise. The list
// is a buffer of `capacity` bytes (characters) with room for its terminator: it never
// grows past capacity - 1, text beyond that is cut.
bool appendListItem(std::string_view item, std::string& list, size_t capacity = SIZE_MAX);
bool appendListItem(std::u16string_view item, std::u16string& list, size_t capacity = SIZE_MAX);

// Whether appendListItem stores `item` so that splitList reads it back: what the
// program takes in (names, parameters) is checked with this where it enters.
[[nodiscard]] bool isStorableListItem(std::string_view item) noexcept;
[[nodiscard]] bool isStorableListItem(std::u16string_view item) noexcept;

// The items of a list, as views into `text`. The text is cut at its first CR or LF.
// An item that begins with '"' or '\'' runs to the next later occurrence of that quote
// followed by the separator or the end (quotes removed); without one it runs to the
// end, opening quote included. Any other item runs to the next separator; consecutive
// separators give empty items. A separator that ends the text closes the last item
// without starting another one, so "" gives no items and ";" one empty item.
[[nodiscard]] std::vector<std::string_view> splitList(std::string_view text, char separator = ';');
[[nodiscard]] std::vector<std::u16string_view> splitList(std::u16string_view text,
                                                         char16_t separator = u';');

// Item `index` of a split list, or an empty item beyond the last one; the 8-bit item
// read as UTF-16 is decoded as MarkedText.
[[nodiscard]] std::string_view listItem(const std::vector<std::string_view>& items, size_t index);
[[nodiscard]] std::u16string_view listItem(const std::vector<std::u16string_view>& items,
                                           size_t index);
[[nodiscard]] std::u16string listItemText(const std::vector<std::string_view>& items, size_t index,
                                          bool utf8File = false);

}  // namespace crvl
