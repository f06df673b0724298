// How a module's find records become the program's entries: attributes (Unix modes
// packed into the attribute word), sizes, times, names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/entry_list.h"
#include "plugins/plugin_interface.h"

namespace crvl {

// Attributes of an entry with a Unix mode: this bit set, plus the folder bit for a
// folder, plus 0x2010 for a symbolic link (see isLinkEntry), plus the nine
// permission bits packed as owner r/w/x 0x1/0x2/0x4, group 0x20/0x40/0x80, others
// 0x100/0x200/0x400. Other entries keep read-only, hidden, system, folder, archive and
// encrypted (0x4037).
inline constexpr uint16_t kUnixModeAttributes = kUnixModeAttribute;

// The attributes of a find record (`mode` is its reserved0 word).
[[nodiscard]] uint16_t convertAttributes(uint32_t attributes, uint32_t mode) noexcept;
// high x 2^32 + low; from 2^64 - 100 on the size is unknown: all ones.
[[nodiscard]] uint64_t convertSize(uint32_t high, uint32_t low) noexcept;
// The time as FILETIME ticks; 0 (unset) when the high half is 0xFFFFFFFF.
[[nodiscard]] uint64_t convertTime(const wfx::FileTime& time) noexcept;
// The inverse for times handed to a module.
[[nodiscard]] wfx::FileTime toFileTime(uint64_t ticks) noexcept;

// Whether a name from a module is handed on: "." is (the consumer skips it); "..",
// empty names and names that would reach another folder or another file (a separator
// of either kind, a drive or stream colon, a control character) never are.
[[nodiscard]] bool isPassedName(std::u16string_view name) noexcept;

struct ConvertedEntry {
  EntryBlock block;
  std::u16string name;
  std::u16string alternateName;  // at most 13 characters; empty when there is none
};

// Converts a find record (names read up to their terminator within their arrays).
void convertEntry(const wfx::FindDataW& data, ConvertedEntry& out);

}  // namespace crvl
