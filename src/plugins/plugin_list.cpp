#include "plugins/plugin_list.h"

#include <utility>

#include "jobs/marked_text.h"
#include "jobs/profile_store.h"
#include "jobs/value_list.h"

namespace crvl {
namespace {

void cut(std::u16string& text, size_t limit) {
  if (text.size() > limit) text.resize(limit);
}

using KeyLines = std::vector<std::pair<std::string, std::string>>;

KeyLines sectionLines(ProfileStore& settings) {
  KeyLines lines;
  settings.enumerateSection(
      kPluginSection,
      [](void* context, std::string_view key, std::string_view value) {
        static_cast<KeyLines*>(context)->emplace_back(key, value);
        return 0;
      },
      &lines);
  return lines;
}

}  // namespace

bool parsePluginValue(std::string_view key, std::string_view value, bool utf8File, PluginEntry* out) {
  *out = PluginEntry{};
  if (value.empty()) return false;
  const std::vector<std::string_view> items = splitList(value);
  std::u16string path;
  if (items.size() >= 2) {
    out->name = listItemText(items, 0, utf8File);
    path = listItemText(items, 1, utf8File);
    out->parameters = listItemText(items, 2, utf8File);
  } else {
    // The older form: the key names the plug-in, the value is "path*parameters".
    out->name = decodeMarkedText(key, utf8File);
    const std::u16string text = decodeMarkedText(value, utf8File);
    const size_t star = text.find(u'*');
    path = text.substr(0, star);
    if (star != std::u16string::npos) out->parameters = text.substr(star + 1);
  }
  if (!path.empty() && (path[0] == u'+' || path[0] == u'-')) {
    out->enabled = path[0] == u'+';
    path.erase(0, 1);
  }
  if (path.starts_with(u"..")) path = u"%MY_PATH%" + path.substr(2);
  out->modulePath = std::move(path);
  cut(out->name, kPluginNameChars);
  cut(out->modulePath, kPluginPathChars);
  cut(out->parameters, kPluginParameterChars);
  return true;
}

std::string pluginValue(const PluginEntry& entry, bool utf8File) {
  std::string value;
  appendListItem(encodeMarkedText(entry.name, utf8File), value);
  appendListItem(encodeMarkedText((entry.enabled ? u"+" : u"-") + entry.modulePath, utf8File), value);
  appendListItem(encodeMarkedText(entry.parameters, utf8File), value);
  return value;
}

std::vector<PluginEntry> readPluginEntries(ProfileStore& settings) {
  const bool utf8File = settings.isUtf8File();
  std::vector<PluginEntry> entries;
  for (const auto& [key, value] : sectionLines(settings)) {
    PluginEntry entry;
    if (parsePluginValue(key, value, utf8File, &entry)) entries.push_back(std::move(entry));
  }
  return entries;
}

bool writePluginEntries(ProfileStore& settings, const std::vector<PluginEntry>& rows) {
  const bool utf8File = settings.isUtf8File();
  std::vector<SectionEntry> entries;
  KeyLines lines;
  for (size_t i = 0; i < rows.size(); ++i) {
    std::string value = pluginValue(rows[i], utf8File);
    if (value.empty()) continue;
    lines.emplace_back(std::to_string(i + 1), value);
    entries.push_back({std::to_string(i + 1), std::move(value)});
  }
  if (sectionLines(settings) == lines) return false;
  settings.replaceSection(kPluginSection, entries);
  return true;
}

}  // namespace crvl
