// The job run: pairs in order, the top-level pair around the handles, and the
// recursive synchronisation of one folder pair with its two walks.
#include "engine/job_run.h"

#include <algorithm>

#include "engine/actions.h"
#include "engine/copy_pool.h"
#include "engine/descent_chain.h"
#include "engine/pair_prefetch.h"
#include "engine/scan_pool.h"
#include "engine/top_folder.h"
#include "os_traits.h"
#include "platform/paths.h"
#include "jobs/path_macros.h"
#include "engine/scan_filter.h"
#include "language/language_table.h"
#include "platform/temporary_files.h"
#include "resources/string_ids.h"

namespace crvl {

namespace {

bool has(OptionFlags flags, OptionFlags bit) noexcept { return (flags & bit) != 0; }

constexpr OptionFlags kChangesLeft = kOptAddLeft | kOptUpdateLeft | kOptDeleteFilesLeft | kOptDeleteFoldersLeft;
constexpr OptionFlags kChangesRight = kOptAddRight | kOptUpdateRight | kOptDeleteFilesRight |
                                      kOptDeleteFoldersRight | kOptCopyConflictRight | kOptCopyDifferentRight;

// How one folder pair is visited. A side "must exist" unless the parent listing showed
// it absent (a one-sided folder); a must-exist side that turns out missing is a failure,
// and then nothing on the other side may be deleted, in this pair or below it: an
// unmounted disk or a mistyped path must never read as an empty folder.
struct PairVisit {
  bool leftMustExist = true;
  bool rightMustExist = true;
  bool keepLeft = false;   // no deletion on the left, here and below
  bool keepRight = false;  // no deletion on the right, here and below
};

// Everything one run keeps besides the JobRun itself.
struct RunContext {
  JobRun& run;
  ProviderTable& table;
  ScanFilter scanFilter;
  DescentChain chain;
  CopyPool& copies;
  bool leftChanged = false;   // the options may change the left side
  bool rightChanged = false;  // the options may change the right side
  std::unique_ptr<ScanPool> scanPool{};  // the run's scan threads, when it has more than one
  ScanPool* pool = nullptr;   // scans sub-folder pairs ahead; null: each in its turn
  uint32_t window = 0;        // sub-folder pairs of one folder scanned ahead at most
  // The place of the folder pair being synchronised in the run's depth-first order: the
  // offsets of the folder records that led to it.
  std::vector<uint32_t> key{};
};

// Enters the folder record at `offset` of the current level for the depth-first key.
class KeyStep {
 public:
  KeyStep(RunContext& ctx, uint32_t offset) : key_(ctx.key) { key_.push_back(offset); }
  ~KeyStep() { key_.pop_back(); }
  KeyStep(const KeyStep&) = delete;
  KeyStep& operator=(const KeyStep&) = delete;

 private:
  std::vector<uint32_t>& key_;
};

bool isExcluded(const RunContext& ctx, std::u16string_view path) {
  for (const std::u16string& folder : ctx.run.sync.scanner.excludedFolders) {
    if (!folder.empty() && platform::sameFolderPath(path, folder)) return true;
  }
  return false;
}

bool isLink(const EntryBlock& block) noexcept { return isLinkEntry(block.attributes); }

// A file copy of the first walk: to the workers when the pool takes it, else by the
// run thread once the copies queued before it have been reported.
void copyFile(RunContext& ctx, const std::shared_ptr<const EntryList>& list, uint32_t offset,
              CopyDirection direction, const EntryBlock& source) {
  ctx.copies.queue(list, offset, direction, source);
}

// Reports a record as it stands (markers 0, 1 and 8): the names as the record holds them.
void reportRecordOnly(SyncRun& sync, int32_t marker, const action_record::Fields& record) {
  sync.errorText.clear();
  report(sync, marker, LogText(record.leftName), LogText(record.rightName));
}

// Reports a side of a pair that could not be used, with the message of `code`.
void reportSideFailure(SyncRun& sync, Side side, std::u16string_view path, ErrorCode code) {
  sync.errorText.clear();
  (void)accountResult(sync, code);
  report(sync, kMarkerSideUnavailable, side == Side::Left ? LogText(path) : LogText(),
         side == Side::Right ? LogText(path) : LogText());
}

// An entry whose name this system cannot hold is reported, with 123, as the action the
// job would take on it: its copy to the other side or its deletion. Nothing is done.
void reportUnusableName(SyncRun& sync, const EntryList& list, uint32_t offset, const action_record::Fields& record,
                        OptionFlags f) {
  const bool onLeft = !record.leftName.empty();
  const bool folder = isFolder(onLeft ? record.left : record.right);
  const bool add = has(f, onLeft ? kOptAddRight : kOptAddLeft);
  const bool remove = has(f, onLeft ? (folder ? kOptDeleteFoldersLeft : kOptDeleteFilesLeft)
                                    : (folder ? kOptDeleteFoldersRight : kOptDeleteFilesRight));
  if (!add && !remove) return;
  std::u16string leftPath, rightPath;
  recordPaths(list, offset, leftPath, rightPath);
  int32_t marker = folder ? kMarkerFolderRemoved : kMarkerFileDeleted;
  if (add) marker = folder ? kMarkerFolderNotCreated : (onLeft ? kMarkerCopiedNewRight : kMarkerCopiedNewLeft);
  sync.errorText.clear();
  (void)accountResult(sync, kErrorInvalidName);
  const bool both = add;  // a copy names both sides
  report(sync, marker, onLeft || both ? LogText(leftPath) : LogText(), !onLeft || both ? LogText(rightPath) : LogText());
}

// Removes the temporary files that a killed run left in a folder this run may change.
void sweepTemporaries(RunContext& ctx, const SideState& side, bool changed, const TemporaryNames& names) {
  if (names.empty() || !changed || ctx.run.sync.execute == 0 || side.kind != kProviderLocal) return;
  std::u16string path;
  for (const std::u16string& name : names) {
    platform::joinPath(side.path, name, path);
    (void)platform::removeAbandonedTemporary(path);  // one still being written stays
  }
}

void syncFolderPair(RunContext& ctx, std::u16string_view leftPath, std::u16string_view rightPath,
                    const PairVisit& visit, std::unique_ptr<PrefetchedPair> ahead = nullptr);

// First walk: every file record (codes 0, 1, 5, 6, 8, 9, 10). Copies may run on the
// copy pool's workers, and a record that is only reported waits behind them in the
// pool's order; a deletion waits until the copies before it have been reported, so
// that no file is deleted while an earlier copy may still fail or be stopped.
void fileWalk(RunContext& ctx, const std::shared_ptr<const EntryList>& held, const PairVisit& visit) {
  const EntryList& list = *held;
  SyncRun& sync = ctx.run.sync;
  const OptionFlags f = ctx.run.job.optionFlags;
  CopyPool& copies = ctx.copies;
  action_record::Fields record;
  for (uint32_t offset = list.next(0); offset < list.byteSize(); offset = list.next(offset)) {
    if (stopRequested(sync)) return;
    action_record::load(list, offset, record);
    switch (record.code) {
      case kCodeConflict:
        if (has(f, kOptCopyConflictRight)) {
          copyFile(ctx, held, offset, CopyDirection::ToRight, record.left);
        } else {
          reportRecordOnly(sync, kMarkerConflict, record);
        }
        break;
      case kCodeTypeClash:
        reportRecordOnly(sync, kMarkerTypeClash, record);
        break;
      case kCodeUnusableName:
        reportUnusableName(sync, list, offset, record, f);
        break;
      case kCodeFileRightOnly: {
        const bool add = has(f, kOptAddLeft);
        if (add) copyFile(ctx, held, offset, CopyDirection::ToLeft, record.right);
        // A file brought to the left stays on the right.
        if (!add && has(f, kOptDeleteFilesRight) && !visit.keepRight && !stopRequested(sync)) {
          copies.drain();
          (void)deleteOrphanFile(sync, list, offset, false, true);
        }
        break;
      }
      case kCodeFileLeftOnly: {
        const bool add = has(f, kOptAddRight);
        if (add) copyFile(ctx, held, offset, CopyDirection::ToRight, record.left);
        if (!add && has(f, kOptDeleteFilesLeft) && !visit.keepLeft && !stopRequested(sync)) {
          copies.drain();
          (void)deleteOrphanFile(sync, list, offset, true, false);
        }
        break;
      }
      case kCodeDifferent:
        if (has(f, kOptCopyDifferentRight)) {
          copyFile(ctx, held, offset, CopyDirection::ToRight, record.left);
        } else {
          reportRecordOnly(sync, kMarkerDifferent, record);
        }
        break;
      case kCodeLeftNewer:
        if (has(f, kOptUpdateRight)) copyFile(ctx, held, offset, CopyDirection::ToRight, record.left);
        break;
      case kCodeRightNewer:
        if (has(f, kOptUpdateLeft)) copyFile(ctx, held, offset, CopyDirection::ToLeft, record.right);
        break;
      default:  // folders are the second walk's; equal files need nothing
        break;
    }
  }
}

// A folder on one side only: created on the other side when an add option takes it,
// else its tree deleted when the delete option is set, else (or after creation)
// synchronised when "d+" and "d" are both set. A folder that is a link on a side the
// job changes is neither entered nor written through: it is removed as an entry when
// its deletion is asked for, and otherwise reported as a type clash and left alone.
void oneSidedFolder(RunContext& ctx, const action_record::Fields& record, Side missing, const PairVisit& visit) {
  SyncRun& sync = ctx.run.sync;
  const OptionFlags f = ctx.run.job.optionFlags;
  const bool toLeft = missing == Side::Left;
  const OptionFlags addOptions = toLeft ? (kOptUpdateLeft | kOptAddLeft)
                                        : (kOptUpdateRight | kOptAddRight);
  const OptionFlags deleteOption = toLeft ? kOptDeleteFoldersRight : kOptDeleteFoldersLeft;
  const std::u16string& missingPath = toLeft ? record.leftName : record.rightName;
  const std::u16string& presentPath = toLeft ? record.rightName : record.leftName;
  const EntryBlock& presentBlock = toLeft ? record.right : record.left;
  const bool presentChanged = toLeft ? ctx.rightChanged : ctx.leftChanged;
  const bool keepPresent = toLeft ? visit.keepRight : visit.keepLeft;

  const bool add = has(f, kOptCopyNewFolders) && has(f, addOptions);
  const bool remove = !add && has(f, deleteOption);
  if (remove) {
    // Not deleted when the other side's folder is missing where it must exist.
    if (keepPresent) return;
    ctx.copies.drain();
    (void)deleteFolderTree(sync, toLeft ? Side::Right : Side::Left, presentPath, presentBlock.attributes);
    return;
  }
  const bool descend = has(f, kOptCopyNewFolders) && has(f, kOptRecurse);
  if (!add && !descend) return;
  if (isLink(presentBlock) && presentChanged) {
    reportRecordOnly(sync, kMarkerTypeClash, record);
    return;
  }
  if (add) {
    ErrorCode r = createFolder(sync, missing, missingPath);
    if (succeeded(r)) ++ctx.run.statistics.foldersCreated;
  }
  if (!descend) return;
  PairVisit below = visit;
  below.leftMustExist = !toLeft;
  below.rightMustExist = toLeft;
  syncFolderPair(ctx, record.leftName, record.rightName, below);
  if (add && !stopRequested(sync)) ctx.copies.setFolderTimesAfterCopies(missing, missingPath, presentBlock);
}

// A folder pair of both sides scanned ahead: one the walk below enters as it stands
// (neither folder a link, so that no action of the run can change what it holds before
// its turn, and not excluded).
bool scanAhead(const void* context, const action_record::Fields& record) {
  const auto& ctx = *static_cast<const RunContext*>(context);
  return has(ctx.run.job.optionFlags, kOptRecurse) && !isLink(record.left) && !isLink(record.right) &&
         !isExcluded(ctx, record.leftName) && !isExcluded(ctx, record.rightName);
}

// Second walk: the folder records (codes 2, 3, 4), depth first.
void folderWalk(RunContext& ctx, const EntryList& list, const PairVisit& visit) {
  SyncRun& sync = ctx.run.sync;
  const OptionFlags f = ctx.run.job.optionFlags;
  action_record::Fields record;
  std::unique_ptr<PairPrefetch> ahead;
  if (ctx.pool != nullptr) {
    ahead = std::make_unique<PairPrefetch>(*ctx.pool, list, sync.scanner, sync.left, sync.right, ctx.key,
                                           ctx.window, &scanAhead, &ctx);
  }
  for (uint32_t offset = list.next(0); offset < list.byteSize(); offset = list.next(offset)) {
    if (stopRequested(sync)) return;
    sync.errorText.clear();
    action_record::load(list, offset, record);
    switch (record.code) {
      case kCodeFolderPair: {
        if (!has(f, kOptRecurse)) break;
        // A folder that is a link on a side the job changes is not entered: what lies
        // behind it is outside the pair's tree.
        if ((isLink(record.left) && ctx.leftChanged) || (isLink(record.right) && ctx.rightChanged)) {
          reportRecordOnly(sync, kMarkerTypeClash, record);
          break;
        }
        PairVisit below = visit;
        below.leftMustExist = below.rightMustExist = true;
        std::unique_ptr<PrefetchedPair> scanned = ahead != nullptr ? ahead->take(offset) : nullptr;
        const KeyStep step(ctx, offset);
        syncFolderPair(ctx, record.leftName, record.rightName, below, std::move(scanned));
        break;
      }
      case kCodeFolderRightOnly:
      case kCodeFolderLeftOnly: {
        // An excluded folder is never entered: not created, not deleted, not listed.
        if (isExcluded(ctx, record.leftName) || isExcluded(ctx, record.rightName)) break;
        const KeyStep step(ctx, offset);
        oneSidedFolder(ctx, record, record.code == kCodeFolderRightOnly ? Side::Left : Side::Right, visit);
        break;
      }
      default:
        break;
    }
  }
}

// Lists the two sides of a pair on the run thread alone while it lives: a side that the
// parent's listing showed absent is missing or has just been made, and its listing
// takes no time, so handing the other side to a scan worker only adds the hand-off.
class OwnThreadListing {
 public:
  OwnThreadListing(PairScanner& scanner, const PairVisit& visit) : scanner_(scanner), pool_(scanner.sidePool) {
    if (!visit.leftMustExist || !visit.rightMustExist) scanner_.sidePool = nullptr;
  }
  ~OwnThreadListing() { scanner_.sidePool = pool_; }
  OwnThreadListing(const OwnThreadListing&) = delete;
  OwnThreadListing& operator=(const OwnThreadListing&) = delete;

 private:
  PairScanner& scanner_;
  ScanPool* pool_;
};

void syncFolderPair(RunContext& ctx, std::u16string_view leftPath, std::u16string_view rightPath,
                    const PairVisit& visit, std::unique_ptr<PrefetchedPair> ahead) {
  if (isExcluded(ctx, leftPath) || isExcluded(ctx, rightPath)) return;
  SyncRun& sync = ctx.run.sync;
  sync.left.path.assign(leftPath);
  sync.right.path.assign(rightPath);

  // Each level keeps its own list while its sub-folders run, and the copy pool keeps it
  // until its copies are reported; like every engine list it is enlarged through the
  // enlargement hook when one is set.
  const auto held = std::make_shared<EntryList>(/*growInPlace=*/false, sync.scanner.enlargement);
  EntryList& list = *held;
  PairScanResult scanned;
  if (ahead != nullptr && ahead->made) {
    // Scanned ahead of its turn; a stop since then counts as one met by the scan.
    list = std::move(ahead->list);
    scanned = std::move(ahead->result);
    if (stopRequested(sync)) scanned.stopped = true;
  } else {
    sync.scanner.actionList = &list;
    sync.scanner.currentLeft = nullptr;
    sync.scanner.currentRight = nullptr;
    sync.scanner.currentCode = 0;
    const OwnThreadListing sides(sync.scanner, visit);
    scanned = scanPair(sync.scanner, sync.left, sync.right);
    sync.scanner.actionList = nullptr;
  }
  ahead.reset();
  if (scanned.stopped || list.byteSize() == 0) return;
  // A link back into a folder already being synchronised is not entered again. The
  // listings tell which folders they read; nothing has been done with them yet, so a
  // refused pair leaves no trace: no report, no action, no count.
  const DescentScope scope(ctx.chain, sync.left, sync.right, scanned.leftFolder, scanned.rightFolder);
  if (!scope.entered()) return;
  if (sync.folderScanned != nullptr) sync.folderScanned(sync.copyProgressContext, list, scanned.equalFiles);
  sweepTemporaries(ctx, sync.left, ctx.leftChanged, scanned.leftTemporaries);
  sweepTemporaries(ctx, sync.right, ctx.rightChanged, scanned.rightTemporaries);

  // A folder that could not be listed leaves the whole pair alone, on both sides.
  if (scanned.left != 0 && scanned.left != kErrorPathNotFound) {
    reportSideFailure(sync, Side::Left, leftPath, scanned.left);
    return;
  }
  if (scanned.right != 0 && scanned.right != kErrorPathNotFound) {
    reportSideFailure(sync, Side::Right, rightPath, scanned.right);
    return;
  }
  PairVisit here = visit;
  if (scanned.left == kErrorPathNotFound && visit.leftMustExist) {
    reportSideFailure(sync, Side::Left, leftPath, kErrorPathNotFound);
    here.keepRight = true;
  }
  if (scanned.right == kErrorPathNotFound && visit.rightMustExist) {
    reportSideFailure(sync, Side::Right, rightPath, kErrorPathNotFound);
    here.keepLeft = true;
  }

  fileWalk(ctx, held, here);
  folderWalk(ctx, list, here);
}

bool sideAvailable(const SideState& side) {
  const std::u16string root = platform::rootOf(side.path);
  return callGetAttributes(sideSlot(side), side.handle, root, nullptr) != 0xFFFFFFFFu;
}

// Whether the side's top folder is something other than a folder (a file in its place).
bool namesNonFolder(const SideState& side) {
  const uint32_t attributes = callGetAttributes(sideSlot(side), side.handle, side.path, nullptr);
  return attributes != 0xFFFFFFFFu && (attributes & kFolderAttribute) == 0;
}

// Before a top-level pair is scanned, both of its top folders reachable: a missing top
// folder that the options add to is made now, and the creation reported: a first backup
// into a new folder is no failure. It is then known to be empty, so nothing on the other
// side is deleted on its account. Any other missing top folder stays a must-exist
// failure (reported by the scan). False when the pair is to be skipped.
bool prepareTopFolder(RunContext& ctx, Side side, TopFolder state, PairVisit& visit) {
  SyncRun& sync = ctx.run.sync;
  SideState& s = side == Side::Left ? sync.left : sync.right;
  if (state != TopFolder::kMissing || !optionsAddTo(ctx.run.job.optionFlags, side == Side::Left)) return true;
  sync.errorText.clear();
  const ErrorCode r = sync.execute != 0 ? callMakeFolder(sideSlot(s), s.handle, s.path) : 0;
  const bool made = accountResult(sync, r);
  report(sync, kMarkerFolderNotCreated, side == Side::Left ? LogText(s.path) : LogText(),
         side == Side::Right ? LogText(s.path) : LogText());
  if (!made) return false;
  if (sync.execute != 0) ++ctx.run.statistics.foldersCreated;
  if (side == Side::Left) {
    visit.leftMustExist = false;
    visit.keepRight = true;
  } else {
    visit.rightMustExist = false;
    visit.keepLeft = true;
  }
  return true;
}

// Why no slot took `path`: its length when it is longer than its slot takes (a plug-in
// path, three separators and the plug-in's name, kHandlePathChars; a local path the
// system's limit), else a bad path name.
ErrorCode refusedPathCode(std::u16string_view path) {
  const size_t limit = platform::leadingSeparators(path) >= 3 ? kHandlePathChars : os::kMaxSystemPathChars;
  return path.size() > limit ? kErrorFilenameExcedRange : kErrorBadPathname;
}

void openSide(RunContext& ctx, SideState& side, std::u16string_view path, ScopedProviderHandle& owner) {
  owner = ctx.table.open(path, &ctx.run);
  ProviderHandle* handle = owner.get();
  side = SideState{};
  if (handle == nullptr) return;
  side.handle = handle;
  FileSystemProvider* slot = sideSlot(side);
  side.kind = slot != nullptr ? slot->kind : kProviderFree;
  side.capabilities = callCapabilities(slot, handle);
  // The provider works on the path without its slot prefix; the log names the path as
  // the job gives it, prefix included (three separators and a plug-in's name).
  side.path = handle->path.empty() ? std::u16string(path) : handle->path;
  if (path.size() > side.path.size() && path.ends_with(side.path)) {
    side.logPrefix.assign(path.substr(0, path.size() - side.path.size()));
  }
}

// Ends what the copy pool still runs before a top-level pair's handles are released:
// reported in order when the pair ends, abandoned when it is left by an exception.
class PairCopies {
 public:
  explicit PairCopies(CopyPool& copies) noexcept : copies_(copies) {}
  ~PairCopies() { copies_.abandon(); }
  PairCopies(const PairCopies&) = delete;
  PairCopies& operator=(const PairCopies&) = delete;
  void finish() { copies_.drain(); }

 private:
  CopyPool& copies_;
};

void syncTopLevelPair(RunContext& ctx, std::u16string_view leftPath, std::u16string_view rightPath) {
  JobRun& run = ctx.run;
  SyncRun& sync = run.sync;
  if (run.job.filterOn()) prepareFilter(run.job.filter);

  ScopedProviderHandle leftOwner, rightOwner;
  openSide(ctx, sync.left, leftPath, leftOwner);
  openSide(ctx, sync.right, rightPath, rightOwner);
  if (sync.left.handle == nullptr || sync.right.handle == nullptr) {
    // A path that no provider takes (a relative path, an unknown plug-in, a path longer
    // than its slot takes) is named in the log: a pair that did nothing must not pass
    // for one that succeeded.
    if (sync.left.handle == nullptr) reportSideFailure(sync, Side::Left, leftPath, refusedPathCode(leftPath));
    if (sync.right.handle == nullptr) reportSideFailure(sync, Side::Right, rightPath, refusedPathCode(rightPath));
    sync.left = SideState{};
    sync.right = SideState{};
    return;  // released by the owners
  }
  PairCopies copies(ctx.copies);  // ended before the owners release the handles

  sync.scanner.timeResolution =
      std::max(sideTimeResolution(sync.left.kind), sideTimeResolution(sync.right.kind));
  sync.scanner.contentComparison =
      has(run.job.optionFlags, kOptCompareContent) && (sync.left.capabilities & kCapDirectContents) &&
              (sync.right.capabilities & kCapDirectContents)
          ? 1
          : 0;

  // Only local folders are listed on other threads: a plug-in is called from the run's
  // thread alone.
  const bool bothLocal = sync.left.kind == kProviderLocal && sync.right.kind == kProviderLocal;
  ctx.pool = bothLocal ? ctx.scanPool.get() : nullptr;
  sync.scanner.sidePool = ctx.pool;

  const std::u16string leftTop = sync.left.path;
  const std::u16string rightTop = sync.right.path;
  if (!sideAvailable(sync.left)) {
    (void)accountResult(sync, kErrorNotReady);
    report(sync, kMarkerSideUnavailable, LogText(leftTop), LogText());
  } else if (!sideAvailable(sync.right)) {
    (void)accountResult(sync, kErrorNotReady);
    report(sync, kMarkerSideUnavailable, LogText(), LogText(rightTop));
  } else if (namesNonFolder(sync.left)) {
    reportSideFailure(sync, Side::Left, leftTop, kErrorDirectory);
  } else if (namesNonFolder(sync.right)) {
    reportSideFailure(sync, Side::Right, rightTop, kErrorDirectory);
  } else {
    // Both sides are looked at before either top folder is made.
    const TopFolder leftState = inspectTopFolder(sideSlot(sync.left), sync.left.handle, leftTop,
                                                 sync.left.kind == kProviderLocal);
    const TopFolder rightState = inspectTopFolder(sideSlot(sync.right), sync.right.handle, rightTop,
                                                  sync.right.kind == kProviderLocal);
    PairVisit visit;
    if (!topFolderReachable(leftState)) {
      reportSideFailure(sync, Side::Left, leftTop, topFolderError(leftState));
    } else if (!topFolderReachable(rightState)) {
      reportSideFailure(sync, Side::Right, rightTop, topFolderError(rightState));
    } else if (prepareTopFolder(ctx, Side::Left, leftState, visit) &&
               prepareTopFolder(ctx, Side::Right, rightState, visit)) {
      syncFolderPair(ctx, leftTop, rightTop, visit);
    }
  }
  copies.finish();

  FileSystemProvider* leftSlot = sideSlot(sync.left);
  FileSystemProvider* rightSlot = sideSlot(sync.right);
  if (!stopRequested(sync)) {
    (void)callFinish(leftSlot, sync.left.handle, 0, 1);
    (void)callFinish(rightSlot, sync.right.handle, 0, 1);
  } else if (callFinish(rightSlot, sync.right.handle, 0, 0) == 0) {
    (void)callFinish(leftSlot, sync.left.handle, 0, 0);
  }
  ctx.pool = nullptr;
  sync.scanner.sidePool = nullptr;
  sync.left = SideState{};
  sync.right = SideState{};
  // leftOwner and rightOwner release both handles here.
}

// Whether a pair's folders lie one inside the other (or are the same folder) without
// the inner one being excluded: such a pair would copy a tree into itself or delete
// its own source.
bool pairOverlaps(const RunContext& ctx, std::u16string_view leftPath, std::u16string_view rightPath) {
  std::u16string left(leftPath), right(rightPath);
  platform::normalizePath(left);
  platform::normalizePath(right);
  const bool leftInside = platform::pathLiesWithin(left, right);
  if (!leftInside && !platform::pathLiesWithin(right, left)) return false;
  const std::u16string& inner = leftInside ? left : right;
  const std::u16string& outer = leftInside ? right : left;
  for (const std::u16string& folder : ctx.run.sync.scanner.excludedFolders) {
    if (folder.empty()) continue;
    std::u16string excluded = folder;
    platform::normalizePath(excluded);
    if (platform::pathLiesWithin(inner, excluded) && !platform::sameFolderPath(excluded, outer)) return false;
  }
  return true;
}

void reportUnusablePair(SyncRun& sync, const FolderSides& sides, ErrorCode code) {
  sync.errorText.clear();
  (void)accountResult(sync, code);
  report(sync, kMarkerSideUnavailable, LogText(sides.left), LogText(sides.right));
}

void reportOverlap(SyncRun& sync, std::u16string_view leftPath, std::u16string_view rightPath) {
  sync.errorText = uiText(kTextOvlp);
  if (sync.errorText.empty()) (void)accountResult(sync, kErrorBadPathname);
  report(sync, kMarkerSideUnavailable, LogText(leftPath), LogText(rightPath));
}

}  // namespace

namespace {

bool resolveSide(const MediumCheck* media, std::u16string_view text, std::u16string* path, bool* eject) {
  if (media != nullptr && media->resolveSide != nullptr) return media->resolveSide(media->context, text, path, eject);
  // Without medium checks the text is the path.
  *eject = false;
  *path = !text.empty() && text[0] == u'%' ? expandPath(text) : std::u16string(text);
  platform::toNativeSeparators(*path);
  return true;
}

}  // namespace

std::vector<std::u16string> excludedFolders(const Job& job, const MediumCheck* media) {
  std::vector<std::u16string> folders;
  for (const std::u16string& pairText : job.excludedPairs) {
    FolderSides sides = splitFolderPair(pairText);
    for (std::u16string_view text : {sides.left, sides.right}) {
      std::u16string path;
      bool eject = false;
      if (!text.empty() && resolveSide(media, text, &path, &eject) && !path.empty()) {
        folders.push_back(std::move(path));
      }
    }
  }
  return folders;
}

void runJob(JobRun& run) noexcept {
  try {
    if (run.providers == nullptr) return;  // a run needs a table to reach any folder
    CopyPool copies(run.sync, run.statistics, run.copyWorkers);
    RunContext ctx{run, *run.providers, ScanFilter{}, DescentChain{}, copies};
    ctx.leftChanged = has(run.job.optionFlags, kChangesLeft);
    ctx.rightChanged = has(run.job.optionFlags, kChangesRight);
    if (run.scanThreads > 1) {
      ctx.scanPool = std::make_unique<ScanPool>(run.scanThreads);
      if (!ctx.scanPool->hasWorkers()) ctx.scanPool.reset();
      ctx.window = 2 * run.scanThreads;
    }

    PairScanner& scanner = run.sync.scanner;
    const OptionFlags f = run.job.optionFlags;
    // The hook reads the job's filter, prepared again before each top-level pair.
    scanner.filter = jobScanFilter(run.job, ctx.scanFilter);
    scanner.ignoreDate = has(f, kOptIgnoreDate) ? 1 : 0;
    scanner.toleranceCode = (has(f, kOptTwoSecondTolerance) ? 2 : 0) + (has(f, kOptIgnoreOneHour) ? 100 : 0);
    scanner.excludedFolders = excludedFolders(run.job, run.media);
    // Equal files need no action: counted, not kept (most of a no-change run's memory).
    scanner.recordEqualFiles = false;

    for (const std::u16string& pairText : run.job.includedPairs) {
      if (stopRequested(run.sync)) break;
      FolderSides sides = splitFolderPair(pairText);
      // An entry longer than a stored line, or one without its ';', is no pair this
      // program wrote: it is reported and counted, never skipped without a word.
      if (pairText.size() + 1 > kMaxFolderEntryChars || pairText.find(u';') == std::u16string::npos) {
        reportUnusablePair(run.sync, sides, pairText.size() + 1 > kMaxFolderEntryChars
                                                ? kErrorFilenameExcedRange : kErrorBadPathname);
        continue;
      }
      std::u16string leftPath, rightPath;
      bool ejectLeft = false, ejectRight = false;
      if (!resolveSide(run.media, sides.left, &leftPath, &ejectLeft)) continue;
      if (!resolveSide(run.media, sides.right, &rightPath, &ejectRight)) continue;
      if (ejectLeft && !leftPath.empty()) run.ejectSet.mark(leftPath[0]);
      if (ejectRight && !rightPath.empty()) run.ejectSet.mark(rightPath[0]);
      if (pairOverlaps(ctx, leftPath, rightPath)) {
        reportOverlap(run.sync, leftPath, rightPath);
        continue;
      }
      syncTopLevelPair(ctx, leftPath, rightPath);
    }
    scanner.excludedFolders.clear();
    scanner.filter = nullptr;
  } catch (...) {
    // Out of memory in a list or a path: the run ends here; what was done is logged.
    run.sync.scanner.excludedFolders.clear();
    run.sync.scanner.filter = nullptr;
    run.sync.scanner.sidePool = nullptr;
  }
}

}  // namespace crvl
