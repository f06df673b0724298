#include "cli/job_commands.h"

#include <algorithm>
#include <cstdio>

#include "jobs/filter_format.h"
#include "jobs/folder_side.h"
#include "jobs/job_editor.h"
#include "jobs/job_register.h"
#include "jobs/marked_text.h"
#include "jobs/path_macros.h"
#include "jobs/profile_store.h"
#include "jobs/register_list.h"
#include "jobs/sync_modes.h"
#include "jobs/value_list.h"
#include "language/language_table.h"
#include "os_traits.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "schedule/task.h"

namespace crvl::cli {
namespace {

constexpr std::u16string_view kModeNames[] = {u"User",   u"Mirror",        u"Augment",      u"Refresh",
                                              u"Update", u"Consolidation", u"Bidirectional"};

bool equalIgnoringCase(std::u16string_view a, std::u16string_view b) { return platform::namesEqual(a, b); }

// The option rows of the tokens in `given`; false with the bad token otherwise.
// `allowClear`: "-TOKEN" clears (job set).
struct OptionChange {
  size_t row;
  bool set;
};
bool readOptions(const CommandLine& line, bool allowClear, std::vector<OptionChange>& changes, std::u16string* bad) {
  for (const GivenOption* o : line.all(u"option")) {
    std::u16string_view token = o->values.front();
    bool set = true;
    // "-" clears, except for "->", which is itself a token.
    if (allowClear && token.size() > 1 && token[0] == u'-' && token != u"->") {
      set = false;
      token.remove_prefix(1);
    }
    const OptionFlags bit = optionForToken(platform::toUtf8(token));
    if (bit == 0) {
      *bad = std::u16string(o->values.front());
      return false;
    }
    for (size_t row = 0; row < OptionTable.size(); ++row) {
      if (OptionTable[row].bit == bit) changes.push_back({row, set});
    }
  }
  return true;
}

}  // namespace

std::u16string tooLongEntryText(int number) {
  return u"job register entry " + decimal(static_cast<uint64_t>(number)) + u" has a name longer than " +
         decimal(kMaxJobNameChars) + u" characters or a path longer than " + decimal(kMaxJobPathChars) +
         u"; the job is not run (shorten it in the settings file)";
}

namespace {

// The register number of a job name; -1 with the message given when there is none.
int jobNumberOf(Console& c, std::u16string_view name) {
  const int number = findJobNumber(name, c.settings);
  if (number <= 0) printError(u"no job named " + quoted(name) + u" in the job register");
  return number;
}

bool loadRegisterJob(Console& c, int number, Job& job) {
  ErrorCode r = readRegisterEntry(number, job, c.settings);
  if (r == kErrorFilenameExcedRange) {
    printError(tooLongEntryText(number));
    return false;
  }
  if (r == kSuccess) r = loadJob(job, c.settings);
  if (r != kSuccess) printError(u"cannot read the job file " + job.jobFilePath + u": " + messageText(r));
  return r == kSuccess;
}

// A new job name: not empty, at most 40 characters, not a menu entry's form, not taken.
bool checkNewName(Console& c, std::u16string_view name, std::u16string_view except = {}) {
  if (name.size() > kMaxJobNameChars) {
    printError(quoted(name) + u" is longer than 40 characters");
    return false;
  }
  if (name[0] == u'-' || name[0] == u' ' || name.find_first_of(u"\r\n") != std::u16string_view::npos) {
    printError(quoted(name) + u" cannot be a job name (a leading \"-\" or blank marks menu entries)");
    return false;
  }
  if (!isStorableListItem(name)) {
    printError(quoted(name) + u" cannot be stored as a job name (it holds both \"; and ';)");
    return false;
  }
  if (findJobNumber(name, c.settings) > 0 && !equalIgnoringCase(name, except)) {
    printError(u"a job named " + quoted(name) + u" exists already");
    return false;
  }
  return true;
}

// A folder side as typed, ready to store: after its medium prefixes, "~" and "~/..."
// (which a shell left unexpanded) become the home folder, and a relative path is made
// absolute against the current folder, so the job runs the same from anywhere. Macros
// ("%...") and plug-in paths stay as they are. Empty when the current folder or the
// home folder cannot be read.
std::u16string enteredSide(std::u16string_view text) {
  FolderSide side = parseFolderSide(text);
  std::u16string& path = side.path;
  if (path.empty() || path[0] == u'%' || side.unclosed) return std::u16string(text);
  if (path == u"~" || (path.size() > 1 && path[0] == u'~' && platform::isPathSeparator(path[1]))) {
    const std::u16string home = platform::homeFolder();
    if (home.empty()) return {};
    path = home + path.substr(1);
  }
  const bool absolute = os::kDrivePaths
                            ? (platform::isDrivePath(path) && path.size() > 2 && platform::isPathSeparator(path[2])) ||
                                  platform::leadingSeparators(path) >= 2
                            : platform::leadingSeparators(path) >= 1;
  if (!absolute) {
    path = platform::absolutePath(path);
    if (path.empty()) return {};
    platform::normalizePath(path);
  }
  return formatFolderSide(side);
}

// Both sides of a pair given on the command line, as they will be stored; false with
// the message printed when the pair cannot be stored as given.
bool enteredPair(std::u16string_view left, std::u16string_view right, std::u16string* leftOut,
                 std::u16string* rightOut) {
  // Checked as typed too: a line break must not vanish into a made-absolute path.
  ErrorCode problem = folderPairProblem(left, right);
  if (problem == kSuccess) {
    *leftOut = enteredSide(left);
    *rightOut = enteredSide(right);
    if (leftOut->empty() || rightOut->empty()) {
      printError(u"cannot make the folder " + quoted(leftOut->empty() ? left : right) +
                 u" absolute: the current or home folder cannot be read");
      return false;
    }
    problem = folderPairProblem(*leftOut, *rightOut);
  }
  if (problem == kErrorInvalidName) {
    printError(u"a folder path cannot hold \";\" or a line break: " + quoted(left) + u" " + quoted(right));
    return false;
  }
  if (problem != kSuccess) {
    printError(u"the folder pair is too long: a job file holds at most " + decimal(kMaxFolderEntryChars - 2) +
               u" characters for both folders together, " + decimal(leftOut->size() + rightOut->size()) +
               u" given; nothing was written");
    return false;
  }
  return true;
}

std::u16string modeName(int mode) { return uiText(SyncModeTable[static_cast<size_t>(mode)].textId); }

// A side of a pair in words: its path and what its medium prefixes ask for.
std::u16string describeSide(std::u16string_view text) {
  const FolderSide side = parseFolderSide(text);
  std::u16string out = side.path;
  std::vector<std::u16string> notes;
  if (side.hasSerial) {
    notes.push_back(uiText(2512) + u": " + side.serialText);
    if (!side.search) notes.push_back(uiText(2511));
  }
  if (side.eject) notes.push_back(uiText(2520));
  if (!notes.empty()) {
    out += u"  [";
    for (size_t i = 0; i < notes.size(); ++i) out += (i == 0 ? u"" : u"; ") + notes[i];
    out += u"]";
  }
  return out;
}

std::u16string attributeText(uint16_t bit) {
  for (size_t box = 0; box < kAttributeBoxBits.size(); ++box) {
    if (kAttributeBoxBits[box] != bit) continue;
    std::u16string text = uiText(static_cast<uint16_t>(2350 + box));
    text.erase(std::remove(text.begin(), text.end(), u'&'), text.end());
    return text;
  }
  return {};
}

std::u16string timeBound(const FilterBlock& block, bool upper) {
  if (block.dateUnit == 0) return {};
  const size_t unit = kDateUnitLetters.find(block.dateUnit);
  if (block.dateUnit == 'D' || block.dateUnit == 'T') {
    const CalendarTime t = fileTimeToCalendar(platform::utcToLocal(static_cast<uint64_t>(block.dateValue)));
    char text[64];
    if (block.dateUnit == 'D') {
      std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", unsigned(t.year), unsigned(t.month),
                    unsigned(t.day), unsigned(t.hour), unsigned(t.minute), unsigned(t.second));
    } else {
      std::snprintf(text, sizeof text, "%02u:%02u:%02u", unsigned(t.hour), unsigned(t.minute), unsigned(t.second));
    }
    return std::u16string(upper ? u"<= " : u">= ") + platform::fromUtf8(text);
  }
  return uiText(upper ? 2314 : 2313) + u" " + decimal(static_cast<uint64_t>(block.dateValue)) + u" " +
         uiText(static_cast<uint16_t>(2358 + unit));
}

std::u16string sizeBound(const FilterBlock& block, bool upper) {
  if (block.sizeUnit == 0) return {};
  static constexpr std::u16string_view kUnits[] = {u"B", u"KB", u"MB", u"GB"};
  const size_t unit = kSizeUnitLetters.find(block.sizeUnit);
  return std::u16string(upper ? u"<= " : u">= ") + decimal(static_cast<uint64_t>(block.sizeValue)) + u" " +
         std::u16string(kUnits[unit < 4 ? unit : 0]);
}

}  // namespace

int modeOfName(std::u16string_view name) {
  for (size_t i = 0; i < std::size(kModeNames); ++i) {
    if (equalIgnoringCase(name, kModeNames[i])) return static_cast<int>(i);
  }
  if (equalIgnoringCase(name, u"User defined")) return kModeUserDefined;
  return -1;
}

namespace {
// A refused filter item, with the rule it breaks.
std::u16string filterItemError(std::u16string_view item) {
  return u"unknown filter item " + quoted(item) +
         u": items are separated by ';' and start with + or - (masks), d (a time bound), l (a size bound), a "
         u"(attributes), c or r (the time used); \"crvl help filter\" shows the rules";
}
}  // namespace

bool readFilterStrictly(std::u16string_view text, Filter& filter, std::u16string* bad) {
  std::string stored;
  for (std::u16string_view item : splitList(text)) {
    if (item.empty()) break;
    const char16_t code = item[0];
    std::u16string_view rest = item.substr(1);
    bool ok = false;
    switch (code) {
      case u'c':
      case u'r':
        ok = rest.empty();
        break;
      case u'a':
        ok = std::all_of(rest.begin(), rest.end(), [](char16_t c) {
          return std::any_of(std::begin(kFilterAttributeLetters), std::end(kFilterAttributeLetters),
                             [c](const FilterAttributeLetter& l) {
                               return c == static_cast<char16_t>(l.letter) || c == static_cast<char16_t>(l.letter + 32);
                             });
        });
        break;
      case u'+':
      case u'-':
        ok = rest.size() <= kMaxFilterMaskChars;
        break;
      case u'd':
      case u'l': {
        const std::string_view units = code == u'd' ? kDateUnitLetters : kSizeUnitLetters;
        ok = !rest.empty() && rest[0] < 0x80 && units.find(static_cast<char>(rest[0])) != std::string_view::npos &&
             rest.size() > 1 && rest.size() <= 20 &&
             std::all_of(rest.begin() + 1, rest.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
        break;
      }
      default:
        break;
    }
    if (!ok) {
      *bad = std::u16string(item);
      return false;
    }
    appendListItem(encodeMarkedText(item), stored);
  }
  filter = Filter{};
  parseFilter(stored, filter);
  return true;
}

std::u16string filterText(const Filter& filter) {
  const std::string stored = formatFilter(filter);
  const std::vector<std::string_view> items = splitList(stored);
  std::u16string text;
  for (size_t i = 0; i < items.size(); ++i) appendListItem(listItemText(items, i), text);
  return text;
}

std::u16string describeFilter(const Filter& f) {
  std::vector<std::u16string> parts;
  if (!f.include.masks.empty()) parts.push_back(uiText(2302) + u": " + f.include.masks);
  if (!f.exclude.masks.empty()) parts.push_back(uiText(2303) + u": " + f.exclude.masks);
  const std::u16string lower = timeBound(f.include, false), upper = timeBound(f.exclude, true);
  if (!lower.empty() || !upper.empty()) {
    std::u16string t = uiText(static_cast<uint16_t>(f.timeKind == kTimeCreated ? 2310 : f.timeKind == kTimeLastAccess ? 2312 : 2309));
    if (!lower.empty()) t += u" " + lower;
    if (!upper.empty()) t += (lower.empty() ? u" " : u", ") + upper;
    parts.push_back(t);
  }
  const std::u16string small = sizeBound(f.include, false), large = sizeBound(f.exclude, true);
  if (!small.empty() || !large.empty()) {
    parts.push_back(uiText(2342) + u" " + small + (small.empty() || large.empty() ? u"" : u", ") + large);
  }
  if ((f.include.attributes & kAttributeTestOff) == 0 && (f.include.attributes | f.exclude.attributes) != 0) {
    std::u16string a = uiText(2349) + u":";
    for (uint16_t bit : kAttributeBoxBits) {
      if ((f.include.attributes & bit) != 0) a += u" +" + attributeText(bit);
      if ((f.exclude.attributes & bit) != 0) a += u" -" + attributeText(bit);
    }
    parts.push_back(a);
  }
  std::u16string out;
  for (const std::u16string& p : parts) out += (out.empty() ? u"" : u"; ") + p;
  return out.empty() ? u"-" : out;
}

Job composeNewJob(std::u16string_view name, int mode, const std::vector<OptionFlags>& options,
                  std::u16string_view left, std::u16string_view right, const Filter* filter) {
  RegisterList list;
  Job job = list.newJob();
  job.jobName = std::u16string(name.substr(0, kMaxJobNameChars));
  if (filter != nullptr) {
    job.filter = *filter;
    job.filterSwitch |= 1u;
  }
  JobEditor editor(job);
  if (mode != kModeUserDefined) editor.chooseMode(mode);
  for (OptionFlags bit : options) {
    for (size_t row = 0; row < OptionTable.size(); ++row) {
      if (OptionTable[row].bit == bit) editor.setOption(row, true);
    }
  }
  (void)editor.addRow(std::u16string(left), std::u16string(right));
  return editor.apply(job);
}

int listJobs(Console& c) {
  JsonWriter json;
  json.beginArray();
  int depth = 0;
  const std::vector<RegisterRow> rows = readRegister(c.settings);
  if (rows.empty() && !c.line.json) {
    // Scripts read the --json form, an empty array here.
    print(u"No jobs yet. Create one with: crvl job new NAME LEFT RIGHT [--mode Mirror] (crvl job new --help)\n");
    return kExitOk;
  }
  for (const RegisterRow& row : rows) {
    const std::u16string indent(static_cast<size_t>(depth) * 2, u' ');
    switch (row.kind) {
      case RegisterKind::Job:
        if (c.line.json) {
          json.beginObject().field(u"type", u"job").field(u"name", row.name).field(u"file", expandPath(row.path));
          json.field(u"depth", depth);
          if (!fitsRegisterLimits(row)) json.field(u"runnable", false);
          json.endObject();
        } else {
          print(indent + row.name + (row.path.empty() ? u"" : u"\t" + expandPath(row.path)) +
                (fitsRegisterLimits(row) ? u"" : u"\t(not runnable: name or path too long)") + u"\n");
        }
        break;
      case RegisterKind::GroupStart:
        if (c.line.json) {
          json.beginObject().field(u"type", u"group").field(u"name", row.name).field(u"depth", depth).endObject();
        } else {
          print(indent + u"[" + row.name + u"]\n");
        }
        ++depth;
        break;
      case RegisterKind::GroupEnd:
        if (depth > 0) --depth;
        if (c.line.json) json.beginObject().field(u"type", u"end").field(u"depth", depth).endObject();
        break;
      case RegisterKind::Separator:
        if (c.line.json) {
          json.beginObject().field(u"type", u"separator").field(u"depth", depth).endObject();
        } else {
          print(indent + u"--\n");
        }
        break;
    }
  }
  if (c.line.json) print(json.endArray().text() + u"\n");
  return kExitOk;
}

int newJob(Console& c) {
  const std::u16string& name = c.line.operands[0];
  if (!checkNewName(c, name)) return kExitUsage;
  int mode = kModeMirror;
  if (const auto m = c.line.value(u"mode")) {
    mode = modeOfName(*m);
    if (mode < 0) return badInput(u"unknown mode " + quoted(*m));
  }
  std::vector<OptionChange> changes;
  std::u16string bad;
  if (!readOptions(c.line, /*allowClear=*/false, changes, &bad)) return badInput(u"unknown option token " + quoted(bad));
  std::optional<Filter> filter;
  if (const auto f = c.line.value(u"filter")) {
    filter.emplace();
    if (!readFilterStrictly(*f, *filter, &bad)) return badInput(filterItemError(bad));
  }
  std::u16string left, right;
  if (!enteredPair(c.line.operands[1], c.line.operands[2], &left, &right)) return kExitUsage;
  std::vector<OptionFlags> bits;
  for (const OptionChange& change : changes) bits.push_back(OptionTable[change.row].bit);
  Job job = composeNewJob(name, mode, bits, left, right, filter ? &*filter : nullptr);
  if (const auto file = c.line.value(u"file")) {
    const std::u16string path = expandPath(*file);
    if (platform::pathExists(path)) return badInput(u"the file " + quoted(path) + u" exists already");
    if (!fitsStoredPath(contractPath(path))) {
      return badInput(u"the job file path " + quoted(path) + u" is longer than the register holds (" +
                      decimal(kMaxJobPathChars) + u" characters); nothing was written");
    }
    job.jobFilePath = contractPath(path);
  }
  const ErrorCode saved = storeEditedJob(job, c.settings);
  if (saved != kSuccess) {
    printError(u"cannot write the job file " + expandPath(job.jobFilePath) + u": " + messageText(saved));
    return kExitActionsFailed;
  }
  RegisterList list;
  list.load(c.settings);
  (void)list.insertJob(job);
  const ErrorCode committed = list.commit(c.settings);
  if (committed != kSuccess) {
    // The job file and its register entry are one step: a job file that no register
    // names would be found by nobody.
    const std::u16string written = expandPath(job.jobFilePath);
    (void)platform::deleteFile(written);
    (void)platform::deleteFile(storeLockPath(written));
    printError(u"cannot write the settings: " + messageText(committed) + u"; the job was not created");
    return kExitActionsFailed;
  }
  print(u"Job " + job.jobName + u" created: " + expandPath(job.jobFilePath) + u"\n");
  return kExitOk;
}

int showJob(Console& c) {
  const int number = jobNumberOf(c, c.line.operands[0]);
  if (number <= 0) return kExitUsage;
  Job job;
  if (!loadRegisterJob(c, number, job)) return kExitUsage;
  const int mode = modeForFlags(job.optionFlags);
  if (c.line.json) {
    JsonWriter json;
    json.beginObject().field(u"name", job.jobName).field(u"file", job.jobFilePath).field(u"mode", kModeNames[mode]);
    json.key(u"options").beginArray();
    for (const OptionRow& row : OptionTable) {
      if ((job.optionFlags & row.bit) != 0) json.value(platform::fromUtf8(row.token));
    }
    json.endArray().key(u"pairs").beginArray();
    for (const std::u16string& entry : job.folderList) {
      if (entry.empty()) continue;
      const FolderSides sides = splitFolderPair(std::u16string_view(entry).substr(1));
      json.beginObject().field(u"excluded", entry[0] == kExcludedPairMarker).field(u"left", sides.left);
      json.field(u"right", sides.right).endObject();
    }
    json.endArray().field(u"filterOn", job.filterOn()).field(u"filter", filterText(job.filter));
    print(json.endObject().text() + u"\n");
    return kExitOk;
  }
  std::u16string out = u"Job:      " + job.jobName + u"\nFile:     " + job.jobFilePath + u"\nMode:     " +
                       modeName(mode) + u"\nOptions:\n";
  for (const OptionRow& row : OptionTable) {
    if ((job.optionFlags & row.bit) != 0) {
      out += u"  " + platform::fromUtf8(row.token) + std::u16string(4 - std::min<size_t>(row.token.size(), 3), u' ') +
             uiText(row.textId) + u"\n";
    }
  }
  out += u"Folder pairs:\n";
  size_t n = 0;
  for (const std::u16string& entry : job.folderList) {
    if (entry.empty()) continue;
    const FolderSides sides = splitFolderPair(std::u16string_view(entry).substr(1));
    out += u"  " + decimal(++n) + (entry[0] == kExcludedPairMarker ? u"  (excluded)" : u"") + u"\n    " +
           describeSide(sides.left) + u"\n    " + describeSide(sides.right) + u"\n";
  }
  out += u"Filter:   " + std::u16string(job.filterOn() ? u"on" : u"off") + u"; " + describeFilter(job.filter) + u"\n";
  print(out);
  return kExitOk;
}

int setJob(Console& c) {
  const int number = jobNumberOf(c, c.line.operands[0]);
  if (number <= 0) return kExitUsage;
  Job job;
  if (!loadRegisterJob(c, number, job)) return kExitUsage;
  // Everything is read and checked before anything is written.
  int mode = -1;
  if (const auto m = c.line.value(u"mode")) {
    mode = modeOfName(*m);
    if (mode < 0) return badInput(u"unknown mode " + quoted(*m));
  }
  std::vector<OptionChange> changes;
  std::u16string bad;
  if (!readOptions(c.line, /*allowClear=*/true, changes, &bad)) return badInput(u"unknown option token " + quoted(bad));
  if (const auto f = c.line.value(u"filter")) {
    Filter filter;
    if (!readFilterStrictly(*f, filter, &bad)) return badInput(filterItemError(bad));
    job.filter = filter;
    // A filter given is meant to apply, unless --filter-off says otherwise.
    if (!c.line.has(u"filter-off")) job.filterSwitch |= 1u;
  }
  if (c.line.has(u"filter-on") && c.line.has(u"filter-off")) return badInput(u"--filter-on and --filter-off together");
  std::vector<size_t> removals;
  size_t pairs = 0;
  for (const std::u16string& entry : job.folderList) pairs += entry.empty() ? 0 : 1;
  for (const GivenOption* o : c.line.all(u"remove-pair")) {
    uint64_t n = 0;
    const std::u16string& text = o->values.front();
    if (text.size() > 6 || !std::all_of(text.begin(), text.end(), [](char16_t ch) { return ch >= u'0' && ch <= u'9'; }) ||
        (n = std::stoull(platform::toUtf8(text))) == 0 || n > pairs) {
      return badInput(u"no folder pair " + quoted(text) + u" (the job has " + decimal(pairs) + u")");
    }
    removals.push_back(static_cast<size_t>(n - 1));
  }
  // Every pair is checked before anything is written.
  std::vector<std::pair<std::u16string, std::u16string>> added;
  for (const GivenOption& o : c.line.options) {
    if (o.name != u"add-pair" && o.name != u"exclude-pair") continue;
    std::u16string left, right;
    if (!enteredPair(o.values[0], o.values[1], &left, &right)) return kExitUsage;
    added.emplace_back(std::move(left), std::move(right));
  }
  JobEditor editor(job);
  if (c.line.has(u"filter-on")) editor.setFilterOn(true);
  if (c.line.has(u"filter-off")) editor.setFilterOn(false);
  if (mode >= 0) editor.chooseMode(mode);
  for (const OptionChange& change : changes) editor.setOption(change.row, change.set);
  // Pair numbers are those before the command: removed from the last one down.
  std::sort(removals.rbegin(), removals.rend());
  removals.erase(std::unique(removals.begin(), removals.end()), removals.end());
  for (size_t index : removals) {
    editor.select(static_cast<int>(index));
    (void)editor.removeSelected();
  }
  size_t next = 0;
  for (const GivenOption& o : c.line.options) {
    if (o.name != u"add-pair" && o.name != u"exclude-pair") continue;
    auto& [left, right] = added[next++];
    if (!editor.addRow(std::move(left), std::move(right))) return badInput(u"the folder pair cannot be stored");
    if (o.name == u"exclude-pair") (void)editor.toggleExcluded();
  }
  Job changed = editor.apply(job);
  const ErrorCode saved = storeEditedJob(changed, c.settings);
  if (saved != kSuccess) {
    printError(u"cannot write the job file " + expandPath(changed.jobFilePath) + u": " + messageText(saved));
    return kExitActionsFailed;
  }
  print(u"Job " + changed.jobName + u" saved: " + modeName(modeForFlags(changed.optionFlags)) + u"\n");
  return kExitOk;
}

int removeJob(Console& c) {
  const std::u16string& name = c.line.operands[0];
  if (jobNumberOf(c, name) <= 0) return kExitUsage;
  RegisterList list;
  list.load(c.settings);
  std::u16string file;
  for (size_t row = 0; row < list.size(); ++row) {
    const RegisterRow& r = list.rows()[row];
    if (r.kind != RegisterKind::Job || !equalIgnoringCase(r.name, name)) continue;
    file = expandPath(r.path);
    list.select(static_cast<int>(row));
    break;
  }
  if (!list.removeSelected()) return badInput(u"cannot remove " + quoted(name));
  // The register takes the job's tasks with it: counted, so that the user learns it.
  const auto tasksOf = [&c, &name] {
    size_t n = 0;
    for (const Task& task : loadTasks(c.settings)) n += equalIgnoringCase(task.jobName, name) ? 1 : 0;
    return n;
  };
  const size_t tasksBefore = tasksOf();
  const ErrorCode committed = list.commit(c.settings);
  if (committed != kSuccess) {
    printError(u"cannot write the settings: " + messageText(committed));
    return kExitActionsFailed;
  }
  const size_t tasksGone = tasksBefore - std::min(tasksBefore, tasksOf());
  bool fileDeleted = false;
  if (c.line.has(u"delete-file") && !file.empty()) {
    // A file that another register entry still names, or the settings file, stays.
    bool shared = platform::sameFolderPath(file, c.settings.path());
    for (const RegisterRow& r : list.rows()) shared = shared || platform::sameFolderPath(expandPath(r.path), file);
    if (shared) {
      printError(u"the job file " + file + u" is used elsewhere and stays");
    } else if (const ErrorCode r = platform::deleteFile(file); r != kSuccess && r != kErrorFileNotFound) {
      printError(u"cannot delete the job file " + file + u": " + messageText(r));
      return kExitActionsFailed;
    } else {
      fileDeleted = true;
    }
  }
  std::u16string said = u"Job " + name + u" removed from the job register";
  said += tasksGone == 0 ? u"; it had no tasks" : u", with its " + decimal(tasksGone) + (tasksGone == 1 ? u" task" : u" tasks") +
                                                     u" (\"crvl tasks\" shows the new numbers)";
  if (!file.empty()) said += fileDeleted ? u"; the job file " + file + u" was deleted" : u"; the job file " + file + u" was kept";
  said += u"; its logs were kept\n";
  print(said);
  return kExitOk;
}

int renameJob(Console& c) {
  const std::u16string& from = c.line.operands[0];
  const std::u16string& to = c.line.operands[1];
  if (jobNumberOf(c, from) <= 0) return kExitUsage;
  if (!checkNewName(c, to, from)) return kExitUsage;
  RegisterList list;
  list.load(c.settings);
  for (size_t row = 0; row < list.size(); ++row) {
    const RegisterRow& r = list.rows()[row];
    if (r.kind == RegisterKind::Job && equalIgnoringCase(r.name, from)) {
      (void)list.rename(row, to);
      break;
    }
  }
  // Tasks name their job: they follow the rename rather than lose it.
  std::vector<Task> tasks = loadTasks(c.settings);
  for (Task& task : tasks) {
    if (equalIgnoringCase(task.jobName, from)) task.jobName = to;
  }
  const ErrorCode committed = list.commit(c.settings);
  const ErrorCode saved = committed == kSuccess ? saveTasks(tasks, c.settings) : committed;
  if (saved != kSuccess) {
    printError(u"cannot write the settings: " + messageText(saved));
    return kExitActionsFailed;
  }
  print(u"Job " + from + u" renamed to " + to + u"\n");
  return kExitOk;
}

int orderJobs(Console& c) {
  const std::vector<RegisterRow> before = readRegister(c.settings);
  std::vector<RegisterRow> rows;
  std::vector<bool> placed(before.size(), false);
  int open = 0;
  for (const std::u16string& item : c.line.operands) {
    if (item == u"]") {
      if (open == 0) return badInput(u"\"]\" closes no group");
      --open;
      rows.push_back({RegisterKind::GroupEnd, u"", u""});
    } else if (item == u"-") {
      rows.push_back({RegisterKind::Separator, u"", u""});
    } else if (item[0] == u'[') {
      if (item.size() == 1) return badInput(u"a group needs a name: " + quoted(item));
      ++open;
      rows.push_back({RegisterKind::GroupStart, item.substr(1), u""});
    } else {
      size_t found = before.size();
      for (size_t i = 0; i < before.size(); ++i) {
        if (before[i].kind == RegisterKind::Job && equalIgnoringCase(before[i].name, item)) {
          found = i;
          break;
        }
      }
      if (found == before.size()) return badInput(u"no job named " + quoted(item) + u" in the job register");
      if (placed[found]) return badInput(quoted(item) + u" stands twice");
      placed[found] = true;
      rows.push_back(before[found]);
    }
  }
  if (open != 0) return badInput(u"a group is not closed with \"]\"");
  for (size_t i = 0; i < before.size(); ++i) {
    if (before[i].kind == RegisterKind::Job && !placed[i]) {
      return badInput(quoted(before[i].name) + u" is missing: every job of the register must stand in the order");
    }
  }
  const ErrorCode written = writeRegister(rows, c.settings);
  if (written != kSuccess) {
    printError(u"cannot write the settings: " + messageText(written));
    return kExitActionsFailed;
  }
  return listJobs(c);
}

}  // namespace crvl::cli
