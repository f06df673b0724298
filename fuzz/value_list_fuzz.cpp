// Value lists: the items of a line, written with appendListItem, read back the same.
#include <string>
#include <vector>

#include "jobs/value_list.h"
#include "round_trip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string_view> items = crvl::splitList(text);
  std::string list;
  // Only an item that no quoting can hold is refused: one the reader took from an
  // unclosed quote that runs to the line's end over both '";' and "';". It keeps its
  // place as an empty item.
  std::vector<bool> refused(items.size(), false);
  for (size_t i = 0; i < items.size(); ++i) {
    refused[i] = !crvl::appendListItem(items[i], list);
    crvl::fuzz::require(refused[i] == !crvl::isStorableListItem(items[i]), "item refused");
  }
  const std::vector<std::string_view> back = crvl::splitList(std::string_view(list));
  // A written list drops empty items at its end only (they read as empty anyway).
  size_t kept = items.size();
  while (kept > 1 && (items[kept - 1].empty() || refused[kept - 1])) --kept;
  crvl::fuzz::require(back.size() >= kept && back.size() <= items.size(), "item count");
  for (size_t i = 0; i < back.size(); ++i) {
    crvl::fuzz::require(refused[i] ? back[i].empty() : back[i] == items[i], "item text");
  }
  return 0;
}
