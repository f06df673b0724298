// Adapter from scanned entries to the filter test.
#include "engine/scan_filter.h"

namespace crvl {
namespace {

bool acceptsEntry(const void* context, const FindRecord& entry) {
  const EntryBlock& block = entry.block;
  if (isFolder(block)) return true;
  const std::u16string_view name =
      entry.name != nullptr ? std::u16string_view(entry.name, entry.nameLength) : std::u16string_view{};
  return filterAccepts(*static_cast<const Filter*>(context), name, block.attributes,
                       block.creationTime, block.lastAccessTime, block.lastWriteTime, block.size);
}

}  // namespace

ScanFilter makeScanFilter(const Filter& filter) noexcept {
  ScanFilter hook;
  hook.context = &filter;
  hook.accepts = acceptsEntry;
  return hook;
}

const ScanFilter* jobScanFilter(const Job& job, ScanFilter& storage) noexcept {
  if (!job.filterOn()) return nullptr;
  storage = makeScanFilter(job.filter);
  return &storage;
}

}  // namespace crvl
