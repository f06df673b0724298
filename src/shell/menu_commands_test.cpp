#include "shell/menu_commands.h"

#include <gtest/gtest.h>

namespace crvl::shell {
namespace {

TEST(JobMenuIds, EncodeAndDecode) {
  struct Case {
    int32_t job;
    uint16_t command;
    std::optional<uint16_t> id;
  };
  const Case cases[] = {
      {3, kCmdJobStart, 27621},       // "&Start now" of job 3
      {1, kCmdJobStart, 27207},
      {1, kCmdJobCustomize, 27212},
      {186, kCmdJobCustomize, 65507},  // the last id there is
      {186, kCmdJobStart, 65502},
      {187, kCmdJobStart, std::nullopt},  // beyond 16 bits
      {5, 200, std::nullopt},             // not a per-job command
      {5, 207, std::nullopt},
      {-1, kCmdJobStart, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(jobMenuId(c.job, c.command), c.id) << c.job << "/" << c.command;
    if (c.id) {
      EXPECT_EQ(decodeMenuId(*c.id), (MenuChoice{c.command, c.job}));
    }
  }
}

TEST(JobMenuIds, EveryIdOfEveryJobRoundTrips) {
  for (int32_t job = 1; job <= 186; ++job) {
    for (uint16_t command = kCmdJobStart; command <= kCmdJobCustomize; ++command) {
      const std::optional<uint16_t> id = jobMenuId(job, command);
      ASSERT_TRUE(id) << job;
      ASSERT_EQ(decodeMenuId(*id), (MenuChoice{command, job}));
    }
  }
}

TEST(JobMenuIds, OrdinaryIdsStandForThemselves) {
  for (const uint16_t id : {kCmdExit, kCmdStopAll, kCmdRestoreSettings, uint16_t{26999}}) {
    EXPECT_EQ(decodeMenuId(id), (MenuChoice{id, 0}));
  }
}

TEST(CommandEnableTable, StopFollowsTheRunsInProgress) {
  CommandEnableTable table;
  EXPECT_TRUE(table.listed(kCmdStopAll));
  EXPECT_TRUE(table.disabled(kCmdStopAll));  // nothing runs before the first refresh
  table.refresh(2);
  EXPECT_FALSE(table.disabled(kCmdStopAll));
  table.refresh(0);
  EXPECT_TRUE(table.disabled(kCmdStopAll));
  // Commands without an entry are never disabled, the per-job stop included.
  for (const uint16_t id : {kCmdExit, kCmdJobStop, kCmdStopAllAlways, kCmdViewLogs}) {
    EXPECT_FALSE(table.listed(id));
    EXPECT_FALSE(table.disabled(id));
  }
}

}  // namespace
}  // namespace crvl::shell
