#include "jobs/value_list.h"

#include "jobs/marked_text.h"

namespace crvl {
namespace {

template <typename Char>
void appendCut(std::basic_string<Char>& list, std::basic_string_view<Char> part, size_t limit) {
  if (list.size() >= limit) return;
  list.append(part.substr(0, limit - list.size()));
}

template <typename Char>
void appendItem(std::basic_string_view<Char> item, std::basic_string<Char>& list,
                size_t capacity) {
  if (capacity == 0) return;
  const size_t limit = capacity - 1;  // room for the terminator of the caller's buffer
  const Char sep = static_cast<Char>(';');
  const Char quote = static_cast<Char>('"');
  const bool emptyList = list.empty() || (list.size() == 1 && list[0] == sep);
  const Char sepText[1] = {sep};
  const Char quoteText[1] = {quote};
  if (!emptyList) {
    appendCut(list, std::basic_string_view<Char>(sepText, 1), limit);
  } else if (list.empty() && item.empty()) {
    // Keeps the empty first item visible.
    appendCut(list, std::basic_string_view<Char>(sepText, 1), limit);
    return;
  }
  const bool quoted = item.find(sep) != item.npos || item.find(quote) != item.npos;
  if (quoted) appendCut(list, std::basic_string_view<Char>(quoteText, 1), limit);
  appendCut(list, item, limit);
  if (quoted) appendCut(list, std::basic_string_view<Char>(quoteText, 1), limit);
}

template <typename Char>
std::vector<std::basic_string_view<Char>> split(std::basic_string_view<Char> text, Char sep) {
  const Char lineEnds[2] = {static_cast<Char>('\r'), static_cast<Char>('\n')};
  const size_t cut = text.find_first_of(std::basic_string_view<Char>(lineEnds, 2));
  if (cut != text.npos) text = text.substr(0, cut);

  std::vector<std::basic_string_view<Char>> items;
  size_t pos = 0;
  while (pos < text.size()) {
    const Char first = text[pos];
    if (first == static_cast<Char>('"') || first == static_cast<Char>('\'')) {
      // The closing quote is the first later one that stands before a separator or
      // at the end; quotes elsewhere belong to the item.
      size_t close = text.npos;
      for (size_t q = text.find(first, pos + 1); q != text.npos; q = text.find(first, q + 1)) {
        if (q + 1 == text.size() || text[q + 1] == sep) {
          close = q;
          break;
        }
      }
      if (close == text.npos) {
        items.push_back(text.substr(pos));
        break;
      }
      items.push_back(text.substr(pos + 1, close - pos - 1));
      pos = close + 2;  // past the quote and its separator (or past the end)
      continue;
    }
    const size_t next = text.find(sep, pos);
    if (next == text.npos) {
      items.push_back(text.substr(pos));
      break;
    }
    items.push_back(text.substr(pos, next - pos));
    pos = next + 1;
  }
  return items;
}

}  // namespace

void appendListItem(std::string_view item, std::string& list, size_t capacity) {
  appendItem<char>(item, list, capacity);
}

void appendListItem(std::u16string_view item, std::u16string& list, size_t capacity) {
  appendItem<char16_t>(item, list, capacity);
}

std::vector<std::string_view> splitList(std::string_view text, char separator) {
  return split<char>(text, separator);
}

std::vector<std::u16string_view> splitList(std::u16string_view text, char16_t separator) {
  return split<char16_t>(text, separator);
}

std::string_view listItem(const std::vector<std::string_view>& items, size_t index) {
  return index < items.size() ? items[index] : std::string_view();
}

std::u16string_view listItem(const std::vector<std::u16string_view>& items, size_t index) {
  return index < items.size() ? items[index] : std::u16string_view();
}

std::u16string listItemText(const std::vector<std::string_view>& items, size_t index,
                            bool utf8File) {
  return decodeMarkedText(listItem(items, index), utf8File);
}

}  // namespace crvl
