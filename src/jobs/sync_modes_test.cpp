#include "jobs/sync_modes.h"

#include <gtest/gtest.h>

namespace crvl {
namespace {

TEST(SyncModes, ModeShownForFlags) {
  struct Case {
    OptionFlags flags;
    int mode;
  } cases[] = {
      {0x2AB81, kModeMirror},
      {0x2AB81 | kOptCompareContent | kOptIgnoreOneHour, kModeMirror},  // comparison bits ignored
      {0x2AB81 & ~kOptCopyConflictRight, kModeUserDefined},
      {0x2081, kModeAugment},
      {0x881 | kOptIgnoreDate, kModeRefresh},
      {0x2881, kModeUpdate},
      {0x3C81, kModeConsolidation},
      {0x3FC81 | 0x78, kModeBidirectional},
      {0, kModeUserDefined},
      {0x78, kModeUserDefined},
      {0x1, kModeUserDefined},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(modeForFlags(c.flags), c.mode) << std::hex << c.flags;
  }
}

TEST(SyncModes, ChoosingAModeSetsDirectionsAndKeepsComparisons) {
  struct Case {
    int mode;
    OptionFlags before;
    OptionFlags after;
  } cases[] = {
      // Augment in a job with "Ignore date": the delete options go, "nd" stays.
      {kModeAugment, 0x2AB81 | kOptIgnoreDate, 0x2081 | kOptIgnoreDate},
      {kModeMirror, 0x3FC81 | kOptCompareContent, 0x2AB81 | kOptCompareContent},
      {kModeBidirectional, 0, 0x3FC81},
      {kModeUserDefined, 0x1234 & kAllOptions, 0x1234 & kAllOptions},  // changes nothing
      {7, 0x2081, 0x2081},                                              // outside the table
      {-1, 0x2081, 0x2081},
  };
  for (const Case& c : cases) {
    const OptionFlags after = applyMode(c.mode, c.before);
    EXPECT_EQ(after, c.after) << "mode " << c.mode;
    if (c.mode > 0 && c.mode < 7) {
      EXPECT_EQ(modeForFlags(after), c.mode);
    }
  }
}

}  // namespace
}  // namespace crvl
