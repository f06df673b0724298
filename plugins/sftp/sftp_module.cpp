// The SFTP file-system plug-in module: paths "/CONNECTION/absolute/path/on/server" (the
// connection is a section of sftp.ini, see sftp_config.h); the root lists the
// connections as folders. Exports the wide forms of the interface and the functions
// that exist only in the ANSI form.
#include <ctime>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <vector>

#include "plugin_interface.h"
#include "sftp_session.h"
#include "sftp_system.h"
#include "sftp_text.h"

namespace {

namespace wfx = crvl::wfx;
using sftp::Session;

constexpr wfx::Dword kFolderAttribute = 0x10;
constexpr wfx::Dword kArchiveAttribute = 0x20;
constexpr int32_t kCopyOverwrite = 1;
// libssh2 splits a block into requests of about 30 KB and keeps them all in flight, so
// the block size sets how far reads and writes are pipelined.
constexpr size_t kTransferBlock = 2 * 1024 * 1024;

std::mutex g_stateLock;
std::string g_iniFile;  // sftp.ini beside the file FsSetDefaultParams named
wfx::RequestProcW g_request = nullptr;
wfx::LogProcW g_logProc = nullptr;
int32_t g_pluginNr = 0;
// By lower-case name. Never destroyed by itself: the sessions are closed by closeAll,
// which runs before the crypto library's own exit handler (see withChannel).
auto& g_sessions = *new std::map<std::string, std::unique_ptr<Session>>;
std::once_flag g_closeAtExit;

void closeAll() {
  std::lock_guard<std::mutex> guard(g_stateLock);
  g_sessions.clear();
}

std::string iniFile() {
  std::lock_guard<std::mutex> guard(g_stateLock);
  return g_iniFile;
}

// Log lines go to standard error (the console shows them), to sftp.log beside sftp.ini
// and to the program's log callback.
void logLine(const std::string& line) {
  std::fprintf(stderr, "sftp: %s\n", line.c_str());
  const std::string ini = iniFile();
  if (!ini.empty()) {
    const size_t cut = ini.find_last_of("/\\");
    std::ofstream out(ini.substr(0, cut == std::string::npos ? 0 : cut + 1) + "sftp.log",
                      std::ios::binary | std::ios::app);
    out << line << "\n";
  }
  if (g_logProc != nullptr) {
    std::u16string text = sftp::fromUtf8(line);
    g_logProc(g_pluginNr, 5, text.data());  // 5: an important error
  }
}

bool askPassword(const std::string& title, std::string& answer) {
  answer.clear();
  if (g_request == nullptr) return false;
  std::u16string t = sftp::fromUtf8(title);
  std::vector<char16_t> buffer(1024, 0);
  if (g_request(g_pluginNr, wfx::kRequestPassword, t.data(), nullptr, buffer.data(), 1023) == 0) return false;
  std::u16string typed = sftp::fromWide(buffer.data(), 1023);
  answer = sftp::toUtf8(typed);
  std::fill(buffer.begin(), buffer.end(), 0);
  std::fill(typed.begin(), typed.end(), 0);
  return true;
}

std::string lower(std::string s) {
  for (char& c : s) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  return s;
}

Session& sessionFor(const std::string& name) {
  std::lock_guard<std::mutex> guard(g_stateLock);
  std::unique_ptr<Session>& s = g_sessions[lower(name)];
  if (!s) s = std::make_unique<Session>(name, g_iniFile);
  return *s;
}

// A path inside the plug-in split into the connection and the server's absolute path.
struct Target {
  std::string connection;  // empty: the plug-in's root
  std::string path;        // "/..." on the server
};

Target split(const char16_t* inside) {
  const std::string text = sftp::toUtf8(sftp::fromWide(inside));
  std::vector<std::string> parts;
  std::string part;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '/' || text[i] == '\\') {
      if (!part.empty() && part != ".") parts.push_back(part);
      part.clear();
    } else {
      part += text[i];
    }
  }
  Target t;
  if (parts.empty()) return t;
  t.connection = parts[0];
  for (size_t i = 1; i < parts.size(); ++i) t.path += "/" + parts[i];
  if (t.path.empty()) t.path = "/";
  return t;
}

std::string parentOf(const std::string& path) {
  const size_t cut = path.find_last_of('/');
  return cut == 0 || cut == std::string::npos ? std::string("/") : path.substr(0, cut);
}

// Runs `work` with the connection's SFTP channel under the session's lock; a failure
// lets the session notice a drop. `failed` is the answer when no channel can be had.
template <typename R, typename Work>
R withChannel(const std::string& connection, R failed, Work work) {
  Session& s = sessionFor(connection);
  std::lock_guard<std::mutex> guard(s.lock);
  LIBSSH2_SFTP* channel = s.sftp(askPassword, logLine);
  if (channel == nullptr) return failed;
  // Exit handlers run in reverse order: registered after the crypto library set up its
  // own, this one closes the sessions while it still works (also at the module's unload).
  std::call_once(g_closeAtExit, [] { std::atexit(closeAll); });
  R r = work(channel);
  if (r == failed) s.checkDropped(logLine);
  return r;
}

unsigned long sftpError(LIBSSH2_SFTP* channel) { return libssh2_sftp_last_error(channel); }

bool statPath(LIBSSH2_SFTP* channel, const std::string& path, LIBSSH2_SFTP_ATTRIBUTES& attrs, bool follow = false) {
  return libssh2_sftp_stat_ex(channel, path.c_str(), static_cast<unsigned>(path.size()),
                              follow ? LIBSSH2_SFTP_STAT : LIBSSH2_SFTP_LSTAT, &attrs) == 0;
}

// --- Listings -------------------------------------------------------------------------

struct Search {
  std::vector<wfx::FindDataW> entries;
  size_t next = 0;
};

wfx::FindDataW entryOf(const std::string& name, const LIBSSH2_SFTP_ATTRIBUTES& a) {
  wfx::FindDataW d{};
  const bool hasMode = (a.flags & LIBSSH2_SFTP_ATTR_PERMISSIONS) != 0;
  const bool folder = hasMode && LIBSSH2_SFTP_S_ISDIR(a.permissions);
  // Links are reported as links (their own mode), never followed.
  d.attributes = (folder ? kFolderAttribute : kArchiveAttribute) | (hasMode ? wfx::kUnixModeFlag : 0);
  d.reserved0 = hasMode ? static_cast<wfx::Dword>(a.permissions) : 0;
  if ((a.flags & LIBSSH2_SFTP_ATTR_SIZE) != 0 && !folder) {
    d.sizeHigh = static_cast<wfx::Dword>(a.filesize >> 32);
    d.sizeLow = static_cast<wfx::Dword>(a.filesize);
  }
  d.creationTime = {0xFFFFFFFFu, 0xFFFFFFFFu};  // SFTP carries no creation time
  if ((a.flags & LIBSSH2_SFTP_ATTR_ACMODTIME) != 0) {
    d.lastWriteTime = sftp::fileTimeOf(a.mtime);
    d.lastAccessTime = sftp::fileTimeOf(a.atime);
  } else {
    d.lastWriteTime = d.lastAccessTime = {0xFFFFFFFFu, 0xFFFFFFFFu};
  }
  sftp::copyWide(sftp::fromUtf8(name), d.name, wfx::kMaxPath);
  return d;
}

// One directory read of the folder; false when it cannot be listed.
bool listFolder(LIBSSH2_SFTP* channel, const std::string& path, std::vector<wfx::FindDataW>& out) {
  LIBSSH2_SFTP_HANDLE* dir =
      libssh2_sftp_open_ex(channel, path.c_str(), static_cast<unsigned>(path.size()), 0, 0, LIBSSH2_SFTP_OPENDIR);
  if (dir == nullptr) return false;
  std::vector<char> name(4096);
  bool ok = true;
  for (;;) {
    LIBSSH2_SFTP_ATTRIBUTES attrs{};
    const int n = libssh2_sftp_readdir_ex(dir, name.data(), name.size(), nullptr, 0, &attrs);
    if (n == 0) break;
    if (n < 0) {
      ok = false;
      break;
    }
    const std::string entry(name.data(), static_cast<size_t>(n));
    if (entry == "." || entry == ".." || entry.size() >= wfx::kMaxPath) continue;
    out.push_back(entryOf(entry, attrs));
  }
  libssh2_sftp_close_handle(dir);
  return ok;
}

wfx::Handle findFirst(const char16_t* path, wfx::FindDataW* data) {
  const Target t = split(path);
  auto search = std::make_unique<Search>();
  if (t.connection.empty()) {
    for (const sftp::Connection& c : sftp::readConnections(iniFile())) {
      wfx::FindDataW d{};
      d.attributes = kFolderAttribute;
      d.creationTime = d.lastAccessTime = d.lastWriteTime = {0xFFFFFFFFu, 0xFFFFFFFFu};
      sftp::copyWide(sftp::fromUtf8(c.name), d.name, wfx::kMaxPath);
      search->entries.push_back(d);
    }
  } else {
    const bool listed = withChannel<bool>(t.connection, false, [&](LIBSSH2_SFTP* channel) {
      return listFolder(channel, t.path, search->entries);
    });
    if (!listed) {
      sftp::reportNotFound();
      return wfx::invalidHandle();
    }
  }
  if (search->entries.empty()) {
    sftp::reportNoEntries();  // an empty folder
    return wfx::invalidHandle();
  }
  *data = search->entries[0];
  search->next = 1;
  return search.release();
}

// --- Transfers ------------------------------------------------------------------------

std::string temporaryName(const std::string& folder) {
  static std::mt19937_64 random{std::random_device{}()};
  static std::mutex lock;
  uint64_t value;
  {
    std::lock_guard<std::mutex> guard(lock);
    value = random() & 0xFFFFFFFFFFFFull;
  }
  char name[32];
  std::snprintf(name, sizeof name, ".~crvl%012llx.tmp", static_cast<unsigned long long>(value));
  return (folder == "/" ? std::string() : folder) + "/" + name;
}

bool renameExact(LIBSSH2_SFTP* channel, const std::string& from, const std::string& to) {
  return libssh2_sftp_rename_ex(channel, from.c_str(), static_cast<unsigned>(from.size()), to.c_str(),
                                static_cast<unsigned>(to.size()),
                                LIBSSH2_SFTP_RENAME_OVERWRITE | LIBSSH2_SFTP_RENAME_ATOMIC |
                                    LIBSSH2_SFTP_RENAME_NATIVE) == 0;
}

bool removeFile(LIBSSH2_SFTP* channel, const std::string& path) {
  return libssh2_sftp_unlink_ex(channel, path.c_str(), static_cast<unsigned>(path.size())) == 0;
}

// Moves the complete `temporary` onto `target`. When the server cannot replace a file by
// a rename, the old file is first renamed aside and removed only once the new one stands
// under its name (it is put back when that fails).
bool moveIntoPlace(LIBSSH2_SFTP* channel, const std::string& temporary, const std::string& target) {
  if (renameExact(channel, temporary, target)) return true;
  LIBSSH2_SFTP_ATTRIBUTES attrs{};
  if (!statPath(channel, target, attrs)) return false;
  if ((attrs.flags & LIBSSH2_SFTP_ATTR_PERMISSIONS) != 0 && LIBSSH2_SFTP_S_ISDIR(attrs.permissions)) return false;
  const std::string aside = temporaryName(parentOf(target));
  if (!renameExact(channel, target, aside)) return false;
  if (!renameExact(channel, temporary, target)) {
    (void)renameExact(channel, aside, target);
    return false;
  }
  (void)removeFile(channel, aside);
  return true;
}

bool isTemporaryName(const std::string& name) {
  if (name.size() != 22 || name.compare(0, 6, ".~crvl") != 0 || name.compare(18, 4, ".tmp") != 0) return false;
  for (size_t i = 6; i < 18; ++i) {
    const char c = name[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// Before the first upload into a folder in this process: removes the temporary files
// that broken uploads left there. One written to in the last ten minutes may belong to
// an upload still going on and stays.
void sweepAbandoned(LIBSSH2_SFTP* channel, const std::string& connection, const std::string& folder) {
  static std::set<std::string> swept;
  {
    std::lock_guard<std::mutex> guard(g_stateLock);
    if (!swept.insert(lower(connection) + folder).second) return;
  }
  std::vector<wfx::FindDataW> entries;
  if (!listFolder(channel, folder, entries)) return;
  const uint64_t now = static_cast<uint64_t>(::time(nullptr));
  for (const wfx::FindDataW& e : entries) {
    const std::string name = sftp::toUtf8(sftp::fromWide(e.name, wfx::kMaxPath));
    if ((e.attributes & kFolderAttribute) != 0 || !isTemporaryName(name)) continue;
    if (sftp::unixSecondsOf(e.lastWriteTime) + 600 > now) continue;
    (void)removeFile(channel, (folder == "/" ? std::string() : folder) + "/" + name);
  }
}

int32_t putFile(const char16_t* local, const char16_t* remote) {
  const Target t = split(remote);
  if (t.connection.empty() || t.path == "/") return wfx::kFileWriteError;
  sftp::LocalFile source;
  uint64_t accessed = 0, modified = 0;
  if (!source.openRead(sftp::fromWide(local)) || !source.times(accessed, modified)) return wfx::kFileReadError;
  return withChannel<int32_t>(t.connection, wfx::kFileWriteError, [&](LIBSSH2_SFTP* channel) -> int32_t {
    sweepAbandoned(channel, t.connection, parentOf(t.path));
    const std::string temporary = temporaryName(parentOf(t.path));
    LIBSSH2_SFTP_HANDLE* file = libssh2_sftp_open_ex(
        channel, temporary.c_str(), static_cast<unsigned>(temporary.size()),
        LIBSSH2_FXF_WRITE | LIBSSH2_FXF_CREAT | LIBSSH2_FXF_EXCL, 0644, LIBSSH2_SFTP_OPENFILE);
    if (file == nullptr) {
      return sftpError(channel) == LIBSSH2_FX_NO_SUCH_FILE ? wfx::kFileNotFound : wfx::kFileWriteError;
    }
    std::vector<char> buffer(kTransferBlock);
    bool ok = true;
    int32_t result = wfx::kFileWriteError;
    for (;;) {
      const long long n = source.read(buffer.data(), buffer.size());
      if (n < 0) {
        ok = false;
        result = wfx::kFileReadError;
        break;
      }
      if (n == 0) break;
      for (long long done = 0; ok && done < n;) {
        const ssize_t w = libssh2_sftp_write(file, buffer.data() + done, static_cast<size_t>(n - done));
        if (w <= 0) ok = false;
        else done += w;
      }
      if (!ok) break;
    }
    if (ok) {
      LIBSSH2_SFTP_ATTRIBUTES attrs{};
      attrs.flags = LIBSSH2_SFTP_ATTR_ACMODTIME;
      attrs.atime = static_cast<unsigned long>(accessed);
      attrs.mtime = static_cast<unsigned long>(modified);
      ok = libssh2_sftp_fsetstat(file, &attrs) == 0;
    }
    ok = libssh2_sftp_close_handle(file) == 0 && ok;
    if (ok && moveIntoPlace(channel, temporary, t.path)) return wfx::kFileOk;
    (void)removeFile(channel, temporary);  // a broken upload leaves nothing under the real name
    return result;
  });
}

int32_t getFile(const char16_t* remote, const char16_t* local, int32_t flags) {
  const Target t = split(remote);
  if (t.connection.empty()) return wfx::kFileNotFound;
  const std::u16string target = sftp::fromWide(local);
  if ((flags & kCopyOverwrite) == 0 && sftp::localEntryExists(target)) return wfx::kFileExists;
  return withChannel<int32_t>(t.connection, wfx::kFileReadError, [&](LIBSSH2_SFTP* channel) -> int32_t {
    LIBSSH2_SFTP_HANDLE* file = libssh2_sftp_open_ex(channel, t.path.c_str(), static_cast<unsigned>(t.path.size()),
                                                     LIBSSH2_FXF_READ, 0, LIBSSH2_SFTP_OPENFILE);
    if (file == nullptr) {
      return sftpError(channel) == LIBSSH2_FX_NO_SUCH_FILE ? wfx::kFileNotFound : wfx::kFileReadError;
    }
    LIBSSH2_SFTP_ATTRIBUTES attrs{};
    const bool timed = libssh2_sftp_fstat_ex(file, &attrs, 0) == 0 && (attrs.flags & LIBSSH2_SFTP_ATTR_ACMODTIME);
    sftp::LocalFile out;
    if (!out.create(target)) {
      libssh2_sftp_close_handle(file);
      return wfx::kFileWriteError;
    }
    std::vector<char> buffer(kTransferBlock);
    int32_t result = wfx::kFileOk;
    for (;;) {
      const ssize_t n = libssh2_sftp_read(file, buffer.data(), buffer.size());
      if (n == 0) break;
      if (n < 0) {
        result = wfx::kFileReadError;
        break;
      }
      if (!out.writeAll(buffer.data(), static_cast<size_t>(n))) {
        result = wfx::kFileWriteError;
        break;
      }
    }
    libssh2_sftp_close_handle(file);
    if (!out.close() && result == wfx::kFileOk) result = wfx::kFileWriteError;
    if (result == wfx::kFileOk && timed) (void)sftp::setLocalTimes(target, attrs.atime, attrs.mtime);
    if (result != wfx::kFileOk) (void)sftp::removeLocalFile(target);
    return result;
  });
}

wfx::Bool simpleCall(const char16_t* path, int (*call)(LIBSSH2_SFTP*, const std::string&)) {
  const Target t = split(path);
  if (t.connection.empty() || t.path == "/") return 0;
  return withChannel<wfx::Bool>(t.connection, 0,
                                [&](LIBSSH2_SFTP* channel) -> wfx::Bool { return call(channel, t.path) == 0; });
}

// libssh2 set up once per process (before the first session).
bool libraryReady() {
  static const int initialised = (sftp::prepareCrypto(), libssh2_init(0));
  return initialised == 0;
}

template <typename F>
auto guarded(decltype(std::declval<F>()()) failed, F f) noexcept {
  try {
    return f();
  } catch (...) {
    return failed;
  }
}

}  // namespace

// --- Exports -------------------------------------------------------------------------

SFTP_EXPORT int32_t FsInitW(int32_t pluginNr, wfx::ProgressProcW, wfx::LogProcW log, wfx::RequestProcW request) {
  g_pluginNr = pluginNr;
  g_logProc = log;
  g_request = request;
  return libraryReady() ? 0 : -1;
}

SFTP_EXPORT wfx::Handle FsFindFirstW(wfx::WChar* path, wfx::FindDataW* data) {
  return guarded(wfx::invalidHandle(), [&] { return findFirst(path, data); });
}

SFTP_EXPORT wfx::Bool FsFindNextW(wfx::Handle handle, wfx::FindDataW* data) {
  auto* search = static_cast<Search*>(handle);
  if (search == nullptr || search->next >= search->entries.size()) {
    sftp::reportNoEntries();
    return 0;
  }
  *data = search->entries[search->next++];
  return 1;
}

SFTP_EXPORT int32_t FsFindClose(wfx::Handle handle) {
  if (handle != wfx::invalidHandle()) delete static_cast<Search*>(handle);
  return 0;
}

SFTP_EXPORT wfx::Bool FsMkDirW(wfx::WChar* path) {
  return guarded<>(0, [&] {
    return simpleCall(path, [](LIBSSH2_SFTP* c, const std::string& p) {
      return libssh2_sftp_mkdir_ex(c, p.c_str(), static_cast<unsigned>(p.size()), 0755);
    });
  });
}

SFTP_EXPORT wfx::Bool FsRemoveDirW(wfx::WChar* path) {
  return guarded<>(0, [&] {
    return simpleCall(path, [](LIBSSH2_SFTP* c, const std::string& p) {
      // A link to a folder is listed as a folder link: it goes as an entry of its own.
      LIBSSH2_SFTP_ATTRIBUTES attrs{};
      if (statPath(c, p, attrs) && (attrs.flags & LIBSSH2_SFTP_ATTR_PERMISSIONS) != 0 &&
          LIBSSH2_SFTP_S_ISLNK(attrs.permissions)) {
        return libssh2_sftp_unlink_ex(c, p.c_str(), static_cast<unsigned>(p.size()));
      }
      return libssh2_sftp_rmdir_ex(c, p.c_str(), static_cast<unsigned>(p.size()));
    });
  });
}

SFTP_EXPORT wfx::Bool FsDeleteFileW(wfx::WChar* path) {
  return guarded<>(0, [&] {
    return simpleCall(path, [](LIBSSH2_SFTP* c, const std::string& p) {
      return libssh2_sftp_unlink_ex(c, p.c_str(), static_cast<unsigned>(p.size()));
    });
  });
}

SFTP_EXPORT int32_t FsRenMovFileW(wfx::WChar* from, wfx::WChar* to, wfx::Bool move, wfx::Bool overwrite,
                                  wfx::RemoteInfo*) {
  return guarded<>(wfx::kFileWriteError, [&]() -> int32_t {
    const Target a = split(from), b = split(to);
    if (!move || a.connection.empty() || !sftp::equalsIgnoringCase(a.connection, b.connection)) {
      return wfx::kFileNotSupported;
    }
    return withChannel<int32_t>(a.connection, wfx::kFileWriteError, [&](LIBSSH2_SFTP* channel) -> int32_t {
      LIBSSH2_SFTP_ATTRIBUTES attrs{};
      if (!statPath(channel, a.path, attrs)) return wfx::kFileNotFound;
      if (statPath(channel, b.path, attrs)) {
        if (!overwrite) return wfx::kFileExists;
        return moveIntoPlace(channel, a.path, b.path) ? wfx::kFileOk : wfx::kFileWriteError;
      }
      return renameExact(channel, a.path, b.path) ? wfx::kFileOk : wfx::kFileWriteError;
    });
  });
}

SFTP_EXPORT int32_t FsGetFileW(wfx::WChar* remote, wfx::WChar* local, int32_t flags, wfx::RemoteInfo*) {
  return guarded<>(wfx::kFileReadError, [&] { return getFile(remote, local, flags); });
}

// The file always goes in under a temporary name and replaces an existing one by a
// rename, whatever the flags say: asked not to overwrite, answering "exists" would make
// the program delete the old file before the new one is complete.
SFTP_EXPORT int32_t FsPutFileW(wfx::WChar* local, wfx::WChar* remote, int32_t) {
  return guarded<>(wfx::kFileWriteError, [&] { return putFile(local, remote); });
}

SFTP_EXPORT wfx::Bool FsSetTimeW(wfx::WChar* path, wfx::FileTime*, wfx::FileTime* access, wfx::FileTime* write) {
  return guarded<>(0, [&]() -> wfx::Bool {
    const Target t = split(path);
    if (t.connection.empty() || (write == nullptr && access == nullptr)) return write == nullptr && access == nullptr;
    return withChannel<wfx::Bool>(t.connection, 0, [&](LIBSSH2_SFTP* channel) -> wfx::Bool {
      LIBSSH2_SFTP_ATTRIBUTES attrs{};
      if (!statPath(channel, t.path, attrs)) return 0;
      LIBSSH2_SFTP_ATTRIBUTES set{};
      set.flags = LIBSSH2_SFTP_ATTR_ACMODTIME;
      set.mtime = write != nullptr ? sftp::unixSecondsOf(*write) : attrs.mtime;
      set.atime = access != nullptr ? sftp::unixSecondsOf(*access) : attrs.atime;
      return libssh2_sftp_stat_ex(channel, t.path.c_str(), static_cast<unsigned>(t.path.size()),
                                  LIBSSH2_SFTP_SETSTAT, &set) == 0;
    });
  });
}

SFTP_EXPORT int32_t FsExecuteFileW(void*, wfx::WChar*, wfx::WChar* verb) {
  const std::u16string v = sftp::fromWide(verb);
  return v == u"MODE I" ? wfx::kExecuteOk : wfx::kExecuteError;
}

SFTP_EXPORT wfx::Bool FsDisconnectW(wfx::WChar* root) {
  return guarded<>(0, [&]() -> wfx::Bool {
    const Target t = split(root);
    // The sessions are taken out of the table's lock first: a session in use may log,
    // which reads the table's state.
    std::vector<Session*> closing;
    {
      std::lock_guard<std::mutex> guard(g_stateLock);
      for (auto& [name, session] : g_sessions) {
        if (t.connection.empty() || name == lower(t.connection)) closing.push_back(session.get());
      }
    }
    for (Session* session : closing) {
      std::lock_guard<std::mutex> hold(session->lock);
      session->disconnect();
    }
    return 1;
  });
}

// Beside the plug-in interface, for the console's "sftp add": connects to host:port
// once and gives the fingerprint of the server's host key. 0: `out` holds it; 1: `out`
// holds the reason it could not be read.
SFTP_EXPORT int32_t SftpHostKeyW(const wfx::WChar* host, int32_t port, wfx::WChar* out, int32_t capacity) {
  if (host == nullptr || out == nullptr || capacity <= 0) return 1;
  return guarded<>(1, [&]() -> int32_t {
    std::string fingerprint, error = "libssh2 cannot be initialised";
    const bool ok = libraryReady() && sftp::probeHostKey(sftp::toUtf8(sftp::fromWide(host)), port, fingerprint, error);
    sftp::copyWide(sftp::fromUtf8(ok ? fingerprint : error), out, static_cast<size_t>(capacity));
    return ok ? 0 : 1;
  });
}

SFTP_EXPORT void FsGetDefRootName(char* name, int32_t maxLength) {
  if (name == nullptr || maxLength <= 0) return;
  std::snprintf(name, static_cast<size_t>(maxLength), "%s", "SFTP");
}

SFTP_EXPORT void FsSetDefaultParams(wfx::DefaultParams* params) {
  if (params == nullptr) return;
  const std::string named(params->defaultIniName, strnlen(params->defaultIniName, wfx::kMaxPath));
  const size_t cut = named.find_last_of("/\\");
  std::lock_guard<std::mutex> guard(g_stateLock);
  g_iniFile = (cut == std::string::npos ? std::string() : named.substr(0, cut + 1)) + "sftp.ini";
}
