// The list of configured plug-ins in the program settings (section "pgnFS"): which
// modules exist, under which name paths address each one, and whether it is enabled.
//
// Stored form: keys "1", "2", ... in list order, each value a ';'-separated list of the
// name, "+" (enabled) or "-" (disabled) followed by the module path, and the
// parameters, each field as MarkedText. An older form is read as well: a value without
// a second field is the module path of a plug-in named by its key, optionally followed
// by '*' and the parameters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace crvl {

class ProfileStore;

inline constexpr std::string_view kPluginSection = "pgnFS";
inline constexpr size_t kPluginNameChars = 63;
inline constexpr size_t kPluginPathChars = 1023;
inline constexpr size_t kPluginParameterChars = 511;

struct PluginEntry {
  bool enabled = true;
  std::u16string name;        // how paths address the plug-in; compared without case
  std::u16string modulePath;  // in the stored (macro) form
  std::u16string parameters;  // kept and shown; no part of the program reads it
  friend bool operator==(const PluginEntry&, const PluginEntry&) = default;
};

// One stored value as an entry; false for an empty value. A module path that begins
// with '+' or '-' takes its enabled flag from it (the character is removed; neither:
// enabled); one that begins with ".." is taken relative to the program's folder
// ("%MY_PATH%" and the rest). Fields are cut to their limits.
[[nodiscard]] bool parsePluginValue(std::string_view key, std::string_view value, bool utf8File, PluginEntry* out);

// The stored value of an entry (`utf8File`: the settings file began with EF BB BF).
[[nodiscard]] std::string pluginValue(const PluginEntry& entry, bool utf8File);

// The entries of section "pgnFS" in the order they stand there; empty values are none.
[[nodiscard]] std::vector<PluginEntry> readPluginEntries(ProfileStore& settings);

// Replaces the section by `rows` under the keys "1", "2", ... and answers whether the
// stored list changed (keys or values differ from what was there). An unchanged list
// leaves the settings untouched. Does not flush.
[[nodiscard]] bool writePluginEntries(ProfileStore& settings, const std::vector<PluginEntry>& rows);

}  // namespace crvl
