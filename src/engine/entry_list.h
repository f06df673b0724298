// Growable buffers of packed records (scan lists and action lists) and the byte
// layouts of the records the engine keeps in them.
//
// Every record begins with its own length in bytes (uint16); a zero length word always
// follows the last record. Records are not aligned: read and write their fields with
// the accessors below (they copy bytes), never through casted pointers.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace crvl {

// The 34 bytes from attributes through last write time, carried as one unit.
#pragma pack(push, 1)
struct EntryBlock {
  uint16_t attributes = 0;
  uint64_t size = 0;
  uint64_t creationTime = 0;
  uint64_t lastAccessTime = 0;
  uint64_t lastWriteTime = 0;
};
#pragma pack(pop)
static_assert(sizeof(EntryBlock) == 34);

inline constexpr uint16_t kFolderAttribute = 0x10;
inline constexpr uint16_t kReparsePointAttribute = 0x400;

[[nodiscard]] inline bool isFolder(const EntryBlock& block) noexcept {
  return (block.attributes & kFolderAttribute) != 0;
}

// Entries of plug-ins that report Unix modes carry this bit; their low bits are then
// permission bits (0x400 is "others may execute"), and 0x2000 marks a symbolic link.
inline constexpr uint16_t kUnixModeAttribute = 0x8000;
inline constexpr uint16_t kUnixLinkAttribute = 0x2000;

// Whether the entry is a link or other reparse point: an entry of its own, never entered
// or deleted through.
[[nodiscard]] inline bool isLinkEntry(uint16_t attributes) noexcept {
  if ((attributes & kUnixModeAttribute) != 0) return (attributes & kUnixLinkAttribute) != 0;
  return (attributes & kReparsePointAttribute) != 0;
}

class EntryList;

// The enlargement request handed to the enlargement hook: the hook must call
// enlargeEntryList(request) exactly once, on whatever thread it chooses, and return
// after that call has finished.
struct ListEnlargement {
  EntryList* list = nullptr;
  uint32_t increment = 0;
  bool done = false;  // set by enlargeEntryList on success
};

// Carries out an enlargement request (the routine the main window is asked to call).
void enlargeEntryList(void* request) noexcept;

// Where a list whose grow-in-place flag is clear is enlarged. The shell's hook sends
// its main window message 1032 with enlargeEntryList as wParam and the request as
// lParam. Without a hook such lists grow in place on the appending thread.
using ListEnlargementHook = void (*)(void (*routine)(void*) noexcept, void* request);

// A growable byte buffer of packed records. The first append allocates
// max(16384, record size) bytes; when a record and the zero word after it do not fit,
// the buffer grows by max(1048576, record size) bytes. The word after the last record
// is always zero; the bytes beyond it are never read and are written only as records
// fill them (a grown buffer is not cleared ahead). Move-only; not thread-safe.
class EntryList {
 public:
  static constexpr uint32_t kFirstCapacity = 16384;
  static constexpr uint32_t kGrowth = 1048576;

  EntryList() noexcept = default;
  explicit EntryList(bool growInPlace, ListEnlargementHook hook = nullptr) noexcept
      : growInPlace_(growInPlace), hook_(hook) {}
  EntryList(EntryList&& other) noexcept;
  EntryList& operator=(EntryList&& other) noexcept;
  EntryList(const EntryList&) = delete;
  EntryList& operator=(const EntryList&) = delete;
  ~EntryList();

  // Reserves `size` bytes at the end, writes `size` as the record's length word and
  // counts the record. Returns the record's first byte (the caller fills the rest),
  // or null when memory runs out (nothing is then appended). REQUIRES: size >= 2.
  [[nodiscard]] uint8_t* appendRecord(uint16_t size) noexcept;

  // Appends a copy of a complete record (its first two bytes are its length).
  [[nodiscard]] bool append(const void* record) noexcept;

  // Bytes used: also the byte offset the next record will get.
  [[nodiscard]] uint32_t byteSize() const noexcept { return used_; }
  [[nodiscard]] uint32_t count() const noexcept { return count_; }
  [[nodiscard]] uint32_t capacity() const noexcept { return capacity_; }
  [[nodiscard]] bool growInPlace() const noexcept { return growInPlace_; }

  [[nodiscard]] const uint8_t* data() const noexcept { return data_.get(); }
  [[nodiscard]] uint8_t* data() noexcept { return data_.get(); }

  // The record at a byte offset below byteSize().
  [[nodiscard]] const uint8_t* at(uint32_t offset) const noexcept { return data_.get() + offset; }
  [[nodiscard]] uint8_t* at(uint32_t offset) noexcept { return data_.get() + offset; }

  // The used bytes followed by 4 zero bytes, in a buffer the receiver owns; `*size`
  // receives the byte count including the 4 zero bytes. Null when memory runs out.
  [[nodiscard]] std::unique_ptr<uint8_t[]> compactCopy(uint32_t* size) const;

  // Forgets every record; keeps nothing allocated.
  void clear() noexcept;

  // Walks records from the start: `offset` of the next record after the one at
  // `offset`, or byteSize() at the end.
  [[nodiscard]] uint32_t next(uint32_t offset) const noexcept;

 private:
  friend void enlargeEntryList(void* request) noexcept;
  struct FreeDeleter {
    void operator()(uint8_t* p) const noexcept { std::free(p); }
  };
  [[nodiscard]] bool enlarge(uint32_t increment) noexcept;

  std::unique_ptr<uint8_t, FreeDeleter> data_;
  uint32_t capacity_ = 0;
  uint32_t used_ = 0;
  uint32_t count_ = 0;
  bool growInPlace_ = false;
  ListEnlargementHook hook_ = nullptr;
};

// Unaligned field access.
template <typename T>
[[nodiscard]] inline T loadField(const uint8_t* p) noexcept {
  T value;
  std::memcpy(&value, p, sizeof(T));
  return value;
}
template <typename T>
inline void storeField(uint8_t* p, T value) noexcept {
  std::memcpy(p, &value, sizeof(T));
}
[[nodiscard]] inline uint16_t recordLength(const uint8_t* record) noexcept {
  return loadField<uint16_t>(record);
}
[[nodiscard]] inline EntryBlock loadBlock(const uint8_t* p) noexcept {
  EntryBlock block;
  std::memcpy(&block, p, sizeof(block));
  return block;
}

// Reads a zero-terminated wide name stored at an unaligned address into `out`
// (replacing its contents), reading no further than `end`.
void loadName(const uint8_t* p, const uint8_t* end, std::u16string& out);
// Stores a name and its terminator; returns the byte after the terminator.
uint8_t* storeName(uint8_t* p, std::u16string_view name) noexcept;

// ScanEntry: length (uint16, 39 + 2 x name length); entry block (34 bytes); paired flag
// (uint8: bit 0 paired, bit 1 hidden by the filter; 0 for an ordinary new entry); name
// (wide, zero-terminated).
namespace scan_entry {
inline constexpr uint32_t kBlockOffset = 2;
inline constexpr uint32_t kPairedOffset = 36;
inline constexpr uint32_t kNameOffset = 37;
inline constexpr uint32_t kFixedSize = 39;
inline constexpr uint8_t kPaired = 0x1;
// A file the filter does not take: kept in the list only so that its twin on the other
// side is paired with it and left alone (never copied over it, never deleted as an orphan).
inline constexpr uint8_t kHidden = 0x2;
// A name this system cannot hold ('\' from a POSIX side on Windows): never paired,
// copied or deleted, reported as an entry that cannot be handled.
inline constexpr uint8_t kUnusable = 0x4;
// Appends a ScanEntry with the given marks; false when the name is too long for a
// record or memory runs out.
[[nodiscard]] bool append(EntryList& list, const EntryBlock& block, std::u16string_view name,
                          uint8_t marks = 0);
}  // namespace scan_entry

// ActionRecord: length (uint16, 85 + 2 x (left name + right name length)); reserved
// (int32, -1); code (uint8); base reference (int32); left entry block; right entry
// block; right name index (uint16, left name length + 1); left name and right name,
// each zero-terminated.
namespace action_record {
inline constexpr uint32_t kReservedOffset = 2;
inline constexpr uint32_t kCodeOffset = 6;
inline constexpr uint32_t kBaseOffset = 7;
inline constexpr uint32_t kLeftBlockOffset = 11;
inline constexpr uint32_t kRightBlockOffset = 45;
inline constexpr uint32_t kRightNameIndexOffset = 79;
inline constexpr uint32_t kNamesOffset = 81;
inline constexpr uint32_t kFixedSize = 85;

// Appends an ActionRecord; returns its byte offset, or -1 when the names are too long
// for a record or memory runs out (the record is then dropped).
[[nodiscard]] int64_t append(EntryList& list, uint8_t code, int32_t baseReference,
                             const EntryBlock& left, const EntryBlock& right,
                             std::u16string_view leftName, std::u16string_view rightName);

// A decoded record (names copied out).
struct Fields {
  uint8_t code = 0;
  int32_t baseReference = 0;
  EntryBlock left;
  EntryBlock right;
  std::u16string leftName;
  std::u16string rightName;
};
// Decodes the record at `offset` into `out` (reusing its string buffers).
void load(const EntryList& list, uint32_t offset, Fields& out);
}  // namespace action_record

}  // namespace crvl
