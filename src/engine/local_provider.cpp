#include "engine/local_provider.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <string>
#include <vector>

#include "engine/actions.h"
#include "engine/path_forms.h"
#include "jobs/path_macros.h"
#include "os_traits.h"
#include "platform/local_fs.h"
#include "platform/temporary_files.h"

namespace crvl {
namespace {

std::atomic<bool> g_systemCopyEnabled{true};

// Temporary names are random: a name that is taken is drawn again this often.
constexpr int kTemporaryNameAttempts = 8;

// Copies `text` into a caller's buffer of `capacity` characters, cut to fit.
void copyOut(std::u16string_view text, char16_t* out, uint32_t capacity) noexcept {
  if (out == nullptr || capacity == 0) return;
  const size_t n = std::min<size_t>(text.size(), capacity - 1);
  std::copy_n(text.data(), n, out);
  out[n] = 0;
}

ProviderHandle* newHandle(void* owner, int32_t slotIndex, std::u16string_view path) {
  auto* handle = new (std::nothrow) ProviderHandle;
  if (handle == nullptr) return nullptr;
  handle->slotIndex = slotIndex;
  handle->owner = owner;
  handle->path.assign(path.substr(0, kHandlePathChars));
  return handle;
}

// ---- local provider (slot 0) ----

ProviderHandle* localOpen(FileSystemProvider*, void* owner, int32_t slotIndex, const char16_t* path) {
  const std::u16string_view p(path);
  const size_t separators = leadingSeparators(p);
  bool accepted = p.size() > 2 && (isDrivePath(p) || separators == 2);
  if constexpr (!os::kDrivePaths) accepted = accepted || (separators >= 1 && separators < 3);
  return accepted ? newHandle(owner, slotIndex, p) : nullptr;
}

void localRelease(FileSystemProvider*, ProviderHandle* handle) { delete handle; }

ProviderCapabilities localCapabilities(FileSystemProvider* slot, ProviderHandle*) {
  return derivedCapabilities(*slot) | kLocalExtraCapabilities;
}

ErrorCode localRootName(FileSystemProvider*, ProviderHandle* handle, char16_t* out, uint32_t capacity) {
  copyOut(handle == nullptr ? std::u16string() : rootOf(handle->path), out, capacity);
  return 0;
}

ErrorCode localTranslatePath(FileSystemProvider*, ProviderHandle*, const char16_t* path, char16_t* out,
                             uint32_t capacity) {
  copyOut(path, out, capacity);
  return 0;
}

ErrorCode localDisplayPath(FileSystemProvider*, ProviderHandle* handle, char16_t* out, uint32_t capacity) {
  copyOut(handle == nullptr ? std::u16string() : handle->path, out, capacity);
  return 0;
}

ErrorCode localChangeFolder(FileSystemProvider* slot, ProviderHandle* handle, const char16_t* target) {
  if (handle == nullptr) return kErrorNotSupported;
  const std::u16string_view t(target);
  if (t == u"\\") {
    if (leadingSeparators(handle->path) >= 3) return kErrorNotSupported;
    std::u16string root = rootOf(handle->path);
    if (root.empty()) return kErrorNotSupported;
    handle->path = std::move(root);
    return 0;
  }
  if (t == u"..") {
    std::u16string path = handle->path;
    if (parentOf(path)) handle->path = std::move(path);
    return 0;
  }
  std::u16string_view rest = t;
  if (slot->prefixLength > 3 && leadingSeparators(rest) >= 3 &&
      rest.size() >= static_cast<size_t>(slot->prefixLength)) {
    rest.remove_prefix(slot->prefixLength);
  }
  handle->path.assign(rest.substr(0, kHandlePathChars));
  return 0;
}

int32_t localIsFolderPath(FileSystemProvider*, ProviderHandle*, const char16_t* path) {
  const std::u16string_view p(path);
  if (p.size() < 4) return 0;
  if (leadingSeparators(p) != 2) return 1;
  // "\\server\share\more": two more backslashes after the leading pair.
  return std::count(p.begin() + 2, p.end(), u'\\') >= 2 ? 1 : 0;
}

struct EnumerateAdapter {
  const char16_t* folder;
  EnumerateConsumer consumer;
  void* data;
};

int32_t adaptEntry(void* data, std::u16string_view name, const platform::LocalEntryInfo& info,
                   const char16_t* alternativeName) {
  auto* a = static_cast<EnumerateAdapter*>(data);
  // FIFOs, sockets and devices are no part of a folder's content for the engine: never
  // opened, copied, compared or deleted.
  if (info.special) return 0;
  FindRecord record;
  record.folderPath = a->folder;
  record.block.attributes = static_cast<uint16_t>(info.attributes & platform::kListedAttributeMask);
  record.block.size = info.size;
  record.block.creationTime = info.creationTime;
  record.block.lastAccessTime = info.lastAccessTime;
  record.block.lastWriteTime = info.lastWriteTime;
  record.alternativeName = alternativeName;
  record.name = name.data();
  record.nameLength = name.size();
  return a->consumer(a->data, record);
}

ErrorCode localEnumerate(FileSystemProvider*, ProviderHandle* handle, const char16_t* folder,
                         EnumerateConsumer consumer, void* data) {
  const char16_t* path = (folder != nullptr && folder[0] != 0) ? folder
                         : handle != nullptr                   ? handle->path.c_str()
                                                               : u"";
  EnumerateAdapter adapter{path, consumer, data};
  return enumerateLocalPath(path, &adaptEntry, &adapter);
}

uint32_t localGetAttributes(FileSystemProvider*, ProviderHandle*, const char16_t* path, EntryBlock* block) {
  if (block == nullptr) return platform::localAttributes(path);
  platform::LocalEntryInfo info;
  if (platform::queryLocalEntry(path, &info) != 0) return 0xFFFFFFFFu;
  block->attributes = static_cast<uint16_t>(info.attributes & platform::kListedAttributeMask);
  block->size = info.size;
  block->creationTime = info.creationTime;
  block->lastAccessTime = info.lastAccessTime;
  block->lastWriteTime = info.lastWriteTime;
  return info.attributes;
}

ErrorCode localSetAttributes(FileSystemProvider*, ProviderHandle*, const char16_t* path, uint32_t attributes) {
  if ((attributes & 0x8000) != 0) return 0;  // Unix-mode attributes of a plug-in: nothing to set
  return platform::setLocalAttributes(path, attributes);
}

ErrorCode localSetTimes(FileSystemProvider*, ProviderHandle*, const char16_t* path, uint64_t creation,
                        uint64_t lastAccess, uint64_t lastWrite) {
  return platform::setLocalTimes(path, creation, lastAccess, lastWrite);
}

ErrorCode makeParentOf(std::u16string_view path) {
  std::u16string parent(path);
  if (!parentOf(parent) || parent == path) return kErrorPathNotFound;
  ProviderTable& table = providerTable();
  const int32_t index = findProviderSlot(table, parent);
  FileSystemProvider* slot = index >= 0 ? &table.slots[index] : &table.slots[0];
  return makeFolderWithParents(slot, nullptr, parent);
}

ErrorCode localRename(FileSystemProvider*, ProviderHandle*, const char16_t* oldPath, const char16_t* newPath) {
  const std::u16string_view from(oldPath), to(newPath);
  ErrorCode r = kErrorNotSameDevice;
  for (int attempt = 0; attempt < 2; ++attempt) {
    r = pathsEqual(rootOf(from), rootOf(to)) ? platform::moveLocalEntry(from, to) : kErrorNotSameDevice;
    if (r == 0) return 0;
    if (to.size() >= kLongPathThreshold && r != kErrorNotSameDevice) return kErrorFilenameExcedRange;
    bool retry = false;
    switch (r) {
      case kErrorInvalidName:
      case kErrorFilenameExcedRange:
        return r;
      case kErrorPathNotFound:
        retry = makeParentOf(to) == 0;
        break;
      case kErrorAccessDenied: {
        const uint32_t attributes = platform::localAttributes(to);
        retry = attempt == 0 && attributes != 0xFFFFFFFFu && (attributes & 0x1) != 0 &&
                platform::setLocalAttributes(to, attributes & ~0x1u) == 0;
        break;
      }
      case kErrorNotSameDevice:
        if (localCopy(from, to, nullptr, nullptr, nullptr, /*replace=*/true) == 0) {
          (void)platform::deleteLocalFile(from);  // the copy is made; a source left behind is no failure
          return 0;
        }
        break;
      case kErrorSharingViolation:
        if (attempt == 0) {
          platform::leaveCurrentFolder();
          retry = true;
        }
        break;
      case kErrorFileExists:
      case kErrorAlreadyExists:
        retry = platform::deleteLocalFile(to) == 0;
        break;
      default:
        break;
    }
    if (retry) continue;
    r = platform::shellRenameLocal(from, to);
    if (r == 0) return 0;
    // Success only when the entry really moved: a target that was there before and a
    // source that is still there is a failure.
    if (platform::localAttributes(to) != 0xFFFFFFFFu && platform::localAttributes(from) == 0xFFFFFFFFu) return 0;
    if (r == kErrorAccessDenied && attempt == 0) {
      platform::leaveCurrentFolder();
      continue;
    }
    return r;
  }
  return r;
}

ErrorCode localGetFile(FileSystemProvider*, ProviderHandle*, const char16_t* source, const char16_t* target,
                       const EntryBlock* block, uint32_t flags, ProgressCallback progress, void* data) {
  return localCopy(source, target, block, progress, data, (flags & kCopyOverwrite) != 0);
}

ErrorCode localCopyEntry(FileSystemProvider*, ProviderHandle*, ProviderHandle*, const char16_t* source,
                         const char16_t* target, const EntryBlock* block, ProgressCallback progress,
                         void* data) {
  return localCopy(source, target, block, progress, data, /*replace=*/true);
}

// Overwrites a file with 0xAA, truncates it, gives it a name of '@' characters and
// deletes it.
ErrorCode overwriteAndDelete(std::u16string_view path, ProgressCallback progress, void* data) {
  platform::LocalStream stream;
  ErrorCode r = stream.openReadWrite(path);
  if (r != 0) {
    if (platform::setLocalAttributes(path, 0x20) != 0) return r;
    r = stream.openReadWrite(path);
    if (r != 0) return r;
  }
  platform::LocalEntryInfo info;
  r = stream.info(&info);
  if (r != 0) return r;
  std::vector<uint8_t> pattern(4096, 0xAA);
  for (uint64_t done = 0; done < info.size;) {
    const size_t piece = static_cast<size_t>(std::min<uint64_t>(4096, info.size - done));
    r = stream.write(pattern.data(), piece);
    if (r != 0) return r;
    done += piece;
    const uint64_t bytes = piece;
    if (progress != nullptr && progress(kProgressBytes, &bytes, 0, data) != 0) return kErrorRequestAborted;
  }
  r = stream.truncate();
  if (r != 0) return r;
  stream.close();
  std::u16string folder(path);
  std::u16string name;
  if (parentOf(folder)) {
    size_t cut = path.size();
    while (cut > 0 && !isAnySeparator(path[cut - 1])) --cut;
    name.assign(path.substr(cut));
  }
  std::u16string target(path);
  if (!name.empty()) {
    for (char16_t& c : name) {
      if (c != u'.') c = u'@';
    }
    std::u16string candidate;
    bool unused = false;
    for (int number = 0; number < 1000 && !unused; ++number) {
      candidate = folder;
      appendPathComponent(candidate, name);
      if (number > 0) {
        for (const char digit : std::to_string(number)) candidate.push_back(static_cast<char16_t>(digit));
      }
      unused = platform::localAttributes(candidate) == 0xFFFFFFFFu;
    }
    // The rename replaces an existing entry: without an unused name the file is deleted
    // under its own name.
    if (unused && platform::moveLocalEntry(path, candidate) == 0) target = candidate;
  }
  return platform::deleteLocalFile(target);
}

ErrorCode localDeleteFile(FileSystemProvider*, ProviderHandle*, const char16_t* path, int32_t mode,
                          ProgressCallback progress, void* data) {
  switch (mode) {
    case 0:
      return platform::deleteLocalFile(path);
    case 2:
      return overwriteAndDelete(path, progress, data);
    case 1:
      return platform::recycleLocalFile(path);
    default:
      return kErrorInvalidParameter;
  }
}

ErrorCode localRemoveFolder(FileSystemProvider*, ProviderHandle*, const char16_t* path) {
  return platform::removeLocalFolder(path);
}

ErrorCode localMakeFolder(FileSystemProvider*, ProviderHandle*, const char16_t* path) {
  return platform::createLocalFolder(path);
}

void localUnload(FileSystemProvider* slot) { *slot = FileSystemProvider{}; }

// ---- plug-in root (slot 1) ----

ProviderHandle* rootOpen(FileSystemProvider*, void* owner, int32_t slotIndex, const char16_t* path) {
  registerPlugins(providerTable());
  return newHandle(owner, slotIndex, path);
}

ErrorCode rootRootName(FileSystemProvider* slot, ProviderHandle*, char16_t* out, uint32_t capacity) {
  std::u16string root(u"\\\\\\");
  if (slot->name != nullptr && std::u16string_view(slot->name) != u"\\\\\\") root += slot->name;
  copyOut(root, out, capacity);
  return 0;
}

ErrorCode rootDisplayPath(FileSystemProvider* slot, ProviderHandle* handle, char16_t* out, uint32_t capacity) {
  std::u16string text;
  (void)rootRootName(slot, handle, nullptr, 0);
  text = u"\\\\\\";
  if (slot->name != nullptr && std::u16string_view(slot->name) != u"\\\\\\") text += slot->name;
  if (handle != nullptr) text += handle->path;
  copyOut(text, out, capacity);
  return 0;
}

ErrorCode rootChangeFolder(FileSystemProvider*, ProviderHandle* handle, const char16_t* target) {
  if (handle == nullptr) return kErrorNotSupported;
  std::u16string_view t(target);
  if (t == u"\\" || t == u"..") return 0;
  size_t skip = 0;
  while (skip < 3 && skip < t.size() && isAnySeparator(t[skip])) ++skip;
  t.remove_prefix(skip);
  size_t cut = 0;
  while (cut < t.size() && !isAnySeparator(t[cut])) ++cut;
  const std::u16string_view name = t.substr(0, cut);
  ProviderTable& table = providerTable();
  for (int32_t i = 0; i < kProviderSlotCount; ++i) {
    FileSystemProvider& other = table.slots[i];
    if (other.kind != kProviderPlugin || other.name == nullptr) continue;
    if (!namesEqual(name, other.name)) continue;
    FileSystemProvider& self = table.slots[handle->slotIndex];
    if (self.openCount > 0) --self.openCount;
    ++other.openCount;
    handle->slotIndex = i;
    handle->path.assign(u"\\");
    return 0;
  }
  return 0;
}

int32_t rootIsFolderPath(FileSystemProvider*, ProviderHandle*, const char16_t*) { return 1; }

// The root lists every loaded plug-in as a folder.
ErrorCode rootEnumerate(FileSystemProvider*, ProviderHandle* handle, const char16_t* folder,
                        EnumerateConsumer consumer, void* data) {
  ProviderTable& table = providerTable();
  const char16_t* path = folder != nullptr ? folder : handle != nullptr ? handle->path.c_str() : u"";
  for (const FileSystemProvider& slot : table.slots) {
    if (slot.kind != kProviderPlugin || slot.name == nullptr) continue;
    FindRecord record;
    record.folderPath = path;
    record.block.attributes = kFolderAttribute;
    record.name = slot.name;
    record.nameLength = std::u16string_view(slot.name).size();
    if (consumer(data, record) != 0) break;
  }
  return 0;
}

ProviderCapabilities rootCapabilities(FileSystemProvider* slot, ProviderHandle*) {
  return derivedCapabilities(*slot);
}

// ---- the local copy ----

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
  if (r != 0) (void)platform::deleteLocalFile(temporary);
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

void fillLocalProvider(FileSystemProvider& slot) {
  slot = FileSystemProvider{};
  slot.kind = kProviderLocal;
  ProviderOperations& o = slot.ops;
  o.unload = &localUnload;
  o.open = &localOpen;
  o.release = &localRelease;
  o.capabilities = &localCapabilities;
  o.rootName = &localRootName;
  o.translatePath = &localTranslatePath;
  o.displayPath = &localDisplayPath;
  o.changeFolder = &localChangeFolder;
  o.isFolderPath = &localIsFolderPath;
  o.enumerate = &localEnumerate;
  o.getAttributes = &localGetAttributes;
  o.setAttributes = &localSetAttributes;
  o.setTimes = &localSetTimes;
  o.rename = &localRename;
  o.copy = &localCopyEntry;
  o.getFile = &localGetFile;
  o.putFile = &localGetFile;
  o.deleteFile = &localDeleteFile;
  o.removeFolder = &localRemoveFolder;
  o.makeFolder = &localMakeFolder;
}

void fillPluginRoot(FileSystemProvider& slot, const char16_t* name) {
  slot = FileSystemProvider{};
  slot.kind = kProviderPluginRoot;
  slot.name = name;
  slot.prefixLength = static_cast<int32_t>(std::u16string_view(name).size()) + 3;
  ProviderOperations& o = slot.ops;
  o.open = &rootOpen;
  o.release = &localRelease;
  o.capabilities = &rootCapabilities;
  o.rootName = &rootRootName;
  o.displayPath = &rootDisplayPath;
  o.changeFolder = &rootChangeFolder;
  o.isFolderPath = &rootIsFolderPath;
  o.enumerate = &rootEnumerate;
}

bool isServerPath(std::u16string_view path) noexcept {
  if (leadingSeparators(path) != 2) return false;
  path.remove_prefix(2);
  if (!path.empty() && isAnySeparator(path.back())) path.remove_suffix(1);
  return !path.empty() && std::none_of(path.begin(), path.end(), isAnySeparator);
}

ErrorCode enumerateLocalPath(std::u16string_view folder, platform::LocalEntryVisitor visitor, void* data,
                             const LocalListingIo* io) {
  const ErrorCode r = io != nullptr && io->listFolder != nullptr
                          ? io->listFolder(io->context, folder, visitor, data)
                          : platform::enumerateLocalFolder(folder, visitor, data);
  if ((r != kErrorPathNotFound && r != kErrorBadNetPath) || !isServerPath(folder)) return r;
  // A server has no folder of its own to list: its shares stand in for the entries.
  const ErrorCode shares = io != nullptr && io->listShares != nullptr
                               ? io->listShares(io->context, folder, visitor, data)
                               : platform::enumerateServerShares(folder, visitor, data);
  return shares == 0 ? 0 : r;
}

void setSystemCopyEnabled(bool enabled) noexcept { g_systemCopyEnabled.store(enabled); }

ErrorCode streamCopy(std::u16string_view source, std::u16string_view target, const EntryBlock* block,
                     ProgressCallback progress, void* data, const StreamCopyIo* io, bool replace) {
  platform::LocalStream in;
  ErrorCode r = in.openRead(source);
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
    info.attributes = platform::localAttributes(source);
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
  const bool rooted = os::kDrivePaths ? isDrivePath(target) : leadingSeparators(target) >= 1;
  if (rooted) {
    std::u16string where(target);
    if (!parentOf(where)) where = rootOf(target);
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
  platform::LocalStream out;
  std::u16string temporary;
  r = kErrorFileExists;
  for (int attempt = 0; attempt < kTemporaryNameAttempts && (r == kErrorFileExists || r == kErrorAlreadyExists);
       ++attempt) {
    temporary = platform::temporaryPathFor(target);
    r = out.createTemporary(temporary);
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
  (void)platform::deleteLocalFile(temporary);
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

}  // namespace crvl
