// The local copy: a temporary file beside the target, written by the system copy or
// the stream copy and moved into place when complete.
#include "engine/local_copy.h"

#include <array>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "os_traits.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/temporary_files.h"
#include "platform/shell_files.h"

namespace crvl {
namespace {

std::atomic<bool> g_systemCopyEnabled{true};

// Temporary names are random: a name that is taken is drawn again this often.
constexpr int kTemporaryNameAttempts = 8;

// Files from this size on are first offered to the file system to share (a clone):
// one call that fails at once where it cannot, small next to the data.
constexpr uint64_t kCloneWorthBytes = uint64_t{1} << 20;

// The free space of the folders copied into last, less the bytes copied into them
// since. A file that surely fits needs no question of the system; one that may not asks
// again, and only the system's fresh answer fails a copy with 112. Another program
// filling the volume meanwhile makes the write itself fail with 112, as it would
// between the question and the write.
class FreeSpaceNotes {
 public:
  // Whether `size` more bytes surely fit into `folder`; takes them from its note if so.
  bool takeIfSure(std::u16string_view folder, uint64_t size) {
    std::lock_guard<std::mutex> guard(mutex_);
    for (Note& note : notes_) {
      if (note.folder == folder) {
        if (size > note.left) return false;
        note.left -= size;
        return true;
      }
    }
    return false;
  }
  // Notes the system's answer for `folder` with `size` bytes about to go into it.
  void note(std::u16string_view folder, uint64_t freeBytes, uint64_t size) {
    std::lock_guard<std::mutex> guard(mutex_);
    Note* place = nullptr;
    for (Note& note : notes_) {
      if (note.folder == folder) place = &note;
    }
    if (place == nullptr) place = &notes_[next_++ % notes_.size()];
    place->folder.assign(folder);
    place->left = freeBytes > size ? freeBytes - size : 0;
  }

 private:
  struct Note {
    std::u16string folder;
    uint64_t left = 0;
  };
  std::mutex mutex_;
  std::array<Note, 8> notes_;  // enough for the workers of a few runs at once
  size_t next_ = 0;
};

FreeSpaceNotes& freeSpaceNotes() {
  static FreeSpaceNotes notes;
  return notes;
}

// Fails with 112 when a file of `size` bytes is larger than the free space of `folder`
// (asked through `io` when it has a query, else noted per folder).
ErrorCode checkFreeSpace(std::u16string_view folder, uint64_t size, const StreamCopyIo* io) {
  uint64_t freeBytes = 0;
  if (io != nullptr && io->freeSpace != nullptr) {
    const ErrorCode s = io->freeSpace(io->context, folder, &freeBytes);
    return s == 0 && size > freeBytes ? ErrorCode{kErrorDiskFull} : ErrorCode{0};
  }
  FreeSpaceNotes& notes = freeSpaceNotes();
  if (notes.takeIfSure(folder, size)) return 0;
  if (platform::freeDiskSpace(folder, &freeBytes) != 0) return 0;
  if (size > freeBytes) return kErrorDiskFull;
  notes.note(folder, freeBytes, size);
  return 0;
}

struct ChunkContext {
  ProgressCallback progress;
  void* data;
};

int32_t forwardChunk(void* context, uint64_t bytes) {
  auto* c = static_cast<ChunkContext*>(context);
  if (c->progress == nullptr) return 0;
  return c->progress(kProgressBytes, &bytes, 0, c->data);
}

// The system copy (Windows) into a temporary file beside the target, moved into place
// when complete.
ErrorCode systemCopyIntoPlace(std::u16string_view source, std::u16string_view target, ProgressCallback progress,
                              void* data, bool replace) {
  ChunkContext context{progress, data};
  ErrorCode copied = kErrorFileExists;
  std::u16string temporary;
  for (int attempt = 0; attempt < kTemporaryNameAttempts && copied == kErrorFileExists; ++attempt) {
    temporary = platform::temporaryPathFor(target);
    copied = platform::systemCopyFile(source, temporary, &forwardChunk, &context);
  }
  if (copied == kErrorFileExists) return copied;  // every name was taken: none of them is ours
  const ErrorCode r = copied == 0 ? platform::moveIntoPlace(temporary, target, replace) : copied;
  if (r != 0) (void)platform::deleteFile(temporary);
  return r;
}

ErrorCode copyOnce(std::u16string_view source, std::u16string_view target, const EntryBlock* block,
                   ProgressCallback progress, void* data, bool replace) {
  // A stop that came before the copy cancels it even when the system reports no progress
  // for a small file.
  const uint64_t nothing = 0;
  if (progress != nullptr && progress(kProgressBytes, &nothing, 0, data) != 0) return kErrorRequestAborted;
  if (g_systemCopyEnabled.load() && platform::systemCopyAvailable()) {
    return systemCopyIntoPlace(source, target, progress, data, replace);
  }
  return streamCopy(source, target, block, progress, data, nullptr, replace);
}

}  // namespace

void setSystemCopyEnabled(bool enabled) noexcept { g_systemCopyEnabled.store(enabled); }

ErrorCode streamCopy(std::u16string_view source, std::u16string_view target, const EntryBlock* block,
                     ProgressCallback progress, void* data, const StreamCopyIo* io, bool replace) {
  platform::File in;
  ErrorCode r = platform::openFile(source, platform::OpenMode::Read, &in);
  if (r != 0) return r;
  platform::LocalEntryInfo info;
  if (block != nullptr) {
    info.attributes = block->attributes;
    info.size = block->size;
    info.creationTime = block->creationTime;
    info.lastAccessTime = block->lastAccessTime;
    info.lastWriteTime = block->lastWriteTime;
  } else {
    r = in.info(&info);
    if (r != 0) return r;
    info.attributes = platform::fileAttributes(source);
    if (info.attributes == 0xFFFFFFFFu) info.attributes = 0x20;
  }
  size_t bufferSize = 262144;
  if (block != nullptr && info.size <= 4096) {
    bufferSize = 4096;
  } else if (block != nullptr && info.size < 262144) {
    bufferSize = static_cast<size_t>(info.size);
  }
  if (bufferSize == 0) bufferSize = 1;

  // A file larger than the free space fails before anything is written.
  const bool rooted = os::kDrivePaths ? platform::isDrivePath(target) : platform::leadingSeparators(target) >= 1;
  if (rooted) {
    std::u16string where(target);
    if (!platform::parentOf(where)) where = platform::rootOf(target);
    if (checkFreeSpace(where, info.size, io) == kErrorDiskFull) return kErrorDiskFull;
  }

  std::vector<uint8_t> buffer;
  try {
    buffer.resize(bufferSize);
  } catch (const std::bad_alloc&) {
    return kErrorNotEnoughMemory;
  }
  // The data goes into a temporary file beside the target; the target itself changes
  // only when the temporary is complete and takes its place. A new entry is written
  // without a name where the system can, and named when complete: one entry change
  // instead of two (a name made and renamed), and nothing left by a run that dies.
  platform::File out;
  std::u16string temporary;
  r = replace ? ErrorCode{kErrorNotSupported} : platform::openUnnamedFile(target, &out);
  const bool unnamed = r == 0;
  if (r == kErrorNotSupported) {
    r = kErrorFileExists;
    for (int attempt = 0; attempt < kTemporaryNameAttempts && (r == kErrorFileExists || r == kErrorAlreadyExists);
         ++attempt) {
      temporary = platform::temporaryPathFor(target);
      r = platform::openFile(temporary, platform::OpenMode::Temporary, &out);
    }
  }
  if (r != 0) return r;
  uint64_t written = 0;
  // The end is known from the open: the piece that reaches it is the last, without a
  // call that would only say so. A check before every write is asked at the end too.
  const bool checked = io != nullptr && io->beforeWrite != nullptr;
  const uint64_t expected = checked ? 0 : in.sizeWhenOpened();
  if (expected >= kCloneWorthBytes && out.cloneFrom(in) == 0) {
    written = expected;
    if (progress != nullptr && progress(kProgressBytes, &expected, 0, data) != 0) r = kErrorRequestAborted;
  }
  while (r == 0 && (expected == 0 || written < expected)) {
    if (io != nullptr && io->beforeWrite != nullptr) {
      r = io->beforeWrite(io->context, written, bufferSize);
      if (r != 0) break;
    }
    size_t done = 0;
    r = out.copyFrom(in, buffer.data(), bufferSize, &done);
    if (r != 0 || done == 0) break;
    written += done;
    const uint64_t bytes = done;
    if (progress != nullptr && progress(kProgressBytes, &bytes, 0, data) != 0) {
      r = kErrorRequestAborted;
      break;
    }
  }
  if (r == 0) r = out.setTimes(info.creationTime, info.lastAccessTime, info.lastWriteTime);
  if (r == 0) r = out.copyPermissions(in);
  if (r == 0) {
    r = unnamed ? out.commitUnnamed(target)
                : out.commitTemporary(temporary, target, replace, info.attributes & ~uint32_t{kFolderAttribute});
  }
  out.close();
  in.close();
  if (r == 0) return 0;
  // Never leave a partly written file behind; the target was not touched.
  if (!unnamed) (void)platform::deleteFile(temporary);
  // A full disk, a stop, and a name that another entry took meanwhile are final.
  if (r == kErrorDiskFull || r == kErrorRequestAborted || r == kErrorFileExists) return r;
  if (platform::systemCopyAvailable()) {
    const ErrorCode last = systemCopyIntoPlace(source, target, nullptr, nullptr, replace);
    if (last == 0) {
      const uint64_t bytes = info.size;
      if (progress != nullptr) (void)progress(kProgressBytes, &bytes, 0, data);
      return 0;
    }
  }
  return r;
}

ErrorCode localCopy(std::u16string_view source, std::u16string_view target, const EntryBlock* block,
                    ProgressCallback progress, void* data, bool replace) {
  ErrorCode r = copyOnce(source, target, block, progress, data, replace);
  if (r == kErrorRequestAborted) return r;
  if (r == kErrorPathNotFound) {
    // The target's folder is missing: make it with its parents and copy once more.
    const ErrorCode made = makeParentOf(target);
    if (made == kErrorAlreadyExists) return kErrorFilenameExcedRange;
    if (made != 0) return made;
    return copyOnce(source, target, block, progress, data, replace);
  }
  return r;
}

ErrorCode makeParentOf(std::u16string_view path) {
  std::u16string parent(path);
  if (!platform::parentOf(parent) || parent == path) return kErrorPathNotFound;
  return platform::createFolderChain(parent);
}

}  // namespace crvl
