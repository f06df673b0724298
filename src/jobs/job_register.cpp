// Reading and writing the job register.
#include "jobs/job_register.h"

#include <climits>

#include "jobs/job.h"
#include "jobs/marked_text.h"
#include "jobs/path_macros.h"
#include "jobs/profile_store.h"
#include "jobs/program_settings.h"
#include "jobs/value_list.h"
#include "os_traits.h"
#include "platform/text.h"

namespace crvl {
namespace {

constexpr std::string_view kRegisterSection = "Job";

std::string keyOf(int number) { return std::to_string(number); }

// The decimal value of a register key, or -1 when it is not a plain decimal number
// that fits an int.
int keyNumber(std::string_view key) noexcept {
  if (key.empty()) return -1;
  int64_t value = 0;
  for (char c : key) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
    if (value > INT_MAX) return -1;
  }
  return static_cast<int>(value);
}

std::u16string fileTitleOf(std::u16string_view path) {
  size_t start = path.size();
  while (start > 0) {
    const char16_t c = path[start - 1];
    if (c == os::kSeparator || c == u'/' || (os::kBackslashSeparates && c == u'\\')) break;
    --start;
  }
  std::u16string_view name = path.substr(start);
  const size_t dot = name.rfind(u'.');
  if (dot != std::u16string_view::npos) name = name.substr(0, dot);
  return std::u16string(name);
}

struct RegisterReader {
  std::vector<RegisterRow>* rows;
  bool utf8File;
};

int collectRow(void* context, std::string_view /*key*/, std::string_view value) {
  auto* reader = static_cast<RegisterReader*>(context);
  reader->rows->push_back(parseRegisterValue(value, reader->utf8File));
  return 0;
}

struct NameSearch {
  std::u16string_view name;
  bool utf8File;
  int found;
};

int matchName(void* context, std::string_view key, std::string_view value) {
  auto* search = static_cast<NameSearch*>(context);
  const int number = keyNumber(key);
  if (number < 0) return 0;
  const std::u16string first = listItemText(splitList(value), 0, search->utf8File);
  if (!platform::namesEqual(first, search->name)) return 0;
  search->found = number;
  return 1;
}

// A job or group name as stored: without its leading blanks (the display's indent),
// unless the rest would read as another kind of entry (a job name "-x" as a group, a
// group name "" or "-" as a group end or a separator); such a name keeps its blanks,
// one at least.
std::u16string storedName(std::u16string_view name, RegisterKind kind) {
  const std::u16string_view trimmed = trimLeadingBlanks(name);
  const bool otherKind = kind == RegisterKind::Job ? trimmed.starts_with(u'-') : trimmed.empty() || trimmed == u"-";
  if (!otherKind) return std::u16string(trimmed);
  if (trimmed.size() < name.size()) return std::u16string(name);
  return u" " + std::u16string(name);
}

}  // namespace

std::u16string_view trimLeadingBlanks(std::u16string_view text) noexcept {
  while (!text.empty() && text.front() == u' ') text.remove_prefix(1);
  return text;
}

RegisterRow parseRegisterValue(std::string_view value, bool utf8File) {
  const std::vector<std::string_view> items = splitList(value);
  const std::u16string first = listItemText(items, 0, utf8File);
  RegisterRow row;
  if (first == u"-") {
    row.kind = RegisterKind::GroupEnd;
  } else if (first == u"--") {
    row.kind = RegisterKind::Separator;
  } else if (!first.empty() && first[0] == u'-') {
    row.kind = RegisterKind::GroupStart;
    row.name = first.substr(1);
  } else {
    row.kind = RegisterKind::Job;
    row.name = first;
    row.path = listItemText(items, 1, utf8File);
  }
  return row;
}

std::string formatRegisterValue(const RegisterRow& row, bool utf8File) {
  std::string value;
  switch (row.kind) {
    case RegisterKind::Job:
      appendListItem(encodeMarkedText(storedName(row.name, row.kind), utf8File), value);
      if (!row.path.empty()) {
        appendListItem(encodeMarkedText(contractPath(row.path), utf8File), value);
      }
      break;
    case RegisterKind::GroupStart: {
      std::u16string text = u"-";
      text += storedName(row.name, row.kind);
      appendListItem(encodeMarkedText(text, utf8File), value);
      break;
    }
    case RegisterKind::GroupEnd: return std::string("-");
    case RegisterKind::Separator: return std::string("--");
  }
  return value;
}

std::vector<RegisterRow> readRegister(ProfileStore& settings) {
  std::vector<RegisterRow> rows;
  RegisterReader reader{&rows, settings.isUtf8File()};
  settings.enumerateSection(kRegisterSection, collectRow, &reader);
  return rows;
}

bool fitsRegisterLimits(const RegisterRow& row) noexcept {
  return row.kind != RegisterKind::Job ||
         (row.name.size() <= kMaxJobNameChars && row.path.size() <= kMaxJobPathChars);
}

ErrorCode readRegisterEntry(int number, Job& job, ProfileStore& settings) {
  job.jobName.clear();
  job.jobFilePath.clear();
  std::string value;
  // Read whole: a cut value would name another job or another file.
  settings.getString(kRegisterSection, keyOf(number), nullptr, value, SIZE_MAX);
  if (value.empty()) return kErrorNotFound;
  const std::vector<std::string_view> items = splitList(value);
  std::u16string name = listItemText(items, 0, settings.isUtf8File());
  std::u16string path = listItemText(items, 1, settings.isUtf8File());
  if (name.size() > kMaxJobNameChars || path.size() > kMaxJobPathChars) return kErrorFilenameExcedRange;
  job.jobName = name.empty() ? fileTitleOf(path).substr(0, kMaxJobNameChars) : std::move(name);
  job.jobFilePath = expandPath(path);
  return job.jobFilePath.empty() ? kErrorNotFound : kSuccess;
}

ErrorCode readRegisterEntry(int number, Job& job) {
  return readRegisterEntry(number, job, programSettingsStore());
}

int findJobNumber(std::u16string_view name, ProfileStore& settings) {
  NameSearch search{name, settings.isUtf8File(), -1};
  settings.enumerateSection(kRegisterSection, matchName, &search);
  return search.found;
}

int findJobNumber(std::u16string_view name) { return findJobNumber(name, programSettingsStore()); }

JobNumberIndex::JobNumberIndex(ProfileStore& settings) {
  struct Reader {
    JobNumberIndex* index;
    bool utf8File;
  } reader{this, settings.isUtf8File()};
  settings.enumerateSection(
      kRegisterSection,
      [](void* context, std::string_view key, std::string_view value) {
        auto* r = static_cast<Reader*>(context);
        const int number = keyNumber(key);
        if (number < 0) return 0;
        std::u16string name = listItemText(splitList(value), 0, r->utf8File);
        std::u16string foldKey;
        platform::appendFoldKey(name, foldKey);
        r->index->byKey_[foldKey].push_back({std::move(name), number});
        return 0;
      },
      &reader);
}

int JobNumberIndex::find(std::u16string_view name) const {
  std::u16string foldKey;
  platform::appendFoldKey(name, foldKey);
  const auto it = byKey_.find(foldKey);
  if (it == byKey_.end()) return -1;
  for (const Entry& entry : it->second) {
    if (platform::namesEqual(entry.name, name)) return entry.number;
  }
  return -1;
}

ErrorCode writeRegister(const std::vector<RegisterRow>& rows, ProfileStore& settings) {
  // One edit for the whole register: n rows cost one pass over the text, not n.
  const bool utf8File = settings.isUtf8File();
  std::vector<SectionEntry> entries;
  entries.reserve(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    entries.push_back({keyOf(static_cast<int>(i + 1)), formatRegisterValue(rows[i], utf8File)});
  }
  settings.replaceSection(kRegisterSection, entries);
  return settings.flushStore();
}

std::u16string newJobName(const std::vector<RegisterRow>& rows, std::u16string_view baseText) {
  auto taken = [&rows](std::u16string_view candidate) {
    for (const RegisterRow& row : rows) {
      if (platform::namesEqual(trimLeadingBlanks(row.name), candidate)) return true;
    }
    return false;
  };
  std::u16string candidate(baseText);
  if (!taken(candidate)) return candidate;
  for (uint32_t n = 2; n <= 99'999; ++n) {
    candidate.assign(baseText);
    candidate += u" (";
    for (char c : std::to_string(n)) candidate.push_back(static_cast<char16_t>(c));
    candidate += u")";
    if (!taken(candidate)) break;
  }
  return candidate;
}

}  // namespace crvl
