#include "engine/provider_table.h"

#include <atomic>

#include "engine/local_provider.h"
#include "engine/path_forms.h"
#include "jobs/path_macros.h"
#include "os_traits.h"
#include "platform/local_fs.h"
#include "platform/text.h"

namespace crvl {
namespace {

std::atomic<PluginRegistrationHook> g_registrationHook{nullptr};
std::u16string g_pluginRootName;

bool isLocalPath(std::u16string_view path) noexcept {
  if (isDrivePath(path)) return true;
  const size_t separators = leadingSeparators(path);
  if (separators == 2 && path.size() > 2) return true;
  // POSIX: every absolute path that is not a plug-in path ("///name").
  if constexpr (!os::kDrivePaths) {
    return separators >= 1 && separators < 3;
  }
  return false;
}

int32_t lookupOnce(ProviderTable& table, std::u16string_view path) {
  const std::u16string root = rootOf(path);
  if (!root.empty()) {
    std::u16string slotRoot;
    for (int32_t i = 0; i < kProviderSlotCount; ++i) {
      FileSystemProvider& slot = table.slots[i];
      if (slot.kind == kProviderFree || slot.ops.rootName == nullptr) continue;
      if (callRootName(&slot, nullptr, slotRoot) != 0 || slotRoot.empty()) continue;
      if (pathsEqual(slotRoot, root)) return i;
    }
  }
  std::u16string_view rest = path;
  if (leadingSeparators(rest) >= 3) rest.remove_prefix(3);
  size_t cut = 0;
  while (cut < rest.size() && !isAnySeparator(rest[cut])) ++cut;
  rest = rest.substr(0, cut);
  for (int32_t i = 0; i < kProviderSlotCount; ++i) {
    const FileSystemProvider& slot = table.slots[i];
    if (slot.kind == kProviderFree || slot.name == nullptr) continue;
    if (pathsEqual(rest, slot.name)) return i;
  }
  return isLocalPath(path) ? 0 : -1;
}

template <typename Result, typename Call>
Result guarded(Result fallback, Call&& call) noexcept {
  try {
    return call();
  } catch (...) {
    return fallback;
  }
}

ErrorCode normalised(ErrorCode code) noexcept { return code == kErrorContinue ? 0 : code; }

// Copies a text from a zero-terminated buffer of `capacity` characters.
void takeBuffer(const std::u16string& buffer, std::u16string& out) {
  size_t n = 0;
  while (n < buffer.size() && buffer[n] != 0) ++n;
  out.assign(buffer.data(), n);
}

}  // namespace

ProviderTable& providerTable() noexcept {
  static ProviderTable table;
  return table;
}

void initializeProviderTable(ProviderTable& table, std::u16string_view pluginRootName) {
  // No system dialog may stop a slot initialiser (an empty drive, a missing module).
  const uint32_t previousMode = platform::setProcessErrorMode(1);
  for (auto& slot : table.slots) slot = FileSystemProvider{};
  g_pluginRootName.assign(pluginRootName.empty() ? std::u16string_view(u"\\\\\\") : pluginRootName);
  fillLocalProvider(table.slots[0]);
  fillPluginRoot(table.slots[1], g_pluginRootName.c_str());
  (void)platform::setProcessErrorMode(previousMode);
}

ProviderCapabilities derivedCapabilities(const FileSystemProvider& slot) noexcept {
  const ProviderOperations& o = slot.ops;
  ProviderCapabilities bits = 0;
  if (o.makeFolder != nullptr && o.sendCommand != nullptr) {
    bits |= 0x24;
  } else if (o.makeFolder != nullptr) {
    bits |= 0x4;
  } else if (o.sendCommand != nullptr) {
    bits |= 0x20;
  }
  if (o.entry25 != nullptr) bits |= 0x40;
  if (o.rename != nullptr) bits |= 0x80;
  if (o.getFile != nullptr) bits |= 0x100;
  if (o.putFile != nullptr) bits |= 0x400;
  if (o.copy != nullptr) bits |= 0x1000;
  if (o.deleteFile != nullptr) bits |= 0x2000 | 0x4000;
  if (o.setAttributes != nullptr) bits |= 0x8000;
  if (o.setTimes != nullptr) bits |= 0x10000;
  if (o.entryIcon != nullptr) bits |= 0x20000;
  return bits;
}

void setPluginRegistrationHook(PluginRegistrationHook hook) noexcept { g_registrationHook.store(hook); }

void registerPlugins(ProviderTable& table) {
  const PluginRegistrationHook hook = g_registrationHook.load();
  if (hook == nullptr) return;
  try {
    hook(table);
  } catch (...) {
    // A failed registration leaves the lookup to fail on its own.
  }
}

int32_t findProviderSlot(ProviderTable& table, std::u16string_view path) {
  const int32_t slot = lookupOnce(table, path);
  if (slot >= 0 || g_registrationHook.load() == nullptr) return slot;
  registerPlugins(table);
  return lookupOnce(table, path);
}

ProviderHandle* openProviderHandle(ProviderTable& table, std::u16string_view path, void* owner,
                                   ProviderKind kind) {
  int32_t index = -1;
  if (kind != kProviderFree) {
    for (int32_t i = 0; i < kProviderSlotCount; ++i) {
      if (table.slots[i].kind == kind) {
        index = i;
        break;
      }
    }
  } else {
    index = findProviderSlot(table, path);
  }
  if (index < 0) return nullptr;
  FileSystemProvider& slot = table.slots[index];
  if (slot.ops.open == nullptr) return nullptr;
  std::u16string_view rest = path;
  if (slot.prefixLength > 3 && slot.name != nullptr && leadingSeparators(rest) >= 3 &&
      rest.size() >= static_cast<size_t>(slot.prefixLength)) {
    const std::u16string_view name = rest.substr(3, slot.prefixLength - 3);
    if (platform::namesEqual(name, std::u16string_view(slot.name).substr(0, slot.prefixLength - 3))) {
      rest.remove_prefix(slot.prefixLength);
    }
  }
  const std::u16string text(rest);
  ProviderHandle* handle =
      guarded<ProviderHandle*>(nullptr, [&] { return slot.ops.open(&slot, owner, index, text.c_str()); });
  if (handle != nullptr) ++slot.openCount;
  return handle;
}

void releaseProviderHandle(ProviderTable& table, ProviderHandle* handle, bool force) {
  if (handle == nullptr) return;
  if (handle->slotIndex < 0 || handle->slotIndex >= kProviderSlotCount) return;
  FileSystemProvider& slot = table.slots[handle->slotIndex];
  if (slot.openCount > 0) --slot.openCount;
  // Every handle is given back to its slot, whatever the count: only the slot can free
  // it, and a handle kept while other handles are open would be lost.
  (void)force;
  if (slot.ops.release != nullptr) {
    guarded<int>(0, [&] {
      slot.ops.release(&slot, handle);
      return 0;
    });
  }
}

ScopedProviderHandle& ScopedProviderHandle::operator=(ScopedProviderHandle&& other) noexcept {
  if (this != &other) {
    reset();
    table_ = other.table_;
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

void ScopedProviderHandle::reset() noexcept {
  if (handle_ != nullptr && table_ != nullptr) {
    try {
      releaseProviderHandle(*table_, handle_);
    } catch (...) {
    }
  }
  handle_ = nullptr;
}

FileSystemProvider* slotOf(const ProviderHandle* handle) noexcept {
  if (handle == nullptr || handle->slotIndex < 0 || handle->slotIndex >= kProviderSlotCount) {
    return nullptr;
  }
  return &providerTable().slots[handle->slotIndex];
}

ProviderCapabilities callCapabilities(FileSystemProvider* slot, ProviderHandle* h) noexcept {
  if (slot == nullptr || slot->ops.capabilities == nullptr) return 0;
  return guarded<ProviderCapabilities>(0, [&] { return slot->ops.capabilities(slot, h); });
}

ErrorCode callRootName(FileSystemProvider* slot, ProviderHandle* h, std::u16string& out) noexcept {
  out.clear();
  if (slot == nullptr || slot->ops.rootName == nullptr) return kErrorNotSupported;
  return guarded<ErrorCode>(kErrorNotSupported, [&] {
    std::u16string buffer(kHandlePathChars, u'\0');
    const ErrorCode r = normalised(slot->ops.rootName(slot, h, buffer.data(), kHandlePathChars));
    if (r == 0) takeBuffer(buffer, out);
    return r;
  });
}

ErrorCode callTranslatePath(FileSystemProvider* slot, ProviderHandle* h, std::u16string_view path,
                            std::u16string& out) noexcept {
  out.clear();
  if (slot == nullptr || slot->ops.translatePath == nullptr) return kErrorNotSupported;
  return guarded<ErrorCode>(kErrorNotSupported, [&] {
    const std::u16string text(path);
    std::u16string buffer(kHandlePathChars, u'\0');
    const ErrorCode r =
        normalised(slot->ops.translatePath(slot, h, text.c_str(), buffer.data(), kHandlePathChars));
    if (r == 0) takeBuffer(buffer, out);
    return r;
  });
}

ErrorCode callEnumerate(FileSystemProvider* slot, ProviderHandle* h, std::u16string_view folder,
                        EnumerateConsumer consumer, void* data) noexcept {
  if (slot == nullptr || slot->ops.enumerate == nullptr) return kErrorNotSupported;
  return guarded<ErrorCode>(kErrorNotSupported, [&] {
    const std::u16string text(folder);
    return normalised(slot->ops.enumerate(slot, h, text.c_str(), consumer, data));
  });
}

uint32_t callGetAttributes(FileSystemProvider* slot, ProviderHandle* h, std::u16string_view path,
                           EntryBlock* block) noexcept {
  if (slot == nullptr || slot->ops.getAttributes == nullptr) return 0xFFFFFFFFu;
  return guarded<uint32_t>(0xFFFFFFFFu, [&] {
    const std::u16string text(path);
    return slot->ops.getAttributes(slot, h, text.c_str(), block);
  });
}

ErrorCode callSetAttributes(FileSystemProvider* slot, ProviderHandle* h, std::u16string_view path,
                            uint32_t attributes) noexcept {
  if (slot == nullptr || slot->ops.setAttributes == nullptr) return kErrorNotSupported;
  return guarded<ErrorCode>(kErrorNotSupported, [&] {
    const std::u16string text(path);
    return normalised(slot->ops.setAttributes(slot, h, text.c_str(), attributes));
  });
}

ErrorCode callSetTimes(FileSystemProvider* slot, ProviderHandle* h, std::u16string_view path,
                       uint64_t creation, uint64_t lastAccess, uint64_t lastWrite) noexcept {
  if (slot == nullptr || slot->ops.setTimes == nullptr) return kErrorNotSupported;
  return guarded<ErrorCode>(kErrorNotSupported, [&] {
    const std::u16string text(path);
    return normalised(slot->ops.setTimes(slot, h, text.c_str(), creation, lastAccess, lastWrite));
  });
}

ErrorCode callRename(FileSystemProvider* slot, ProviderHandle* h, std::u16string_view oldPath,
                     std::u16string_view newPath) noexcept {
  if (slot == nullptr || slot->ops.rename == nullptr) return kErrorNotSupported;
  return guarded<ErrorCode>(kErrorNotSupported, [&] {
    const std::u16string a(oldPath), b(newPath);
    return normalised(slot->ops.rename(slot, h, a.c_str(), b.c_str()));
  });
}

ErrorCode callGetFile(FileSystemProvider* slot, ProviderHandle* h, std::u16string_view source,
                      std::u16string_view localTarget, const EntryBlock* block, uint32_t flags,
                      ProgressCallback progress, void* data) noexcept {
  if (slot == nullptr || slot->ops.getFile == nullptr) return kErrorNotSupported;
  return guarded<ErrorCode>(kErrorNotSupported, [&] {
    const std::u16string a(source), b(localTarget);
    return normalised(slot->ops.getFile(slot, h, a.c_str(), b.c_str(), block, flags, progress, data));
  });
}

ErrorCode callPutFile(FileSystemProvider* slot, ProviderHandle* h, std::u16string_view localSource,
                      std::u16string_view target, const EntryBlock* block, uint32_t flags,
                      ProgressCallback progress, void* data) noexcept {
  if (slot == nullptr || slot->ops.putFile == nullptr) return kErrorNotSupported;
  return guarded<ErrorCode>(kErrorNotSupported, [&] {
    const std::u16string a(localSource), b(target);
    return normalised(slot->ops.putFile(slot, h, a.c_str(), b.c_str(), block, flags, progress, data));
  });
}

ErrorCode callDeleteFile(FileSystemProvider* slot, ProviderHandle* h, std::u16string_view path,
                         int32_t mode, ProgressCallback progress, void* data) noexcept {
  if (slot == nullptr || slot->ops.deleteFile == nullptr) return kErrorNotSupported;
  return guarded<ErrorCode>(kErrorNotSupported, [&] {
    const std::u16string text(path);
    return normalised(slot->ops.deleteFile(slot, h, text.c_str(), mode, progress, data));
  });
}

ErrorCode callRemoveFolder(FileSystemProvider* slot, ProviderHandle* h,
                           std::u16string_view path) noexcept {
  if (slot == nullptr || slot->ops.removeFolder == nullptr) return kErrorNotSupported;
  return guarded<ErrorCode>(kErrorNotSupported, [&] {
    const std::u16string text(path);
    return normalised(slot->ops.removeFolder(slot, h, text.c_str()));
  });
}

ErrorCode callMakeFolder(FileSystemProvider* slot, ProviderHandle* h,
                         std::u16string_view path) noexcept {
  if (slot == nullptr || slot->ops.makeFolder == nullptr) return kErrorNotSupported;
  return guarded<ErrorCode>(kErrorNotSupported, [&] {
    const std::u16string text(path);
    return normalised(slot->ops.makeFolder(slot, h, text.c_str()));
  });
}

int32_t callFinish(FileSystemProvider* slot, ProviderHandle* h, int32_t flag1,
                   int32_t flag2) noexcept {
  if (slot == nullptr || slot->ops.finish == nullptr) return 0;
  return guarded<int32_t>(0, [&] { return slot->ops.finish(slot, h, flag1, flag2); });
}

}  // namespace crvl
