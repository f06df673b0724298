// The operation entries of a loaded plug-in's slot that list, look up and change
// entries; the transfers are in plugin_transfer.cpp.
#include "plugins/plugin_slot.h"

#include <algorithm>
#include <mutex>

#include "engine/slot_helpers.h"
#include "platform/icons.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "plugins/plugin_entries.h"
#include "plugins/plugin_host.h"
#include "plugins/plugin_slot_parts.h"

namespace crvl {

using plugin_slot::CachedListing;
using plugin_slot::forgetListing;
using plugin_slot::StatusScope;

namespace {

constexpr uint32_t kAbsent = 0xFFFFFFFFu;
// "false gives -2" of the attribute and time changes.
constexpr ErrorCode kChangeRefused = static_cast<ErrorCode>(-2);

FileSystemPlugin& pluginFor(FileSystemProvider* slot) { return *static_cast<FileSystemPlugin*>(slot->context); }

std::u16string inside(FileSystemProvider* slot, std::u16string_view path) {
  return pathInsidePlugin(path, pluginFor(slot).name);
}

bool isRootPath(std::u16string_view insidePath) noexcept {
  return std::all_of(insidePath.begin(), insidePath.end(), [](char16_t c) { return c == u'\\'; });
}

// "\a\b\" and "\a\b" both name b in \a.
std::u16string_view withoutTrailingSeparators(std::u16string_view p) noexcept {
  while (p.size() > 1 && p.back() == u'\\') p.remove_suffix(1);
  return p;
}

bool sameInsideFolder(std::u16string_view a, std::u16string_view b) {
  return platform::namesEqual(withoutTrailingSeparators(a), withoutTrailingSeparators(b));
}

// --- Listing ------------------------------------------------------------------------

// Walks one folder: hands every passed entry to `visit` (which answers true to stop).
// Returns 0 (an empty folder included), 3 when the folder cannot be listed, or the
// error of a call the module could not answer; `*complete` tells whether every entry
// was visited.
template <typename Visit>
ErrorCode walkFolder(FileSystemPlugin& plugin, std::u16string_view insideFolder, Visit visit, bool* complete) {
  *complete = false;
  wfx::FindDataW data{};
  ErrorCode lastError = 0;
  const auto first = plugin_calls::findFirst(plugin, insideFolder, data, lastError);
  if (!first.answered()) return first.error;
  if (first.value == wfx::invalidHandle()) {
    if (lastError != kErrorNoMoreFiles) return kErrorPathNotFound;
    *complete = true;  // an empty folder
    return 0;
  }
  ErrorCode result = 0;
  ConvertedEntry entry;
  bool stopped = false;
  for (bool more = true; more;) {
    convertEntry(data, entry);
    if (isPassedName(entry.name) && visit(entry)) {
      stopped = true;
      break;
    }
    const auto next = plugin_calls::findNext(plugin, first.value, data);
    if (!next.answered()) {
      // A listing that broke off is a failed listing, never a shorter one.
      result = next.error;
      break;
    }
    more = next.value;
  }
  (void)plugin_calls::findClose(plugin, first.value);
  *complete = result == 0 && !stopped;
  return result;
}

ErrorCode pluginEnumerate(FileSystemProvider* slot, ProviderHandle* handle, const char16_t* folder,
                          EnumerateConsumer consumer, void* data) {
  FileSystemPlugin& plugin = pluginFor(slot);
  const std::u16string given = (folder != nullptr && folder[0] != 0) ? std::u16string(folder)
                               : handle != nullptr                  ? handle->path
                                                                    : std::u16string();
  const std::u16string listed = inside(slot, given);
  const bool current = handle != nullptr && sameInsideFolder(listed, inside(slot, handle->path));
  auto cache = current ? std::make_shared<CachedListing>() : nullptr;
  ErrorCode result = 0;
  bool complete = false;
  {
    StatusScope status(plugin, std::u16string(withoutTrailingSeparators(listed)) +
                                   (isRootPath(listed) ? u"" : u"\\"),
                       wfx::kOperationList);
    result = walkFolder(
        plugin, listed,
        [&](const ConvertedEntry& entry) {
          FindRecord record;
          record.folderPath = given.c_str();
          record.block = entry.block;
          record.alternativeName = entry.alternateName.empty() ? nullptr : entry.alternateName.c_str();
          record.name = entry.name.c_str();
          record.nameLength = entry.name.size();
          if (cache != nullptr && entry.name != u".") cache->entries.push_back({entry.block, entry.name});
          return consumer(data, record) != 0;
        },
        &complete);
  }
  if (cache != nullptr && complete) {
    cache->plugin = &plugin;
    cache->folder = listed;
    handle->slotData = std::move(cache);
  }
  return result;
}

// The cached entry of `name` in `folder`, when the handle holds that folder's listing:
// an exact match first, else one without regard to case. `*cached` tells whether the
// handle had the listing.
const CachedListing::Entry* cachedEntry(const FileSystemPlugin& plugin, ProviderHandle* handle,
                                        std::u16string_view folder, std::u16string_view name, bool* cached) {
  *cached = false;
  if (handle == nullptr || handle->slotData == nullptr) return nullptr;
  const auto* listing = static_cast<const CachedListing*>(handle->slotData.get());
  if (listing->plugin != &plugin || !sameInsideFolder(listing->folder, folder)) return nullptr;
  *cached = true;
  const CachedListing::Entry* folded = nullptr;
  for (const CachedListing::Entry& e : listing->entries) {
    if (e.name == name) return &e;
    if (folded == nullptr && platform::namesEqual(e.name, name)) folded = &e;
  }
  return folded;
}

uint32_t pluginGetAttributes(FileSystemProvider* slot, ProviderHandle* handle, const char16_t* path,
                             EntryBlock* block) {
  FileSystemPlugin& plugin = pluginFor(slot);
  const std::u16string full = inside(slot, path);
  if (isRootPath(full)) {
    // The root has no entry of its own: it is there when it can be listed.
    bool complete = false;
    const ErrorCode r = walkFolder(plugin, u"\\", [](const ConvertedEntry&) { return true; }, &complete);
    if (r != 0) return kAbsent;
    if (block != nullptr) {
      *block = EntryBlock{};
      block->attributes = kFolderAttribute;
    }
    return kFolderAttribute;
  }
  const std::u16string_view trimmed = withoutTrailingSeparators(full);
  const size_t cut = trimmed.rfind(u'\\');
  const std::u16string folder(cut == 0 || cut == std::u16string_view::npos ? std::u16string_view(u"\\")
                                                                            : trimmed.substr(0, cut));
  const std::u16string_view name = cut == std::u16string_view::npos ? trimmed : trimmed.substr(cut + 1);
  EntryBlock found;
  bool have = false;
  bool cached = false;
  if (const CachedListing::Entry* e = cachedEntry(plugin, handle, folder, name, &cached); e != nullptr) {
    found = e->block;
    have = true;
  }
  if (!cached) {
    StatusScope status(plugin, folder + (isRootPath(folder) ? u"" : u"\\"), wfx::kOperationList);
    bool complete = false;
    (void)walkFolder(
        plugin, folder,
        [&](const ConvertedEntry& entry) {
          if (entry.name == name || (!have && platform::namesEqual(entry.name, name))) {
            found = entry.block;
            have = true;
          }
          return entry.name == name;  // an exact match ends the search
        },
        &complete);
  }
  if (!have) return kAbsent;
  if (block != nullptr) *block = found;
  return found.attributes;
}

// --- Names and folders -------------------------------------------------------------

ProviderHandle* pluginOpen(FileSystemProvider* slot, void* owner, int32_t slotIndex, const char16_t* path) {
  // A module that faulted is never called again: its paths find no provider.
  if (pluginFor(slot).unusable.load()) return nullptr;
  return slot_helpers::newHandle(owner, slotIndex, path);
}

ProviderCapabilities pluginCapabilities(FileSystemProvider* slot, ProviderHandle*) {
  FileSystemPlugin& p = pluginFor(slot);
  ProviderCapabilities bits = 0;
  auto has = [](auto wide, auto ansi) { return wide != nullptr || ansi != nullptr; };
  if (has(p.wide.mkDir, p.ansi.mkDir)) bits |= 0x4;
  if (has(p.wide.removeDir, p.ansi.removeDir)) bits |= 0x4000;
  if (has(p.wide.executeFile, p.ansi.executeFile)) bits |= 0x68;
  if (has(p.wide.renMovFile, p.ansi.renMovFile)) bits |= 0x80;
  if (has(p.wide.getFile, p.ansi.getFile)) bits |= 0x40100;
  if (has(p.wide.putFile, p.ansi.putFile)) bits |= 0x80400;
  if (has(p.wide.deleteFile, p.ansi.deleteFile)) bits |= 0x102000;
  if (has(p.wide.setAttr, p.ansi.setAttr)) bits |= 0x8000;
  if (has(p.wide.setTime, p.ansi.setTime)) bits |= 0x10000;
  if (has(p.wide.extractCustomIcon, p.ansi.extractCustomIcon)) bits |= 0x20000;
  const auto links = plugin_calls::linksToLocalFiles(p);
  if (links.answered() && links.value) bits |= kCapDirectContents;
  return bits;
}

ErrorCode pluginRootName(FileSystemProvider* slot, ProviderHandle*, char16_t* out, uint32_t capacity) {
  return slot_helpers::copyOut(u"\\\\\\" + pluginFor(slot).name, out, capacity);
}

ErrorCode pluginTranslatePath(FileSystemProvider* slot, ProviderHandle*, const char16_t* path, char16_t* out,
                              uint32_t capacity) {
  const std::u16string p = inside(slot, path);
  if (p.size() < 2) return kErrorNotSupported;
  std::u16string local;
  const auto answer = plugin_calls::getLocalName(pluginFor(slot), p, local);
  if (!answer.answered() || !answer.value) return kErrorNotSupported;
  return slot_helpers::copyOut(local, out, capacity);
}

ErrorCode pluginDisplayPath(FileSystemProvider* slot, ProviderHandle* handle, char16_t* out, uint32_t capacity) {
  std::u16string text = u"\\\\\\" + pluginFor(slot).name;
  if (handle != nullptr) text += handle->path;
  return slot_helpers::copyOut(text, out, capacity);
}

// Moves a handle to the plug-in root's slot, at its root.
ErrorCode moveToPluginRoot(FileSystemProvider* slot, ProviderHandle* handle) {
  if (slot->table == nullptr) return kErrorNotSupported;
  ProviderTable& table = *slot->table;
  std::lock_guard<std::recursive_mutex> guard(table.lock());
  for (int32_t i = 0; i < kProviderSlotCount; ++i) {
    FileSystemProvider& root = table.slots[i];
    if (root.kind != kProviderPluginRoot) continue;
    table.moveHandle(*handle, i);  // `slot` is the root's from here on
    handle->path.clear();
    return 0;
  }
  return kErrorNotSupported;
}

ErrorCode pluginChangeFolder(FileSystemProvider* slot, ProviderHandle* handle, const char16_t* target) {
  if (handle == nullptr) return kErrorNotSupported;
  forgetListing(handle);
  const std::u16string_view t(target);
  if (t == u"\\") {
    handle->path.assign(u"\\");
    return 0;
  }
  if (t == u"\\\\\\") return moveToPluginRoot(slot, handle);
  if (t == u"..") {
    const std::u16string path = inside(slot, handle->path);
    const std::u16string_view current = withoutTrailingSeparators(path);
    if (isRootPath(current)) return moveToPluginRoot(slot, handle);
    const size_t cut = current.rfind(u'\\');
    if (cut == std::u16string_view::npos) return kErrorNotSupported;
    handle->path.assign(cut == 0 ? std::u16string_view(u"\\") : current.substr(0, cut));
    return 0;
  }
  std::u16string_view rest = t;
  const std::u16string& name = pluginFor(slot).name;
  if (platform::leadingSeparators(rest) >= 3 && rest.size() >= 3 + name.size() &&
      platform::namesEqual(rest.substr(3, name.size()), name)) {
    rest.remove_prefix(3 + name.size());
  }
  // Plug-ins take paths of at most kHandlePathChars characters: longer is an error.
  if (rest.size() > kHandlePathChars) return kErrorFilenameExcedRange;
  handle->path.assign(rest);
  return 0;
}

int32_t pluginIsFolderPath(FileSystemProvider*, ProviderHandle*, const char16_t*) { return 1; }

// --- Changes -----------------------------------------------------------------------

ErrorCode pluginSetAttributes(FileSystemProvider* slot, ProviderHandle* handle, const char16_t* path,
                              uint32_t attributes) {
  // Unix-mode attributes carry permission bits no attribute call can set.
  if ((attributes & kUnixModeAttribute) != 0) return 0;
  FileSystemPlugin& plugin = pluginFor(slot);
  forgetListing(handle);
  const std::u16string p = inside(slot, path);
  StatusScope status(plugin, folderOfInsidePath(p), wfx::kOperationAttributes);
  const auto answer = plugin_calls::setAttributes(plugin, p, static_cast<int32_t>(attributes & 0x27));
  if (!answer.answered()) return answer.error;
  return answer.value ? kSuccess : kChangeRefused;
}

ErrorCode pluginSetTimes(FileSystemProvider* slot, ProviderHandle* handle, const char16_t* path, uint64_t creation,
                         uint64_t lastAccess, uint64_t lastWrite) {
  forgetListing(handle);
  // A time of 0 is left as it is.
  const wfx::FileTime c = toFileTime(creation), a = toFileTime(lastAccess), w = toFileTime(lastWrite);
  const auto answer = plugin_calls::setTimes(pluginFor(slot), inside(slot, path), creation != 0 ? &c : nullptr,
                                             lastAccess != 0 ? &a : nullptr, lastWrite != 0 ? &w : nullptr);
  if (!answer.answered()) return answer.error;
  return answer.value ? kSuccess : kChangeRefused;
}

ErrorCode pluginRename(FileSystemProvider* slot, ProviderHandle* handle, const char16_t* oldPath,
                       const char16_t* newPath) {
  FileSystemPlugin& plugin = pluginFor(slot);
  forgetListing(handle);
  const std::u16string from = inside(slot, oldPath);
  StatusScope status(plugin, folderOfInsidePath(from), wfx::kOperationRenameMultiple);
  const auto answer =
      plugin_calls::renameMove(plugin, from, inside(slot, newPath), /*move=*/true, /*overwrite=*/false, {});
  if (!answer.answered()) return answer.error;
  return answer.value == wfx::kFileOk ? kSuccess : kErrorAccessDenied;
}

ErrorCode pluginRemoveFolder(FileSystemProvider* slot, ProviderHandle* handle, const char16_t* path) {
  FileSystemPlugin& plugin = pluginFor(slot);
  forgetListing(handle);
  const std::u16string p = inside(slot, path);
  StatusScope status(plugin, folderOfInsidePath(p), wfx::kOperationDelete);
  const auto answer = plugin_calls::removeFolder(plugin, p);
  if (!answer.answered()) return answer.error;
  return answer.value ? kSuccess : kErrorAccessDenied;
}

ErrorCode pluginProperties(FileSystemProvider* slot, void* window, const char16_t* path) {
  FileSystemPlugin& plugin = pluginFor(slot);
  const std::u16string p = inside(slot, path);
  StatusScope status(plugin, folderOfInsidePath(p), wfx::kOperationExecute);
  const auto answer = plugin_calls::executeFile(plugin, window, p, u"properties");
  if (!answer.answered()) return answer.error;
  if (answer.value == wfx::kExecuteYourself) {
    const PluginHost* host = plugin.host;
    if (host != nullptr && host->showProperties != nullptr) {
      host->showProperties(host->context, window, u"\\\\\\" + plugin.name + p);
    }
    return 0;
  }
  return static_cast<ErrorCode>(answer.value);
}

ErrorCode pluginSendCommand(FileSystemProvider* slot, ProviderHandle* handle, const char16_t* command) {
  if (handle == nullptr) return kErrorNotSupported;
  FileSystemPlugin& plugin = pluginFor(slot);
  forgetListing(handle);
  std::u16string folder(withoutTrailingSeparators(inside(slot, handle->path)));
  if (folder.back() != u'\\') folder.push_back(u'\\');
  StatusScope status(plugin, folder, wfx::kOperationExecute);
  void* window = plugin.host != nullptr ? plugin.host->mainWindow : nullptr;
  const auto answer = plugin_calls::executeFile(plugin, window, folder, u"quote " + std::u16string(command));
  if (!answer.answered()) return answer.error;
  return answer.value == wfx::kExecuteYourself ? 0 : static_cast<ErrorCode>(answer.value);
}

// --- Icons ---------------------------------------------------------------------------

void* pluginPathIcon(FileSystemProvider* slot, const char16_t*, int32_t size, int32_t) {
  void* icon = platform::firstModuleIcon(pluginFor(slot).module, size);
  return icon != nullptr ? icon : platform::computerFolderIcon(size);
}

int32_t pluginEntryIcon(FileSystemProvider* slot, const char16_t* path, uint32_t attributes, int32_t size,
                        void* imageList) {
  FileSystemPlugin& plugin = pluginFor(slot);
  const std::u16string_view given(path);
  if (given.empty()) return 0;
  if (platform::leadingSeparators(given) >= 3 && platform::namesEqual(given.substr(3), plugin.name)) {
    void* icon = platform::firstModuleIcon(plugin.module, size);
    const int32_t index = platform::addIconToImageList(imageList, icon);
    platform::destroyIcon(icon);
    return index + 1;
  }
  std::u16string p = inside(slot, path);
  if ((attributes & kFolderAttribute) != 0 && p.back() != u'\\') p.push_back(u'\\');
  void* icon = nullptr;
  const int32_t flags = wfx::kIconBackground | (size < 32 ? wfx::kIconSmall : 0);
  const auto answer = plugin_calls::extractCustomIcon(plugin, p, flags, &icon);
  if (!answer.answered() || icon == nullptr) return 0;
  if (answer.value != wfx::kIconExtracted && answer.value != wfx::kIconExtractedDestroy) return 0;
  const int32_t index = platform::addIconToImageList(imageList, icon);
  if (answer.value == wfx::kIconExtractedDestroy) platform::destroyIcon(icon);
  return index + 1;
}

// --- Unloading -----------------------------------------------------------------------

// The slot lets go of its plug-in: handles still open on it keep it (their copies of
// the slot share it), and the last of them frees it.
void pluginUnload(FileSystemProvider* slot) {
  ProviderTable* table = slot->table;
  *slot = FileSystemProvider{};
  slot->table = table;
}

}  // namespace

namespace plugin_slot {

ErrorCode makeFolder(FileSystemProvider* slot, ProviderHandle* handle, const char16_t* path) {
  FileSystemPlugin& plugin = pluginFor(slot);
  forgetListing(handle);
  const std::u16string p = inside(slot, path);
  StatusScope status(plugin, folderOfInsidePath(p), wfx::kOperationMakeFolder);
  const auto answer = plugin_calls::makeFolder(plugin, p);
  if (!answer.answered()) return answer.error;
  return answer.value ? kSuccess : kErrorAccessDenied;
}

ErrorCode deleteFile(FileSystemProvider* slot, ProviderHandle* handle, const char16_t* path, int32_t,
                     ProgressCallback, void*) {
  FileSystemPlugin& plugin = pluginFor(slot);
  forgetListing(handle);
  const std::u16string p = inside(slot, path);
  StatusScope status(plugin, folderOfInsidePath(p), wfx::kOperationDelete);
  const auto answer = plugin_calls::deleteFile(plugin, p);
  if (!answer.answered()) return answer.error;
  return answer.value ? kSuccess : kErrorAccessDenied;
}

}  // namespace plugin_slot

std::u16string pathInsidePlugin(std::u16string_view path, std::u16string_view name) {
  const size_t separators = platform::leadingSeparators(path);
  if (separators >= 3 && !name.empty() && path.size() >= separators + name.size() &&
      platform::namesEqual(path.substr(separators, name.size()), name) &&
      (path.size() == separators + name.size() || platform::isAnySeparator(path[separators + name.size()]))) {
    path.remove_prefix(separators + name.size());
  }
  std::u16string result(path);
  std::replace(result.begin(), result.end(), u'/', u'\\');
  if (result.empty()) result.assign(u"\\");
  return result;
}

std::u16string folderOfInsidePath(std::u16string_view insidePath) {
  insidePath = withoutTrailingSeparators(insidePath);
  const size_t cut = insidePath.rfind(u'\\');
  if (cut == std::u16string_view::npos || cut == 0) return u"\\";
  return std::u16string(insidePath.substr(0, cut + 1));
}

FileSystemPlugin* pluginOf(const FileSystemProvider* slot) noexcept {
  if (slot == nullptr || slot->kind != kProviderPlugin || slot->ops.open != &pluginOpen) return nullptr;
  return static_cast<FileSystemPlugin*>(slot->context);
}

void fillPluginSlot(FileSystemProvider& slot, std::unique_ptr<FileSystemPlugin> plugin) {
  ProviderTable* table = slot.table;
  slot = FileSystemProvider{};
  slot.table = table;
  slot.kind = kProviderPlugin;
  slot.name = plugin->name.c_str();
  slot.prefixLength = plugin->name.empty() ? 0 : static_cast<int32_t>(plugin->name.size()) + 3;
  std::shared_ptr<FileSystemPlugin> shared(std::move(plugin));
  slot.context = shared.get();
  slot.keepAlive = std::move(shared);
  ProviderOperations& o = slot.ops;
  o.unload = &pluginUnload;
  o.open = &pluginOpen;
  o.release = &slot_helpers::releaseHandle;
  o.capabilities = &pluginCapabilities;
  o.pathIcon = &pluginPathIcon;
  o.entryIcon = &pluginEntryIcon;
  o.rootName = &pluginRootName;
  o.translatePath = &pluginTranslatePath;
  o.displayPath = &pluginDisplayPath;
  o.changeFolder = &pluginChangeFolder;
  o.isFolderPath = &pluginIsFolderPath;
  o.enumerate = &pluginEnumerate;
  o.getAttributes = &pluginGetAttributes;
  o.setAttributes = &pluginSetAttributes;
  o.setTimes = &pluginSetTimes;
  o.rename = &pluginRename;
  o.getFile = &plugin_slot::getFile;
  o.putFile = &plugin_slot::putFile;
  o.deleteFile = &plugin_slot::deleteFile;
  o.removeFolder = &pluginRemoveFolder;
  o.makeFolder = &plugin_slot::makeFolder;
  o.properties = &pluginProperties;
  o.sendCommand = &pluginSendCommand;
}

}  // namespace crvl
