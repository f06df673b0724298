// The local file system as provider slot 0.
#include "engine/local_provider.h"

#include <algorithm>
#include <string>
#include <vector>

#include "engine/local_copy.h"
#include "engine/slot_helpers.h"
#include "os_traits.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/listings.h"
#include "platform/shell_files.h"

namespace crvl {
namespace {

using slot_helpers::copyOut;
using slot_helpers::newHandle;

ProviderHandle* localOpen(FileSystemProvider*, void* owner, int32_t slotIndex, const char16_t* path) {
  const std::u16string_view p(path);
  const size_t separators = platform::leadingSeparators(p);
  bool accepted = p.size() > 2 && (platform::isDrivePath(p) || separators == 2);
  if constexpr (!os::kDrivePaths) accepted = accepted || (separators >= 1 && separators < 3);
  return accepted ? newHandle(owner, slotIndex, p, os::kMaxSystemPathChars) : nullptr;
}

ProviderCapabilities localCapabilities(FileSystemProvider* slot, ProviderHandle*) {
  return derivedCapabilities(*slot) | kLocalExtraCapabilities;
}

ErrorCode localRootName(FileSystemProvider*, ProviderHandle* handle, char16_t* out, uint32_t capacity) {
  return copyOut(handle == nullptr ? std::u16string() : platform::rootOf(handle->path), out, capacity);
}

ErrorCode localTranslatePath(FileSystemProvider*, ProviderHandle*, const char16_t* path, char16_t* out,
                             uint32_t capacity) {
  return copyOut(path, out, capacity);
}

ErrorCode localDisplayPath(FileSystemProvider*, ProviderHandle* handle, char16_t* out, uint32_t capacity) {
  return copyOut(handle == nullptr ? std::u16string() : handle->path, out, capacity);
}

ErrorCode localChangeFolder(FileSystemProvider* slot, ProviderHandle* handle, const char16_t* target) {
  if (handle == nullptr) return kErrorNotSupported;
  const std::u16string_view t(target);
  if (t == u"\\") {
    if (platform::leadingSeparators(handle->path) >= 3) return kErrorNotSupported;
    std::u16string root = platform::rootOf(handle->path);
    if (root.empty()) return kErrorNotSupported;
    handle->path = std::move(root);
    return 0;
  }
  if (t == u"..") {
    std::u16string path = handle->path;
    if (platform::parentOf(path)) handle->path = std::move(path);
    return 0;
  }
  std::u16string_view rest = t;
  if (slot->prefixLength > 3 && platform::leadingSeparators(rest) >= 3 &&
      rest.size() >= static_cast<size_t>(slot->prefixLength)) {
    rest.remove_prefix(slot->prefixLength);
  }
  if (rest.size() > os::kMaxSystemPathChars) return kErrorFilenameExcedRange;
  handle->path.assign(rest);
  return 0;
}

int32_t localIsFolderPath(FileSystemProvider*, ProviderHandle*, const char16_t* path) {
  const std::u16string_view p(path);
  if (p.size() < 4) return 0;
  if (platform::leadingSeparators(p) != 2) return 1;
  // "\\server\share\more": two more backslashes after the leading pair.
  return std::count(p.begin() + 2, p.end(), u'\\') >= 2 ? 1 : 0;
}

struct EnumerateAdapter {
  const char16_t* folder;
  EnumerateConsumer consumer;
  void* data;
  platform::FolderIdentity identity{};  // filled by the listing before its first entry
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
  if (a->identity.known) record.folderIdentity = &a->identity;
  return a->consumer(a->data, record);
}

ErrorCode localEnumerate(FileSystemProvider*, ProviderHandle* handle, const char16_t* folder,
                         EnumerateConsumer consumer, void* data) {
  const char16_t* path = (folder != nullptr && folder[0] != 0) ? folder
                         : handle != nullptr                   ? handle->path.c_str()
                                                               : u"";
  EnumerateAdapter adapter{path, consumer, data};
  return enumerateLocalPath(path, &adaptEntry, &adapter, nullptr, &adapter.identity);
}

uint32_t localGetAttributes(FileSystemProvider*, ProviderHandle*, const char16_t* path, EntryBlock* block) {
  if (block == nullptr) return platform::fileAttributes(path);
  platform::LocalEntryInfo info;
  if (platform::queryEntry(path, &info) != 0) return 0xFFFFFFFFu;
  block->attributes = static_cast<uint16_t>(info.attributes & platform::kListedAttributeMask);
  block->size = info.size;
  block->creationTime = info.creationTime;
  block->lastAccessTime = info.lastAccessTime;
  block->lastWriteTime = info.lastWriteTime;
  return info.attributes;
}

ErrorCode localSetAttributes(FileSystemProvider*, ProviderHandle*, const char16_t* path, uint32_t attributes) {
  if ((attributes & 0x8000) != 0) return 0;  // Unix-mode attributes of a plug-in: nothing to set
  return platform::setFileAttributes(path, attributes);
}

ErrorCode localSetTimes(FileSystemProvider*, ProviderHandle*, const char16_t* path, uint64_t creation,
                        uint64_t lastAccess, uint64_t lastWrite) {
  return platform::setFileTimes(path, creation, lastAccess, lastWrite);
}

ErrorCode localRename(FileSystemProvider*, ProviderHandle*, const char16_t* oldPath, const char16_t* newPath) {
  const std::u16string_view from(oldPath), to(newPath);
  ErrorCode r = kErrorNotSameDevice;
  for (int attempt = 0; attempt < 2; ++attempt) {
    r = platform::sameFolderPath(platform::rootOf(from), platform::rootOf(to)) ? platform::moveEntry(from, to)
                                                                          : kErrorNotSameDevice;
    if (r == 0) return 0;
    if (to.size() >= platform::kLongPathThreshold && r != kErrorNotSameDevice) return kErrorFilenameExcedRange;
    bool retry = false;
    switch (r) {
      case kErrorInvalidName:
      case kErrorFilenameExcedRange:
        return r;
      case kErrorPathNotFound:
        retry = makeParentOf(to) == 0;
        break;
      case kErrorAccessDenied: {
        const uint32_t attributes = platform::fileAttributes(to);
        retry = attempt == 0 && attributes != 0xFFFFFFFFu && (attributes & 0x1) != 0 &&
                platform::setFileAttributes(to, attributes & ~0x1u) == 0;
        break;
      }
      case kErrorNotSameDevice:
        if (localCopy(from, to, nullptr, nullptr, nullptr, /*replace=*/true) == 0) {
          (void)platform::deleteFile(from);  // the copy is made; a source left behind is no failure
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
        retry = platform::deleteFile(to) == 0;
        break;
      default:
        break;
    }
    if (retry) continue;
    r = platform::shellRename(from, to);
    if (r == 0) return 0;
    // Success only when the entry really moved: a target that was there before and a
    // source that is still there is a failure.
    if (platform::fileAttributes(to) != 0xFFFFFFFFu && platform::fileAttributes(from) == 0xFFFFFFFFu) return 0;
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
  platform::File stream;
  ErrorCode r = platform::openFile(path, platform::OpenMode::ReadWrite, &stream);
  if (r != 0) {
    if (platform::setFileAttributes(path, 0x20) != 0) return r;
    r = platform::openFile(path, platform::OpenMode::ReadWrite, &stream);
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
  if (platform::parentOf(folder)) {
    size_t cut = path.size();
    while (cut > 0 && !platform::isAnySeparator(path[cut - 1])) --cut;
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
      platform::appendPathComponent(candidate, name);
      if (number > 0) {
        for (const char digit : std::to_string(number)) candidate.push_back(static_cast<char16_t>(digit));
      }
      unused = platform::fileAttributes(candidate) == 0xFFFFFFFFu;
    }
    // The rename replaces an existing entry: without an unused name the file is deleted
    // under its own name.
    if (unused && platform::moveEntry(path, candidate) == 0) target = candidate;
  }
  return platform::deleteFile(target);
}

ErrorCode localDeleteFile(FileSystemProvider*, ProviderHandle*, const char16_t* path, int32_t mode,
                          ProgressCallback progress, void* data) {
  switch (mode) {
    case 0:
      return platform::deleteFile(path);
    case 2:
      return overwriteAndDelete(path, progress, data);
    case 1:
      return platform::recycleFile(path);
    default:
      return kErrorInvalidParameter;
  }
}

ErrorCode localRemoveFolder(FileSystemProvider*, ProviderHandle*, const char16_t* path) {
  return platform::removeFolder(path);
}

ErrorCode localMakeFolder(FileSystemProvider*, ProviderHandle*, const char16_t* path) {
  return platform::createFolder(path);
}

void localUnload(FileSystemProvider* slot) { *slot = FileSystemProvider{}; }

}  // namespace

void fillLocalProvider(FileSystemProvider& slot) {
  slot = FileSystemProvider{};
  slot.kind = kProviderLocal;
  ProviderOperations& o = slot.ops;
  o.unload = &localUnload;
  o.open = &localOpen;
  o.release = &slot_helpers::releaseHandle;
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

bool isServerPath(std::u16string_view path) noexcept {
  if (platform::leadingSeparators(path) != 2) return false;
  path.remove_prefix(2);
  if (!path.empty() && platform::isAnySeparator(path.back())) path.remove_suffix(1);
  return !path.empty() && std::none_of(path.begin(), path.end(), platform::isAnySeparator);
}

ErrorCode enumerateLocalPath(std::u16string_view folder, platform::LocalEntryVisitor visitor, void* data,
                             const LocalListingIo* io, platform::FolderIdentity* listed) {
  if (listed != nullptr) *listed = platform::FolderIdentity{};
  const ErrorCode r = io != nullptr && io->listFolder != nullptr
                          ? io->listFolder(io->context, folder, visitor, data)
                          : platform::enumerateLocalFolder(folder, visitor, data, listed);
  if ((r != kErrorPathNotFound && r != kErrorBadNetPath) || !isServerPath(folder)) return r;
  // A server has no folder of its own to list: its shares stand in for the entries.
  if (listed != nullptr) *listed = platform::FolderIdentity{};
  const ErrorCode shares = io != nullptr && io->listShares != nullptr
                               ? io->listShares(io->context, folder, visitor, data)
                               : platform::enumerateServerShares(folder, visitor, data);
  return shares == 0 ? 0 : r;
}

}  // namespace crvl
