#include "logs/log_list.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/test_folder.h"

namespace crvl {
namespace {

PackedDateTime stamp(uint16_t minute) {
  CalendarTime t;
  t.year = 2024;
  t.month = 8;
  t.day = 15;
  t.hour = 13;
  t.minute = minute;
  return packDateTime(t);
}

TEST(LogList, NewestFirstViewAndRemove) {
  testing::TestFolder folder;
  for (int i = 1; i <= 4; ++i) {
    const std::string name = "Job" + std::to_string(i) + ".txt";
    if (i != 2) folder.write(name, "log");  // the second log's file is gone
    ASSERT_EQ(appendLogIndexEntry(folder.path(), u"Job" + std::u16string(1, u'0' + i), stamp(i),
                                  folder.path(name)),
              kSuccess);
  }
  LogList list;
  list.load(folder.path());
  ASSERT_EQ(list.rows().size(), 3u);
  EXPECT_EQ(list.rows()[0].jobName, u"Job4");
  EXPECT_EQ(list.rows()[2].jobName, u"Job1");
  EXPECT_EQ(readLogIndex(logIndexPath(folder.path())).size(), 3u);  // compacted at once
  EXPECT_EQ(list.selectedCount(), 1u);
  EXPECT_EQ(list.viewPath(), folder.path("Job4.txt"));

  const auto text = [](uint16_t id) -> std::u16string {
    return id == 7001 ? u"one?" : u"Are you sure you want to remove %lu logs?";
  };
  EXPECT_EQ(list.removeQuestion(text), u"one?");
  list.select(2, true);
  EXPECT_EQ(list.removeQuestion(text), u"Are you sure you want to remove 2 logs?");
  EXPECT_EQ(list.removeSelected(), 2u);
  ASSERT_EQ(list.rows().size(), 1u);
  EXPECT_EQ(list.rows()[0].jobName, u"Job3");
  EXPECT_FALSE(folder.exists("Job4.txt"));
  EXPECT_FALSE(folder.exists("Job1.txt"));
  EXPECT_TRUE(folder.exists("Job3.txt"));
  const auto index = readLogIndex(logIndexPath(folder.path()));
  ASSERT_EQ(index.size(), 1u);
  EXPECT_EQ(index[0].jobName, u"Job3");
  EXPECT_FALSE(list.canView());
  EXPECT_EQ(list.viewPath(), u"");
}

}  // namespace
}  // namespace crvl
