// A file-system plug-in module for the tests: it exposes a local folder, named in its
// parameter file, as its whole file system. Built in variants (see CMakeLists.txt):
//   TESTFS_WIDE / TESTFS_ANSI   which forms of the functions it exports
//   TESTFS_MKDIR_ANSI_ONLY      FsMkDir in the ANSI form only (beside wide functions)
//   TESTFS_NO_FINDCLOSE         no FsFindClose (a module the program must refuse)
//   TESTFS_DEPENDENT            FsInit calls a function of a library of its own
//   TESTFS_NAME                 its parameter file's name without ".ini"
//
// The parameter file is "<TESTFS_NAME>.ini" in the folder named by the environment
// variable CRVL_TESTFS_DIR when that is set (tests running at once each have their
// own), else the file FsSetDefaultParams named. It is read on every call; section
// [testfs]:
//   root=FOLDER       the local folder shown as the plug-in's root
//   trace=FILE        every call is appended to FILE, one line each
//   password=TEXT     the first listing after FsInit asks for a password and fails
//                     (access denied) unless the answer is TEXT
//   user=1            ... and asks for a user name first (the answer is traced)
//   askafter=FILE     ... but only once FILE exists (waits up to 30 s), so that a test
//                     can open a dialog between the run's start and the question
//   fail=F[:N],...    function F (without "W") fails: FALSE, result N (default 4),
//                     or for FsFindFirst the invalid handle with error N (default 5)
//   unixmodes=1       entries carry Unix modes (attribute 0x80000000, mode in reserved0)
//   hostile=1         listings add names that would leave the folder
//   throw=F           function F throws a C++ exception
//   crash=F           function F writes through a null pointer
//   links=1           FsLinksToLocalFiles answers TRUE
//   rootname=TEXT     what FsGetDefRootName gives (default "TestFS")
#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "testfs_interface.h"
#include "testfs_local.h"

#ifndef TESTFS_NAME
#define TESTFS_NAME "testfs"
#endif

#if defined(TESTFS_DEPENDENT)
extern "C" int crvltest_dependency_value(void);
#endif

namespace {

using namespace testfs;

// --- State --------------------------------------------------------------------------

std::mutex g_lock;
std::string g_defaultIni;  // what FsSetDefaultParams named
tRequestProc g_requestA = nullptr;
tRequestProcW g_requestW = nullptr;
bool g_connected = false;  // a password was accepted since FsInit
volatile int* volatile g_nowhere = nullptr;

struct Config {
  std::string root, trace, password, fail, throwIn, crashIn, askAfter, rootName = "TestFS";
  bool user = false, unixModes = false, hostile = false, links = false;
};

// The folder named by CRVL_TESTFS_DIR (UTF-8), or nothing. Windows: the process
// environment itself, which a test changes with SetEnvironmentVariableW (the C run-time's
// copy would not see that).
std::string configFolder() {
#if defined(_WIN32)
  wchar_t buffer[1024];
  const DWORD n = GetEnvironmentVariableW(L"CRVL_TESTFS_DIR", buffer, 1024);
  if (n == 0 || n >= 1024) return {};
  return toUtf8(U16(buffer, buffer + n));
#else
  const char* dir = std::getenv("CRVL_TESTFS_DIR");
  return dir != nullptr ? std::string(dir) : std::string();
#endif
}

std::string iniPath() {
  const std::string dir = configFolder();
  if (!dir.empty()) {
#if defined(_WIN32)
    return dir + "\\" TESTFS_NAME ".ini";
#else
    return dir + "/" TESTFS_NAME ".ini";
#endif
  }
  return g_defaultIni;
}

Config readConfig() {
  Config c;
#if defined(_WIN32)
  const U16 wide = fromUtf8(iniPath());
  std::ifstream in(std::wstring(wide.begin(), wide.end()).c_str(), std::ios::binary);
#else
  std::ifstream in(iniPath(), std::ios::binary);
#endif
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "root") c.root = value;
    else if (key == "trace") c.trace = value;
    else if (key == "password") c.password = value;
    else if (key == "user") c.user = value == "1";
    else if (key == "fail") c.fail = "," + value + ",";
    else if (key == "unixmodes") c.unixModes = value == "1";
    else if (key == "hostile") c.hostile = value == "1";
    else if (key == "throw") c.throwIn = value;
    else if (key == "crash") c.crashIn = value;
    else if (key == "links") c.links = value == "1";
    else if (key == "rootname") c.rootName = value;
    else if (key == "askafter") c.askAfter = value;
  }
  return c;
}

void trace(const Config& c, const std::string& line) {
  if (c.trace.empty()) return;
  std::lock_guard<std::mutex> guard(g_lock);
#if defined(_WIN32)
  const U16 wide = fromUtf8(c.trace);
  std::ofstream out(std::wstring(wide.begin(), wide.end()).c_str(), std::ios::binary | std::ios::app);
#else
  std::ofstream out(c.trace, std::ios::binary | std::ios::app);
#endif
  out << line << "\n";
}

// Called at the start of every function: traces it, and throws or crashes when told to.
Config enter(const char* function, const std::string& details = {}) {
  Config c = readConfig();
  trace(c, std::string(function) + (details.empty() ? "" : " " + details));
  std::string base = function;
  if (!base.empty() && base.back() == 'W') base.pop_back();
  if (c.throwIn == base) throw std::runtime_error("the test module throws in " + base);
  if (c.crashIn == base) *g_nowhere = 1;
  return c;
}

// Whether `function` is told to fail; `*result` gets its number (or `fallback`).
bool failing(const Config& c, const char* function, int* result, int fallback) {
  std::string key(1, ',');
  key += function;
  const size_t at = c.fail.find(key);
  if (at == std::string::npos) return false;
  const size_t after = at + key.size();
  if (c.fail[after] == ':') {
    *result = std::atoi(c.fail.c_str() + after + 1);
  } else if (c.fail[after] == ',') {
    *result = fallback;
  } else {
    return false;  // another function whose name begins the same
  }
  return true;
}

void setLastError(int windowsCode, int posixCode) {
#if defined(_WIN32)
  (void)posixCode;
  SetLastError(static_cast<DWORD>(windowsCode));
#else
  (void)windowsCode;
  errno = posixCode;
#endif
}

// The local path of a path inside the plug-in ("\a\b" or "/a/b").
Native localPath(const Config& c, const U16& inside) {
  Native out = native(c.root);
  U16 part;
  for (size_t i = 0; i <= inside.size(); ++i) {
    if (i == inside.size() || inside[i] == u'\\' || inside[i] == u'/') {
      if (!part.empty()) {
        out += kSep;
        out += native(part);
      }
      part.clear();
    } else {
      part += inside[i];
    }
  }
  return out;
}

// Whether the parameter file names a root the module may work in: an absolute path.
// Without one every operation fails: the module never falls back to the current folder
// or drive (a relative root would put the whole drive behind the plug-in).
bool usable(const Config& c) {
  if (c.root.empty()) return false;
#if defined(_WIN32)
  const bool absolute = (c.root.size() > 2 && c.root[1] == ':' && (c.root[2] == '\\' || c.root[2] == '/')) ||
                        c.root.rfind("\\\\", 0) == 0;
#else
  const bool absolute = c.root[0] == '/';
#endif
  return absolute;
}

// Names that would leave the folder if a program joined them into a path.
const std::vector<U16>& hostileNames() {
  static const std::vector<U16> names = {u"..",          u"../escape.txt",  u"..\\escape.txt",
                                         u"sub/evil.txt", u"sub\\evil.txt", u"/crvl-evil.txt",
                                         u"C:\\crvl-evil.txt", u"C:crvl-evil.txt", u"stream.txt:evil"};
  return names;
}

bool isHostile(const U16& inside) {
  for (const U16& name : hostileNames()) {
    if (inside.size() >= name.size() && inside.compare(inside.size() - name.size(), name.size(), name) == 0) {
      return true;
    }
  }
  return false;
}

// --- Listings -------------------------------------------------------------------------

struct Search {
  std::vector<Entry> entries;
  size_t next = 0;
};

bool isRoot(const U16& inside) {
  return std::all_of(inside.begin(), inside.end(), [](char16_t c) { return c == u'\\' || c == u'/'; });
}

// Asks for the password on the first listing after FsInit. False: refused.
bool connect(const Config& c) {
  if (c.password.empty() || g_connected) return true;
  if (c.user) {
    bool answered = false;
    if (g_requestW != nullptr) {
      TChar16 buffer[64] = {};
      answered = g_requestW(0, RT_UserName, nullptr, nullptr, buffer, 64) != 0;
    } else if (g_requestA != nullptr) {
      char buffer[64] = {};
      answered = g_requestA(0, RT_UserName, nullptr, nullptr, buffer, 64) != 0;
    }
    trace(c, std::string("request user ") + (answered ? "answered" : "refused"));
  }
  if (!c.askAfter.empty()) {
    for (int i = 0; i < 300 && !std::ifstream(c.askAfter).good(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    trace(c, "signal file seen");
  }
  U16 typed;
  bool answered = false;
  if (g_requestW != nullptr) {
    TChar16 buffer[128] = {};
    TChar16 title[] = {'T', 'e', 's', 't', 'F', 'S', 0};
    answered = g_requestW(0, RT_Password, title, nullptr, buffer, 128) != 0;
    typed = fromWide(buffer);
  } else if (g_requestA != nullptr) {
    char buffer[128] = {};
    char title[] = "TestFS";
    answered = g_requestA(0, RT_Password, title, nullptr, buffer, 128) != 0;
    typed = fromAnsi(buffer);
  }
  g_connected = answered && typed == fromUtf8(c.password);
  // The password itself is never traced.
  trace(c, std::string("request password ") + (!answered ? "refused" : g_connected ? "matches" : "differs"));
  return g_connected;
}

HANDLE findFirst(const char* function, const U16& path, Entry* first) {
  const Config c = enter(function, toUtf8(path));
  if (!usable(c)) {
    setLastError(3, ENOENT);
    return INVALID_HANDLE_VALUE;
  };
  int code = 0;
  if (failing(c, "FsFindFirst", &code, 5)) {
    setLastError(code, EACCES);
    return INVALID_HANDLE_VALUE;
  }
  if (!connect(c)) {
    setLastError(5, EACCES);
    return INVALID_HANDLE_VALUE;
  }
  auto search = new Search;
  const bool root = isRoot(path);
  if (!listFolder(localPath(c, path), search->entries)) {
    delete search;
    setLastError(3, ENOENT);
    return INVALID_HANDLE_VALUE;
  }
  std::sort(search->entries.begin(), search->entries.end(),
            [](const Entry& a, const Entry& b) { return a.name < b.name; });
  if (c.hostile) {
    for (const U16& name : hostileNames()) {
      Entry e;
      e.name = name;
      e.size = 7;
      e.write = ticks(132000000000000000ull);
      e.mode = 0100644;
      search->entries.push_back(e);
    }
  }
  if (!root && !search->entries.empty()) {
    // Like the system's listings: "." and ".." first in a folder that is not the root.
    Entry dot;
    dot.folder = true;
    dot.mode = 040755;
    dot.name = u".";
    search->entries.insert(search->entries.begin(), dot);
    dot.name = u"..";
    search->entries.insert(search->entries.begin() + 1, dot);
  }
  if (search->entries.empty()) {
    delete search;
    setLastError(18, ENODATA);  // nothing in it
    return INVALID_HANDLE_VALUE;
  }
  *first = search->entries[0];
  search->next = 1;
  return search;
}

bool findNext(const char* function, HANDLE h, Entry* entry) {
  (void)enter(function);
  auto* search = static_cast<Search*>(h);
  if (search->next >= search->entries.size()) {
    setLastError(18, ENODATA);
    return false;
  }
  *entry = search->entries[search->next++];
  return true;
}

template <typename Data>
void fill(const Config& c, const Entry& e, Data* data) {
  std::memset(data, 0, sizeof *data);
  data->dwFileAttributes = e.folder ? 0x10 : 0x20;
  if (c.unixModes) {
    data->dwFileAttributes |= 0x80000000u;
    data->dwReserved0 = e.mode;
  }
  data->nFileSizeHigh = static_cast<DWORD>(e.size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(e.size);
  data->ftCreationTime = e.creation;
  data->ftLastAccessTime = e.access;
  data->ftLastWriteTime = e.write;
}

[[maybe_unused]] void fillA(const Entry& e, WIN32_FIND_DATAA* data) {
  fill(readConfig(), e, data);
  const std::string ansi = toAnsi(e.name);  // names the code page cannot hold get '?'
  std::strncpy(data->cFileName, ansi.c_str(), MAX_PATH - 1);
}

[[maybe_unused]] void fillW(const Entry& e, WIN32_FIND_DATAW* data) {
  fill(readConfig(), e, data);
  copyText(e.name, data->cFileName);
}

// --- Operations, each taking the path in UTF-16 ---------------------------------------

BOOL mkDir(const char* function, const U16& path) {
  const Config c = enter(function, toUtf8(path));
  if (!usable(c)) return FALSE;
  int code = 0;
  if (failing(c, "FsMkDir", &code, 0)) return FALSE;
  return makeFolder(localPath(c, path)) ? TRUE : FALSE;
}

BOOL removeDir(const char* function, const U16& path) {
  const Config c = enter(function, toUtf8(path));
  if (!usable(c)) return FALSE;
  int code = 0;
  if (failing(c, "FsRemoveDir", &code, 0)) return FALSE;
  return removeFolder(localPath(c, path)) ? TRUE : FALSE;
}

BOOL deleteFile(const char* function, const U16& path) {
  const Config c = enter(function, toUtf8(path));
  if (!usable(c)) return FALSE;
  int code = 0;
  if (failing(c, "FsDeleteFile", &code, 0)) return FALSE;
  return removeFile(localPath(c, path)) ? TRUE : FALSE;
}

int renMov(const char* function, const U16& from, const U16& to, BOOL move, BOOL overwrite) {
  const Config c = enter(function, toUtf8(from) + " -> " + toUtf8(to) + (move ? " move" : " copy"));
  if (!usable(c)) return FS_FILE_WRITEERROR;
  int code = 0;
  if (failing(c, "FsRenMovFile", &code, FS_FILE_WRITEERROR)) return code;
  const Native a = localPath(c, from), b = localPath(c, to);
  if (!exists(a)) return FS_FILE_NOTFOUND;
  if (exists(b)) {
    if (!overwrite) return FS_FILE_EXISTS;
    removeFile(b);
  }
  const bool ok = move ? moveEntry(a, b) : copyEntry(a, b);
  return ok ? FS_FILE_OK : FS_FILE_WRITEERROR;
}

int getFile(const char* function, const U16& remote, const U16& local, int flags) {
  const Config c = enter(function, toUtf8(remote));
  if (!usable(c)) return FS_FILE_READERROR;
  int code = 0;
  if (failing(c, "FsGetFile", &code, FS_FILE_READERROR)) return code;
  const Native target = native(local);
  if (exists(target) && (flags & FS_COPYFLAGS_OVERWRITE) == 0) return FS_FILE_EXISTS;
  if (isHostile(remote)) return writeText(target, "hostile") ? FS_FILE_OK : FS_FILE_WRITEERROR;
  const Native source = localPath(c, remote);
  if (!exists(source) || isFolder(source)) return FS_FILE_NOTFOUND;
  return copyEntry(source, target) ? FS_FILE_OK : FS_FILE_WRITEERROR;
}

int putFile(const char* function, const U16& local, const U16& remote, int flags) {
  const Config c = enter(function, toUtf8(remote));
  if (!usable(c)) return FS_FILE_WRITEERROR;
  int code = 0;
  if (failing(c, "FsPutFile", &code, FS_FILE_WRITEERROR)) return code;
  const Native target = localPath(c, remote);
  const size_t cut = target.find_last_of(kSep);
  if (cut != Native::npos && !isFolder(target.substr(0, cut))) return FS_FILE_NOTFOUND;
  if (exists(target) && (flags & FS_COPYFLAGS_OVERWRITE) == 0) return FS_FILE_EXISTS;
  const Native source = native(local);
  if (!exists(source)) return FS_FILE_READERROR;
  return copyEntry(source, target) ? FS_FILE_OK : FS_FILE_WRITEERROR;
}

BOOL setAttr(const char* function, const U16& path, int attributes) {
  const Config c = enter(function, toUtf8(path) + " " + std::to_string(attributes));
  if (!usable(c)) return FALSE;
  int code = 0;
  if (failing(c, "FsSetAttr", &code, 0)) return FALSE;
  return setReadOnly(localPath(c, path), (attributes & 1) != 0) ? TRUE : FALSE;
}

BOOL setTime(const char* function, const U16& path, const FILETIME* write) {
  const Config c = enter(function, toUtf8(path));
  if (!usable(c)) return FALSE;
  int code = 0;
  if (failing(c, "FsSetTime", &code, 0)) return FALSE;
  const Native p = localPath(c, path);
  if (!exists(p)) return FALSE;
  return write == nullptr || setWriteTime(p, *write) ? TRUE : FALSE;
}

int execute(const char* function, const U16& remote, const U16& verb) {
  const Config c = enter(function, toUtf8(remote) + " | " + toUtf8(verb));
  if (verb == u"MODE I") return FS_EXEC_OK;
  if (verb == u"properties") return FS_EXEC_YOURSELF;
  if (verb.rfind(u"quote ", 0) == 0) return FS_EXEC_OK;
  return FS_EXEC_ERROR;
}

void statusInfo(const char* function, const U16& folder, int startEnd, int operation) {
  (void)enter(function, toUtf8(folder) + (startEnd == 0 ? " start " : " end ") + std::to_string(operation));
}

BOOL localName(const char* function, U16& path, size_t capacity) {
  const Config c = enter(function, toUtf8(path));
  if (!usable(c)) return FALSE;
  const Native local = localPath(c, path);
#if defined(_WIN32)
  const U16 text(local.begin(), local.end());
#else
  const U16 text = fromUtf8(local);
#endif
  if (text.size() + 1 > capacity) return FALSE;
  path = text;
  return TRUE;
}

}  // namespace

// --- Exports -------------------------------------------------------------------------

#if defined(TESTFS_ANSI)
TESTFS_EXPORT int FsInit(int pluginNr, tProgressProc, tLogProc log, tRequestProc request) {
  const Config c = enter("FsInit", std::to_string(pluginNr));
  g_requestA = request;
  g_connected = false;
  if (log != nullptr) log(pluginNr, 0, const_cast<char*>("the test module starts"));
  return 0;
}
TESTFS_EXPORT HANDLE FsFindFirst(char* path, WIN32_FIND_DATAA* data) {
  Entry e;
  HANDLE h = findFirst("FsFindFirst", fromAnsi(path), &e);
  if (h != INVALID_HANDLE_VALUE) fillA(e, data);
  return h;
}
TESTFS_EXPORT BOOL FsFindNext(HANDLE h, WIN32_FIND_DATAA* data) {
  Entry e;
  if (!findNext("FsFindNext", h, &e)) return FALSE;
  fillA(e, data);
  return TRUE;
}
TESTFS_EXPORT BOOL FsRemoveDir(char* path) { return removeDir("FsRemoveDir", fromAnsi(path)); }
TESTFS_EXPORT BOOL FsDeleteFile(char* path) { return deleteFile("FsDeleteFile", fromAnsi(path)); }
TESTFS_EXPORT int FsRenMovFile(char* from, char* to, BOOL move, BOOL overwrite, RemoteInfoStruct*) {
  return renMov("FsRenMovFile", fromAnsi(from), fromAnsi(to), move, overwrite);
}
TESTFS_EXPORT int FsGetFile(char* remote, char* local, int flags, RemoteInfoStruct*) {
  return getFile("FsGetFile", fromAnsi(remote), fromAnsi(local), flags);
}
TESTFS_EXPORT int FsPutFile(char* local, char* remote, int flags) {
  return putFile("FsPutFile", fromAnsi(local), fromAnsi(remote), flags);
}
TESTFS_EXPORT BOOL FsSetAttr(char* path, int attributes) { return setAttr("FsSetAttr", fromAnsi(path), attributes); }
TESTFS_EXPORT BOOL FsSetTime(char* path, FILETIME*, FILETIME*, FILETIME* write) {
  return setTime("FsSetTime", fromAnsi(path), write);
}
TESTFS_EXPORT int FsExecuteFile(HWND, char* remote, char* verb) {
  return execute("FsExecuteFile", fromAnsi(remote), fromAnsi(verb));
}
TESTFS_EXPORT void FsStatusInfo(char* folder, int startEnd, int operation) {
  statusInfo("FsStatusInfo", fromAnsi(folder), startEnd, operation);
}
TESTFS_EXPORT BOOL FsGetLocalName(char* path, int maxlen) {
  U16 text = fromAnsi(path);
  if (!localName("FsGetLocalName", text, static_cast<size_t>(maxlen))) return FALSE;
  const std::string ansi = toAnsi(text);
  std::memcpy(path, ansi.c_str(), ansi.size() + 1);
  return TRUE;
}
TESTFS_EXPORT BOOL FsDisconnect(char* root) {
  (void)enter("FsDisconnect", fromAnsi(root).empty() ? "" : toUtf8(fromAnsi(root)));
  return TRUE;
}
TESTFS_EXPORT int FsExtractCustomIcon(char* remote, int flags, HICON* icon) {
  (void)enter("FsExtractCustomIcon", toUtf8(fromAnsi(remote)) + " " + std::to_string(flags));
  *icon = nullptr;
  return 0;
}
#endif

#if defined(TESTFS_ANSI) || defined(TESTFS_MKDIR_ANSI_ONLY)
TESTFS_EXPORT BOOL FsMkDir(char* path) { return mkDir("FsMkDir", fromAnsi(path)); }
#endif

#if defined(TESTFS_WIDE)
TESTFS_EXPORT int FsInitW(int pluginNr, tProgressProcW, tLogProcW, tRequestProcW request) {
  const Config c = enter("FsInitW", std::to_string(pluginNr));
#if defined(TESTFS_DEPENDENT)
  trace(c, "dependency " + std::to_string(crvltest_dependency_value()));
#endif
  g_requestW = request;
  g_connected = false;
  return 0;
}
TESTFS_EXPORT HANDLE FsFindFirstW(TChar16* path, WIN32_FIND_DATAW* data) {
  Entry e;
  HANDLE h = findFirst("FsFindFirstW", fromWide(path), &e);
  if (h != INVALID_HANDLE_VALUE) fillW(e, data);
  return h;
}
TESTFS_EXPORT BOOL FsFindNextW(HANDLE h, WIN32_FIND_DATAW* data) {
  Entry e;
  if (!findNext("FsFindNextW", h, &e)) return FALSE;
  fillW(e, data);
  return TRUE;
}
#if !defined(TESTFS_MKDIR_ANSI_ONLY)
TESTFS_EXPORT BOOL FsMkDirW(TChar16* path) { return mkDir("FsMkDirW", fromWide(path)); }
#endif
TESTFS_EXPORT BOOL FsRemoveDirW(TChar16* path) { return removeDir("FsRemoveDirW", fromWide(path)); }
TESTFS_EXPORT BOOL FsDeleteFileW(TChar16* path) { return deleteFile("FsDeleteFileW", fromWide(path)); }
TESTFS_EXPORT int FsRenMovFileW(TChar16* from, TChar16* to, BOOL move, BOOL overwrite, RemoteInfoStruct*) {
  return renMov("FsRenMovFileW", fromWide(from), fromWide(to), move, overwrite);
}
TESTFS_EXPORT int FsGetFileW(TChar16* remote, TChar16* local, int flags, RemoteInfoStruct*) {
  return getFile("FsGetFileW", fromWide(remote), fromWide(local), flags);
}
TESTFS_EXPORT int FsPutFileW(TChar16* local, TChar16* remote, int flags) {
  return putFile("FsPutFileW", fromWide(local), fromWide(remote), flags);
}
TESTFS_EXPORT BOOL FsSetAttrW(TChar16* path, int attributes) {
  return setAttr("FsSetAttrW", fromWide(path), attributes);
}
TESTFS_EXPORT BOOL FsSetTimeW(TChar16* path, FILETIME*, FILETIME*, FILETIME* write) {
  return setTime("FsSetTimeW", fromWide(path), write);
}
TESTFS_EXPORT int FsExecuteFileW(HWND, TChar16* remote, TChar16* verb) {
  return execute("FsExecuteFileW", fromWide(remote), fromWide(verb));
}
TESTFS_EXPORT void FsStatusInfoW(TChar16* folder, int startEnd, int operation) {
  statusInfo("FsStatusInfoW", fromWide(folder), startEnd, operation);
}
TESTFS_EXPORT BOOL FsGetLocalNameW(TChar16* path, int maxlen) {
  U16 text = fromWide(path);
  if (!localName("FsGetLocalNameW", text, static_cast<size_t>(maxlen))) return FALSE;
  for (size_t i = 0; i <= text.size(); ++i) path[i] = i < text.size() ? static_cast<TChar16>(text[i]) : 0;
  return TRUE;
}
TESTFS_EXPORT BOOL FsDisconnectW(TChar16* root) {
  (void)enter("FsDisconnectW", toUtf8(fromWide(root)));
  return TRUE;
}
TESTFS_EXPORT int FsExtractCustomIconW(TChar16* remote, int flags, HICON* icon) {
  (void)enter("FsExtractCustomIconW", toUtf8(fromWide(remote)) + " " + std::to_string(flags));
  *icon = nullptr;
  return 0;
}
#endif

#if !defined(TESTFS_NO_FINDCLOSE)
TESTFS_EXPORT int FsFindClose(HANDLE h) {
  (void)enter("FsFindClose");
  delete static_cast<Search*>(h);
  return 0;
}
#endif

TESTFS_EXPORT void FsGetDefRootName(char* name, int maxlen) {
  const Config c = enter("FsGetDefRootName");
  std::strncpy(name, c.rootName.c_str(), static_cast<size_t>(maxlen) - 1);
  name[maxlen - 1] = 0;
}

TESTFS_EXPORT void FsSetDefaultParams(FsDefaultParamStruct* params) {
  {
    std::lock_guard<std::mutex> guard(g_lock);
    g_defaultIni.assign(params->DefaultIniName, strnlen(params->DefaultIniName, MAX_PATH));
  }
  std::ostringstream details;
  details << "size=" << params->size << " version=" << params->PluginInterfaceVersionLow << "."
          << params->PluginInterfaceVersionHi << " ini=" << g_defaultIni;
  (void)enter("FsSetDefaultParams", details.str());
}

TESTFS_EXPORT BOOL FsLinksToLocalFiles(void) {
  const Config c = enter("FsLinksToLocalFiles");
  return c.links ? TRUE : FALSE;
}
