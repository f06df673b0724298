#include "plugins/plugin_entries.h"

#include <algorithm>

namespace crvl {
namespace {

constexpr uint32_t kModeTypeMask = 0xF000;
constexpr uint32_t kModeSymbolicLink = 0xA000;
constexpr uint16_t kLinkAttributes = 0x2010;
constexpr uint16_t kKeptAttributes = 0x4037;

template <size_t N>
std::u16string_view boundedName(const wfx::WChar (&name)[N]) {
  size_t n = 0;
  while (n < N && name[n] != 0) ++n;
  return {name, n};
}

}  // namespace

uint16_t convertAttributes(uint32_t attributes, uint32_t mode) noexcept {
  if ((attributes & wfx::kUnixModeFlag) == 0) return static_cast<uint16_t>(attributes & kKeptAttributes);
  uint16_t result = kUnixModeAttributes;
  if ((attributes & kFolderAttribute) != 0) result |= kFolderAttribute;
  // The run reads 0x2000 of such an entry as a link (isLinkEntry): never entered or
  // deleted through on a side it changes.
  if ((mode & kModeTypeMask) == kModeSymbolicLink) result |= kLinkAttributes;
  // rwx of owner, group and others: bits 8-6, 5-3 and 2-0 of the mode.
  static constexpr uint16_t kPacked[9] = {0x400, 0x200, 0x100, 0x80, 0x40, 0x20, 0x4, 0x2, 0x1};
  for (int bit = 0; bit < 9; ++bit) {
    if ((mode & (1u << bit)) != 0) result |= kPacked[bit];
  }
  return result;
}

uint64_t convertSize(uint32_t high, uint32_t low) noexcept {
  const uint64_t size = (static_cast<uint64_t>(high) << 32) | low;
  return size >= UINT64_MAX - 99 ? UINT64_MAX : size;
}

uint64_t convertTime(const wfx::FileTime& time) noexcept {
  if (time.high == 0xFFFFFFFFu) return 0;
  return (static_cast<uint64_t>(time.high) << 32) | time.low;
}

wfx::FileTime toFileTime(uint64_t ticks) noexcept {
  return wfx::FileTime{static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32)};
}

bool isPassedName(std::u16string_view name) noexcept {
  if (name == u".") return true;
  if (name.empty() || name == u"..") return false;
  return std::none_of(name.begin(), name.end(),
                      [](char16_t c) { return c < 0x20 || c == u'/' || c == u'\\' || c == u':'; });
}

void convertEntry(const wfx::FindDataW& data, ConvertedEntry& out) {
  out.block = EntryBlock{};
  out.block.attributes = convertAttributes(data.attributes, data.reserved0);
  out.block.size = convertSize(data.sizeHigh, data.sizeLow);
  out.block.creationTime = convertTime(data.creationTime);
  out.block.lastAccessTime = convertTime(data.lastAccessTime);
  out.block.lastWriteTime = convertTime(data.lastWriteTime);
  out.name.assign(boundedName(data.name));
  const std::u16string_view alternate = boundedName(data.alternateName);
  out.alternateName.assign(alternate.substr(0, 13));
}

}  // namespace crvl
