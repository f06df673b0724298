#include "engine/pair_prefetch.h"

#include <new>

namespace crvl {
namespace {

void scanAhead(void* context) noexcept {
  auto* pair = static_cast<PrefetchedPair*>(context);
  try {
    pair->scanner.actionList = &pair->list;
    pair->result = scanPair(pair->scanner, pair->left, pair->right);
    pair->made = true;
  } catch (...) {
    pair->made = false;  // scanned again in its turn, where a failure ends the run as before
  }
  pair->scanner.actionList = nullptr;
}

}  // namespace

PairPrefetch::PairPrefetch(ScanPool& pool, const EntryList& list, const PairScanner& scanner,
                           const SideState& left, const SideState& right, const std::vector<uint32_t>& key,
                           uint32_t window, Eligible eligible, const void* context)
    : pool_(pool), list_(list), scanner_(scanner), left_(left), right_(right), key_(key),
      window_(window), eligible_(eligible), context_(context), ahead_(list.next(0)) {
  fill();
}

PairPrefetch::~PairPrefetch() {
  for (const std::unique_ptr<PrefetchedPair>& pair : pending_) pool_.finish(pair->task);
}

void PairPrefetch::fill() {
  while (pending_.size() < window_ && ahead_ < list_.byteSize()) {
    const uint32_t offset = ahead_;
    ahead_ = list_.next(ahead_);
    if (list_.at(offset)[action_record::kCodeOffset] != kCodeFolderPair) continue;
    action_record::load(list_, offset, record_);
    if (!eligible_(context_, record_)) continue;
    auto pair = std::unique_ptr<PrefetchedPair>(new (std::nothrow) PrefetchedPair);
    if (pair == nullptr) return;
    pair->offset = offset;
    pair->scanner = scanner_;
    pair->scanner.actionList = nullptr;
    pair->scanner.sidePool = nullptr;  // both sides on the worker that takes it
    pair->left = left_;
    pair->right = right_;
    pair->left.path = record_.leftName;
    pair->right.path = record_.rightName;
    pair->list = EntryList(/*growInPlace=*/false, scanner_.enlargement);
    pair->task.run = &scanAhead;
    pair->task.context = pair.get();
    pair->task.key = key_;
    pair->task.key.push_back(offset);
    pending_.push_back(std::move(pair));
    pool_.submit(pending_.back()->task);
  }
}

std::unique_ptr<PrefetchedPair> PairPrefetch::take(uint32_t offset) {
  // Scans ahead of a record the run passed by are of no use any more.
  while (!pending_.empty() && pending_.front()->offset < offset) {
    pool_.finish(pending_.front()->task);
    pending_.pop_front();
  }
  std::unique_ptr<PrefetchedPair> taken;
  if (!pending_.empty() && pending_.front()->offset == offset) {
    taken = std::move(pending_.front());
    pending_.pop_front();
  }
  fill();  // the workers go on with the next pairs while this one is awaited
  if (taken != nullptr) pool_.finish(taken->task);
  return taken;
}

}  // namespace crvl
