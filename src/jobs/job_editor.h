// The rules of the job editor without its window: what it shows for a job, how the
// options list, the mode combo, the filter switch, the time and size bounds, the
// attribute boxes and the folder list react, and the job it writes back on "&OK".
// The dialog binds its controls to these fields and calls these functions.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/filter.h"
#include "jobs/job.h"
#include "jobs/sync_modes.h"
#include "platform/clock.h"

namespace crvl {

// One time bound (the lower one belongs to the include block, the upper one to the
// exclude block). Dates and times are local.
struct TimeBoundFields {
  bool checked = false;
  int unit = 0;           // index into kDateUnitLetters
  std::u16string count;   // relative units
  CalendarTime date;      // unit 'D': the day
  CalendarTime time;      // units 'D' and 'T': the time of day
};

// How a time bound looks for its unit.
struct TimeBoundLook {
  bool countField = false;   // relative units
  bool datePicker = false;   // 'D'
  bool timePicker = false;   // 'D' and 'T'
  bool dateChooser = false;  // 'D' and 'T'
  std::u16string_view label;  // ">=" / "<=" for 'D' and 'T'; else empty: the text of labelTextId
  uint16_t labelTextId = 0;   // "Within the last" (lower), "Before" (upper)
};

struct SizeBoundFields {
  bool checked = false;
  std::u16string number;
  int unit = 0;  // index into kSizeUnitLetters
};

enum class TriState : uint8_t { Indeterminate, Checked, Cleared };

// The attribute boxes in dialog order: "&Archive", "&Read only", "&System", "&Folder",
// "&Hidden", "&Compressed", "&Encrypted".
inline constexpr std::array<uint16_t, 7> kAttributeBoxBits = {0x20, 0x1, 0x4, 0x10, 0x2, 0x800, 0x4000};
inline constexpr size_t kFolderBox = 3;

// One row of the folder list: the two stored side texts (with their medium prefixes).
struct FolderRow {
  bool excluded = false;
  std::u16string left;
  std::u16string right;
  bool operator==(const FolderRow&) const = default;
};

// The enabled state of the folder list's tool buttons.
struct FolderButtons {
  bool edit = false, exclude = false, remove = false, moveUp = false, moveDown = false;
  bool operator==(const FolderButtons&) const = default;
};

class JobEditor {
 public:
  // Fills the dialog from the job.
  explicit JobEditor(const Job& job);

  // --- Options and mode ---
  [[nodiscard]] bool optionChecked(size_t row) const noexcept { return (flags_ & OptionTable[row].bit) != 0; }
  // Checks or unchecks a row of the options list; the mode follows.
  void setOption(size_t row, bool checked) noexcept;
  [[nodiscard]] int mode() const noexcept { return modeForFlags(flags_); }
  // Chooses a preset ("User defined" changes nothing).
  void chooseMode(int mode) noexcept { flags_ = applyMode(mode, flags_); }
  [[nodiscard]] OptionFlags flags() const noexcept { return flags_; }

  // --- Filter ---
  [[nodiscard]] bool filterOn() const noexcept { return filterOn_; }
  // Off: the bounds are read into the kept filter and their boxes cleared. On: every
  // bound whose unit the kept filter has is checked again.
  void setFilterOn(bool on);
  std::u16string includeMasks;
  std::u16string excludeMasks;
  int timeKind = kTimeModified;
  [[nodiscard]] bool onlyModifiedOffered() const noexcept { return filter_.editorFlag1 != 0; }
  [[nodiscard]] bool timeKindEnabled() const noexcept { return lower.checked || upper.checked; }
  TimeBoundFields lower;
  TimeBoundFields upper;
  [[nodiscard]] static TimeBoundLook look(const TimeBoundFields& bound, bool upperBound) noexcept;
  // The spin control: enabled with both bounds checked; up copies the lower bound's date
  // and time into the upper one, down the reverse.
  [[nodiscard]] bool spinEnabled() const noexcept { return lower.checked && upper.checked; }
  void spin(bool up) noexcept;
  SizeBoundFields minSize;
  SizeBoundFields maxSize;
  std::array<TriState, 7> attributes{};
  // With the attribute test switched off only the "&Folder" box can be changed.
  [[nodiscard]] bool attributeBoxEnabled(size_t box) const noexcept;
  [[nodiscard]] bool folderBoxHidden() const noexcept { return filter_.editorFlag2 != 0; }

  // --- Folder list ---
  [[nodiscard]] const std::vector<FolderRow>& rows() const noexcept { return rows_; }
  [[nodiscard]] int selected() const noexcept { return selected_; }
  void select(int row) noexcept;
  [[nodiscard]] FolderButtons folderButtons() const noexcept;
  // "Add New": appends an included row and selects it. A pair that cannot be stored
  // (folderPairProblem) is refused: false, nothing changed.
  bool addRow(std::u16string left, std::u16string right);
  // "Edit": replaces the selected row's texts; false with nothing changed when no row
  // is selected or the pair cannot be stored.
  bool editSelected(std::u16string left, std::u16string right);
  // "Exclude folders" or a double click: toggles the selected row.
  bool toggleExcluded();
  bool removeSelected();
  bool moveUp();
  bool moveDown();
  // What the list's columns show for a side text: the path without prefixes, '/' shown
  // as '\' where '\' separates.
  [[nodiscard]] static std::u16string shownPath(std::u16string_view side);

  // --- OK ---
  // The job with the dialog's values: option word, filter switch, folder entries (and
  // the pair lists rebuilt), and the filter. Dates are converted from local time to UTC.
  [[nodiscard]] Job apply(const Job& job) const;

 private:
  void readBoundsInto(Filter& filter) const;

  OptionFlags flags_;
  bool filterOn_;
  Filter filter_;  // the job's filter, kept for what the fields do not show
  std::vector<FolderRow> rows_;
  int selected_ = -1;
};

// The date chooser's clipboard form: 14 digits, year, month, day, hour, minute, second.
[[nodiscard]] std::u16string copyDateTime(const CalendarTime& t);
// Reads that form; false (the dialog beeps) for any text that is not exactly 14 digits
// forming a valid date and time.
[[nodiscard]] bool pasteDateTime(std::u16string_view text, CalendarTime* t);

// One day of the date chooser's grid: six weeks of seven days, Monday first.
struct GridDay {
  uint16_t year = 0, month = 0, day = 0;
  bool inMonth = false;  // false: a day of the month before or after (shown dimmer)
};
struct DateGrid {
  std::array<GridDay, 42> days{};
  std::array<uint8_t, 6> weekNumbers{};  // ISO 8601 week of each row
};
[[nodiscard]] DateGrid dateGrid(uint16_t year, uint16_t month);
// The ISO 8601 week number of a date (weeks begin on Monday; week 1 holds 4 January).
[[nodiscard]] uint8_t isoWeekNumber(uint16_t year, uint16_t month, uint16_t day);

}  // namespace crvl
