// The plug-in root as provider slot 1: it lists the loaded plug-ins as folders and moves
// a handle into the slot of the plug-in it changes to.
#include "engine/plugin_root.h"

#include <mutex>
#include <string>

#include "engine/slot_helpers.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace crvl {
namespace {

using slot_helpers::copyOut;
using slot_helpers::newHandle;

ProviderHandle* rootOpen(FileSystemProvider* slot, void* owner, int32_t slotIndex, const char16_t* path) {
  if (slot->table != nullptr) slot->table->registerPlugins();
  return newHandle(owner, slotIndex, path);
}

ErrorCode rootRootName(FileSystemProvider* slot, ProviderHandle*, char16_t* out, uint32_t capacity) {
  std::u16string root(u"\\\\\\");
  if (slot->name != nullptr && std::u16string_view(slot->name) != u"\\\\\\") root += slot->name;
  return copyOut(root, out, capacity);
}

ErrorCode rootDisplayPath(FileSystemProvider* slot, ProviderHandle* handle, char16_t* out, uint32_t capacity) {
  std::u16string text(u"\\\\\\");
  if (slot->name != nullptr && std::u16string_view(slot->name) != u"\\\\\\") text += slot->name;
  if (handle != nullptr) text += handle->path;
  return copyOut(text, out, capacity);
}

ErrorCode rootChangeFolder(FileSystemProvider* slot, ProviderHandle* handle, const char16_t* target) {
  if (handle == nullptr || slot->table == nullptr) return kErrorNotSupported;
  std::u16string_view t(target);
  if (t == u"\\" || t == u"..") return 0;
  size_t skip = 0;
  while (skip < 3 && skip < t.size() && platform::isAnySeparator(t[skip])) ++skip;
  t.remove_prefix(skip);
  size_t cut = 0;
  while (cut < t.size() && !platform::isAnySeparator(t[cut])) ++cut;
  const std::u16string_view name = t.substr(0, cut);
  ProviderTable& table = *slot->table;
  std::lock_guard<std::recursive_mutex> guard(table.lock());
  for (int32_t i = 0; i < kProviderSlotCount; ++i) {
    FileSystemProvider& other = table.slots[i];
    if (other.kind != kProviderPlugin || other.name == nullptr) continue;
    if (!platform::namesEqual(name, other.name)) continue;
    // The handle moves to the plug-in's slot, and its count with it; `slot` is the
    // plug-in's from here on.
    table.moveHandle(*handle, i);
    handle->path.assign(u"\\");
    return 0;
  }
  return 0;
}

int32_t rootIsFolderPath(FileSystemProvider*, ProviderHandle*, const char16_t*) { return 1; }

// The root lists every loaded plug-in as a folder.
ErrorCode rootEnumerate(FileSystemProvider* slot, ProviderHandle* handle, const char16_t* folder,
                        EnumerateConsumer consumer, void* data) {
  if (slot->table == nullptr) return 0;
  ProviderTable& table = *slot->table;
  std::lock_guard<std::recursive_mutex> guard(table.lock());
  const char16_t* path = folder != nullptr ? folder : handle != nullptr ? handle->path.c_str() : u"";
  for (const FileSystemProvider& plugin : table.slots) {
    if (plugin.kind != kProviderPlugin || plugin.name == nullptr) continue;
    FindRecord record;
    record.folderPath = path;
    record.block.attributes = kFolderAttribute;
    record.name = plugin.name;
    record.nameLength = std::u16string_view(plugin.name).size();
    if (consumer(data, record) != 0) break;
  }
  return 0;
}

ProviderCapabilities rootCapabilities(FileSystemProvider* slot, ProviderHandle*) {
  return derivedCapabilities(*slot);
}

}  // namespace

void fillPluginRoot(FileSystemProvider& slot, const char16_t* name) {
  slot = FileSystemProvider{};
  slot.kind = kProviderPluginRoot;
  slot.name = name;
  slot.prefixLength = static_cast<int32_t>(std::u16string_view(name).size()) + 3;
  ProviderOperations& o = slot.ops;
  o.open = &rootOpen;
  o.release = &slot_helpers::releaseHandle;
  o.capabilities = &rootCapabilities;
  o.rootName = &rootRootName;
  o.displayPath = &rootDisplayPath;
  o.changeFolder = &rootChangeFolder;
  o.isFolderPath = &rootIsFolderPath;
  o.enumerate = &rootEnumerate;
}

}  // namespace crvl
