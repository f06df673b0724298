#include "cli/settings_commands.h"

#include <algorithm>
#include <array>
#include <string>

#include "jobs/path_macros.h"
#include "jobs/profile_store.h"
#include "jobs/program_settings.h"
#include "jobs/value_list.h"
#include "language/language_file.h"
#include "logs/log_format.h"
#include "platform/environment.h"
#include "platform/modules.h"
#include "platform/text.h"
#include "plugins/plugin_page.h"
#include "schedule/app_state.h"
#include "schedule/session_start.h"

namespace crvl::cli {
namespace {

// The bits of "Opt" a user sets, by the name the console gives them. `inverted`: the
// setting is on while the bit is clear.
struct OptionBit {
  std::u16string_view key;
  uint32_t bit;
  bool inverted;
};
constexpr OptionBit kOptionBits[] = {
    {u"start-with-system", kAppStartWithWindows, false},
    {u"menu-icons", kAppNoMenuIcons, true},
    {u"job-logs", kAppNoJobLogs, true},
    {u"show-password", kAppShowPassword, false},
};

constexpr std::array<uint32_t, 5> kMenuIconSizes = {16, 24, 32, 48, 64};
constexpr std::u16string_view kDarkModes[] = {u"disable", u"allow", u"force"};

bool onOff(std::u16string_view text, bool* on) {
  if (text == u"on" || text == u"yes" || text == u"1") {
    *on = true;
    return true;
  }
  if (text == u"off" || text == u"no" || text == u"0") {
    *on = false;
    return true;
  }
  return false;
}

bool readNumber(std::u16string_view text, uint64_t* value) {
  if (text.empty() || text.size() > 9) return false;
  uint64_t v = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return false;
    v = v * 10 + static_cast<uint64_t>(c - u'0');
  }
  *value = v;
  return true;
}

// The row of a plug-in name; -1 when none (names compare without case).
int32_t rowOf(const PluginListPage& page, std::u16string_view name) {
  for (size_t i = 0; i < page.rows().size(); ++i) {
    if (platform::namesEqual(page.rows()[i].name, name)) return static_cast<int32_t>(i);
  }
  return -1;
}

int savePage(Console& c, const PluginListPage& page) {
  const PluginPageSaved saved = page.save(c.settings, c.app.providers);
  if (saved.flushResult != kSuccess) {
    printError(u"cannot write the settings: " + messageText(saved.flushResult));
    return kExitActionsFailed;
  }
  return kExitOk;
}

std::u16string stored(ProfileStore& settings, std::string_view key) {
  std::u16string value;
  settings.getText(kSettingsSection, key, nullptr, value, SIZE_MAX);
  return value;
}

// "ScanThreads" as stored, 0 when the settings leave it to the machine.
uint32_t storedScanThreads(ProfileStore& settings) {
  const uint32_t threads = settings.getInt(kSettingsSection, "ScanThreads", 0);
  return std::min(threads, kMaxScanThreads);
}

}  // namespace

int listPlugins(Console& c) {
  JsonWriter json;
  json.beginArray();
  for (const PluginEntry& e : readPluginEntries(c.settings)) {
    if (c.line.json) {
      json.beginObject().field(u"name", e.name).field(u"enabled", e.enabled).field(u"module", e.modulePath);
      json.field(u"parameters", e.parameters).endObject();
    } else {
      print(e.name + u"\t" + (e.enabled ? u"enabled" : u"disabled") + u"\t" + e.modulePath +
            (e.parameters.empty() ? u"" : u"\t" + e.parameters) + u"\n");
    }
  }
  if (c.line.json) print(json.endArray().text() + u"\n");
  return kExitOk;
}

int addPlugin(Console& c) {
  const std::u16string& name = c.line.operands[0];
  if (name.size() > kPluginNameChars || name.find_first_of(u"\\/;\"") != std::u16string::npos) {
    return badInput(quoted(name) + u" cannot name a plug-in (at most 63 characters, no separators, ';' or '\"')");
  }
  PluginListPage page;
  page.load(c.settings);
  if (rowOf(page, name) >= 0) return badInput(u"a plug-in named " + quoted(name) + u" exists already");
  // As the entry dialog's browse: the module is loaded once to check it.
  PluginEntryDialog dialog = openEntryDialog(PluginEntry{});
  std::u16string message;
  const std::u16string module = expandPath(c.line.operands[1]);
  if (!chooseModule(dialog, module, &message)) {
    // The dynamic loader's words name the cause (a missing file, a wrong architecture).
    const std::u16string why = platform::lastModuleLoadText();
    return badInput(u"the plug-in module " + quoted(module) + u" could not be loaded" + (why.empty() ? u"" : u": " + why));
  }
  dialog.name = name;
  if (const auto params = c.line.value(u"params")) dialog.parameters = params->substr(0, kPluginParameterChars);
  if (!isStorableListItem(name) || !isStorableListItem(dialog.parameters) ||
      !isStorableListItem(dialog.modulePath)) {
    return badInput(u"the plug-in entry cannot be stored (a line break, or both \"; and ';)");
  }
  page.add(acceptEntryDialog(dialog));
  const int status = savePage(c, page);
  if (status == kExitOk) print(u"Plug-in " + name + u" added: paths beginning with ///" + name + u" reach it\n");
  return status;
}

int changePlugin(Console& c) {
  const std::u16string& name = c.line.operands[0];
  PluginListPage page;
  page.load(c.settings);
  const int32_t row = rowOf(page, name);
  if (row < 0) return badInput(u"no plug-in named " + quoted(name));
  switch (c.line.kind) {
    case CommandKind::PluginEnable:
      page.setChecked(row, true);
      break;
    case CommandKind::PluginDisable:
      page.setChecked(row, false);
      break;
    default:
      page.select(row);
      page.remove();
      break;
  }
  return savePage(c, page);
}

int showConfig(Console& c) {
  ProfileStore& s = c.settings;
  const uint32_t options = readAppOptions(s);
  const auto on = [&](const OptionBit& b) { return ((options & b.bit) != 0) != b.inverted; };
  const uint32_t format = static_cast<uint32_t>(readLogFormat(s));
  const LogFormatInfo* info = logFormatInfo(static_cast<LogFormat>(format));
  std::u16string language;
  s.getText(kSettingsSection, "Language", nullptr, language, 4);
  const uint32_t dark = readDarkMode(s);
  if (c.line.json) {
    JsonWriter json;
    json.beginObject().field(u"settingsFile", s.path());
    for (const OptionBit& b : kOptionBits) json.field(b.key, on(b));
    json.field(u"delay", static_cast<int64_t>(readStartDelay(s))).field(u"language", language);
    json.field(u"log-folder", stored(s, "Log")).field(u"log-format", static_cast<int64_t>(format));
    json.field(u"job-folder", stored(s, "Job")).field(u"menu-icon-size", static_cast<int64_t>(menuIconSizeChoice(readMenuIconSize(s))));
    json.field(u"dark-mode", kDarkModes[dark < 3 ? dark : 0]);
    json.field(u"copy-workers", static_cast<int64_t>(readCopyWorkers(s)));
    json.field(u"scan-threads", static_cast<int64_t>(storedScanThreads(s)));
    print(json.endObject().text() + u"\n");
    return kExitOk;
  }
  std::u16string out = u"settings file        " + s.path() + u"\n";
  for (const OptionBit& b : kOptionBits) {
    std::u16string key(b.key);
    key.resize(21, u' ');
    out += key + (on(b) ? u"on" : u"off") + u"\n";
  }
  out += u"delay                " + decimal(readStartDelay(s)) + u"\n";
  out += u"language             " + language + u"\n";
  // A folder not set shows as "-", the word that resets it, with the folder in use.
  const auto orDash = [](std::u16string text) { return text.empty() ? std::u16string(u"-") : text; };
  out += u"log-folder           " + orDash(stored(s, "Log")) + u"  (" + logFolder(s) + u")\n";
  out += u"log-format           " + decimal(format) + (info != nullptr ? u"  (" + std::u16string(info->name) + u")" : u"") + u"\n";
  out += u"job-folder           " + orDash(stored(s, "Job")) + u"  (" + defaultJobFolder(s) + u")\n";
  out += u"menu-icon-size       " + decimal(menuIconSizeChoice(readMenuIconSize(s))) + u"\n";
  out += u"dark-mode            " + std::u16string(kDarkModes[dark < 3 ? dark : 0]) + u"\n";
  // 0: one per core, at most 8.
  out += u"copy-workers         " + decimal(readCopyWorkers(s)) + u"\n";
  // 0: the machine's processors, 2 to 4.
  out += u"scan-threads         " + decimal(storedScanThreads(s)) + u"  (" + decimal(readScanThreads(s)) + u")\n";
  print(out);
  return kExitOk;
}

int setConfig(Console& c) {
  ProfileStore& s = c.settings;
  const std::u16string& key = c.line.operands[0];
  const std::u16string& value = c.line.operands[1];
  const auto bad = [&](std::u16string_view expected) {
    return badInput(u"config " + key + u": " + quoted(value) + u" is not " + std::u16string(expected));
  };
  uint64_t number = 0;
  bool flag = false;
  for (const OptionBit& b : kOptionBits) {
    if (key != b.key) continue;
    if (!onOff(value, &flag)) return bad(u"on or off");
    const uint32_t options = readAppOptions(s);
    const bool setBit = flag != b.inverted;
    s.putInt(kSettingsSection, "Opt", setBit ? options | b.bit : options & ~b.bit);
    if (b.bit == kAppStartWithWindows) {
      const ErrorCode r = updateSessionStart(flag, readStartDelay(s), s.path());
      if (r != kSuccess) printError(u"cannot change the start entry: " + messageText(r));
    }
    return s.flushStore() == kSuccess ? kExitOk : kExitActionsFailed;
  }
  if (key == u"delay") {
    if (!readNumber(value, &number) || number > 86399) return bad(u"a number of seconds from 0 to 86399");
    s.putInt(kSettingsSection, "Delay", static_cast<uint32_t>(number));
  } else if (key == u"language") {
    std::u16string wanted = value;
    for (char16_t& ch : wanted) ch = ch >= u'a' && ch <= u'z' ? static_cast<char16_t>(ch - 32) : ch;
    const auto languages = availableLanguages(platform::programPath());
    if (std::none_of(languages.begin(), languages.end(), [&](const LanguageChoice& l) { return l.key == wanted; })) {
      std::u16string keys;
      for (const LanguageChoice& l : languages) keys += (keys.empty() ? u"" : u", ") + l.key;
      return bad(u"a language here (" + keys + u")");
    }
    s.putText(kSettingsSection, "Language", wanted);
  } else if (key == u"log-folder" || key == u"job-folder") {
    // The stored folder is read back whole or not at all: a cut one is another folder.
    if (!fitsStoredPath(value)) return bad(u"a folder of at most " + decimal(kMaxPathChars) + u" characters");
    s.putText(kSettingsSection, key == u"log-folder" ? "Log" : "Job", value == u"-" ? u"" : value);
  } else if (key == u"log-format") {
    if (!readNumber(value, &number) || number < 1 || number > 7) return bad(u"a log format from 1 to 7");
    s.putInt(kSettingsSection, "ExpMode", static_cast<uint32_t>(number));
  } else if (key == u"menu-icon-size") {
    if (!readNumber(value, &number) ||
        std::find(kMenuIconSizes.begin(), kMenuIconSizes.end(), number) == kMenuIconSizes.end()) {
      return bad(u"16, 24, 32, 48 or 64");
    }
    s.putInt(kSettingsSection, "IconMn", static_cast<uint32_t>(number));
  } else if (key == u"copy-workers") {
    if (!readNumber(value, &number) || number > 8) return bad(u"a number of workers from 0 (one per core) to 8");
    s.putInt(kSettingsSection, "CopyPool", static_cast<uint32_t>(number));
  } else if (key == u"scan-threads") {
    if (!readNumber(value, &number) || number > kMaxScanThreads) {
      return bad(u"a number of threads from 0 (2 to 4 by the processors) to " + decimal(kMaxScanThreads));
    }
    s.putInt(kSettingsSection, "ScanThreads", static_cast<uint32_t>(number));
  } else if (key == u"dark-mode") {
    const auto* found = std::find(std::begin(kDarkModes), std::end(kDarkModes), value);
    if (found == std::end(kDarkModes)) return bad(u"disable, allow or force");
    (void)writeDarkMode(s, static_cast<uint32_t>(found - std::begin(kDarkModes)));
  } else {
    return badInput(u"unknown setting " + quoted(key) + u" (config show lists them)");
  }
  const ErrorCode flushed = s.flushStore();
  if (flushed != kSuccess) {
    printError(u"cannot write the settings: " + messageText(flushed));
    return kExitActionsFailed;
  }
  return kExitOk;
}

std::vector<std::u16string> configSetKeys() {
  std::vector<std::u16string> keys;
  for (const OptionBit& b : kOptionBits) keys.emplace_back(b.key);
  for (std::u16string_view key : {u"delay", u"language", u"log-folder", u"log-format", u"job-folder", u"menu-icon-size",
                                  u"dark-mode", u"copy-workers", u"scan-threads"}) {
    keys.emplace_back(key);
  }
  return keys;
}

std::vector<std::u16string> configSetValues(std::u16string_view key, bool* folder) {
  *folder = key == u"log-folder" || key == u"job-folder";
  std::vector<std::u16string> values;
  if (*folder) {
    values.emplace_back(u"-");  // the default folder
  } else if (std::any_of(std::begin(kOptionBits), std::end(kOptionBits), [&](const OptionBit& b) { return b.key == key; })) {
    values = {u"on", u"off"};
  } else if (key == u"log-format") {
    for (char16_t digit = u'1'; digit <= u'7'; ++digit) values.emplace_back(1, digit);
  } else if (key == u"menu-icon-size") {
    for (uint32_t size : kMenuIconSizes) values.push_back(decimal(size));
  } else if (key == u"dark-mode") {
    values.assign(std::begin(kDarkModes), std::end(kDarkModes));
  } else if (key == u"language") {
    for (const LanguageChoice& l : availableLanguages(platform::programPath())) values.push_back(l.key);
  }
  return values;
}

}  // namespace crvl::cli
