// The local copy: a temporary file beside the target, written by the system copy or
// the stream copy and moved into place when complete.
#include "engine/local_copy.h"

#include <atomic>
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
    uint64_t freeBytes = 0;
    const ErrorCode s = io != nullptr && io->freeSpace != nullptr
                            ? io->freeSpace(io->context, where, &freeBytes)
                            : platform::freeDiskSpace(where, &freeBytes);
    if (s == 0 && info.size > freeBytes) return kErrorDiskFull;
  }

  std::vector<uint8_t> buffer;
  try {
    buffer.resize(bufferSize);
  } catch (const std::bad_alloc&) {
    return kErrorNotEnoughMemory;
  }
  // The data goes into a temporary file beside the target; the target itself changes
  // only when the temporary is complete and takes its place.
  platform::File out;
  std::u16string temporary;
  r = kErrorFileExists;
  for (int attempt = 0; attempt < kTemporaryNameAttempts && (r == kErrorFileExists || r == kErrorAlreadyExists);
       ++attempt) {
    temporary = platform::temporaryPathFor(target);
    r = platform::openFile(temporary, platform::OpenMode::Temporary, &out);
  }
  if (r != 0) return r;
  uint64_t written = 0;
  for (;;) {
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
  if (r == 0) r = out.commitTemporary(temporary, target, replace, info.attributes & ~uint32_t{kFolderAttribute});
  out.close();
  in.close();
  if (r == 0) return 0;
  // Never leave a partly written file behind; the target was not touched.
  (void)platform::deleteFile(temporary);
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
