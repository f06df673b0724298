#include "jobs/profile_store.h"

#include <new>
#include <utility>

#include "jobs/file_replacement.h"
#include "jobs/marked_text.h"
#include "os_traits.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/text.h"

namespace crvl {
namespace {

constexpr auto kLockWait = std::chrono::milliseconds(50);
constexpr size_t kIntBytes = 63;
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kStoreVersion = "24.08";
// A file that is being replaced by another program refuses to open for a moment.
constexpr int kReadAttempts = 40;
constexpr uint32_t kReadRetryWaitMs = 25;

std::mutex& hooksMutex() {
  static std::mutex m;
  return m;
}

ProgramSettingsHooks& hooksSlot() {
  static ProgramSettingsHooks hooks;
  return hooks;
}

ProgramSettingsHooks currentHooks() {
  std::lock_guard<std::mutex> guard(hooksMutex());
  return hooksSlot();
}

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

bool isLineEndByte(char c) { return c == '\r' || c == '\n'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The end of the line that starts at `pos` (its first CR or LF, or the end).
size_t lineEnd(std::string_view t, size_t pos) {
  const char* p = t.data();
  const size_t n = t.size();
  while (pos < n && p[pos] != '\r' && p[pos] != '\n') ++pos;
  return pos;
}

// The start of the next line (past CR LF, a lone CR or a lone LF).
size_t nextLine(std::string_view t, size_t pos) {
  const size_t e = lineEnd(t, pos);
  if (e == t.size()) return e;
  if (t[e] == '\r' && e + 1 < t.size() && t[e + 1] == '\n') return e + 2;
  return e + 1;
}

// The first line begins after a UTF-8 byte order mark, so that a file saved as UTF-8
// by an editor still shows its first section.
size_t firstLine(std::string_view t) { return t.starts_with(kUtf8Marker) ? kUtf8Marker.size() : 0; }

// When the text before `pos` ends with a blank line, the position of that blank line's
// terminator; else `pos`. Used so that the blank line before the next section stays.
size_t beforeTrailingBlankLine(std::string_view t, size_t pos) {
  auto terminatorStart = [&](size_t end) -> size_t {  // end > 0, t[end - 1] is CR or LF
    if (t[end - 1] == '\n' && end >= 2 && t[end - 2] == '\r') return end - 2;
    return end - 1;
  };
  if (pos == 0 || !isLineEndByte(t[pos - 1])) return pos;
  const size_t blank = terminatorStart(pos);
  if (blank == 0 || !isLineEndByte(t[blank - 1])) return pos;
  return blank;
}

struct SectionSpan {
  size_t header;  // start of the header line
  size_t body;    // start of the first line after it
  size_t end;     // start of the next line beginning with '[', or the end of the text
};

struct KeySpan {
  size_t line;      // start of the key line
  size_t value;     // first byte of the value
  size_t valueEnd;  // the line's CR, LF or the end of the text
  size_t next;      // start of the next line
};

size_t sectionEnd(std::string_view t, size_t body) {
  for (size_t ls = body; ls < t.size(); ls = nextLine(t, ls)) {
    if (t[ls] == '[') return ls;
  }
  return t.size();
}

std::optional<SectionSpan> findSection(std::string_view t, std::string_view name) {
  for (size_t ls = firstLine(t); ls < t.size(); ls = nextLine(t, ls)) {
    if (t[ls] != '[') continue;
    const size_t close = ls + 1 + name.size();
    if (close < t.size() && t[close] == ']' && t.compare(ls + 1, name.size(), name) == 0) {
      const size_t body = nextLine(t, ls);
      return SectionSpan{ls, body, sectionEnd(t, body)};
    }
  }
  return std::nullopt;
}

std::optional<KeySpan> matchKey(std::string_view t, size_t ls, std::string_view key) {
  const size_t le = lineEnd(t, ls);
  if (le - ls < key.size() || t.compare(ls, key.size(), key) != 0) return std::nullopt;
  size_t p = ls + key.size();
  while (p < le && isBlank(t[p])) ++p;
  if (p >= le || t[p] != '=') return std::nullopt;
  ++p;
  while (p < le && isBlank(t[p])) ++p;
  return KeySpan{ls, p, le, nextLine(t, ls)};
}

std::optional<KeySpan> findKey(std::string_view t, const SectionSpan& s, std::string_view key) {
  for (size_t ls = s.body; ls < s.end; ls = nextLine(t, ls)) {
    if (auto k = matchKey(t, ls, key)) return k;
  }
  return std::nullopt;
}

bool holdsLineBreak(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != s.npos;
}

// Names and values that would change the file's structure when written.
bool writable(std::string_view section, std::string_view key, std::string_view value) {
  if (holdsLineBreak(section) || holdsLineBreak(key) || holdsLineBreak(value)) return false;
  if (section.find(']') != section.npos) return false;
  if (key.empty() || key.front() == '[' || key.find('=') != key.npos) return false;
  return !isBlank(key.back());
}

uint32_t parseUnsigned(std::string_view s) {
  size_t i = 0;
  const bool negative = !s.empty() && s[0] == '-';
  if (negative) i = 1;
  uint32_t v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    v = v * 10u + static_cast<uint32_t>(s[i] - '0');  // wraps around like the C parse
  }
  return negative ? 0u - v : v;
}

std::u16string_view lastComponent(std::u16string_view path) {
  size_t cut = path.find_last_of(os::kSeparator);
  if (os::kBackslashSeparates) {
    const size_t slash = path.find_last_of(u'/');
    if (slash != path.npos && (cut == path.npos || slash > cut)) cut = slash;
  }
  return cut == path.npos ? path : path.substr(cut + 1);
}

// Copies the lines of the section into `body` (enumeration runs over a copy, since the
// callback may change the text); false when there is no such section or no memory.
bool copySectionBody(std::string_view t, std::string_view section, std::string& body) {
  const auto s = findSection(t, section);
  if (!s) return false;
  try {
    body.assign(t.substr(s->body, s->end - s->body));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// Visits the key lines of `body` with (key, value) until `visit` answers non-zero;
// returns the number of calls.
template <typename Visit>
int visitSection(std::string_view body, Visit visit) {
  int calls = 0;
  for (size_t ls = 0; ls < body.size(); ls = nextLine(body, ls)) {
    const size_t le = lineEnd(body, ls);
    // The '=' is looked for within the line only, so that long runs of lines without
    // one cost no more than reading them.
    const size_t inLine = body.substr(ls, le - ls).find('=');
    if (inLine == body.npos) continue;
    const size_t eq = ls + inLine;
    size_t keyEnd = eq;
    while (keyEnd > ls && isBlank(body[keyEnd - 1])) --keyEnd;
    if (keyEnd == ls) continue;
    size_t v = eq + 1;
    while (v < le && isBlank(body[v])) ++v;
    ++calls;
    if (visit(body.substr(ls, keyEnd - ls), body.substr(v, le - v)) != 0) break;
  }
  return calls;
}

}  // namespace

void setProgramSettingsHooks(const ProgramSettingsHooks& hooks) {
  std::lock_guard<std::mutex> guard(hooksMutex());
  hooksSlot() = hooks;
}

ProfileStore::~ProfileStore() {
  if (open_ || dirty_) (void)closeStore();
}

bool ProfileStore::lock() { return mutex_.try_lock_for(kLockWait); }

void ProfileStore::unlock() { mutex_.unlock(); }

void ProfileStore::openStore(std::optional<std::u16string_view> path, uint8_t openFlags) {
  {
    StoreLock guard(*this);
    if (!guard.ok()) return;
    openFlags_ = openFlags;
    open_ = true;
  }
  const ProgramSettingsHooks hooks = currentHooks();
  if (path) {
    (void)setStorePath(*path, 0);
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
    if (!platform::isValidFileName(lastComponent(path))) return kErrorInvalidName;
    platform::File probe;
    const ErrorCode r = whilePassing([&] { return platform::openFile(path, platform::OpenMode::ReadWrite, &probe); });
    if (r != kSuccess) return r;
  }
  try {
    path_.assign(path);
  } catch (const std::bad_alloc&) {
    return kErrorNotEnoughMemory;
  }
  text_.reset();
  utf8File_ = 0;
  dirty_ = false;
  loadError_ = kSuccess;
  return kSuccess;
}

std::u16string ProfileStore::path() const {
  std::unique_lock<std::recursive_timed_mutex> guard(mutex_, kLockWait);
  if (!guard.owns_lock()) return {};
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
  std::unique_lock<std::recursive_timed_mutex> guard(mutex_, kLockWait);
  return guard.owns_lock() && dirty_;
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
  return replaceWholeFile(target, *text_);
}

ErrorCode ProfileStore::relocate(ErrorCode writeError) {
  const ProgramSettingsHooks hooks = currentHooks();
  if (hooks.perUserSettingsPath == nullptr) return writeError;
  std::u16string perUser;
  std::string keep;
  try {
    perUser = hooks.perUserSettingsPath();
    keep = *text_;
  } catch (const std::bad_alloc&) {
    return writeError;
  }
  const int utf8 = utf8File_;
  if (perUser.empty() || setStorePath(perUser, 0) != kSuccess) return writeError;
  text_ = std::move(keep);
  utf8File_ = utf8;
  putText("UseThis", "Opt", perUser);
  return writeTextTo(path_);
}

ErrorCode ProfileStore::flushStore() {
  StoreLock guard(*this);
  if (!guard.ok()) return kErrorTimeout;  // stays dirty: the next flush tries again
  if (frozen_ != 0 || path_.empty() || !dirty_) return kSuccess;
  ensureLoaded();
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
      return kSuccess;
    }
    r = writeTextTo(path_);
    if (r != kSuccess && (openFlags_ & kStoreOwnFile) == 0) r = relocate(r);
  }
  dirty_ = false;
  return r;
}

ErrorCode ProfileStore::closeStore() {
  StoreLock guard(*this);
  if (!guard.ok()) return kErrorTimeout;
  const ErrorCode r = flushStore();
  text_.reset();
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

}  // namespace crvl
