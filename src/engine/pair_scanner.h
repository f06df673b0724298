// Scanning and classification of one folder pair: both folders are listed one level
// deep, their entries paired by name, and every pair classified with an ActionCode
// into the pair's action list. The scanner never descends; the run does.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/entry_list.h"
#include "engine/provider_table.h"
#include "platform/paths.h"

namespace crvl {

class ScanPool;

enum ActionCode : uint8_t {
  kCodeConflict = 0,         // equal time within tolerance, different size
  kCodeTypeClash = 1,        // a file on one side has the name of a folder on the other
  kCodeFolderPair = 2,       // also the header record of every action list
  kCodeFolderRightOnly = 3,
  kCodeFolderLeftOnly = 4,
  kCodeFileRightOnly = 5,
  kCodeFileLeftOnly = 6,
  kCodeEqual = 7,
  kCodeDifferent = 8,        // dates ignored: sizes or contents differ
  kCodeLeftNewer = 9,
  kCodeRightNewer = 10,
  kCodeUnusableName = 11,    // an entry whose name this system cannot hold: reported with 123
};

// The scan's filter for files (folders are always kept). `accepts` answers whether the
// entry is kept. The job run adapts the job's filter to this.
struct ScanFilter {
  const void* context = nullptr;
  bool (*accepts)(const void* context, const FindRecord& entry) = nullptr;
};

// One side of the run: its open handle, its slot's kind and capabilities, and the
// folder currently being synchronised.
struct SideState {
  ProviderHandle* handle = nullptr;
  int32_t kind = kProviderFree;
  ProviderCapabilities capabilities = 0;
  std::u16string path;
  // What opening the side removed from the front of its path (a plug-in's three
  // separators and name): reports put it back, so that the log names plug-in paths.
  std::u16string logPrefix;
};

// The slot of a side's handle, or null when the side has no handle.
[[nodiscard]] inline FileSystemProvider* sideSlot(const SideState& side) noexcept { return slotOf(side.handle); }

// The stop word: the control word of the run's slot, written by another thread. Any
// non-zero value stops the run. Null means the run cannot be stopped.
using StopWord = const std::atomic<int32_t>*;

[[nodiscard]] inline bool stopRequested(StopWord word) noexcept {
  return word != nullptr && word->load(std::memory_order_relaxed) != 0;
}

struct PairScanner {
  std::vector<std::u16string> excludedFolders;  // folders whose listing stays empty
  EntryList* actionList = nullptr;              // the list being filled
  int32_t contentComparison = 0;  // "b" set and both sides report kCapDirectContents
  int32_t ignoreDate = 0;         // "nd"
  int32_t toleranceCode = 0;      // 2 for "2s", plus 100 for "1h"
  // The coarser time resolution of the two sides, in file-time units (0 or 1: exact):
  // times are compared cut to whole multiples of it, so that a side that keeps whole
  // seconds only never reads as older than a local file with a sub-second part.
  uint64_t timeResolution = 0;
  int32_t baseReference = 0;      // offset of the current pair's header record
  uint8_t currentCode = 0;
  const EntryBlock* currentLeft = nullptr;
  const EntryBlock* currentRight = nullptr;
  const ScanFilter* filter = nullptr;  // null: every file is kept
  // False: a pair of equal files makes no record, only a count (PairScanResult::
  // equalFiles). A run acts on no such pair, and in a folder where nothing changed
  // their records would be most of what the run holds.
  bool recordEqualFiles = true;
  StopWord stopWord = nullptr;
  // Where the run's lists are enlarged (the shell's main window); null: in place.
  ListEnlargementHook enlargement = nullptr;
  // Lists the left folder on one of its workers while the scanning thread lists the
  // right one; null: one after the other. Only for sides whose listing may run on
  // another thread (local folders).
  ScanPool* sidePool = nullptr;
};

// -1 when a is older, 1 when newer, 0 when equal within the tolerance code t: 1-99 are
// seconds either way; from 100 on, t mod 100 seconds and also a difference of exactly one
// hour (within those seconds) counts as equal.
[[nodiscard]] int32_t timeCompare(uint64_t a, uint64_t b, int32_t t) noexcept;

// Whether two local files differ, compared in blocks of 4096 bytes. A file that cannot
// be read makes the pair count as different.
[[nodiscard]] bool contentsDiffer(std::u16string_view pathA, std::u16string_view pathB,
                                  uint64_t sizeA, uint64_t sizeB);

// The time resolution of a side of that provider kind: loaded plug-ins are taken to
// keep whole seconds (the interface's file systems, SFTP among them, carry no more);
// local folders keep their full resolution (0).
[[nodiscard]] uint64_t sideTimeResolution(int32_t kind) noexcept;

// Decides between a left file and a right file of the same name.
[[nodiscard]] ActionCode decideFiles(const PairScanner& scanner, const EntryBlock& left,
                                     const EntryBlock& right, std::u16string_view leftPath,
                                     std::u16string_view rightPath);

// Whether a name handed over by an enumeration may be joined into a path: not empty,
// not "." or "..", no separator of either kind, no NUL.
[[nodiscard]] bool isSafeEntryName(std::u16string_view name) noexcept;

// Where a listing puts the program's own temporary files that it finds (see
// platform/temporary_files.h): they are never entries of the scan.
using TemporaryNames = std::vector<std::u16string>;

// Lists one folder through a provider into a scan list: "." and ".." and unsafe names
// are skipped, the listing stops at an entry of a foreign folder, folders are always
// kept, and files that the filter (when given) does not take are kept with the hidden
// mark. The program's temporary files are left out and, when `temporaries` is given,
// their names added there. Returns the enumeration's result.
// `listed`, when given, receives the folder's identity as the listing handed it with its
// entries (unknown when the provider tells none or the folder has no entry).
[[nodiscard]] ErrorCode scanFolder(FileSystemProvider* slot, ProviderHandle* handle,
                                   std::u16string_view folder, const ScanFilter* filter,
                                   EntryList& out, TemporaryNames* temporaries = nullptr,
                                   platform::FolderIdentity* listed = nullptr);

// What the scan of a folder pair found out about its two folders.
struct PairScanResult {
  // The listing result of each side: 0 listed (an excluded folder counts as listed and
  // empty), 3 the folder does not exist, anything else the listing failed. A side that
  // was not listed (the scan stopped, or the left listing failed) is 0.
  ErrorCode left = 0;
  ErrorCode right = 0;
  bool stopped = false;  // the stop word ended the scan
  // Pairs of equal files left out of the action list (scanner.recordEqualFiles false).
  uint32_t equalFiles = 0;
  TemporaryNames leftTemporaries;
  TemporaryNames rightTemporaries;
  // Each folder's identity as its listing read it; unknown when the side was not listed,
  // is not local, or its folder has no entries (see DescentChain, which then asks the path).
  platform::FolderIdentity leftFolder;
  platform::FolderIdentity rightFolder;

  // Whether both listings succeeded or found the folder missing: only then does the
  // action list hold records.
  [[nodiscard]] bool listed() const noexcept {
    return (left == 0 || left == kErrorPathNotFound) && (right == 0 || right == kErrorPathNotFound);
  }
};

// Scans the folder pair named by the sides' current paths into scanner.actionList
// (which the caller has emptied): the header record, then one record per pair. A
// listing that fails (any result but 0 and 3) ends the scan with the header alone.
//
// Pairing: an entry is paired with the entry of the other side that has exactly its
// name; only entries without such an exact twin are paired without regard to case
// (the first free one whose name is namesEqual), so that names differing only in case
// stay apart where the file system keeps them apart. No entry is paired twice. A pair
// in which either file is hidden by the filter makes no record: neither file is
// touched. A hidden file without a twin makes no record either.
[[nodiscard]] PairScanResult scanPair(PairScanner& scanner, const SideState& left,
                                      const SideState& right);


}  // namespace crvl
