#include "jobs/profile_store.h"

#include <chrono>
#include <new>
#include <thread>
#include <utility>

#include "platform/files.h"
#include "jobs/ini_text.h"
#include "jobs/marked_text.h"
#include "os_traits.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace crvl {
namespace {

using namespace ini;

constexpr auto kLockWait = std::chrono::milliseconds(50);
constexpr size_t kIntBytes = 63;
constexpr std::string_view kStoreVersion = "24.08";
// A file that is being replaced by another program refuses to open for a moment.
constexpr int kReadAttempts = 40;
constexpr uint32_t kReadRetryWaitMs = 25;

// Runs `open` again while it fails for a reason that passes: in the instant another
// program renames a new file into place, the file refuses to open (Windows).
template <typename Open>
ErrorCode whilePassing(Open open) {
  ErrorCode r = open();
  for (int attempt = 1; (r == kErrorSharingViolation || r == kErrorLockViolation) && attempt < kReadAttempts;
       ++attempt) {
    platform::sleepMilliseconds(kReadRetryWaitMs);
    r = open();
  }
  return r;
}

constexpr uint32_t kFileLockPollMs = 10;

}  // namespace

std::u16string storeLockPath(std::u16string_view path) { return std::u16string(path) + u".lock"; }

ErrorCode lockStoredFile(std::u16string_view path, platform::FileLock& lock, uint32_t waitMs) {
  const uint64_t deadline = platform::monotonicMilliseconds() + waitMs;
  const std::u16string lockPath = storeLockPath(path);
  for (;;) {
    const ErrorCode r = lock.tryLock(lockPath);
    if (r != kErrorLockViolation || platform::monotonicMilliseconds() >= deadline) return r;
    // Another process holds the file for the few milliseconds of its write.
    platform::sleepMilliseconds(kFileLockPollMs);
  }
}

ProfileStore::~ProfileStore() {
  if (open_ || dirty_) (void)closeStore();
}

bool ProfileStore::lock() const {
  // Polled rather than a timed lock: the wait is short, and a timed wait on a recursive
  // mutex is invisible to the thread checker, which then reports every unlock.
  if (mutex_.try_lock()) return true;
  const auto deadline = std::chrono::steady_clock::now() + kLockWait;
  do {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (mutex_.try_lock()) return true;
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

void ProfileStore::unlock() const { mutex_.unlock(); }

void ProfileStore::openStore(std::optional<std::u16string_view> path, uint8_t openFlags,
                             const ProgramSettingsHooks& hooks) {
  {
    StoreLock guard(*this);
    if (!guard.ok()) return;
    openFlags_ = openFlags;
    openResult_ = kSuccess;
    open_ = true;
    hooks_ = hooks;
  }
  if (path) {
    const ErrorCode r = setStorePath(*path, 0);
    StoreLock guard(*this);
    if (guard.ok()) openResult_ = r;
  } else if ((openFlags & kStoreOwnFile) == 0 && hooks.locate != nullptr) {
    hooks.locate(*this);
  }
  if ((openFlags & kStoreProgramSettings) != 0 && hooks.checkWorkArea != nullptr) {
    hooks.checkWorkArea(*this);
  }
}

ErrorCode ProfileStore::setStorePath(std::u16string_view path, int mode) {
  StoreLock guard(*this);
  if (!guard.ok()) return kErrorTimeout;
  if (platform::namesEqual(path, path_)) return kErrorAlreadyExists;
  if (path.size() > kMaxStorePath) return kErrorFilenameExcedRange;
  const bool atOnce = path.empty() || (mode == 0 && !platform::pathExists(path));
  if (!atOnce) {
    if (!platform::isValidFileName(platform::fileNameOf(path))) return kErrorInvalidName;
    platform::File probe;
    ErrorCode r = whilePassing([&] { return platform::openFile(path, platform::OpenMode::ReadWrite, &probe); });
    // A file the user named is read even where it cannot be written: a change then
    // fails at the flush and says so, instead of the file reading as empty.
    if (r == kErrorAccessDenied && (openFlags_ & kStoreOwnFile) != 0 && mode == 0) {
      r = whilePassing([&] { return platform::openFile(path, platform::OpenMode::Read, &probe); });
    }
    if (r != kSuccess) return r;
  }
  try {
    path_.assign(path);
  } catch (const std::bad_alloc&) {
    return kErrorNotEnoughMemory;
  }
  text_.reset();
  changes_.clear();
  utf8File_ = 0;
  dirty_ = false;
  loadError_ = kSuccess;
  return kSuccess;
}

ErrorCode ProfileStore::openResult() const {
  StoreLock guard(*this);
  return guard.ok() ? openResult_ : kErrorTimeout;
}

void ProfileStore::record(Change&& change) {
  if (replaying_) return;
  try {
    changes_.push_back(std::move(change));
  } catch (const std::bad_alloc&) {
    // Applied to the text as read; only the merge with another process's write is lost.
  }
}

void ProfileStore::refreshFromFile() {
  if (path_.empty()) return;
  std::string disk;
  ErrorCode r = kSuccess;
  try {
    r = whilePassing([&] { return platform::readWholeFile(path_, disk); });
  } catch (const std::bad_alloc&) {
    r = kErrorNotEnoughMemory;
  }
  if (r == kErrorFileNotFound || r == kErrorPathNotFound) {
    disk.clear();
  } else if (r != kSuccess) {
    loadError_ = r;
    return;
  }
  std::vector<Change> changes;
  changes.swap(changes_);
  text_ = disk;
  utf8File_ = text_->starts_with(kUtf8Marker) ? 1 : 0;
  loadError_ = kSuccess;
  replaying_ = true;
  for (const Change& c : changes) {
    switch (c.kind) {
      case Change::Kind::kPut: putString(c.section, c.key, c.value); break;
      case Change::Kind::kDeleteKey: deleteKey(c.section, c.key); break;
      case Change::Kind::kDeleteSection: deleteSection(c.section); break;
      case Change::Kind::kReplaceSection: replaceSection(c.section, c.entries); break;
    }
  }
  replaying_ = false;
  changes_.swap(changes);
  dirty_ = *text_ != disk;
}

std::u16string ProfileStore::path() const {
  StoreLock guard(*this);
  if (!guard.ok()) return {};
  return path_;
}

void ProfileStore::ensureLoaded() {
  if (text_) return;
  std::string bytes;
  loadError_ = kSuccess;
  if (!path_.empty()) {
    try {
      const ErrorCode r = whilePassing([&] { return platform::readWholeFile(path_, bytes); });
      // A file that exists but cannot be read must never be replaced by what little
      // this store would hold, so the failure is kept and blocks the flush.
      if (r != kSuccess && r != kErrorFileNotFound && r != kErrorPathNotFound) loadError_ = r;
      if (r != kSuccess) bytes.clear();
    } catch (const std::bad_alloc&) {
      loadError_ = kErrorNotEnoughMemory;
      bytes = std::string();
    }
  }
  text_ = std::move(bytes);
  utf8File_ = text_->starts_with(kUtf8Marker) ? 1 : 0;
}

std::string ProfileStore::text() {
  StoreLock guard(*this);
  if (!guard.ok()) return {};
  ensureLoaded();
  return *text_;
}

bool ProfileStore::isDirty() const {
  StoreLock guard(*this);
  return guard.ok() && dirty_;
}

bool ProfileStore::isUtf8File() {
  StoreLock guard(*this);
  if (!guard.ok()) return false;
  ensureLoaded();
  return utf8File_ != 0;
}

bool ProfileStore::getString(std::string_view section, std::string_view key, const char* def,
                             std::string& out, size_t capacity) {
  StoreLock guard(*this);
  if (!guard.ok()) return false;
  ensureLoaded();
  const std::string_view t = *text_;
  std::optional<KeySpan> k;
  if (auto s = findSection(t, section)) k = findKey(t, *s, key);
  std::string_view value = k ? t.substr(k->value, k->valueEnd - k->value) : std::string_view();
  if (value.empty() && def != nullptr) value = def;
  const size_t limit = capacity == 0 ? 0 : capacity - 1;
  try {
    out.assign(value.substr(0, limit));
  } catch (const std::bad_alloc&) {
    out.clear();
  }
  return k.has_value();
}

uint32_t ProfileStore::getInt(std::string_view section, std::string_view key, uint32_t def) {
  std::string value;
  if (!getString(section, key, nullptr, value, kIntBytes + 1) || value.empty()) return def;
  return parseUnsigned(value);
}

bool ProfileStore::getText(std::string_view section, std::string_view key, const char16_t* def,
                           std::u16string& out, size_t capacity) {
  std::string value;
  bool utf8 = false;
  bool found = false;
  {
    StoreLock guard(*this);
    if (guard.ok()) {
      found = getString(section, key, nullptr, value, SIZE_MAX);
      utf8 = utf8File_ != 0;
    }
  }
  const size_t limit = capacity == 0 ? 0 : capacity - 1;
  try {
    if (value.empty()) {
      out.assign(def != nullptr ? std::u16string_view(def) : std::u16string_view());
    } else {
      out = decodeMarkedText(value, utf8);
    }
    if (out.size() > limit) out.resize(limit);
  } catch (const std::bad_alloc&) {
    out.clear();
  }
  return found;
}

void ProfileStore::putString(std::string_view section, std::string_view key,
                             std::string_view value) {
  if (!writable(section, key, value)) return;
  StoreLock guard(*this);
  if (!guard.ok() || frozen_ != 0) return;
  ensureLoaded();
  std::string& t = *text_;
  try {
    if (!replaying_) record(Change{Change::Kind::kPut, std::string(section), std::string(key), std::string(value), {}});
    if (auto s = findSection(t, section)) {
      if (auto k = findKey(t, *s, key)) {
        if (std::string_view(t).substr(k->value, k->valueEnd - k->value) == value) return;
        t.replace(k->value, k->valueEnd - k->value, value);
        dirty_ = true;
        return;
      }
      const size_t at = beforeTrailingBlankLine(t, s->end);
      std::string line;
      line.reserve(key.size() + value.size() + 5);
      if (at == 0 || !isLineEndByte(t[at - 1])) line += kLineEnd;
      line.append(key).append("=").append(value).append(kLineEnd);
      t.insert(at, line);
      dirty_ = true;
      return;
    }
    // A new section goes at the end, one blank line after the last one.
    std::string n;
    n.reserve(t.size() + section.size() + key.size() + value.size() + 12);
    n.assign(t, 0, beforeTrailingBlankLine(t, t.size()));
    if (n.size() > firstLine(n)) {  // a lone byte order mark counts as empty
      if (!isLineEndByte(n.back())) n += kLineEnd;
      n += kLineEnd;
    }
    n.append("[").append(section).append("]").append(kLineEnd);
    n.append(key).append("=").append(value).append(kLineEnd);
    t.swap(n);
    dirty_ = true;
  } catch (const std::bad_alloc&) {
    // The text stays as it was.
  }
}

void ProfileStore::putInt(std::string_view section, std::string_view key, uint32_t value) {
  char digits[16];
  size_t n = 0;
  do {
    digits[sizeof digits - 1 - n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  putString(section, key, std::string_view(digits + sizeof digits - n, n));
}

void ProfileStore::putText(std::string_view section, std::string_view key,
                           std::u16string_view value) {
  StoreLock guard(*this);
  if (!guard.ok() || frozen_ != 0) return;
  ensureLoaded();
  try {
    putString(section, key, encodeMarkedText(value, utf8File_ != 0));
  } catch (const std::bad_alloc&) {
  }
}

void ProfileStore::deleteKey(std::string_view section, std::string_view key) {
  StoreLock guard(*this);
  if (!guard.ok() || frozen_ != 0) return;
  ensureLoaded();
  try {
    record(Change{Change::Kind::kDeleteKey, std::string(section), std::string(key), {}, {}});
  } catch (const std::bad_alloc&) {
  }
  std::string& t = *text_;
  const auto s = findSection(t, section);
  if (!s) return;
  const auto k = findKey(t, *s, key);
  if (!k) return;
  t.erase(k->line, k->next - k->line);
  dirty_ = true;
}

void ProfileStore::deleteSection(std::string_view section) {
  StoreLock guard(*this);
  if (!guard.ok() || frozen_ != 0) return;
  ensureLoaded();
  try {
    record(Change{Change::Kind::kDeleteSection, std::string(section), {}, {}, {}});
  } catch (const std::bad_alloc&) {
  }
  std::string& t = *text_;
  const auto s = findSection(t, section);
  if (!s) return;
  t.erase(s->header, s->end - s->header);
  dirty_ = true;
}

void ProfileStore::replaceSection(std::string_view section, const std::vector<SectionEntry>& entries) {
  if (holdsLineBreak(section) || section.find(']') != section.npos) return;
  StoreLock guard(*this);
  if (!guard.ok() || frozen_ != 0) return;
  ensureLoaded();
  const std::string_view t = *text_;
  try {
    if (!replaying_) record(Change{Change::Kind::kReplaceSection, std::string(section), {}, {}, entries});
    std::string n;
    size_t extra = section.size() + 8;
    for (const SectionEntry& e : entries) extra += e.key.size() + e.value.size() + 3;
    n.reserve(t.size() + extra);
    // One pass over the lines: the text outside the named sections is kept.
    size_t kept = 0;  // start of the text not yet copied or dropped
    bool inside = false;
    for (size_t ls = firstLine(t); ls < t.size(); ls = nextLine(t, ls)) {
      if (t[ls] != '[') continue;
      const size_t close = ls + 1 + section.size();
      const bool named = close < t.size() && t[close] == ']' && t.compare(ls + 1, section.size(), section) == 0;
      if (named && !inside) {
        n.append(t.substr(kept, ls - kept));
        inside = true;
      } else if (!named && inside) {
        kept = ls;
        inside = false;
      }
    }
    if (!inside) n.append(t.substr(kept));

    bool headed = false;
    for (const SectionEntry& e : entries) {
      if (!writable(section, e.key, e.value)) continue;
      if (!headed) {
        headed = true;
        n.resize(beforeTrailingBlankLine(n, n.size()));
        if (n.size() > firstLine(n)) {  // a lone byte order mark counts as empty
          if (!isLineEndByte(n.back())) n += kLineEnd;
          n += kLineEnd;
        }
        n.append("[").append(section).append("]").append(kLineEnd);
      }
      n.append(e.key).append("=").append(e.value).append(kLineEnd);
    }
    if (n == t) return;
    text_->swap(n);
    dirty_ = true;
  } catch (const std::bad_alloc&) {
    // The text stays as it was.
  }
}

int ProfileStore::enumerateSection(std::string_view section, SectionCallback callback,
                                   void* context) {
  if (callback == nullptr) return 0;
  StoreLock guard(*this);
  if (!guard.ok()) return 0;
  ensureLoaded();
  std::string body;
  if (!copySectionBody(*text_, section, body)) return 0;
  return visitSection(body, [&](std::string_view key, std::string_view value) {
    return callback(context, key, value);
  });
}

int ProfileStore::enumerateSectionKeys(std::string_view section, SectionKeyCallback callback,
                                       void* context) {
  if (callback == nullptr) return 0;
  StoreLock guard(*this);
  if (!guard.ok()) return 0;
  ensureLoaded();
  std::string body;
  if (!copySectionBody(*text_, section, body)) return 0;
  return visitSection(body, [&](std::string_view key, std::string_view) {
    return callback(context, key);
  });
}

ErrorCode ProfileStore::writeTextTo(std::u16string_view target) {
  // Written whole beside the old file and renamed over it: a reader, or another
  // process flushing at the same moment, never meets a half-written file.
  return platform::writeWholeFile(target, *text_);
}

ErrorCode ProfileStore::relocate(ErrorCode writeError) {
  const ProgramSettingsHooks hooks = hooks_;
  if (hooks.perUserSettingsPath == nullptr) return writeError;
  std::u16string perUser, original;
  std::string keep;
  std::vector<Change> changes;
  try {
    perUser = hooks.perUserSettingsPath();
    original = path_;
    keep = *text_;
    changes = changes_;
  } catch (const std::bad_alloc&) {
    return writeError;
  }
  const int utf8 = utf8File_;
  if (perUser.empty() || setStorePath(perUser, 0) != kSuccess) return writeError;
  try {
    text_ = keep;
  } catch (const std::bad_alloc&) {
    text_ = std::move(keep);
    keep.clear();
  }
  utf8File_ = utf8;
  putText("UseThis", "Opt", perUser);
  const ErrorCode written = writeTextTo(path_);
  if (written == kSuccess || keep.empty()) return written;
  // Nothing reached a disk: the store stays on its own file with its changes, so that
  // the next flush tries that file again and nothing the user changed is lost.
  path_ = std::move(original);
  text_ = std::move(keep);
  changes_ = std::move(changes);
  dirty_ = true;
  return writeError;
}

ErrorCode ProfileStore::flushStore() {
  {
    StoreLock guard(*this);
    if (!guard.ok()) return kErrorTimeout;  // stays dirty: the next flush tries again
    if (frozen_ != 0 || !dirty_ || path_.empty()) return kSuccess;
    if (updates_ != 0) return flushLocked();
  }
  // The lock between processes is taken before the in-process lock, so that a thread
  // waiting for another process never blocks the readers of this one.
  platform::FileLock held;
  const std::u16string file = path();
  const ErrorCode locked = lockStoredFile(file, held);
  if (locked == kErrorLockViolation) return locked;  // stays dirty: the next flush tries again
  StoreLock guard(*this);
  if (!guard.ok()) return kErrorTimeout;
  if (path_ != file) return flushLocked();  // moved meanwhile: written as it now stands
  if (held.locked()) refreshFromFile();
  return flushLocked();
}

ErrorCode ProfileStore::flushLocked() {
  if (frozen_ != 0 || path_.empty() || !dirty_) return kSuccess;
  ensureLoaded();
  const std::u16string pathBefore = path_;
  ErrorCode r = loadError_;
  if (r == kSuccess) {
    if ((openFlags_ & kStoreProgramSettings) != 0) putString("CRVL", "Version", kStoreVersion);
    std::string disk;
    bool same = false;
    try {
      same = platform::readWholeFile(path_, disk) == kSuccess && disk == *text_;
    } catch (const std::bad_alloc&) {
    }
    if (same) {
      dirty_ = false;
      changes_.clear();
      return kSuccess;
    }
    r = writeTextTo(path_);
    if (r != kSuccess && (openFlags_ & kStoreOwnFile) == 0) r = relocate(r);
    // A write that failed leaves the store dirty with its changes: the next flush tries
    // again, instead of taking the text in memory for what the file holds.
    if (r != kSuccess && path_ == pathBefore) return r;
  } else {
    return r;  // unreadable now: nothing is written, the changes wait for the next flush
  }
  dirty_ = false;
  changes_.clear();
  return r;
}

ErrorCode ProfileStore::closeStore() {
  StoreLock guard(*this);
  if (!guard.ok()) return kErrorTimeout;
  const ErrorCode r = flushStore();
  text_.reset();
  changes_.clear();
  utf8File_ = 0;
  dirty_ = false;
  loadError_ = kSuccess;
  open_ = false;
  return r;
}

void ProfileStore::reloadStore() {
  StoreLock guard(*this);
  if (!guard.ok() || frozen_ != 0) return;
  text_.reset();
  changes_.clear();
  utf8File_ = 0;
  dirty_ = false;
  loadError_ = kSuccess;
}

void ProfileStore::freezeStore() {
  StoreLock guard(*this);
  if (guard.ok()) ++frozen_;
}

void ProfileStore::unfreezeStore() {
  StoreLock guard(*this);
  if (guard.ok()) frozen_ = 0;
}

StoreUpdate::StoreUpdate(ProfileStore& store) : store_(store) {
  {
    // An update inside an update of the same thread holds the lock already (on Windows
    // a second lock of one file by one process would wait for itself).
    std::lock_guard<std::recursive_mutex> guard(store.mutex_);
    if (store.updates_ != 0 && store.updateThread_ == std::this_thread::get_id()) {
      ++store.updates_;
      counted_ = true;
      return;
    }
  }
  const std::u16string file = store.path();
  if (!file.empty()) {
    status_ = lockStoredFile(file, lock_);
    if (status_ == kErrorLockViolation) return;
    status_ = kSuccess;  // a lock file that cannot be made: the write will tell
  }
  std::lock_guard<std::recursive_mutex> guard(store.mutex_);
  ++store.updates_;
  store.updateThread_ = std::this_thread::get_id();
  counted_ = true;
  if (store.frozen_ != 0 || !lock_.locked()) return;
  if (!store.text_) {
    store.ensureLoaded();
  } else {
    store.refreshFromFile();
  }
}

StoreUpdate::~StoreUpdate() {
  if (!counted_) return;
  std::lock_guard<std::recursive_mutex> guard(store_.mutex_);
  --store_.updates_;
}

}  // namespace crvl
