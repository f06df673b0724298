#include "jobs/register_merge.h"

#include "jobs/path_macros.h"

namespace crvl {
namespace {

// A loaded row that is still stored: the same kind and name, and a path that names the
// same file. Another process may have stored it in another form: the console contracts
// every path of the register it writes ("%MY_PATH%\a.job" for "C:\Corvell\a.job").
bool sameStoredRow(const RegisterRow& loaded, const RegisterRow& stored) {
  return loaded.kind == stored.kind && loaded.name == stored.name &&
         (loaded.path == stored.path || pathsEqual(loaded.path, stored.path));
}

}  // namespace

std::vector<RegisterRow> mergeRegisterEdits(const std::vector<RegisterRow>& base,
                                            const std::vector<RegisterRow>& edited,
                                            const std::vector<size_t>& origins,
                                            const std::vector<RegisterRow>& current) {
  if (origins.size() != edited.size() || current == base) return edited;

  // Which loaded rows are still stored, and where the others' new rows stand. The
  // common head and tail are matched at once, so a register that only grew at its end
  // costs one pass.
  std::vector<bool> stillStored(base.size(), false);
  std::vector<size_t> baseOfCurrent(current.size(), kNewRegisterRow);
  size_t head = 0;
  while (head < base.size() && head < current.size() && sameStoredRow(base[head], current[head])) {
    stillStored[head] = true;
    baseOfCurrent[head] = head;
    ++head;
  }
  size_t baseEnd = base.size(), currentEnd = current.size();
  while (baseEnd > head && currentEnd > head && sameStoredRow(base[baseEnd - 1], current[currentEnd - 1])) {
    --baseEnd;
    --currentEnd;
    stillStored[baseEnd] = true;
    baseOfCurrent[currentEnd] = baseEnd;
  }
  size_t from = head;
  for (size_t i = head; i < baseEnd; ++i) {
    for (size_t k = from; k < currentEnd; ++k) {
      if (sameStoredRow(base[i], current[k])) {
        stillStored[i] = true;
        baseOfCurrent[k] = i;
        from = k + 1;
        break;
      }
    }
  }

  std::vector<bool> inEdit(base.size(), false);
  for (size_t origin : origins) {
    if (origin < base.size()) inEdit[origin] = true;
  }
  // The rows added elsewhere, by the loaded row they follow (+1; 0: the start).
  std::vector<std::vector<const RegisterRow*>> addedAfter(base.size() + 1);
  size_t after = 0;
  for (size_t k = 0; k < current.size(); ++k) {
    if (baseOfCurrent[k] != kNewRegisterRow) {
      after = baseOfCurrent[k] + 1;
      continue;
    }
    size_t anchor = after;
    while (anchor > 0 && !inEdit[anchor - 1]) --anchor;
    addedAfter[anchor].push_back(&current[k]);
  }

  std::vector<RegisterRow> merged;
  merged.reserve(edited.size() + current.size());
  auto placeAfter = [&](size_t anchor) {
    for (const RegisterRow* row : addedAfter[anchor]) merged.push_back(*row);
    addedAfter[anchor].clear();
  };
  placeAfter(0);
  for (size_t i = 0; i < edited.size(); ++i) {
    const size_t origin = origins[i];
    const bool removedElsewhere = origin < base.size() && !stillStored[origin] && edited[i] == base[origin];
    if (!removedElsewhere) merged.push_back(edited[i]);
    if (origin < base.size()) placeAfter(origin + 1);
  }
  return merged;
}

}  // namespace crvl
