#include "engine/actions.h"

#include <algorithm>
#include <string>

#include "platform/paths.h"
#include "platform/text.h"
#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/temporary_files.h"

namespace crvl {
namespace {

constexpr int kFolderRemovalAttempts = 5;
constexpr uint32_t kFolderRemovalWaitMs = 100;

SideState& sideOf(SyncRun& run, Side side) noexcept { return side == Side::Left ? run.left : run.right; }

LogText leftText(Side side, std::u16string_view path) noexcept {
  return side == Side::Left ? LogText(path) : LogText();
}
LogText rightText(Side side, std::u16string_view path) noexcept {
  return side == Side::Right ? LogText(path) : LogText();
}

// A private listing of one folder for tree deletion: no filter, unsafe names skipped,
// the program's temporary files apart.
ErrorCode listFolder(SideState& s, std::u16string_view path, EntryList& out, TemporaryNames& temporaries) {
  return scanFolder(sideSlot(s), s.handle, path, nullptr, out, &temporaries);
}

ErrorCode removeFolderWithRetries(SideState& s, std::u16string_view path) {
  FileSystemProvider* slot = sideSlot(s);
  ErrorCode r = 0;
  for (int attempt = 0; attempt < kFolderRemovalAttempts; ++attempt) {
    r = callRemoveFolder(slot, s.handle, path);
    if (r == 0) return 0;
    if (r == kErrorDirNotEmpty) {
      if (attempt + 1 < kFolderRemovalAttempts) platform::sleepMilliseconds(kFolderRemovalWaitMs);
      continue;
    }
    // Anything else may be an attribute in the way: reset them and try once more.
    if (callSetAttributes(slot, s.handle, path, 0) == 0) r = callRemoveFolder(slot, s.handle, path);
    if (r != kErrorDirNotEmpty) return r;
  }
  return r;
}

// The progress of the first half of a copy through a local file: it can stop the
// copy, and its bytes are not counted, since the second half reports them.
int32_t stopOnlyProgress(int32_t kind, const void* data, intptr_t reserved, void* context) {
  if (kind == kProgressBytes) return stopRequested(*static_cast<SyncRun*>(context)) ? 1 : 0;
  return runProgress(kind, data, reserved, context);
}

// A copy between two sides that are neither local (two plug-ins): the source's getFile
// into a temporary local file, then the target's putFile from it. The temporary file
// is removed however the copy ends.
ErrorCode copyThroughLocalFile(SyncRun& run, SideState& source, SideState& target, std::u16string_view sourcePath,
                               std::u16string_view targetPath, const EntryBlock& block, uint32_t flags) {
  const std::u16string folder = platform::tempFolder();
  if (folder.empty()) return kErrorPathNotFound;
  std::u16string placeholder;
  platform::joinPath(folder, u"x", placeholder);
  const std::u16string local = platform::temporaryPathFor(placeholder);
  ErrorCode r = callGetFile(sideSlot(source), source.handle, sourcePath, local, &block, kCopyOverwrite,
                            &stopOnlyProgress, &run);
  if (succeeded(r)) {
    r = callPutFile(sideSlot(target), target.handle, local, targetPath, &block, flags, &runProgress, &run);
  }
  (void)platform::deleteFile(local);  // also when a half failed: it may have left a part
  return r;
}

}  // namespace

bool accountResult(SyncRun& run, ErrorCode result) { return accountResult(run.errorText, result); }

bool accountResult(std::u16string& errorText, ErrorCode result) {
  if (succeeded(result)) return true;
  if (errorText.empty()) {
    const ErrorCode code = static_cast<int32_t>(result) < 0 ? kErrorAccessDenied : result;
    errorText = platform::systemMessage(code);
    // A code the system has no text for is still a failure: an empty text would read as "OK".
    if (errorText.empty()) errorText = u"Error " + platform::fromUtf8(std::to_string(code));
    if (errorText.size() > kErrorTextChars) errorText.resize(kErrorTextChars);
  }
  return false;
}

void report(SyncRun& run, int32_t marker, LogText left, LogText right) {
  std::u16string leftShown, rightShown;
  if (left && !run.left.logPrefix.empty()) {
    leftShown = run.left.logPrefix + std::u16string(*left);
    left = leftShown;
  }
  if (right && !run.right.logPrefix.empty()) {
    rightShown = run.right.logPrefix + std::u16string(*right);
    right = rightShown;
  }
  const ReportQueue* queue = run.reportQueue;
  if (queue != nullptr && queue->record(queue->context, marker, left, right, run.errorText)) return;
  writeLogRecord(run.logSink, marker, left, right, run.errorText);
}

int32_t runProgress(int32_t kind, const void* data, intptr_t, void* context) {
  auto* run = static_cast<SyncRun*>(context);
  if (run == nullptr) return 0;
  if (stopRequested(*run)) return 1;
  if (kind == kProgressBytes && data != nullptr && run->copyProgress != nullptr) {
    run->copyProgress(run->copyProgressContext, *static_cast<const uint64_t*>(data));
  }
  if (kind == kProgressText && data != nullptr) {
    const std::u16string_view text(static_cast<const char16_t*>(data));
    run->errorText.assign(text.substr(0, kErrorTextChars + 1));
  }
  return 0;
}

void recordPaths(const EntryList& list, uint32_t offset, std::u16string& leftPath, std::u16string& rightPath) {
  action_record::Fields record;
  action_record::load(list, offset, record);
  action_record::Fields header;
  action_record::load(list, static_cast<uint32_t>(std::max(record.baseReference, 0)), header);
  platform::joinPath(header.leftName, record.leftName.empty() ? record.rightName : record.leftName, leftPath);
  platform::joinPath(header.rightName, record.rightName.empty() ? record.leftName : record.rightName, rightPath);
}

void performCopy(SyncRun& run, const EntryList& list, uint32_t offset, CopyDirection direction,
                 ProgressCallback progress, void* progressData, CopyOutcome& out) {
  action_record::Fields record;
  action_record::load(list, offset, record);
  recordPaths(list, offset, out.leftPath, out.rightPath);
  const bool toRight = direction == CopyDirection::ToRight;
  out.marker = toRight ? (record.rightName.empty() ? kMarkerCopiedNewRight : kMarkerCopiedOverRight)
                       : (record.leftName.empty() ? kMarkerCopiedNewLeft : kMarkerCopiedOverLeft);
  out.result = 0;
  if (run.execute == 0) return;
  SideState& source = toRight ? run.left : run.right;
  SideState& target = toRight ? run.right : run.left;
  const std::u16string& sourcePath = toRight ? out.leftPath : out.rightPath;
  const std::u16string& targetPath = toRight ? out.rightPath : out.leftPath;
  const EntryBlock& block = toRight ? record.left : record.right;
  // A copy onto an existing file replaces it; a copy that adds a new file must not
  // replace an entry that appeared under its name since the scan.
  const bool targetExists = toRight ? !record.rightName.empty() : !record.leftName.empty();
  const uint32_t flags = targetExists ? kCopyOverwrite : 0;
  if (target.kind == kProviderLocal) {
    out.result = callGetFile(sideSlot(source), source.handle, sourcePath, targetPath, &block, flags, progress,
                             progressData);
  } else if (source.kind == kProviderLocal) {
    out.result = callPutFile(sideSlot(target), target.handle, sourcePath, targetPath, &block, flags, progress,
                             progressData);
  } else {
    out.result = copyThroughLocalFile(run, source, target, sourcePath, targetPath, block, flags);
  }
}

ErrorCode copyRecord(SyncRun& run, const EntryList& list, uint32_t offset, CopyDirection direction) {
  run.errorText.clear();
  CopyOutcome outcome;
  performCopy(run, list, offset, direction, &runProgress, &run, outcome);
  accountResult(run, outcome.result);
  report(run, outcome.marker, outcome.leftPath, outcome.rightPath);
  return outcome.result;
}

ErrorCode deleteOrphanFile(SyncRun& run, const EntryList& list, uint32_t offset, bool deleteLeft,
                           bool deleteRight) {
  action_record::Fields record;
  action_record::load(list, offset, record);
  std::u16string leftPath, rightPath;
  recordPaths(list, offset, leftPath, rightPath);
  ErrorCode r = 0;
  if (deleteLeft && !record.leftName.empty() && !isFolder(record.left)) {
    run.errorText.clear();
    if (run.execute != 0) r = callDeleteFile(sideSlot(run.left), run.left.handle, leftPath, 0, nullptr, nullptr);
    const bool ok = accountResult(run, r);
    report(run, kMarkerFileDeleted, leftPath, LogText());
    if (!ok) return r;
  }
  if (deleteRight && !record.rightName.empty() && !isFolder(record.right)) {
    run.errorText.clear();
    if (run.execute != 0) {
      r = callDeleteFile(sideSlot(run.right), run.right.handle, rightPath, 0, nullptr, nullptr);
    }
    accountResult(run, r);
    report(run, kMarkerFileDeleted, LogText(), rightPath);
  }
  return r;
}

ErrorCode deleteFolderTree(SyncRun& run, Side side, std::u16string_view path, uint16_t attributes) {
  SideState& s = sideOf(run, side);
  FileSystemProvider* slot = sideSlot(s);
  ErrorCode r = 0;
  if (s.kind == kProviderLocal && !isLinkEntry(attributes)) {
    // A link that the listing did not mark is never entered: its contents lie elsewhere.
    // Its removal as an entry refuses what cannot be removed as itself.
    platform::EntryReach reach = platform::EntryReach::Itself;
    if (platform::entryReach(path, &reach) == 0 && reach != platform::EntryReach::Itself) {
      attributes |= kReparsePointAttribute;
    }
  }
  if (isLinkEntry(attributes)) {
    // A link to a folder is removed as an entry; what it points to is never entered.
    run.errorText.clear();
    if (run.execute != 0) r = callRemoveFolder(slot, s.handle, path);
    accountResult(run, r);
    report(run, kMarkerFolderRemoved, leftText(side, path), rightText(side, path));
    return r;
  }
  // Like every engine list, enlarged through the enlargement hook when one is set.
  EntryList list(/*growInPlace=*/false, run.scanner.enlargement);
  TemporaryNames temporaries;
  r = listFolder(s, path, list, temporaries);
  if (r != 0 && r != kErrorContinue) {
    // What cannot be listed cannot be known to be empty: the folder stays.
    run.errorText.clear();
    accountResult(run, r);
    report(run, kMarkerFolderRemoved, leftText(side, path), rightText(side, path));
    return r;
  }
  std::u16string name, full;
  if (run.execute != 0 && s.kind == kProviderLocal) {
    for (const std::u16string& temporary : temporaries) {
      platform::joinPath(path, temporary, full);
      (void)platform::removeAbandonedTemporary(full);  // one still being written stays
    }
  }
  const uint8_t* end = list.data() + list.byteSize();
  for (uint32_t off = 0; off < list.byteSize(); off = list.next(off)) {
    if (stopRequested(run)) break;
    const uint8_t* entry = list.at(off);
    const EntryBlock block = loadBlock(entry + scan_entry::kBlockOffset);
    loadName(entry + scan_entry::kNameOffset, end, name);
    platform::joinPath(path, name, full);
    if ((entry[scan_entry::kPairedOffset] & scan_entry::kUnusable) != 0) {
      // Its joined path would name another entry: reported, never deleted.
      run.errorText.clear();
      accountResult(run, kErrorInvalidName);
      report(run, kMarkerFileDeleted, leftText(side, full), rightText(side, full));
      continue;
    }
    if (isFolder(block)) {
      (void)deleteFolderTree(run, side, full, block.attributes);
      continue;
    }
    run.errorText.clear();
    r = 0;
    if (run.execute != 0) r = callDeleteFile(slot, s.handle, full, 0, nullptr, nullptr);
    accountResult(run, r);
    report(run, kMarkerFileDeleted, leftText(side, full), rightText(side, full));
  }
  run.errorText.clear();
  r = 0;
  if (run.execute != 0) r = removeFolderWithRetries(s, path);
  accountResult(run, r);
  report(run, kMarkerFolderRemoved, leftText(side, path), rightText(side, path));
  return r;
}

ErrorCode createFolder(SyncRun& run, Side side, std::u16string_view path) {
  SideState& s = sideOf(run, side);
  run.errorText.clear();
  const ErrorCode r = run.execute == 0 ? 0 : makeFolderWithParents(sideSlot(s), s.handle, path);
  if (!accountResult(run, r)) {
    report(run, kMarkerFolderNotCreated, leftText(side, path), rightText(side, path));
  } else if (run.folderCreated != nullptr) {
    const ReportQueue* queue = run.reportQueue;
    if (queue == nullptr || !queue->folderCreated(queue->context, path)) run.folderCreated(run.copyProgressContext, path);
  }
  return r;
}

ErrorCode copyFolderTimesAndAttributes(SyncRun& run, Side side, std::u16string_view path,
                                       const EntryBlock& source) {
  SideState& s = sideOf(run, side);
  if (run.execute == 0 || s.kind != kProviderLocal) return 0;
  const uint64_t creation = source.creationTime >= kUnsetTimeLimit ? source.creationTime : 0;
  const uint64_t lastWrite = source.lastWriteTime >= kUnsetTimeLimit ? source.lastWriteTime : 0;
  ErrorCode r = 0;
  if (creation != 0 || lastWrite != 0) r = platform::setFileTimes(path, creation, 0, lastWrite);
  if (r == 0 && (source.attributes & 0x8000) == 0) {
    r = callSetAttributes(sideSlot(s), s.handle, path, source.attributes);
  }
  accountResult(run, r);
  return r;
}

ErrorCode makeFolderWithParents(FileSystemProvider* slot, ProviderHandle* handle, std::u16string_view path) {
  if (slot == nullptr || slot->ops.getAttributes == nullptr) return callMakeFolder(slot, handle, path);
  if (callGetAttributes(slot, handle, path, nullptr) != 0xFFFFFFFFu) return 0;
  ErrorCode r = callMakeFolder(slot, handle, path);
  if (r == 0 || r == kErrorNotSupported) return r;
  std::u16string parent(path);
  if (!platform::parentOf(parent) || parent == path) return r;
  r = makeFolderWithParents(slot, handle, parent);
  if (r != 0) return r;
  return callMakeFolder(slot, handle, path);
}

}  // namespace crvl
