#include "engine/entry_list.h"

#include <algorithm>
#include <new>

namespace crvl {

void enlargeEntryList(void* request) noexcept {
  auto* r = static_cast<ListEnlargement*>(request);
  r->done = r->list->enlarge(r->increment);
}

EntryList::EntryList(EntryList&& other) noexcept
    : data_(std::move(other.data_)),
      capacity_(other.capacity_),
      used_(other.used_),
      count_(other.count_),
      growInPlace_(other.growInPlace_),
      hook_(other.hook_) {
  other.capacity_ = other.used_ = other.count_ = 0;
}

EntryList& EntryList::operator=(EntryList&& other) noexcept {
  if (this != &other) {
    data_ = std::move(other.data_);
    capacity_ = other.capacity_;
    used_ = other.used_;
    count_ = other.count_;
    growInPlace_ = other.growInPlace_;
    hook_ = other.hook_;
    other.capacity_ = other.used_ = other.count_ = 0;
  }
  return *this;
}

EntryList::~EntryList() = default;

bool EntryList::enlarge(uint32_t increment) noexcept {
  const uint64_t newCapacity = uint64_t{capacity_} + increment;
  if (newCapacity > 0xFFFFFFF0u) return false;
  void* grown = std::realloc(data_.get(), newCapacity);
  if (grown == nullptr) return false;
  data_.release();
  data_.reset(static_cast<uint8_t*>(grown));
  // Only the word after the last record is ever read; zeroing the whole increment
  // would touch (and fault in) a megabyte that the coming records overwrite anyway.
  storeField<uint16_t>(data_.get() + used_, 0);
  capacity_ = static_cast<uint32_t>(newCapacity);
  return true;
}

uint8_t* EntryList::appendRecord(uint16_t size) noexcept {
  if (size < 2) return nullptr;
  // A record fits when it and the zero word after it fit.
  if (uint64_t{used_} + size + 2 > capacity_) {
    const uint32_t increment =
        capacity_ == 0 ? std::max<uint32_t>(kFirstCapacity, size) : std::max<uint32_t>(kGrowth, size);
    ListEnlargement request{this, increment, false};
    const ListEnlargementHook hook = hook_;
    if (growInPlace_ || hook == nullptr) {
      enlargeEntryList(&request);
    } else {
      hook(&enlargeEntryList, &request);
    }
    if (!request.done) return nullptr;
    // A first buffer that holds the record but not the zero word grows once more.
    if (uint64_t{used_} + size + 2 > capacity_) {
      ListEnlargement more{this, std::max<uint32_t>(kGrowth, size), false};
      if (growInPlace_ || hook == nullptr) {
        enlargeEntryList(&more);
      } else {
        hook(&enlargeEntryList, &more);
      }
      if (!more.done) return nullptr;
    }
  }
  uint8_t* record = data_.get() + used_;
  storeField<uint16_t>(record, size);
  used_ += size;
  ++count_;
  storeField<uint16_t>(data_.get() + used_, 0);  // the zero word after the last record
  return record;
}

bool EntryList::append(const void* record) noexcept {
  const uint16_t size = loadField<uint16_t>(static_cast<const uint8_t*>(record));
  uint8_t* out = appendRecord(size);
  if (out == nullptr) return false;
  std::memcpy(out, record, size);
  return true;
}

std::unique_ptr<uint8_t[]> EntryList::compactCopy(uint32_t* size) const {
  const uint32_t total = used_ + 4;
  std::unique_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[total]);
  if (!copy) {
    if (size != nullptr) *size = 0;
    return copy;
  }
  if (used_ != 0) std::memcpy(copy.get(), data_.get(), used_);
  std::memset(copy.get() + used_, 0, 4);
  if (size != nullptr) *size = total;
  return copy;
}

void EntryList::clear() noexcept {
  data_.reset();
  capacity_ = used_ = count_ = 0;
}

uint32_t EntryList::next(uint32_t offset) const noexcept {
  if (offset >= used_) return used_;
  const uint16_t length = recordLength(at(offset));
  if (length == 0) return used_;
  return std::min<uint32_t>(used_, offset + length);
}

void loadName(const uint8_t* p, const uint8_t* end, std::u16string& out) {
  // Find the terminator first, then copy the name in one piece.
  const size_t limit = end > p ? static_cast<size_t>(end - p) / 2 : 0;
  size_t length = 0;
  while (length < limit && (p[2 * length] | p[2 * length + 1]) != 0) ++length;
  out.resize(length);
  if (length != 0) std::memcpy(out.data(), p, 2 * length);
}

uint8_t* storeName(uint8_t* p, std::u16string_view name) noexcept {
  if (!name.empty()) std::memcpy(p, name.data(), name.size() * 2);
  p += name.size() * 2;
  storeField<char16_t>(p, 0);
  return p + 2;
}

namespace scan_entry {

bool append(EntryList& list, const EntryBlock& block, std::u16string_view name, uint8_t marks) {
  const size_t size = kFixedSize + 2 * name.size();
  if (size > 0xFFFF) return false;
  uint8_t* record = list.appendRecord(static_cast<uint16_t>(size));
  if (record == nullptr) return false;
  std::memcpy(record + kBlockOffset, &block, sizeof(block));
  record[kPairedOffset] = marks;
  storeName(record + kNameOffset, name);
  return true;
}

}  // namespace scan_entry

namespace action_record {

int64_t append(EntryList& list, uint8_t code, int32_t baseReference, const EntryBlock& left,
               const EntryBlock& right, std::u16string_view leftName,
               std::u16string_view rightName) {
  const size_t size = kFixedSize + 2 * (leftName.size() + rightName.size());
  if (size > 0xFFFF) return -1;
  const uint32_t offset = list.byteSize();
  uint8_t* record = list.appendRecord(static_cast<uint16_t>(size));
  if (record == nullptr) return -1;
  storeField<int32_t>(record + kReservedOffset, -1);
  record[kCodeOffset] = code;
  storeField<int32_t>(record + kBaseOffset, baseReference);
  std::memcpy(record + kLeftBlockOffset, &left, sizeof(left));
  std::memcpy(record + kRightBlockOffset, &right, sizeof(right));
  storeField<uint16_t>(record + kRightNameIndexOffset, static_cast<uint16_t>(leftName.size() + 1));
  uint8_t* p = storeName(record + kNamesOffset, leftName);
  storeName(p, rightName);
  return offset;
}

void load(const EntryList& list, uint32_t offset, Fields& out) {
  const uint8_t* record = list.at(offset);
  const uint8_t* end = record + recordLength(record);
  out.code = record[kCodeOffset];
  out.baseReference = loadField<int32_t>(record + kBaseOffset);
  out.left = loadBlock(record + kLeftBlockOffset);
  out.right = loadBlock(record + kRightBlockOffset);
  loadName(record + kNamesOffset, end, out.leftName);
  const uint16_t rightIndex = loadField<uint16_t>(record + kRightNameIndexOffset);
  const uint8_t* right = record + kNamesOffset + 2 * size_t{rightIndex};
  if (right < end) {
    loadName(right, end, out.rightName);
  } else {
    out.rightName.clear();
  }
}

}  // namespace action_record
}  // namespace crvl
