#include "jobs/job_editor.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/clock.h"

namespace crvl {
namespace {

size_t rowOf(OptionFlags bit) {
  for (size_t i = 0; i < OptionTable.size(); ++i) {
    if (OptionTable[i].bit == bit) return i;
  }
  ADD_FAILURE() << "no row for " << bit;
  return 0;
}

Job mirrorJob() {
  Job job;
  job.optionFlags = DefaultMirrorFlags;
  job.folderList = {u"+C:\\a;>|abcd|E:\\b", u"-C:\\a\\tmp;E:\\b\\tmp"};
  rebuildPairLists(job);
  return job;
}

TEST(JobEditor, TheModeFollowsTheOptionsAndPresetsKeepTheComparison) {
  JobEditor editor(mirrorJob());
  EXPECT_EQ(editor.mode(), kModeMirror);
  editor.setOption(rowOf(kOptCompareContent), true);  // a comparison option: still Mirror
  EXPECT_EQ(editor.mode(), kModeMirror);
  editor.setOption(rowOf(kOptCopyConflictRight), false);
  EXPECT_EQ(editor.mode(), kModeUserDefined);

  Job withIgnoreDate = mirrorJob();
  withIgnoreDate.optionFlags |= kOptIgnoreDate;
  JobEditor augment(withIgnoreDate);
  augment.chooseMode(kModeAugment);
  EXPECT_TRUE(augment.optionChecked(rowOf(kOptIgnoreDate)));
  for (OptionFlags deletion : {kOptDeleteFilesLeft, kOptDeleteFilesRight, kOptDeleteFoldersLeft, kOptDeleteFoldersRight}) {
    EXPECT_FALSE(augment.optionChecked(rowOf(deletion))) << deletion;
  }
  EXPECT_EQ(augment.mode(), kModeAugment);
  const OptionFlags before = augment.flags();
  augment.chooseMode(kModeUserDefined);
  EXPECT_EQ(augment.flags(), before);
  EXPECT_EQ(augment.apply(withIgnoreDate).optionFlags, before);
}

TEST(JobEditor, FolderRowsAreEditedAndWrittenBackWithTheirPrefixes) {
  const Job job = mirrorJob();
  JobEditor editor(job);
  ASSERT_EQ(editor.rows().size(), 2u);
  EXPECT_EQ(editor.rows()[0], (FolderRow{false, u"C:\\a", u">|abcd|E:\\b"}));
  EXPECT_TRUE(editor.rows()[1].excluded);
  EXPECT_EQ(JobEditor::shownPath(u">?|abcd|E:\\b"), u"E:\\b");
  EXPECT_EQ(editor.folderButtons(), FolderButtons{});
  editor.select(1);
  EXPECT_EQ(editor.folderButtons(), (FolderButtons{true, true, true, true, false}));
  EXPECT_TRUE(editor.toggleExcluded());  // a double click
  EXPECT_FALSE(editor.rows()[1].excluded);
  EXPECT_TRUE(editor.toggleExcluded());
  editor.addRow(u"D:\\x", u"F:\\y");
  EXPECT_EQ(editor.selected(), 2);
  EXPECT_TRUE(editor.moveUp());
  EXPECT_TRUE(editor.editSelected(u"D:\\x2", u"F:\\y2"));
  editor.select(0);
  EXPECT_TRUE(editor.removeSelected());
  const Job out = editor.apply(job);
  EXPECT_EQ(out.folderList, (std::vector<std::u16string>{u"+D:\\x2;F:\\y2", u"-C:\\a\\tmp;E:\\b\\tmp"}));
  EXPECT_EQ(out.includedPairs, (std::vector<std::u16string>{u"D:\\x2;F:\\y2"}));
  EXPECT_EQ(out.excludedPairs, (std::vector<std::u16string>{u"C:\\a\\tmp;E:\\b\\tmp"}));
  // Without edits the job comes back as it was.
  const Job same = JobEditor(job).apply(job);
  EXPECT_EQ(same.folderList, job.folderList);
  EXPECT_EQ(same.filter, job.filter);
  EXPECT_EQ(same.optionFlags, job.optionFlags);
}

TEST(JobEditor, FilterFieldsRoundTrip) {
  Job job = mirrorJob();
  job.filterSwitch = 1;
  CalendarTime when;
  when.year = 2024;
  when.month = 1;
  when.day = 5;
  when.hour = 10;
  uint64_t local = 0;
  ASSERT_TRUE(calendarToFileTime(when, &local));
  Filter& f = job.filter;
  f.timeKind = kTimeCreated;
  f.include = FilterBlock{u"*.txt;*.doc", 'D', static_cast<int64_t>(platform::localToUtc(local)), 'K', 10, 0x20};
  f.exclude = FilterBlock{u"~*", 'Z', 7, 'M', 5, 0x2};
  JobEditor editor(job);
  EXPECT_TRUE(editor.lower.checked);
  EXPECT_EQ(editor.lower.date.day, 5);
  EXPECT_EQ(editor.lower.time.hour, 10);
  EXPECT_EQ(editor.upper.count, u"7");
  EXPECT_EQ(editor.minSize.number, u"10");
  EXPECT_EQ(editor.attributes[0], TriState::Checked);   // archive
  EXPECT_EQ(editor.attributes[4], TriState::Cleared);   // hidden
  EXPECT_EQ(editor.attributes[1], TriState::Indeterminate);
  EXPECT_TRUE(editor.spinEnabled());
  EXPECT_EQ(JobEditor::look(editor.lower, false).label, u">=");
  EXPECT_EQ(JobEditor::look(editor.upper, true).labelTextId, 2314);
  EXPECT_EQ(editor.apply(job).filter, job.filter);

  // Switching the filter off keeps the bounds; on again checks them again.
  editor.setFilterOn(false);
  EXPECT_FALSE(editor.lower.checked || editor.upper.checked || editor.minSize.checked || editor.maxSize.checked);
  Job off = editor.apply(job);
  EXPECT_EQ(off.filterSwitch & 1u, 0u);
  EXPECT_EQ(off.filter, job.filter);
  editor.setFilterOn(true);
  EXPECT_TRUE(editor.lower.checked && editor.upper.checked && editor.minSize.checked && editor.maxSize.checked);

  // A relative count of 0 is no bound; the time of day is kept on 2 January 1980.
  editor.upper.count = u"0";
  editor.lower.unit = 1;  // 'T'
  const Job changed = editor.apply(job);
  EXPECT_EQ(changed.filter.exclude.dateUnit, 0);
  EXPECT_EQ(changed.filter.include.dateUnit, 'T');
  const CalendarTime kept = fileTimeToCalendar(platform::utcToLocal(changed.filter.include.dateValue));
  EXPECT_EQ(kept.year, 1980);
  EXPECT_EQ(kept.day, 2);
  EXPECT_EQ(kept.hour, 10);
  // The spin control copies between the bounds.
  editor.upper.unit = 0;
  editor.upper.date.day = 9;
  editor.spin(/*up=*/false);
  EXPECT_EQ(editor.lower.date.day, 9);
}

TEST(JobEditor, TheAttributeTestSwitchedOffLeavesOnlyTheFolderBox) {
  Job job = mirrorJob();
  job.filter.include.attributes = kAttributeTestOff | 0x10;
  JobEditor editor(job);
  EXPECT_FALSE(editor.attributeBoxEnabled(0));
  EXPECT_TRUE(editor.attributeBoxEnabled(kFolderBox));
  EXPECT_EQ(editor.attributes[kFolderBox], TriState::Checked);
  editor.attributes[kFolderBox] = TriState::Cleared;
  const Job out = editor.apply(job);
  EXPECT_EQ(out.filter.include.attributes, kAttributeTestOff);
  EXPECT_EQ(out.filter.exclude.attributes, 0x10);
}

TEST(DateChooser, PasteTakesExactlyFourteenDigitsOfAValidDate) {
  struct Case {
    const char16_t* text;
    bool taken;
  } cases[] = {
      {u"20240105100000", true}, {u"2024-01-05 10:00", false}, {u"2024010510000", false},
      {u"20240230100000", false}, {u"20240229235959", true},   {u"20230229000000", false},
      {u"20240105246000", false}, {u"2024010510000x", false},  {u"", false},
  };
  for (const Case& c : cases) {
    CalendarTime t;
    EXPECT_EQ(pasteDateTime(c.text, &t), c.taken) << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
  }
  CalendarTime t;
  ASSERT_TRUE(pasteDateTime(u"20240105100000", &t));
  EXPECT_EQ(t.year, 2024);
  EXPECT_EQ(t.day, 5);
  EXPECT_EQ(t.hour, 10);
  EXPECT_EQ(copyDateTime(t), u"20240105100000");
}

TEST(DateChooser, GridsStartOnMondayWithIsoWeeks) {
  struct Week {
    uint16_t y, m, d;
    uint8_t week;
  } weeks[] = {
      {2021, 1, 1, 53}, {2024, 12, 30, 1}, {2023, 1, 1, 52}, {2026, 12, 31, 53}, {2026, 1, 1, 1}, {2024, 6, 15, 24},
  };
  for (const Week& w : weeks) EXPECT_EQ(isoWeekNumber(w.y, w.m, w.d), w.week) << w.y << "-" << w.m << "-" << w.d;
  const DateGrid grid = dateGrid(2026, 1);  // 1 January 2026 is a Thursday
  EXPECT_EQ(grid.days[0].year, 2025);
  EXPECT_EQ(grid.days[0].day, 29);
  EXPECT_FALSE(grid.days[0].inMonth);
  EXPECT_TRUE(grid.days[3].inMonth);
  EXPECT_EQ(grid.days[3].day, 1);
  EXPECT_EQ(grid.days[41].month, 2);
  EXPECT_EQ(grid.weekNumbers[0], 1);
  EXPECT_EQ(grid.weekNumbers[5], 6);
}

TEST(JobEditorPairs, PairsTheJobFileCannotHoldAreRefusedAndChangeNothing) {
  const std::u16string fits(kMaxFolderEntryChars - 2 - 4, u'x');  // with "C:\" and ';'
  struct Case {
    std::u16string left;
    std::u16string right;
    bool stored;
  };
  const Case cases[] = {
      {u"C:\\a;b", u"D:\\r", false},     {u"C:\\a", u"D:\\r\nx", false},
      {u"C:\\a\rb", u"D:\\r", false},   {u"C:\\" + fits + u"x", u"D", false},
      {u"C:\\" + fits, u"D", true},       {u">|abcd|C:\\a", u"D:\\r", true},
  };
  for (const Case& c : cases) {
    Job job;
    JobEditor editor(job);
    EXPECT_EQ(editor.addRow(c.left, c.right), c.stored) << c.left.size();
    EXPECT_EQ(editor.rows().size(), c.stored ? 1u : 0u);
    EXPECT_EQ(folderPairProblem(c.left, c.right) == kSuccess, c.stored);
    JobEditor editing(job);
    ASSERT_TRUE(editing.addRow(u"C:\\a", u"D:\\b"));
    EXPECT_EQ(editing.editSelected(c.left, c.right), c.stored);
    EXPECT_EQ(editing.rows()[0].left, c.stored ? c.left : u"C:\\a");
  }
}

}  // namespace
}  // namespace crvl
