#include "engine/pair_scanner.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "platform/paths.h"
#include "platform/text.h"
#include "os_traits.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/temporary_files.h"
#include "engine/scan_pool.h"

namespace crvl {
namespace {

constexpr uint32_t kNoEntry = 0xFFFFFFFFu;

uint64_t saturatingAdd(uint64_t a, uint64_t b) noexcept {
  return a > std::numeric_limits<uint64_t>::max() - b ? std::numeric_limits<uint64_t>::max() : a + b;
}

int32_t compareWithin(uint64_t a, uint64_t b, int32_t seconds) noexcept {
  if (seconds <= 0) return a < b ? -1 : (a > b ? 1 : 0);
  const uint64_t slack = static_cast<uint64_t>(seconds) * kFileTimeSecond;
  if (saturatingAdd(a, slack) < b) return -1;
  if (saturatingAdd(b, slack) < a) return 1;
  return 0;
}

constexpr uint64_t kHashStart = 1469598103934665603ull;

uint64_t hashStep(uint64_t h, char16_t c) noexcept { return (h ^ static_cast<uint64_t>(c)) * 1099511628211ull; }

uint64_t hashKey(std::u16string_view key) noexcept {
  uint64_t h = kHashStart;
  for (char16_t c : key) h = hashStep(h, c);
  return h;
}

// The hash of the fold key of a stored name, read straight from the record when the
// name is plain ASCII (whose fold key is its lower case); other names go through the
// full fold key, which gives the same hash for ASCII.
uint64_t storedNameHash(const uint8_t* p, const uint8_t* end, std::u16string& name, std::u16string& key) {
  uint64_t h = kHashStart;
  for (const uint8_t* q = p; q + 1 < end; q += 2) {
    const char16_t c = loadField<char16_t>(q);
    if (c == 0) return h;
    if (c >= 0x80) {
      loadName(p, end, name);
      key.clear();
      platform::appendFoldKey(name, key);
      return hashKey(key);
    }
    h = hashStep(h, c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c);
  }
  return h;
}

// True when the stored name is exactly `name` (the terminator follows it).
bool storedNameIs(const uint8_t* p, const uint8_t* end, std::u16string_view name) noexcept {
  const size_t bytes = 2 * name.size();
  if (end < p || static_cast<size_t>(end - p) < bytes + 2) return false;
  return std::memcmp(p, name.data(), bytes) == 0 && p[bytes] == 0 && p[bytes + 1] == 0;
}

// A hash index over the names of one scan list, chains kept in list order so that the
// first match found is the first matching entry of the list.
class NameIndex {
 public:
  void build(const EntryList& list, std::u16string& name, std::u16string& key) {
    const uint32_t n = list.count();
    slots_.clear();
    slots_.reserve(n);
    // One bucket per entry at most: chains stay short, and the heads cost four bytes an
    // entry rather than eight to sixteen.
    uint32_t buckets = 16;
    while (buckets < n) buckets <<= 1;
    mask_ = buckets - 1;
    heads_.assign(buckets, kNoEntry);
    const uint8_t* end = list.data() + list.byteSize();
    for (uint32_t off = 0; off < list.byteSize() && slots_.size() < n; off = list.next(off)) {
      const uint64_t h = storedNameHash(list.at(off) + scan_entry::kNameOffset, end, name, key);
      slots_.push_back({static_cast<uint32_t>(h), off, kNoEntry});
    }
    // Chains linked from the back so that each runs in list order.
    for (uint32_t position = static_cast<uint32_t>(slots_.size()); position-- > 0;) {
      uint32_t& head = heads_[slots_[position].hash & mask_];
      slots_[position].next = head;
      head = position;
    }
  }

  [[nodiscard]] size_t size() const noexcept { return slots_.size(); }
  [[nodiscard]] uint32_t offset(size_t position) const noexcept { return slots_[position].offset; }
  [[nodiscard]] uint32_t hash(size_t position) const noexcept { return slots_[position].hash; }

  // The offset of the first entry whose name is exactly `name` (h: its hash), or kNoEntry.
  [[nodiscard]] uint32_t findExact(const EntryList& list, std::u16string_view name, uint32_t h) const {
    const uint8_t* end = list.data() + list.byteSize();
    for (uint32_t p = heads_[h & mask_]; p != kNoEntry; p = slots_[p].next) {
      const Slot& slot = slots_[p];
      if (slot.hash == h && storedNameIs(list.at(slot.offset) + scan_entry::kNameOffset, end, name)) {
        return slot.offset;
      }
    }
    return kNoEntry;
  }

  // The offset of the first entry whose name is namesEqual to `name` (h: its hash) and
  // for which `eligible(offset, storedName, hash)` holds, or kNoEntry.
  template <typename Eligible>
  [[nodiscard]] uint32_t findFolded(const EntryList& list, std::u16string_view name, uint32_t h,
                                    std::u16string& scratch, Eligible eligible) const {
    const uint8_t* end = list.data() + list.byteSize();
    for (uint32_t p = heads_[h & mask_]; p != kNoEntry; p = slots_[p].next) {
      const Slot& slot = slots_[p];
      if (slot.hash != h) continue;
      loadName(list.at(slot.offset) + scan_entry::kNameOffset, end, scratch);
      if (platform::namesEqual(name, scratch) && eligible(slot.offset, scratch, h)) return slot.offset;
    }
    return kNoEntry;
  }

 private:
  // Hash (its low half: names are still compared on a match), record offset and chain
  // link together: a lookup touches one place per entry, twelve bytes.
  struct Slot {
    uint32_t hash;
    uint32_t offset;
    uint32_t next;
  };
  std::vector<Slot> slots_;
  std::vector<uint32_t> heads_;
  uint32_t mask_ = 0;
};

struct ScanContext {
  std::u16string_view folder;
  const ScanFilter* filter;
  EntryList* out;
  TemporaryNames* temporaries;
  platform::FolderIdentity* listed;
};

bool sameFolder(const char16_t* given, std::u16string_view folder) {
  if (given == nullptr) return true;
  const std::u16string_view g(given);
  if (g.size() == folder.size() && std::memcmp(g.data(), folder.data(), 2 * g.size()) == 0) return true;
  return platform::namesEqual(g, folder);
}

// Unsafe only for a '\', which POSIX names may hold and which separates paths here. Such
// an entry is kept only to be reported, never joined into a path, so even a name whose
// parts would climb out of the folder once split ("..\x") is reported, not dropped.
bool holdsOnlyForeignSeparator(std::u16string_view name) noexcept {
  if (!os::kBackslashSeparates || name == u"." || name == u"..") return false;
  return name.find(u'\\') != name.npos && name.find(u'/') == name.npos && name.find(u'\0') == name.npos;
}

int32_t scanConsumer(void* data, const FindRecord& entry) {
  auto* context = static_cast<ScanContext*>(data);
  if (entry.name == nullptr) return 0;
  const std::u16string_view name(entry.name, entry.nameLength);
  if (name == u"." || name == u"..") return 0;
  if (!sameFolder(entry.folderPath, context->folder)) return 1;
  if (entry.folderIdentity != nullptr && context->listed != nullptr) *context->listed = *entry.folderIdentity;
  const bool folder = isFolder(entry.block);
  // A name that could reach outside the folder is never joined into a path; one that
  // merely holds '\' here (made on a POSIX side) is kept to be reported.
  if (!isSafeEntryName(name)) {
    if (holdsOnlyForeignSeparator(name)) {
      (void)scan_entry::append(*context->out, entry.block, name, scan_entry::kUnusable);
    }
    return 0;
  }
  // The program's own temporary files are no user files: never paired, copied or deleted.
  if (!folder && platform::isTemporaryName(name)) {
    if (context->temporaries != nullptr) {
      try {
        context->temporaries->emplace_back(name);
      } catch (const std::bad_alloc&) {
      }
    }
    return 0;
  }
  uint8_t marks = 0;
  if (!folder && context->filter != nullptr && context->filter->accepts != nullptr &&
      !context->filter->accepts(context->filter->context, entry)) {
    marks = scan_entry::kHidden;
  }
  (void)scan_entry::append(*context->out, entry.block, name, marks);  // dropped when memory runs out
  return 0;
}

// Excluded folders are compared by the file system's own rule for names: exactly on
// POSIX, where "Private" and "private" are two folders.
bool isExcluded(const PairScanner& scanner, std::u16string_view path) {
  for (const std::u16string& folder : scanner.excludedFolders) {
    if (!folder.empty() && platform::sameFolderPath(folder, path)) return true;
  }
  return false;
}

EntryBlock folderBlock() noexcept {
  EntryBlock block;
  block.attributes = kFolderAttribute;
  return block;
}

// Everything one pair scan works with; the strings are reused for every entry.
struct PairWork {
  PairScanner& scanner;
  const SideState& left;
  const SideState& right;
  EntryList leftList;
  EntryList rightList;
  NameIndex leftIndex;
  NameIndex rightIndex;
  std::u16string leftCompareBase;
  std::u16string rightCompareBase;
  std::u16string name;
  std::u16string scratch;
  std::u16string otherName;
  std::u16string leftPath;
  std::u16string rightPath;
  std::u16string key;
  uint32_t equalFiles = 0;  // pairs of equal files counted, not recorded
};

void record(PairWork& w, uint8_t code, int32_t base, const EntryBlock& left, const EntryBlock& right,
            std::u16string_view leftName, std::u16string_view rightName) {
  w.scanner.currentCode = code;
  w.scanner.currentLeft = &left;
  w.scanner.currentRight = &right;
  (void)action_record::append(*w.scanner.actionList, code, base, left, right, leftName, rightName);
  w.scanner.currentLeft = nullptr;
  w.scanner.currentRight = nullptr;
}

// A record for an entry of X that has no partner in Y: a file is recorded by name, a
// folder by the full paths it has and would have on both sides.
void recordAlone(PairWork& w, bool xIsLeft, bool folders, const EntryBlock& block) {
  if (!folders) {
    const EntryBlock none{};
    if (xIsLeft) {
      record(w, kCodeFileLeftOnly, w.scanner.baseReference, block, none, w.name, {});
    } else {
      record(w, kCodeFileRightOnly, w.scanner.baseReference, none, block, {}, w.name);
    }
    return;
  }
  const EntryBlock absent = folderBlock();
  platform::joinPath(w.left.path, w.name, w.leftPath);
  platform::joinPath(w.right.path, w.name, w.rightPath);
  if (xIsLeft) {
    record(w, kCodeFolderLeftOnly, 0, block, absent, w.leftPath, w.rightPath);
  } else {
    record(w, kCodeFolderRightOnly, 0, absent, block, w.leftPath, w.rightPath);
  }
}

// A record for a matched pair, left side first whichever pass found it.
void recordPair(PairWork& w, const EntryBlock& l, const EntryBlock& r, std::u16string_view ln,
                std::u16string_view rn) {
  const bool leftFolder = isFolder(l);
  if (leftFolder != isFolder(r)) {
    record(w, kCodeTypeClash, w.scanner.baseReference, l, r, ln, rn);
  } else if (leftFolder) {
    platform::joinPath(w.left.path, ln, w.leftPath);
    platform::joinPath(w.right.path, rn, w.rightPath);
    record(w, kCodeFolderPair, 0, l, r, w.leftPath, w.rightPath);
  } else {
    if (w.scanner.contentComparison != 0) {
      platform::joinPath(w.leftCompareBase, ln, w.leftPath);
      platform::joinPath(w.rightCompareBase, rn, w.rightPath);
    }
    const ActionCode code = decideFiles(w.scanner, l, r, w.leftPath, w.rightPath);
    if (code == kCodeEqual && !w.scanner.recordEqualFiles) {
      w.scanner.currentCode = code;
      ++w.equalFiles;
      return;
    }
    record(w, code, w.scanner.baseReference, l, r, ln, rn);
  }
}

bool isPaired(const uint8_t* entry) noexcept { return (entry[scan_entry::kPairedOffset] & scan_entry::kPaired) != 0; }
bool isHidden(const uint8_t* entry) noexcept { return (entry[scan_entry::kPairedOffset] & scan_entry::kHidden) != 0; }

// One pass over list X against list Y, over its files or over its folders. Each free
// entry is paired with the entry of Y that has exactly its name; without one, with the
// first free entry of Y whose name matches without regard to case and that has no exact
// twin in X. An entry with no partner is recorded alone, unless the filter hides it; a
// pair with a hidden file is marked but not recorded.
void pass(PairWork& w, bool xIsLeft, bool folders) {
  EntryList& x = xIsLeft ? w.leftList : w.rightList;
  EntryList& y = xIsLeft ? w.rightList : w.leftList;
  const NameIndex& xIndex = xIsLeft ? w.leftIndex : w.rightIndex;
  const NameIndex& yIndex = xIsLeft ? w.rightIndex : w.leftIndex;
  const uint8_t* xEnd = x.data() + x.byteSize();
  const uint8_t* yEnd = y.data() + y.byteSize();
  // A candidate of Y that differs in case only: free, and not the exact twin of another
  // entry of X (that entry has the first claim on it).
  const auto foldEligible = [&](uint32_t offset, std::u16string_view storedName, uint32_t h) {
    return !isPaired(y.at(offset)) && xIndex.findExact(x, storedName, h) == kNoEntry;
  };
  for (size_t i = 0; i < xIndex.size(); ++i) {
    if (stopRequested(w.scanner.stopWord)) return;
    uint8_t* entry = x.at(xIndex.offset(i));
    const EntryBlock block = loadBlock(entry + scan_entry::kBlockOffset);
    if (isFolder(block) != folders || isPaired(entry)) continue;
    loadName(entry + scan_entry::kNameOffset, xEnd, w.name);
    if ((entry[scan_entry::kPairedOffset] & scan_entry::kUnusable) != 0) {
      entry[scan_entry::kPairedOffset] |= scan_entry::kPaired;
      const EntryBlock none{};
      record(w, kCodeUnusableName, w.scanner.baseReference, xIsLeft ? block : none, xIsLeft ? none : block,
             xIsLeft ? std::u16string_view(w.name) : std::u16string_view(),
             xIsLeft ? std::u16string_view() : std::u16string_view(w.name));
      continue;
    }
    const uint32_t h = xIndex.hash(i);
    uint32_t match = yIndex.findExact(y, w.name, h);
    if (match == kNoEntry) match = yIndex.findFolded(y, w.name, h, w.scratch, foldEligible);
    if (match == kNoEntry) {
      if (!isHidden(entry)) recordAlone(w, xIsLeft, folders, block);
      continue;
    }
    uint8_t* other = y.at(match);
    if (isPaired(other)) continue;  // two listed entries of the same name: the first counts
    other[scan_entry::kPairedOffset] |= scan_entry::kPaired;
    entry[scan_entry::kPairedOffset] |= scan_entry::kPaired;
    // A file that the filter hides on one side keeps its twin on the other side as it is.
    if (isHidden(entry) || isHidden(other)) continue;
    const EntryBlock otherBlock = loadBlock(other + scan_entry::kBlockOffset);
    loadName(other + scan_entry::kNameOffset, yEnd, w.otherName);
    if (xIsLeft) {
      recordPair(w, block, otherBlock, w.name, w.otherName);
    } else {
      recordPair(w, otherBlock, block, w.otherName, w.name);
    }
  }
}

// The base folder for content comparison: the provider's translation when it gives one.
void compareBase(const SideState& side, std::u16string& out) {
  out = side.path;
  std::u16string translated;
  if (callTranslatePath(sideSlot(side), side.handle, side.path, translated) == 0 &&
      !translated.empty()) {
    out = std::move(translated);
  }
}

// The listing of one side of a pair, made on the scanning thread or on a worker of the
// side pool.
struct SideListing {
  const PairScanner* scanner = nullptr;
  const SideState* side = nullptr;
  EntryList* into = nullptr;
  TemporaryNames temporaries{};
  platform::FolderIdentity identity{};
  ErrorCode code = 0;
  bool stopped = false;
  bool goesOn = false;  // listed, excluded, or missing: the scan goes on
};

void listSide(SideListing& l) noexcept {
  try {
    if (stopRequested(l.scanner->stopWord)) {
      l.stopped = true;
      return;
    }
    if (isExcluded(*l.scanner, l.side->path)) {
      l.goesOn = true;
      return;
    }
    l.code = scanFolder(sideSlot(*l.side), l.side->handle, l.side->path, l.scanner->filter, *l.into,
                        &l.temporaries, &l.identity);
    if (l.code == kErrorContinue) l.code = 0;
  } catch (...) {
    l.code = kErrorNotEnoughMemory;  // a listing that could not be kept is a failed one
  }
  l.goesOn = l.code == 0 || l.code == kErrorPathNotFound;
}

void listSideTask(void* context) noexcept { listSide(*static_cast<SideListing*>(context)); }

// Lists both sides: the left first, the right only when the left went on (as the scan
// needs it); with a side pool, both at once and the right forgotten when the left did
// not go on. False when the scan ends here.
bool listSides(PairWork& w, PairScanResult& result) {
  SideListing left{&w.scanner, &w.left, &w.leftList};
  SideListing right{&w.scanner, &w.right, &w.rightList};
  ScanPool* pool = w.scanner.sidePool;
  if (pool != nullptr && pool->hasWorkers()) {
    ScanTask task;
    task.run = &listSideTask;
    task.context = &left;
    pool->submit(task);
    listSide(right);
    pool->finish(task);
  } else {
    listSide(left);
    if (left.goesOn) listSide(right);
  }
  result.left = left.code;
  result.leftTemporaries = std::move(left.temporaries);
  result.leftFolder = left.identity;
  if (left.stopped || !left.goesOn) {
    result.stopped = left.stopped;
    w.rightList.clear();
    return false;
  }
  result.right = right.code;
  result.rightTemporaries = std::move(right.temporaries);
  result.rightFolder = right.identity;
  result.stopped = right.stopped;
  return right.goesOn;
}

}  // namespace

int32_t timeCompare(uint64_t a, uint64_t b, int32_t t) noexcept {
  if (t <= 0) return a < b ? -1 : (a > b ? 1 : 0);
  // Codes from 100 on carry the one-hour rule, "1h" alone (100) included.
  if (t < 100) return compareWithin(a, b, t);
  const int32_t seconds = t % 100;
  const int32_t r = compareWithin(a, b, seconds);
  if (r == 0) return 0;
  if (compareWithin(saturatingAdd(a, kFileTimeHour), b, seconds) == 0 ||
      compareWithin(a, saturatingAdd(b, kFileTimeHour), seconds) == 0) {
    return 0;
  }
  return r;
}

bool contentsDiffer(std::u16string_view pathA, std::u16string_view pathB, uint64_t sizeA, uint64_t sizeB) {
  if (sizeA != sizeB) return true;
  platform::ReadOnlyMapping a;
  platform::ReadOnlyMapping b;
  // Files that cannot be read are never taken as equal.
  if (a.map(pathA) != 0 || b.map(pathB) != 0) return true;
  if (a.size() != b.size()) return true;
  if (a.data() == nullptr || b.data() == nullptr) return false;
  for (uint64_t done = 0; done < a.size();) {
    const size_t piece = static_cast<size_t>(std::min<uint64_t>(4096, a.size() - done));
    if (std::memcmp(a.data() + done, b.data() + done, piece) != 0) return true;
    done += piece;
  }
  return false;
}

uint64_t sideTimeResolution(int32_t kind) noexcept { return kind == kProviderPlugin ? kFileTimeSecond : 0; }

ActionCode decideFiles(const PairScanner& scanner, const EntryBlock& left, const EntryBlock& right,
                       std::u16string_view leftPath, std::u16string_view rightPath) {
  const bool sameSize = left.size == right.size;
  if (scanner.ignoreDate != 0) {
    if (!sameSize) return kCodeDifferent;
    if (scanner.contentComparison == 0) return kCodeEqual;
    return contentsDiffer(leftPath, rightPath, left.size, right.size) ? kCodeDifferent : kCodeEqual;
  }
  const uint64_t unit = scanner.timeResolution > 1 ? scanner.timeResolution : 1;
  const int32_t r = timeCompare(left.lastWriteTime / unit * unit, right.lastWriteTime / unit * unit,
                                scanner.toleranceCode);
  if (r == 0) return sameSize ? kCodeEqual : kCodeConflict;
  if (scanner.contentComparison != 0 && sameSize &&
      !contentsDiffer(leftPath, rightPath, left.size, right.size)) {
    return kCodeEqual;
  }
  return r > 0 ? kCodeLeftNewer : kCodeRightNewer;
}

bool isSafeEntryName(std::u16string_view name) noexcept {
  if (name.empty() || name == u"." || name == u"..") return false;
  for (char16_t c : name) {
    if (c == 0 || c == u'/' || (os::kBackslashSeparates && c == u'\\')) return false;
  }
  return true;
}

ErrorCode scanFolder(FileSystemProvider* slot, ProviderHandle* handle, std::u16string_view folder,
                     const ScanFilter* filter, EntryList& out, TemporaryNames* temporaries,
                     platform::FolderIdentity* listed) {
  if (listed != nullptr) *listed = platform::FolderIdentity{};
  ScanContext context{folder, filter, &out, temporaries, listed};
  return callEnumerate(slot, handle, folder, &scanConsumer, &context);
}


PairScanResult scanPair(PairScanner& scanner, const SideState& left, const SideState& right) {
  PairScanResult result;
  EntryList& list = *scanner.actionList;
  const EntryBlock header = folderBlock();
  const int64_t headerOffset =
      action_record::append(list, kCodeFolderPair, 0, header, header, left.path, right.path);
  scanner.baseReference = headerOffset >= 0 ? static_cast<int32_t>(headerOffset) : 0;

  PairWork w{scanner, left, right, EntryList(/*growInPlace=*/false, scanner.enlargement),
             EntryList(/*growInPlace=*/false, scanner.enlargement), {}, {}, {}, {}, {}, {}, {}, {}, {}, {}};
  if (!listSides(w, result)) return result;
  if (stopRequested(scanner.stopWord)) {
    result.stopped = true;
    return result;
  }

  w.leftIndex.build(w.leftList, w.name, w.key);
  w.rightIndex.build(w.rightList, w.name, w.key);
  if (scanner.contentComparison != 0) {
    compareBase(left, w.leftCompareBase);
    compareBase(right, w.rightCompareBase);
  }
  pass(w, /*xIsLeft=*/true, /*folders=*/false);
  pass(w, /*xIsLeft=*/false, /*folders=*/false);
  pass(w, /*xIsLeft=*/true, /*folders=*/true);
  pass(w, /*xIsLeft=*/false, /*folders=*/true);
  result.equalFiles = w.equalFiles;
  result.stopped = stopRequested(scanner.stopWord);
  return result;
}

}  // namespace crvl
