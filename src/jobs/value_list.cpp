#include "jobs/value_list.h"

#include "jobs/marked_text.h"

namespace crvl {
namespace {

template <typename Char>
void appendCut(std::basic_string<Char>& list, std::basic_string_view<Char> part, size_t limit) {
  if (list.size() >= limit) return;
  list.append(part.substr(0, limit - list.size()));
}

// Whether `item` holds `quote` directly followed by the separator: such an item cannot
// be enclosed in that quote, since the reader would end it there.
template <typename Char>
bool holdsQuoteBeforeSeparator(std::basic_string_view<Char> item, Char quote) {
  const Char pair[2] = {quote, static_cast<Char>(';')};
  return item.find(std::basic_string_view<Char>(pair, 2)) != item.npos;
}

// The quote that encloses `item` as stored: 0 for none, or -1 when the item cannot be
// stored so that it reads back (a line end, or both quote forms blocked).
template <typename Char>
int quoteFor(std::basic_string_view<Char> item, bool firstItem) {
  const Char lineEnds[2] = {static_cast<Char>('\r'), static_cast<Char>('\n')};
  if (item.find_first_of(std::basic_string_view<Char>(lineEnds, 2)) != item.npos) return -1;
  if (item.empty()) return 0;
  const Char first = item.front();
  // The settings reader drops blanks at the start of a value, so a first item that
  // begins with one keeps it only within quotes.
  const bool needed = item.find(static_cast<Char>(';')) != item.npos ||
                      item.find(static_cast<Char>('"')) != item.npos ||
                      first == static_cast<Char>('\'') ||
                      (firstItem && (first == static_cast<Char>(' ') || first == static_cast<Char>('\t')));
  if (!needed) return 0;
  if (!holdsQuoteBeforeSeparator(item, static_cast<Char>('"'))) return '"';
  if (!holdsQuoteBeforeSeparator(item, static_cast<Char>('\''))) return '\'';
  return -1;
}

template <typename Char>
bool appendItem(std::basic_string_view<Char> item, std::basic_string<Char>& list,
                size_t capacity) {
  if (capacity == 0) return false;
  const size_t limit = capacity - 1;  // room for the terminator of the caller's buffer
  const Char sep = static_cast<Char>(';');
  // A list of empty items only is stored as one separator per item (";" one, ";;"
  // two): the next item then needs no separator of its own.
  const bool onlyEmptyItems = list.find_first_not_of(sep) == list.npos;
  const Char sepText[1] = {sep};
  const int quote = quoteFor(item, list.empty());
  // An item that cannot be stored leaves an empty place, so the items after it keep
  // their positions.
  if (quote < 0) item = {};
  if (!onlyEmptyItems) {
    appendCut(list, std::basic_string_view<Char>(sepText, 1), limit);
  } else if (item.empty()) {
    // Keeps the leading empty items visible.
    appendCut(list, std::basic_string_view<Char>(sepText, 1), limit);
    return quote >= 0;
  }
  const Char quoteText[1] = {static_cast<Char>(quote)};
  if (quote > 0) appendCut(list, std::basic_string_view<Char>(quoteText, 1), limit);
  appendCut(list, item, limit);
  if (quote > 0) appendCut(list, std::basic_string_view<Char>(quoteText, 1), limit);
  return quote >= 0;
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

bool appendListItem(std::string_view item, std::string& list, size_t capacity) {
  return appendItem<char>(item, list, capacity);
}

bool appendListItem(std::u16string_view item, std::u16string& list, size_t capacity) {
  return appendItem<char16_t>(item, list, capacity);
}

bool isStorableListItem(std::string_view item) noexcept { return quoteFor(item, false) >= 0; }

bool isStorableListItem(std::u16string_view item) noexcept { return quoteFor(item, false) >= 0; }

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
