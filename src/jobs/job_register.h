// The job register: section "Job" of the program settings, keys "1".."n" in list
// order. The key number of a job entry is its job number. Values:
//   name;path   a job (path contracted; without the path item the job lives in the
//               settings file itself)
//   -name       start of a menu group holding the following entries
//   -           end of the innermost open group
//   --          a separator line
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/errors.h"

namespace crvl {

class ProfileStore;
struct Job;

// The kind of a register entry; the values are the list kind codes.
enum class RegisterKind : uint8_t {
  Job = 0,
  GroupStart = 1,
  GroupEnd = 2,
  Separator = 3,
};

struct RegisterRow {
  RegisterKind kind = RegisterKind::Job;
  std::u16string name;  // job name or group name, without indent or leading '-'
  std::u16string path;  // job rows: the job file path as stored (contracted)

  bool operator==(const RegisterRow&) const = default;
};

// The row of one stored register value (`utf8File`: the settings file is UTF-8).
[[nodiscard]] RegisterRow parseRegisterValue(std::string_view value, bool utf8File = false);

// The stored value of a row: job names and group names lose their leading blanks
// (but for a name that would then read as another kind of entry: a job name that
// begins with '-', a group name that is empty or "-"; it keeps them, one at least), job
// paths are contracted, each item is stored as marked text in the file's encoding
// (`utf8File`: the settings file is UTF-8, as for parseRegisterValue).
[[nodiscard]] std::string formatRegisterValue(const RegisterRow& row, bool utf8File = false);

// Every entry of section "Job" in file order.
[[nodiscard]] std::vector<RegisterRow> readRegister(ProfileStore& settings);

// Whether a job row fits the fields a job is run with (a name of at most
// kMaxJobNameChars characters, a stored path of at most kMaxJobPathChars); other rows
// always fit. Rows are read and written whole either way.
[[nodiscard]] bool fitsRegisterLimits(const RegisterRow& row) noexcept;

// Fills jobName and jobFilePath of `job` from register entry `number` (the value read
// whole). A job without a name is named after its file (file name without extension);
// jobFilePath is expanded. Returns kSuccess; kErrorNotFound for an empty or missing
// value or an entry without a path (the path stays empty); kErrorFilenameExcedRange,
// with name and path left empty, for an entry whose name or path does not fit
// (fitsRegisterLimits): such a job is never run with a cut name or path.
[[nodiscard]] ErrorCode readRegisterEntry(int number, Job& job, ProfileStore& settings);
[[nodiscard]] ErrorCode readRegisterEntry(int number, Job& job);

// The key number of the first entry (file order) whose first item equals `name`
// case-insensitively; -1 when none. Keys that are not decimal numbers are skipped.
[[nodiscard]] int findJobNumber(std::u16string_view name, ProfileStore& settings);
[[nodiscard]] int findJobNumber(std::u16string_view name);

// The register's job numbers by name, read in one pass, for callers that look up many
// names (the task list): find() answers as findJobNumber would on the settings as they
// were when the index was made.
class JobNumberIndex {
 public:
  explicit JobNumberIndex(ProfileStore& settings);
  [[nodiscard]] int find(std::u16string_view name) const;

 private:
  struct Entry {
    std::u16string name;
    int number;
  };
  // Entries by fold key (names that compare equal share a key), in file order.
  std::unordered_map<std::u16string, std::vector<Entry>> byKey_;
};

// Replaces section "Job" by the rows, as keys "1".."n" in order, and flushes the
// settings. Returns the flush result.
[[nodiscard]] ErrorCode writeRegister(const std::vector<RegisterRow>& rows, ProfileStore& settings);

// A name for a new job or menu group: `baseText` (the "Untitled" text) when no row
// bears it, else `baseText` " (n)" for the first n from 2 to 99999 that no row bears.
// Rows compare by name without leading blanks, case-insensitively. When every number
// is taken the last candidate is returned.
[[nodiscard]] std::u16string newJobName(const std::vector<RegisterRow>& rows,
                                        std::u16string_view baseText = u"Untitled");

// `text` without its leading blanks.
[[nodiscard]] std::u16string_view trimLeadingBlanks(std::u16string_view text) noexcept;

}  // namespace crvl
