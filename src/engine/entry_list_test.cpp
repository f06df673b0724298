#include "engine/entry_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace crvl {
namespace {

std::vector<uint8_t> bytesOf(const EntryList& list, uint32_t offset, uint32_t size) {
  return std::vector<uint8_t>(list.at(offset), list.at(offset) + size);
}

TEST(EntryList, GrowsByTheFixedRuleAndKeepsAZeroWordAfterTheLastRecord) {
  EntryList list(true);
  ASSERT_EQ(list.capacity(), 0u);
  const std::u16string name(100, u'n');  // 239-byte records
  ASSERT_TRUE(scan_entry::append(list, EntryBlock{}, name));
  EXPECT_EQ(list.capacity(), EntryList::kFirstCapacity);
  while (list.capacity() == EntryList::kFirstCapacity) {
    ASSERT_TRUE(scan_entry::append(list, EntryBlock{}, name));
  }
  EXPECT_EQ(list.capacity(), EntryList::kFirstCapacity + EntryList::kGrowth);
  // Every record fitted with its zero word; walking ends at the end.
  uint32_t records = 0;
  for (uint32_t off = 0; off < list.byteSize(); off = list.next(off)) {
    EXPECT_EQ(recordLength(list.at(off)), 39u + 200u);
    ++records;
  }
  EXPECT_EQ(records, list.count());
  EXPECT_EQ(loadField<uint16_t>(list.at(list.byteSize())), 0u);
}

TEST(EntryList, ZeroWordFollowsTheLastRecordOverStaleBytes) {
  // Bytes past the zero word may hold anything; every append must end the list again.
  EntryList list(true);
  const std::u16string name(30, u'q');  // 99-byte records, an odd size
  for (int i = 0; i < 25000; ++i) {
    const uint32_t before = list.capacity();
    if (list.capacity() != 0) {
      std::memset(list.data() + list.byteSize(), 0xA5, std::min<uint32_t>(256, list.capacity() - list.byteSize()));
    }
    ASSERT_TRUE(scan_entry::append(list, EntryBlock{}, name));
    ASSERT_EQ(loadField<uint16_t>(list.at(list.byteSize())), 0u) << "after record " << i << ", capacity " << before;
  }
  ASSERT_GT(list.capacity(), EntryList::kFirstCapacity + EntryList::kGrowth);  // grew at least twice
  uint32_t records = 0;
  for (uint32_t off = 0; off < list.byteSize(); off = list.next(off)) ++records;
  EXPECT_EQ(records, list.count());
  uint32_t size = 0;
  const auto copy = list.compactCopy(&size);
  ASSERT_EQ(size, list.byteSize() + 4);
  EXPECT_EQ(std::memcmp(copy.get(), list.data(), list.byteSize()), 0);
  EXPECT_EQ(loadField<uint32_t>(copy.get() + list.byteSize()), 0u);
}

TEST(EntryList, FirstRecordLargerThanTheFirstBufferIsStillHeld) {
  EntryList list(true);
  const std::u16string name(9000, u'x');  // 18039 bytes
  ASSERT_TRUE(scan_entry::append(list, EntryBlock{}, name));
  EXPECT_GE(list.capacity(), 18039u + 2u);
  EXPECT_EQ(loadField<uint16_t>(list.at(list.byteSize())), 0u);
  EXPECT_FALSE(scan_entry::append(list, EntryBlock{}, std::u16string(40000, u'y')));  // longer than a record
  EXPECT_EQ(list.count(), 1u);
}

struct HookLog {
  static inline int calls = 0;
  static void hook(void (*routine)(void*) noexcept, void* request) {
    ++calls;
    routine(request);
  }
};

TEST(EntryList, EnlargementGoesThroughTheHookUnlessTheListGrowsInPlace) {
  HookLog::calls = 0;
  {
    EntryList engineList(false, &HookLog::hook);  // grow-in-place clear
    ASSERT_TRUE(scan_entry::append(engineList, EntryBlock{}, u"a"));
    EXPECT_EQ(HookLog::calls, 1);
    EntryList privateList(true, &HookLog::hook);
    ASSERT_TRUE(scan_entry::append(privateList, EntryBlock{}, u"a"));
    EXPECT_EQ(HookLog::calls, 1);
    // A moved list keeps its hook.
    EntryList moved(std::move(engineList));
    ASSERT_TRUE(scan_entry::append(moved, EntryBlock{}, std::u16string(9000, u'x')));
    EXPECT_EQ(HookLog::calls, 2);
  }
  EntryList noHook;
  EXPECT_TRUE(scan_entry::append(noHook, EntryBlock{}, u"a"));
}

TEST(EntryList, CompactCopyIsTheUsedBytesAndFourZeroBytes) {
  EntryList list(true);
  ASSERT_TRUE(scan_entry::append(list, EntryBlock{}, u"one"));
  ASSERT_TRUE(scan_entry::append(list, EntryBlock{}, u"three"));
  uint32_t size = 0;
  const auto copy = list.compactCopy(&size);
  ASSERT_EQ(size, list.byteSize() + 4);
  EXPECT_EQ(std::vector<uint8_t>(copy.get(), copy.get() + list.byteSize()), bytesOf(list, 0, list.byteSize()));
  EXPECT_EQ(loadField<uint32_t>(copy.get() + list.byteSize()), 0u);
}

TEST(EntryList, ScanEntryByteLayout) {
  EntryList list(true);
  EntryBlock block;
  block.attributes = 0x21;
  block.size = 0x0102030405060708ull;
  block.creationTime = 0x1111;
  block.lastAccessTime = 0x2222;
  block.lastWriteTime = 0x3333;
  ASSERT_TRUE(scan_entry::append(list, block, u"ab"));
  const uint8_t* r = list.at(0);
  EXPECT_EQ(recordLength(r), 43u);
  EXPECT_EQ(loadField<uint16_t>(r + 2), 0x21u);
  EXPECT_EQ(loadField<uint64_t>(r + 4), 0x0102030405060708ull);
  EXPECT_EQ(loadField<uint64_t>(r + 12), 0x1111u);
  EXPECT_EQ(loadField<uint64_t>(r + 20), 0x2222u);
  EXPECT_EQ(loadField<uint64_t>(r + 28), 0x3333u);
  EXPECT_EQ(r[36], 0u);
  EXPECT_EQ(loadField<char16_t>(r + 37), u'a');
  EXPECT_EQ(loadField<char16_t>(r + 39), u'b');
  EXPECT_EQ(loadField<char16_t>(r + 41), 0);
}

TEST(EntryList, ActionRecordByteLayoutAndRoundTrip) {
  EntryList list(true);
  EntryBlock left;
  left.attributes = 0x20;
  left.size = 7;
  left.lastWriteTime = 99;
  EntryBlock right;
  right.attributes = 0x10;
  ASSERT_EQ(action_record::append(list, 2, 0, EntryBlock{}, EntryBlock{}, u"L", u"R"), 0);
  const int64_t offset = action_record::append(list, 9, 0, left, right, u"abc", u"de");
  ASSERT_EQ(offset, 89);  // the header took 85 + 2 x 2 bytes
  const uint8_t* r = list.at(static_cast<uint32_t>(offset));
  EXPECT_EQ(recordLength(r), 85u + 2u * 5u);
  EXPECT_EQ(loadField<int32_t>(r + 2), -1);
  EXPECT_EQ(r[6], 9u);
  EXPECT_EQ(loadField<int32_t>(r + 7), 0);
  EXPECT_EQ(loadField<uint16_t>(r + 11), 0x20u);
  EXPECT_EQ(loadField<uint64_t>(r + 13), 7u);
  EXPECT_EQ(loadField<uint64_t>(r + 37), 99u);
  EXPECT_EQ(loadField<uint16_t>(r + 45), 0x10u);
  EXPECT_EQ(loadField<uint16_t>(r + 79), 4u);  // left name length + 1
  EXPECT_EQ(loadField<char16_t>(r + 81), u'a');
  EXPECT_EQ(loadField<char16_t>(r + 87), 0);
  EXPECT_EQ(loadField<char16_t>(r + 89), u'd');
  EXPECT_EQ(loadField<char16_t>(r + 93), 0);

  action_record::Fields f;
  action_record::load(list, static_cast<uint32_t>(offset), f);
  EXPECT_EQ(f.code, 9u);
  EXPECT_EQ(f.leftName, u"abc");
  EXPECT_EQ(f.rightName, u"de");
  EXPECT_EQ(uint64_t{f.left.size}, 7u);
  EXPECT_EQ(uint16_t{f.right.attributes}, 0x10u);
}

}  // namespace
}  // namespace crvl
