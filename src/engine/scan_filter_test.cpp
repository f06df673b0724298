#include "engine/scan_filter.h"

#include <gtest/gtest.h>

#include <string>

#include "jobs/filter_format.h"

namespace crvl {
namespace {

bool keeps(const ScanFilter& hook, std::u16string_view name, uint16_t attributes, uint64_t size) {
  FindRecord record;
  const std::u16string folder = u"/data";
  const std::u16string text(name);
  record.folderPath = folder.c_str();
  record.block.attributes = attributes;
  record.block.size = size;
  record.block.lastWriteTime = 0x01D0000000000000ull;
  record.name = text.c_str();
  record.nameLength = text.size();
  return hook.accepts(hook.context, record);
}

TEST(ScanFilter, JobFilterDropsRejectedFilesOnly) {
  Job job;
  parseFilter("+*.txt;lB10;-tmp", job.filter);
  prepareFilter(job.filter, 0x01D8000000000000ull);
  ScanFilter storage;
  EXPECT_EQ(jobScanFilter(job, storage), nullptr);  // filter switch off: no hook

  job.filterSwitch = 1;
  const ScanFilter* hook = jobScanFilter(job, storage);
  ASSERT_NE(hook, nullptr);
  EXPECT_TRUE(keeps(*hook, u"a.txt", 0x20, 10));
  EXPECT_FALSE(keeps(*hook, u"a.txt", 0x20, 9));
  EXPECT_FALSE(keeps(*hook, u"a.doc", 0x20, 100));
  EXPECT_TRUE(keeps(*hook, u"tmp", 0x10, 0));  // folders are never tested
  EXPECT_TRUE(keeps(*hook, u"docs", 0x10, 0));
}

}  // namespace
}  // namespace crvl
