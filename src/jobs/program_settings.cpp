// Settings file locations, keys, the work-area entry, General Options, backup and restore.
#include "jobs/program_settings.h"

#include <algorithm>
#include <cstdio>
#include <thread>

#include "jobs/path_macros.h"
#include "jobs/profile_store.h"
#include "os_traits.h"
#include "platform/desktop.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace crvl {
namespace {

// Lives for the whole process; closing at exit flushes it.
ProfileStore gProgramSettings;

constexpr std::string_view kUseThisSection = "UseThis";
constexpr std::string_view kDeskSection = "Desk";
constexpr uint32_t kDelayLimit = 86'400;

// Joins the way stored folders are joined: with '/' when the folder already uses it.
std::u16string joinStoredFolder(std::u16string folder, std::u16string_view name) {
  if (folder.empty()) return std::u16string(name);
  if (!platform::isPathSeparator(folder.back())) {
    folder.push_back(folder.find(u'/') != std::u16string::npos ? u'/' : os::kSeparator);
  }
  folder += name;
  return folder;
}

// The program path without a leading double quote, split at its last separator.
std::u16string_view unquoted(std::u16string_view path) noexcept {
  if (!path.empty() && path.front() == u'"') path.remove_prefix(1);
  return path;
}

size_t nameStart(std::u16string_view path) noexcept {
  size_t start = path.size();
  while (start > 0 && !platform::isPathSeparator(path[start - 1])) --start;
  return start;
}

// Takes `path` when it opens for reading and writing.
bool takeChecked(ProfileStore& store, std::u16string_view path) {
  const ErrorCode result = store.setStorePath(path, 1);
  return result == kSuccess || result == kErrorAlreadyExists;
}

// Parses "w,h": '#' first means hexadecimal, else decimal with an optional sign.
bool parseSizePair(std::string_view value, int64_t* first, int64_t* second) {
  bool hex = false;
  if (!value.empty() && value.front() == '#') {
    hex = true;
    value.remove_prefix(1);
  }
  auto number = [&](int64_t* out) {
    bool negative = false;
    if (!hex && !value.empty() && value.front() == '-') {
      negative = true;
      value.remove_prefix(1);
    }
    int64_t n = 0;
    size_t digits = 0;
    while (!value.empty()) {
      const char c = value.front();
      int d = -1;
      if (c >= '0' && c <= '9') d = c - '0';
      else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
      else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
      if (d < 0) break;
      if (n < (int64_t{1} << 40)) n = n * (hex ? 16 : 10) + d;  // beyond any screen
      ++digits;
      value.remove_prefix(1);
    }
    *out = negative ? -n : n;
    return digits > 0;
  };
  if (!number(first)) return false;
  if (value.empty() || value.front() != ',') return false;
  value.remove_prefix(1);
  return number(second);
}

std::u16string perUserPathHook() { return perUserSettingsPath(); }
void locateHook(ProfileStore& store) { locateSettingsFile(store); }
void workAreaHook(ProfileStore& store) { checkWorkArea(store); }

// "name (n).ext" beside `path` for the first n from 2 that does not exist.
std::u16string freeCopyName(std::u16string_view path) {
  if (!platform::pathExists(path)) return std::u16string(path);
  const size_t start = nameStart(path);
  const size_t dot = path.rfind(u'.');
  const size_t stemEnd = dot == std::u16string_view::npos || dot < start ? path.size() : dot;
  std::u16string candidate;
  for (uint32_t n = 2; n <= 100'000; ++n) {
    candidate.assign(path.substr(0, stemEnd));
    candidate += u" (";
    for (char c : std::to_string(n)) candidate.push_back(static_cast<char16_t>(c));
    candidate += u")";
    candidate += path.substr(stemEnd);
    if (!platform::pathExists(candidate)) break;
  }
  return candidate;
}

}  // namespace

ProfileStore& programSettingsStore() { return gProgramSettings; }

std::u16string legacySettingsFileName(std::u16string_view programPath) {
  const std::u16string_view path = unquoted(programPath);
  std::u16string_view name = path.substr(nameStart(path));
  const size_t dot = name.rfind(u'.');
  if (dot != std::u16string_view::npos) name = name.substr(0, dot);
  std::u16string result(name.substr(0, 5));
  result += u".INI";
  return result;
}

std::u16string programFolderSettingsPath() {
  const std::u16string program = platform::programPath();
  const std::u16string_view path = unquoted(program);
  if (platform::isSystemProgramFolder(path.substr(0, nameStart(path)))) return {};
  std::u16string result(path.substr(0, nameStart(path)));
  result += kSettingsFileName;
  return result;
}

std::u16string perUserSettingsFolder() {
  const auto host = platform::environmentVariable(u"U3_HOST_EXEC_PATH");
  if (host && !host->empty() && platform::pathStartsWith(unquoted(platform::programPath()), *host)) {
    const auto data = platform::environmentVariable(u"U3_APP_DATA_PATH");
    if (data && !data->empty() && platform::pathExists(*data)) {
      std::u16string folder = *data;
      if (platform::parentOf(folder)) return folder;
    }
  }
  return perUserDataFolder();
}

std::u16string perUserSettingsPath() {
  return joinStoredFolder(perUserSettingsFolder(), kSettingsFileName);
}

std::u16string defaultSettingsFolder(std::u16string_view name) {
  return joinStoredFolder(perUserDataFolder(u"CRVL"), name);
}

std::u16string takeOverLegacySettings() {
  const std::u16string program = platform::programPath();
  const std::u16string legacy = legacySettingsFileName(program);
  // Where the names compare equal, the legacy file is already the shared one.
  if (platform::sameFileName(legacy, kSettingsFileName)) return {};
  std::u16string notice;
  for (std::u16string current : {perUserSettingsPath(), programFolderSettingsPath()}) {
    if (current.empty() || platform::pathExists(current)) continue;
    std::u16string old(platform::folderOf(current));
    platform::appendPathComponent(old, legacy);
    if (!platform::pathExists(old) || platform::isFolder(old)) continue;
    if (platform::moveEntry(old, current) == kSuccess) {
      notice += u"the settings file " + old + u" was renamed to " + current + u", shared by all the programs\n";
    }
  }
  return notice;
}

void locateSettingsFile(ProfileStore& store) {
  const std::u16string perUser = perUserSettingsPath();
  const std::u16string programFolder = programFolderSettingsPath();
  bool taken = false;
  if (platform::pathExists(perUser)) taken = takeChecked(store, perUser);
  if (programFolder.empty()) {
    // Installed in the system's folders: the settings are the user's own.
    if (!taken) (void)store.setStorePath(perUser, 0);
    return;
  }
  if (platform::pathExists(programFolder)) {
    std::u16string useThis;
    if (taken) store.getText(kUseThisSection, "Opt", nullptr, useThis);
    if (useThis.empty() && takeChecked(store, programFolder)) {
      taken = true;
      store.deleteSection(kUseThisSection);
    }
  }
  if (taken) return;
  if (store.setStorePath(programFolder, 0) == kSuccess) return;
  // A program-folder file that exists but cannot be opened for writing would lose every
  // change: use the per-user file instead, marked as a moved store.
  if (store.setStorePath(perUser, 0) == kSuccess) store.putText(kUseThisSection, "Opt", perUser);
}

ProgramSettingsHooks programSettingsHooks() {
  ProgramSettingsHooks hooks;
  hooks.locate = locateHook;
  hooks.checkWorkArea = workAreaHook;
  hooks.perUserSettingsPath = perUserPathHook;
  return hooks;
}

void openProgramSettings(ProfileStore& store, std::optional<std::u16string_view> path) {
  if (path) {
    store.openStore(path, kStoreProgramSettings | kStoreOwnFile, programSettingsHooks());
  } else {
    store.openStore(std::nullopt, kStoreProgramSettings, programSettingsHooks());
  }
}

void openProgramSettings(std::optional<std::u16string_view> path) {
  openProgramSettings(gProgramSettings, path);
}

bool workAreaEntryMatches(std::string_view value, uint32_t width, uint32_t height) {
  int64_t w = 0;
  int64_t h = 0;
  return parseSizePair(value, &w, &h) && w == width && h == height;
}

void updateWorkAreaEntry(ProfileStore& store, uint32_t width, uint32_t height) {
  // Under one lock: an entry that could not be read is not taken for a different one.
  StoreLock guard(store);
  if (!guard.ok()) return;
  std::string value;
  store.getString(kDeskSection, ".", nullptr, value, 64);
  if (workAreaEntryMatches(value, width, height)) return;
  char text[32];
  std::snprintf(text, sizeof text, "#%lx,%lx", static_cast<unsigned long>(width),
                static_cast<unsigned long>(height));
  store.putString(kDeskSection, ".", text);
}

void checkWorkArea(ProfileStore& store) {
  uint32_t width = 0;
  uint32_t height = 0;
  if (platform::desktopWorkArea(&width, &height)) updateWorkAreaEntry(store, width, height);
}

uint32_t readAppOptions(ProfileStore& settings) { return settings.getInt(kSettingsSection, "Opt", 0); }

uint32_t readMenuIconSize(ProfileStore& settings) {
  return settings.getInt(kSettingsSection, "IconMn", 0);
}

uint32_t menuIconSizeChoice(uint32_t stored) noexcept {
  return stored < kSmallestMenuIconSize ? kSmallestMenuIconSize : stored;
}

uint32_t logFormatFromStored(uint32_t stored) noexcept {
  if (stored > 7) stored = 0;
  return stored == 0 ? kDefaultLogFormat : stored;
}

uint32_t readLogFormat(ProfileStore& settings) {
  return logFormatFromStored(settings.getInt(kSettingsSection, "ExpMode", 0));
}

uint32_t readStartDelay(ProfileStore& settings) {
  const uint32_t delay = settings.getInt(kSettingsSection, "Delay", 0);
  return delay > kMaxStartDelaySeconds ? 0 : delay;
}

uint32_t defaultScanThreads() noexcept {
  return std::clamp(std::thread::hardware_concurrency(), 2u, 4u);
}

uint32_t readScanThreads(ProfileStore& settings) {
  const uint32_t threads = settings.getInt(kSettingsSection, "ScanThreads", 0);
  return threads == 0 ? defaultScanThreads() : std::min(threads, kMaxScanThreads);
}

uint32_t readCopyWorkers(ProfileStore& settings) {
  const uint32_t workers = settings.getInt(kSettingsSection, "CopyPool", 0);
  return workers > 8 ? 0 : workers;
}

uint32_t readDarkMode(ProfileStore& settings) {
  const uint32_t mode = settings.getInt(kSettingsSection, "DM", 0);
  return mode > 2 ? 0 : mode;
}

bool writeDarkMode(ProfileStore& settings, uint32_t choice, ErrorCode* flushResult) {
  uint32_t options = 0;
  return writeDarkMode(settings, choice, false, false, &options, flushResult);
}

bool writeDarkMode(ProfileStore& settings, uint32_t choice, bool wasDark, bool nowDark, uint32_t* appOptions,
                   ErrorCode* flushResult) {
  if (flushResult) *flushResult = kSuccess;
  if (choice > 2 || choice == readDarkMode(settings)) return false;
  settings.putInt(kSettingsSection, "DM", choice);
  if (wasDark != nowDark) {
    *appOptions = nowDark ? *appOptions | kAppNoMenuIcons : *appOptions & ~kAppNoMenuIcons;
    settings.putInt(kSettingsSection, "Opt", *appOptions);
  }
  const ErrorCode result = settings.flushStore();
  if (flushResult) *flushResult = result;
  return true;
}

std::u16string defaultJobFolder(ProfileStore& settings) {
  std::u16string stored;
  // Read whole: a cut folder would be another folder (a path too long for a job file
  // is refused when the file is saved).
  settings.getText(kSettingsSection, "Job", nullptr, stored, SIZE_MAX);
  std::u16string folder = expandPath(stored);
  if (!folder.empty()) return folder;
  // The shared settings file keeps its jobs in "CRVL/Job" beside it (the per-user data
  // folder); any other settings file gets the same shape beside itself, named after
  // it: "/x/B.INI" keeps its jobs in "/x/B/Job", apart from every other file's.
  const std::u16string path = settings.path();
  const std::u16string programFolder = programFolderSettingsPath();
  if (path.empty() || platform::sameFolderPath(path, perUserSettingsPath()) ||
      (!programFolder.empty() && platform::sameFolderPath(path, programFolder))) {
    return defaultSettingsFolder(u"Job");
  }
  const size_t start = nameStart(path);
  const size_t dot = path.rfind(u'.');
  const size_t stemEnd = dot == std::u16string::npos || dot <= start ? path.size() : dot;
  folder.assign(path, 0, stemEnd);
  platform::appendPathComponent(folder, u"Job");
  return folder;
}

std::u16string logFolder(ProfileStore& settings) {
  std::u16string stored;
  settings.getText(kSettingsSection, "Log", nullptr, stored, SIZE_MAX);
  std::u16string folder = expandPath(stored);
  return folder.empty() ? defaultSettingsFolder(u"Log") : folder;
}

bool isGermanLanguage(uint16_t languageId) noexcept {
  switch (languageId) {
    case 1031: case 2055: case 3079: case 4103: case 5127: return true;
    default: return false;
  }
}

std::string ensureLanguageCode(ProfileStore& settings, uint16_t systemLanguageId) {
  std::string code;
  // Read and written under one lock: a read skipped for a lock timeout must not pass
  // for a missing key and overwrite the stored one.
  StoreLock guard(settings);
  if (guard.ok()) settings.getString(kSettingsSection, "Language", nullptr, code, 4);
  if (code.empty()) {
    code = isGermanLanguage(systemLanguageId) ? "DE" : "US";
    if (guard.ok()) settings.putString(kSettingsSection, "Language", code);
  }
  return code;
}

uint32_t parseDelayField(std::u16string_view text) noexcept {
  uint64_t value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') break;
    value = value * 10 + static_cast<uint64_t>(c - u'0');
    if (value >= kDelayLimit) return 0;
  }
  return static_cast<uint32_t>(value);
}

GeneralOptions readGeneralOptions(ProfileStore& settings, const ProgramOptionState& state) {
  GeneralOptions options;
  options.startWithWindows = (state.appOptions & kAppStartWithWindows) != 0;
  options.iconsInMenu = (state.appOptions & kAppNoMenuIcons) == 0;
  options.menuIconSize = menuIconSizeChoice(state.menuIconSize);
  options.startDelaySeconds = readStartDelay(settings);
  settings.getText(kSettingsSection, "Job", u"", options.jobFolder, SIZE_MAX);
  if (options.jobFolder.empty()) options.jobFolder = options.jobFolderDefault = defaultJobFolder(settings);
  options.logToFolder = (state.appOptions & kAppNoJobLogs) == 0;
  settings.getText(kSettingsSection, "Log", u"", options.logFolder, SIZE_MAX);
  if (options.logFolder.empty()) options.logFolder = options.logFolderDefault = logFolder(settings);
  options.logFormat = logFormatFromStored(state.logFormat);
  return options;
}

GeneralOptionsOutcome saveGeneralOptions(ProfileStore& settings, const GeneralOptions& options,
                                         ProgramOptionState& state) {
  GeneralOptionsOutcome outcome;
  const uint64_t delay = options.startDelaySeconds >= kDelayLimit ? 0 : options.startDelaySeconds;
  settings.putInt(kSettingsSection, "Delay", static_cast<uint32_t>(delay));

  uint32_t opt = state.appOptions;
  opt = options.startWithWindows ? opt | kAppStartWithWindows : opt & ~kAppStartWithWindows;
  opt = options.iconsInMenu ? opt & ~kAppNoMenuIcons : opt | kAppNoMenuIcons;
  const uint32_t iconSize = options.menuIconSize;
  const auto typed = [](const std::u16string& field, const std::u16string& shownDefault) {
    return !shownDefault.empty() && field == shownDefault ? std::u16string() : field;
  };
  settings.putText(kSettingsSection, "Job", typed(options.jobFolder, options.jobFolderDefault));
  opt = options.logToFolder ? opt & ~kAppNoJobLogs : opt | kAppNoJobLogs;
  settings.putText(kSettingsSection, "Log", typed(options.logFolder, options.logFolderDefault));
  state.logFormat = options.logFormat;
  // Stored now, not only at the program's end: the next run writes its log in it, and
  // the choice survives a log-off.
  settings.putInt(kSettingsSection, "ExpMode", options.logFormat);
  settings.putInt(kSettingsSection, "Opt", opt);

  outcome.startWithWindowsChanged = ((opt ^ state.appOptions) & kAppStartWithWindows) != 0;
  outcome.menuIconsChanged = ((opt ^ state.appOptions) & kAppNoMenuIcons) != 0;
  outcome.menuIconSizeChanged = iconSize != state.menuIconSize;
  state.appOptions = opt;
  if (outcome.menuIconSizeChanged) {
    state.menuIconSize = iconSize;
    settings.putInt(kSettingsSection, "IconMn", iconSize);
  }
  outcome.flushResult = settings.flushStore();
  return outcome;
}

ErrorCode saveSettingsAtExit(ProfileStore& settings, const ProgramOptionState& state) {
  settings.putInt(kSettingsSection, "ExpMode", state.logFormat);
  return settings.flushStore();
}

ErrorCode backupSettings(ProfileStore& settings, std::u16string_view target, std::u16string* written,
                         ExistingTarget existing) {
  if (written) written->clear();
  (void)settings.flushStore();  // copy what the program holds now, even if unflushable
  const std::u16string current = settings.path();
  if (current.empty()) return kErrorFileNotFound;
  if (pathsEqual(target, current)) return kSuccess;
  // The copy goes through a temporary file renamed into place either way.
  const std::u16string destination =
      existing == ExistingTarget::Replace ? std::u16string(target) : freeCopyName(target);
  const ErrorCode result = platform::copyFile(current, destination);
  if (result == kSuccess && written) *written = destination;
  return result;
}

ErrorCode restoreSettings(ProfileStore& settings, std::u16string_view source, bool* restartNeeded) {
  *restartNeeded = false;
  const std::u16string current = settings.path();
  if (current.empty()) return kErrorFileNotFound;
  if (pathsEqual(source, current)) return kSuccess;
  // Nothing unsaved may be written over the restored file later.
  (void)settings.flushStore();
  const ErrorCode copied = platform::copyFile(source, current);
  if (copied != kSuccess) return copied;
  // Clearing the path and taking it again drops the text: the restored file is read
  // on the next access.
  (void)settings.setStorePath(u"", 0);
  (void)settings.setStorePath(current, 0);
  settings.freezeStore();
  *restartNeeded = true;
  return kSuccess;
}

}  // namespace crvl
