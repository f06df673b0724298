// Scans of the sub-folder pairs of one folder made ahead of their turn by the scan
// pool, a few at a time (a window that moves on as the run takes them), so that memory
// stays bounded by the window whatever the folder holds. Only what a scan reads moves
// to another thread: the run takes each scan in its own order and acts on it there,
// so its actions, reports and their order are those of a scan made in turn.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "engine/entry_list.h"
#include "engine/pair_scanner.h"
#include "engine/scan_pool.h"

namespace crvl {

// One folder pair scanned ahead: its own copy of the scanner's settings, its sides
// and its action list, owned here and handed to the run whole.
struct PrefetchedPair {
  uint32_t offset = 0;  // of the folder record in the parent's list
  PairScanner scanner;
  SideState left;
  SideState right;
  EntryList list;
  PairScanResult result;
  bool made = false;  // false: the scan failed (out of memory); the run scans again
  ScanTask task;
};

class PairPrefetch {
 public:
  // Whether the folder record should be scanned ahead (the run will enter it as it is).
  using Eligible = bool (*)(const void* context, const action_record::Fields& record);

  // Looks ahead over the records of `list` after its header. `scanner`, `left` and
  // `right` are copied on this thread when a pair is submitted; `key` is the place of
  // `list`'s folder in the run's depth-first order. `window` pairs at most are ahead.
  PairPrefetch(ScanPool& pool, const EntryList& list, const PairScanner& scanner, const SideState& left,
               const SideState& right, const std::vector<uint32_t>& key, uint32_t window, Eligible eligible,
               const void* context);
  // Waits for (or withdraws) every scan still ahead.
  ~PairPrefetch();
  PairPrefetch(const PairPrefetch&) = delete;
  PairPrefetch& operator=(const PairPrefetch&) = delete;

  // The scan of the folder record at `offset` when it was made ahead (finished here),
  // else null; the window moves on past it.
  [[nodiscard]] std::unique_ptr<PrefetchedPair> take(uint32_t offset);

 private:
  void fill();

  ScanPool& pool_;
  const EntryList& list_;
  const PairScanner& scanner_;
  const SideState& left_;
  const SideState& right_;
  const std::vector<uint32_t>& key_;
  uint32_t window_;
  Eligible eligible_;
  const void* context_;
  uint32_t ahead_ = 0;  // the next record to look at
  action_record::Fields record_;
  std::deque<std::unique_ptr<PrefetchedPair>> pending_;  // submitted, in list order
};

}  // namespace crvl
