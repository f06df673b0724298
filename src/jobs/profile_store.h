// The program's own INI reader and writer. A store keeps the whole file as one 8-bit
// text in memory, edits it there and writes it back whole on flush, only when it
// changed: to a temporary file beside the old one that is then renamed over it (see
// jobs/file_replacement.h), so a reader never meets a part of the file.
// Every operation takes the store's recursive lock, waiting at most 50 ms; when the
// wait times out the operation is skipped (reads report "not found", changes are lost,
// a flush leaves the store dirty).
//
// Between processes (the tray program and the console share one settings file), every
// flush holds an exclusive lock on a lock file beside the file ("<file>.lock", released
// by the system when the process ends), reads the file again under it and applies this
// store's changes since it was read to what is there now, so that changes of other
// processes to other keys are kept. A change that depends on what it read (the next
// number of a list) runs inside a StoreUpdate, which holds that lock from the read to
// the flush.
//
// Text format: "[name]" headers at the start of a line; "key = value" lines (no
// leading blanks, key compared byte for byte, case-sensitive); the first of two equal
// sections or keys counts; lines are written with CR LF and one blank line between
// sections; files with any mix of CR, LF and CR LF are read.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/errors.h"
#include "platform/file_lock.h"

namespace crvl {

enum StoreFlags : uint8_t {
  kStoreOwnFile = 1,          // the path was given by the caller; never relocated
  kStoreProgramSettings = 2,  // maintain the work-area and version entries
};

class ProfileStore;

// What the program settings add to a store opened with kStoreProgramSettings or
// without a path (filled in by the program settings; all may be empty).
struct ProgramSettingsHooks {
  // Chooses the settings file of a store opened without a path and without OwnFile.
  void (*locate)(ProfileStore& store) = nullptr;
  // Checks the work-area entry of a store opened with kStoreProgramSettings.
  void (*checkWorkArea)(ProfileStore& store) = nullptr;
  // The per-user settings file that a failed flush relocates to.
  std::u16string (*perUserSettingsPath)() = nullptr;
};

// Callback of enumerateSection: (context, key, value); a non-zero answer stops.
using SectionCallback = int (*)(void* context, std::string_view key, std::string_view value);
// Callback of enumerateSectionKeys: (context, key); a non-zero answer stops.
using SectionKeyCallback = int (*)(void* context, std::string_view key);

// One key line for ProfileStore::replaceSection.
struct SectionEntry {
  std::string key;
  std::string value;
};

// The longest path a store takes, in characters.
inline constexpr size_t kMaxStorePath = 1023;

// How long a flush or an update waits for another process to let go of the file.
inline constexpr uint32_t kStoreFileLockWaitMs = 10'000;

// "<path>.lock": the lock file between processes of the stored file at `path`.
[[nodiscard]] std::u16string storeLockPath(std::u16string_view path);

// Takes the lock between processes of the stored file at `path`, waiting up to
// `waitMs` for another holder. Returns 0 when held; kErrorLockViolation when another
// holder kept it for the whole wait; a lock file that cannot be made at all (a folder
// closed to this user) returns its error and `lock` stays free; the caller decides.
[[nodiscard]] ErrorCode lockStoredFile(std::u16string_view path, platform::FileLock& lock,
                                       uint32_t waitMs = kStoreFileLockWaitMs);

class ProfileStore {
 public:
  ProfileStore() = default;
  ProfileStore(const ProfileStore&) = delete;
  ProfileStore& operator=(const ProfileStore&) = delete;
  // Closes the store (flushing it) when it is open.
  ~ProfileStore();

  // Opens the store. With a path: setStorePath(path, 0). Without a path and without
  // kStoreOwnFile: hooks.locate chooses the file. With kStoreProgramSettings:
  // hooks.checkWorkArea runs. A failed flush of a store without kStoreOwnFile moves to
  // hooks.perUserSettingsPath. The store keeps the hooks until it is opened again.
  void openStore(std::optional<std::u16string_view> path, uint8_t openFlags,
                 const ProgramSettingsHooks& hooks = {});

  // Takes a new path. Returns 0 when taken; the same path (case-insensitive) is left as
  // it is and answers kErrorAlreadyExists. An empty path, or a missing file with
  // mode 0, is taken at once; otherwise the name must be valid and the file must open
  // for reading and writing. Taking a path discards the loaded text.
  [[nodiscard]] ErrorCode setStorePath(std::u16string_view path, int mode);

  // The current path (empty: no file).
  [[nodiscard]] std::u16string path() const;

  // Copies the value (at most capacity - 1 bytes) into `out`. A missing key or section
  // or an empty value gives `def` when there is one (else `out` is cleared). Returns
  // whether the key exists. On a lock timeout `out` is left unchanged and the result
  // is false.
  bool getString(std::string_view section, std::string_view key, const char* def,
                 std::string& out, size_t capacity = 4096);

  // The value as an unsigned decimal number (at most 63 bytes read; a leading '-'
  // gives the two's complement); missing or empty gives `def`.
  [[nodiscard]] uint32_t getInt(std::string_view section, std::string_view key, uint32_t def);

  // The value decoded as MarkedText (UTF-8 when the file began with EF BB BF), at most
  // capacity - 1 characters; not found gives `def` or an empty text. Returns whether
  // the key exists.
  bool getText(std::string_view section, std::string_view key, const char16_t* def,
               std::u16string& out, size_t capacity = 1024);

  // Sets a value, adding the key line (at the end of its section) or the section (at
  // the end of the text) when missing. Names or values holding CR, LF or NUL, keys
  // that are empty, begin with '[' or hold '=', and section names holding ']' would
  // break the file's structure and are ignored.
  void putString(std::string_view section, std::string_view key, std::string_view value);
  void putInt(std::string_view section, std::string_view key, uint32_t value);
  void putText(std::string_view section, std::string_view key, std::u16string_view value);

  // Removes the key's whole line (the first match).
  void deleteKey(std::string_view section, std::string_view key);
  // Removes the header and every line up to the next line that begins with '['.
  void deleteSection(std::string_view section);

  // Replaces every section named `section` by one new section at the end of the text
  // that holds `entries` as key lines in their order, laid out as putString lays out a
  // new section (so the text equals deleteSection followed by one putString per entry
  // when the name occurs once). Entries that putString would refuse are left out;
  // without entries the sections are only removed. Keys should differ: each entry gets
  // a line of its own, and of two equal keys the first counts when read. One pass over
  // the text, however many entries there are. Dirty only when the text changed.
  void replaceSection(std::string_view section, const std::vector<SectionEntry>& entries);

  // Calls back with (key, value) for each line of the section that holds '=' after a
  // non-empty key (blanks before '=' are not part of the key), in file order, until the
  // callback answers non-zero. Returns the number of calls. The callback may change the
  // store; the enumeration goes on over the section as it was.
  int enumerateSection(std::string_view section, SectionCallback callback, void* context);
  // As enumerateSection, passing the key alone.
  int enumerateSectionKeys(std::string_view section, SectionKeyCallback callback, void* context);

  // Writes the text when it changed (see the store's rules); 0 on success or when
  // nothing needed writing. Under the lock between processes (taken here unless a
  // StoreUpdate of this store holds it): the file is read again and this store's
  // changes since it was read are applied to it before it is compared and written.
  [[nodiscard]] ErrorCode flushStore();
  // Flushes, then releases the text; the store is closed afterwards.
  ErrorCode closeStore();
  // Discards the text; the file is read again on the next access.
  void reloadStore();
  // While frozen, every change, reload and flush is skipped.
  void freezeStore();
  void unfreezeStore();

  // State for tests and callers that need it.
  [[nodiscard]] bool isDirty() const;
  // Whether the file began with EF BB BF (loads the text first).
  [[nodiscard]] bool isUtf8File();
  [[nodiscard]] uint8_t openFlags() const { return openFlags_; }
  // The whole text as it now stands (loads it first).
  [[nodiscard]] std::string text();

  // The lock, for callers that group several operations (waits at most 50 ms).
  [[nodiscard]] bool lock() const;
  void unlock() const;

  // The result of taking the path given to openStore (0 also when none was given).
  [[nodiscard]] ErrorCode openResult() const;

 private:
  friend class StoreUpdate;

  // One change to the text, kept from the last read of the file until the next flush.
  struct Change {
    enum class Kind : uint8_t { kPut, kDeleteKey, kDeleteSection, kReplaceSection } kind;
    std::string section;
    std::string key;
    std::string value;
    std::vector<SectionEntry> entries;
  };
  // Notes a change for the next flush (nothing while changes are applied again).
  // REQUIRES: the lock is held.
  void record(Change&& change);
  // Reads the file again and applies the recorded changes to it; dirty afterwards only
  // when the result differs from the file. A file that cannot be read keeps the text
  // and its error. REQUIRES: the lock and the lock between processes are held.
  void refreshFromFile();
  // Loads the text on first use. REQUIRES: the lock is held.
  void ensureLoaded();
  // The store's write of the text to `target` (create with its retries, then write).
  // REQUIRES: the lock is held.
  [[nodiscard]] ErrorCode writeTextTo(std::u16string_view target);
  // Relocates to the per-user settings file after a failed write. REQUIRES: the lock.
  [[nodiscard]] ErrorCode relocate(ErrorCode writeError);
  // flushStore once the file is settled: the version entry, the comparison with the
  // file and the write. REQUIRES: the lock (and the lock between processes) is held.
  [[nodiscard]] ErrorCode flushLocked();
  // Replaces the text after a change (the dirty rule). REQUIRES: the lock is held.
  void setText(std::string&& text);

  mutable std::recursive_mutex mutex_;
  std::optional<std::string> text_;  // none = not loaded yet
  int utf8File_ = 0;
  bool dirty_ = false;
  bool open_ = false;
  uint8_t openFlags_ = 0;
  int frozen_ = 0;
  ErrorCode loadError_ = kSuccess;  // a file that exists but could not be read
  ErrorCode openResult_ = kSuccess;
  std::vector<Change> changes_;  // since the text was read
  bool replaying_ = false;
  int updates_ = 0;  // StoreUpdates holding the lock between processes
  std::thread::id updateThread_;  // the thread of the latest of them
  std::u16string path_;
  ProgramSettingsHooks hooks_;
};

// RAII guard for ProfileStore::lock; check ok() before using the store.
class StoreLock {
 public:
  explicit StoreLock(const ProfileStore& store) : store_(store), ok_(store.lock()) {}
  ~StoreLock() { if (ok_) store_.unlock(); }
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;
  [[nodiscard]] bool ok() const { return ok_; }
 private:
  const ProfileStore& store_;
  bool ok_;
};

// One read–change–write of a store's file shared with other processes: holds the
// exclusive lock between processes (waiting up to kStoreFileLockWaitMs) and reads the
// file again under it, so the reads, changes and the flush that follow see what other
// processes wrote; changes not yet flushed are applied again on top. The lock is given
// up when the object ends. A lock file that cannot be made does not stop the update
// (status 0, unlocked): the write fails on its own if the folder is closed.
// REQUIRES: the caller does not hold the store's in-process lock (StoreLock) when it
// creates the update.
class StoreUpdate {
 public:
  explicit StoreUpdate(ProfileStore& store);
  ~StoreUpdate();
  StoreUpdate(const StoreUpdate&) = delete;
  StoreUpdate& operator=(const StoreUpdate&) = delete;
  // 0 when the update may go on; kErrorLockViolation when another process held the
  // file for the whole wait.
  [[nodiscard]] ErrorCode status() const { return status_; }

 private:
  ProfileStore& store_;
  platform::FileLock lock_;
  ErrorCode status_ = kSuccess;
  bool counted_ = false;
};

}  // namespace crvl
