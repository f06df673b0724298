// Reading, writing, loading and saving job files.
#include "jobs/job.h"

#include <optional>

#include "jobs/filter_format.h"
#include "jobs/job_register.h"
#include "jobs/marked_text.h"
#include "jobs/path_macros.h"
#include "jobs/profile_store.h"
#include "jobs/program_settings.h"
#include "jobs/value_list.h"
#include "os_traits.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/paths.h"

namespace crvl {
namespace {

constexpr std::string_view kJobSection = "CRVL";
constexpr std::string_view kFolderSection = "Folder";
constexpr size_t kOptionCapacity = 4096;
constexpr size_t kSwitchChars = 63;

// The filter switch item: an unsigned decimal number (a leading '-' gives the two's
// complement); digits beyond 32 bits saturate.
uint32_t parseSwitch(std::string_view text) noexcept {
  text = text.substr(0, kSwitchChars);
  bool negative = false;
  if (!text.empty() && text[0] == '-') {
    negative = true;
    text.remove_prefix(1);
  }
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > 0xFFFFFFFFull) {
      value = 0xFFFFFFFFull;
      break;
    }
  }
  const uint32_t result = static_cast<uint32_t>(value);
  return negative ? 0u - result : result;
}

struct FolderReader {
  std::vector<std::u16string>* list;
  bool utf8File;
};

int collectFolderEntry(void* context, std::string_view /*key*/, std::string_view value) {
  auto* reader = static_cast<FolderReader*>(context);
  if (value.empty()) return 0;
  // Kept whole even when longer than a stored line: a cut entry would name other
  // folders (and lose its ';'); the run reports such an entry instead.
  std::u16string entry = decodeMarkedText(value, reader->utf8File);
  if (!entry.empty()) reader->list->push_back(std::move(entry));
  return 0;
}

// The file name of `path` without its extension.
std::u16string fileTitle(std::u16string_view path) {
  size_t start = path.size();
  while (start > 0 && !platform::isPathSeparator(path[start - 1])) --start;
  std::u16string_view name = path.substr(start);
  const size_t dot = name.rfind(u'.');
  if (dot != std::u16string_view::npos) name = name.substr(0, dot);
  return std::u16string(name);
}

bool endsWithJobExtension(std::u16string_view text) {
  return text.size() >= 4 && platform::namesEqual(text.substr(text.size() - 4), u".job");
}

// Opens a store on a job file of its own. Returns the result of taking the path.
ErrorCode openJobStore(ProfileStore& store, std::u16string_view path) {
  store.openStore(std::nullopt, kStoreOwnFile);
  return store.setStorePath(path, 0);
}

int countKey(void* context, std::string_view /*key*/) {
  ++*static_cast<size_t*>(context);
  return 1;
}

// Whether the job file at `path` holds a job: a key in its "CRVL" section or a folder
// entry. Empty files, garbage and other INI files hold neither.
bool holdsAJob(const Job& loaded, std::u16string_view path) {
  if (!loaded.folderList.empty()) return true;
  ProfileStore store;
  if (openJobStore(store, path) != kSuccess) return false;
  size_t keys = 0;
  store.enumerateSectionKeys(kJobSection, &countKey, &keys);
  (void)store.closeStore();
  return keys != 0;
}

}  // namespace

void rebuildPairLists(Job& job) {
  job.includedPairs.clear();
  job.excludedPairs.clear();
  for (const std::u16string& entry : job.folderList) {
    if (entry.empty()) continue;
    auto& target = entry[0] == kExcludedPairMarker ? job.excludedPairs : job.includedPairs;
    target.emplace_back(entry, 1);
  }
}

FolderSides splitFolderPair(std::u16string_view pair) noexcept {
  const size_t semicolon = pair.find(u';');
  if (semicolon == std::u16string_view::npos) return {pair, {}};
  return {pair.substr(0, semicolon), pair.substr(semicolon + 1)};
}

ErrorCode folderPairProblem(std::u16string_view left, std::u16string_view right) noexcept {
  for (std::u16string_view side : {left, right}) {
    if (side.find_first_of(u";\r\n") != std::u16string_view::npos) return kErrorInvalidName;
  }
  if (left.size() + right.size() + 2 > kMaxFolderEntryChars) return kErrorFilenameExcedRange;
  return kSuccess;
}

void readJobFile(Job& job, ProfileStore& store) {
  job.optionFlags = 0;
  job.filterSwitch = 0;
  job.unknownOptionTokens.clear();
  std::string value;
  store.getString(kJobSection, "Option", nullptr, value, kOptionCapacity);
  if (!value.empty()) {
    const std::vector<std::string_view> items = splitList(value);
    job.filterSwitch = parseSwitch(listItem(items, 0));
    // The first empty item ends the scan. Unknown tokens set nothing but are kept, so
    // that saving a job file of a newer version keeps its options.
    for (size_t i = 1; i < items.size() && !items[i].empty(); ++i) {
      const OptionFlags bit = optionForToken(items[i]);
      if (bit != 0) {
        job.optionFlags |= bit;
      } else {
        job.unknownOptionTokens.emplace_back(items[i]);
      }
    }
  }

  job.folderList.clear();
  FolderReader reader{&job.folderList, store.isUtf8File()};
  store.enumerateSection(kFolderSection, collectFolderEntry, &reader);
  rebuildPairLists(job);

  value.clear();
  store.getString(kJobSection, "Filter", nullptr, value, kOptionCapacity);
  parseFilter(value, job.filter, store.isUtf8File());
}

void writeJobFile(const Job& job, ProfileStore& store) {
  std::string option;
  appendListItem(std::to_string(job.filterSwitch), option, kOptionCapacity - 1);
  for (const OptionRow& row : OptionTable) {
    if (job.optionFlags & row.bit) appendListItem(row.token, option, kOptionCapacity - 1);
  }
  for (const std::string& token : job.unknownOptionTokens) {
    appendListItem(token, option, kOptionCapacity - 1);
  }
  store.putString(kJobSection, "Option", option);

  // A filter without conditions is written as an empty value.
  const bool utf8File = store.isUtf8File();
  std::string filter;
  if (!isEmptyFilter(job.filter)) formatFilter(job.filter, filter, utf8File);
  store.putString(kJobSection, "Filter", filter);

  // One edit for the whole list: a job of many pairs is written in one pass.
  std::vector<SectionEntry> folders;
  folders.reserve(job.folderList.size());
  for (size_t i = 0; i < job.folderList.size(); ++i) {
    folders.push_back({std::to_string(i + 1), encodeMarkedText(job.folderList[i], utf8File)});
  }
  store.replaceSection(kFolderSection, folders);
}

ErrorCode loadJob(Job& job, ProfileStore& settings) {
  job.jobFilePath = expandPath(job.jobFilePath);
  ErrorCode result = kSuccess;
  if (!job.jobFilePath.empty()) {
    const bool exists = platform::pathExists(job.jobFilePath);
    ProfileStore store;
    result = openJobStore(store, job.jobFilePath);
    readJobFile(job, store);  // a store without a path reads as empty
    (void)store.closeStore();
    if (result == kSuccess && !exists) result = kErrorFileNotFound;
  } else {
    readJobFile(job, settings);
    (void)settings.flushStore();
  }
  if (job.optionFlags == 0) job.optionFlags = DefaultMirrorFlags;
  return result;
}

ErrorCode loadJob(Job& job) { return loadJob(job, programSettingsStore()); }

ErrorCode saveJob(Job& job, ProfileStore& settings) {
  job.jobFilePath = expandPath(job.jobFilePath);
  if (job.jobFilePath.empty()) {
    writeJobFile(job, settings);
    return settings.flushStore();
  }
  ProfileStore store;
  const ErrorCode opened = openJobStore(store, job.jobFilePath);
  if (opened != kSuccess) {
    (void)store.closeStore();
    return opened;
  }
  writeJobFile(job, store);
  return store.closeStore();
}

ErrorCode saveJob(Job& job) { return saveJob(job, programSettingsStore()); }

void defaultJobFilePath(Job& job, ProfileStore& settings) {
  if (!job.jobFilePath.empty()) return;
  std::u16string path = defaultJobFolder(settings);
  if (path.empty() || !platform::isPathSeparator(path.back())) path.push_back(os::kSeparator);
  path += job.jobName;
  path += u".job";
  job.jobFilePath = contractPath(uniqueFileName(path));
}

void defaultJobFilePath(Job& job) { defaultJobFilePath(job, programSettingsStore()); }

std::u16string uniqueFileName(std::u16string_view path) {
  if (!platform::pathExists(path)) return std::u16string(path);
  size_t nameStart = path.size();
  while (nameStart > 0 && !platform::isPathSeparator(path[nameStart - 1])) --nameStart;
  const std::u16string_view name = path.substr(nameStart);
  const size_t dot = name.rfind(u'.');
  const std::u16string_view extension =
      dot == std::u16string_view::npos ? std::u16string_view{} : name.substr(dot);
  std::u16string candidate;
  // A folder of a million numbered files is not a case to wait for: the last
  // candidate is returned and the save reports whatever it meets.
  for (uint32_t n = 1; n <= 1'000'000; ++n) {
    candidate.assign(path.substr(0, nameStart));
    for (char c : std::to_string(n)) candidate.push_back(static_cast<char16_t>(c));
    candidate += extension;
    if (!platform::pathExists(candidate)) break;
  }
  return candidate;
}

ErrorCode loadJobByReference(std::u16string_view reference, Job& job, ProfileStore& settings,
                             int* jobNumber) {
  job = Job{};
  if (jobNumber) *jobNumber = -1;
  // A registered name comes first, whatever it looks like: a job named "Week.job" or
  // "Music/Photos" runs as the job of that name.
  const int number = findJobNumber(reference, settings);
  bool isPath = endsWithJobExtension(reference);
  for (char16_t c : reference) isPath = isPath || platform::isPathSeparator(c);
  if (number < 0 && isPath) {
    // Never cut: a cut path is another file.
    job.jobFilePath.assign(reference);
    job.jobName = fileTitle(job.jobFilePath).substr(0, kMaxJobNameChars);
    if (reference.size() > kMaxJobPathChars) return kErrorFilenameExcedRange;
    const ErrorCode loaded = loadJob(job, settings);
    if (loaded != kSuccess) return loaded;
    return holdsAJob(job, job.jobFilePath) ? kSuccess : kErrorInvalidData;
  }
  if (number < 0) return kErrorNotFound;
  if (jobNumber) *jobNumber = number;
  const ErrorCode read = readRegisterEntry(number, job, settings);
  if (read != kSuccess) return read;
  const ErrorCode loaded = loadJob(job, settings);
  if (loaded != kSuccess) return loaded;
  return holdsAJob(job, job.jobFilePath) ? kSuccess : kErrorInvalidData;
}

}  // namespace crvl
