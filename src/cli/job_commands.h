// The job commands of the console: the register listing, and creating, showing,
// changing, removing, renaming and arranging jobs through the same models as the job
// editor and the register dialog. Bad input changes no file and gives exit status 2.
#pragma once

#include <string>
#include <string_view>

#include "cli/console_io.h"
#include "jobs/filter.h"
#include "jobs/job.h"

namespace crvl::cli {

[[nodiscard]] int listJobs(Console& console);
[[nodiscard]] int newJob(Console& console);
[[nodiscard]] int showJob(Console& console);
[[nodiscard]] int setJob(Console& console);
[[nodiscard]] int removeJob(Console& console);
[[nodiscard]] int renameJob(Console& console);
[[nodiscard]] int orderJobs(Console& console);

// The message for register entry `number` whose name or path is longer than a job is
// run with: such a job is not run.
[[nodiscard]] std::u16string tooLongEntryText(int number);

// The mode of a name ("Mirror", "augment", ... "User"; case does not matter); -1 for
// an unknown name.
[[nodiscard]] int modeOfName(std::u16string_view name);

// Reads a filter in its stored form strictly: every item must be one the job file
// knows ("c", "r", "a" with attribute letters, "+" and "-" masks, "d" and "l" with a
// known unit and a number). False with the offending item in `*bad` otherwise.
[[nodiscard]] bool readFilterStrictly(std::u16string_view text, Filter& filter, std::u16string* bad);

// The filter in its stored form, as text.
[[nodiscard]] std::u16string filterText(const Filter& filter);

// The filter in words, in the current language: masks, time bounds, sizes, attributes.
[[nodiscard]] std::u16string describeFilter(const Filter& filter);

// The job that the job editor gives for these choices: a new job named `name` with
// the Mirror preset, then `mode` (when not User defined), the option tokens, one folder
// pair, and the filter (switched on when given). What `crvl job new` stores. A pair
// that cannot be stored (folderPairProblem) is left out: callers check it first.
[[nodiscard]] Job composeNewJob(std::u16string_view name, int mode, const std::vector<OptionFlags>& options,
                                std::u16string_view left, std::u16string_view right, const Filter* filter);

}  // namespace crvl::cli
