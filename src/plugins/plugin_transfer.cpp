// The transfers of a plug-in's slot: a file fetched from the module into the local file
// system, and a local file handed to the module.
#include <string>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/temporary_files.h"
#include "plugins/plugin_slot.h"
#include "plugins/plugin_slot_parts.h"

namespace crvl::plugin_slot {
namespace {

FileSystemPlugin& pluginFor(FileSystemProvider* slot) { return *static_cast<FileSystemPlugin*>(slot->context); }

wfx::RemoteInfo remoteInfo(const EntryBlock* block) {
  wfx::RemoteInfo info{};
  if (block == nullptr) return info;
  info.sizeLow = static_cast<uint32_t>(block->size);
  info.sizeHigh = static_cast<uint32_t>(block->size >> 32);
  info.lastWriteTime = {static_cast<uint32_t>(block->lastWriteTime), static_cast<uint32_t>(block->lastWriteTime >> 32)};
  info.attributes = block->attributes;
  return info;
}

// Reports a finished file of `bytes` to the run's progress routine.
void reportFinished(ProgressCallback progress, void* data, uint64_t bytes) {
  if (progress != nullptr) (void)progress(kProgressBytes, &bytes, 0, data);
}

ErrorCode answered(const plugin_calls::Answer<int32_t>& answer) {
  return answer.answered() ? transferResult(answer.value) : answer.error;
}

}  // namespace

ErrorCode transferResult(int32_t result) noexcept {
  switch (result) {
    case wfx::kFileOk: return 0;
    case wfx::kFileExists:
    case wfx::kFileExistsResumeAllowed: return kErrorFileExists;
    case wfx::kFileNotFound: return kErrorFileNotFound;
    case wfx::kFileReadError: return kErrorReadFault;
    case wfx::kFileWriteError: return kErrorWriteFault;
    case wfx::kFileUserAbort: return kErrorRequestAborted;
    default: return kErrorNotSupported;
  }
}

// The module writes a temporary file beside the target, which is then moved onto the
// target's name: the target is never written in place and never through a link, and a
// copy that adds a file never replaces an entry that appeared meanwhile.
ErrorCode getFile(FileSystemProvider* slot, ProviderHandle*, const char16_t* source, const char16_t* localTarget,
                  const EntryBlock* block, uint32_t flags, ProgressCallback progress, void* data) {
  FileSystemPlugin& plugin = pluginFor(slot);
  const std::u16string remote = pathInsidePlugin(source, plugin.name);
  const std::u16string target(localTarget);
  StatusScope status(plugin, folderOfInsidePath(remote), wfx::kOperationGetMultiple);
  const wfx::RemoteInfo info = remoteInfo(block);
  std::u16string temporary = platform::temporaryPathFor(target);
  bool renamed = false, folderMade = false;
  ErrorCode r = 0;
  for (;;) {
    r = answered(plugin_calls::getFile(plugin, remote, temporary, 0, info));
    if (r == kErrorFileExists && !renamed) {
      // The fresh name was taken meanwhile: another one.
      renamed = true;
      temporary = platform::temporaryPathFor(target);
      continue;
    }
    if (r == kErrorWriteFault && !folderMade) {
      folderMade = true;
      if (platform::createFolderChain(platform::folderOf(target)) == 0) continue;
    }
    break;
  }
  if (r == 0 && block != nullptr && block->lastWriteTime >= kUnsetTimeLimit) {
    const uint64_t creation = block->creationTime >= kUnsetTimeLimit ? block->creationTime : 0;
    r = platform::setFileTimes(temporary, creation, 0, block->lastWriteTime);
  }
  if (r == 0) r = platform::moveIntoPlace(temporary, target, (flags & kCopyOverwrite) != 0);
  if (r != 0) {
    (void)platform::deleteFile(temporary);  // whatever part the module left
    return r;
  }
  platform::LocalEntryInfo written;
  reportFinished(progress, data, platform::queryEntry(target, &written) == 0 ? written.size : 0);
  return 0;
}

ErrorCode putFile(FileSystemProvider* slot, ProviderHandle* handle, const char16_t* localSource,
                  const char16_t* target, const EntryBlock* block, uint32_t flags, ProgressCallback progress,
                  void* data) {
  FileSystemPlugin& plugin = pluginFor(slot);
  forgetListing(handle);
  const std::u16string remote = pathInsidePlugin(target, plugin.name);
  StatusScope status(plugin, folderOfInsidePath(remote), wfx::kOperationPutMultiple);
  bool folderMade = false, targetDeleted = false;
  ErrorCode r = 0;
  for (;;) {
    r = answered(plugin_calls::putFile(plugin, localSource, remote, 0));
    if ((r == kErrorFileNotFound || r == kErrorWriteFault) && !folderMade) {
      folderMade = true;
      const std::u16string folder = folderOfInsidePath(remote);
      if (folder.size() > 1 && makeFolder(slot, handle, folder.substr(0, folder.size() - 1).c_str()) == 0) continue;
      break;
    }
    // Only a copy onto a file the scan saw may replace it; a new one never does.
    if (r == kErrorFileExists && !targetDeleted && (flags & kCopyOverwrite) != 0) {
      targetDeleted = true;
      if (deleteFile(slot, handle, remote.c_str(), 0, nullptr, nullptr) == 0) continue;
      r = kErrorFileExists;
    }
    break;
  }
  if (r == 0) reportFinished(progress, data, block != nullptr && block->size != UINT64_MAX ? block->size : 0);
  return r;
}

}  // namespace crvl::plugin_slot
