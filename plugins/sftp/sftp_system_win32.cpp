#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <mutex>

#include "sftp_system.h"

// From the crypto library linked into the module (its header is not needed for one call).
extern "C" int OPENSSL_init_crypto(uint64_t options, const void* settings);

namespace sftp {
namespace {

const wchar_t* native(const std::u16string& path) { return reinterpret_cast<const wchar_t*>(path.c_str()); }
HANDLE handleOf(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

// 100 ns ticks between 1601-01-01 and 1970-01-01.
constexpr uint64_t kEpochTicks = 116444736000000000ull;

uint64_t secondsOf(const FILETIME& t) {
  const uint64_t ticks = (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  return ticks < kEpochTicks ? 0 : (ticks - kEpochTicks) / 10000000ull;
}

FILETIME fileTimeOf(uint64_t seconds) {
  const uint64_t ticks = seconds * 10000000ull + kEpochTicks;
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

std::string messageOf(int code) {
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out = "error " + std::to_string(code);
  if (text != nullptr) {
    char utf8[512] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8 - 1, nullptr, nullptr);
    LocalFree(text);
    out = utf8;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.')) out.pop_back();
  }
  return out;
}

}  // namespace

void prepareCrypto() {
  constexpr uint64_t kNoExitHandler = 0x00080000;  // OPENSSL_INIT_NO_ATEXIT
  (void)OPENSSL_init_crypto(kNoExitHandler, nullptr);
}

libssh2_socket_t connectTo(const std::string& host, int port, std::string& error) {
  static std::once_flag started;
  static int startup = 0;
  std::call_once(started, [] {
    WSADATA data{};
    startup = WSAStartup(MAKEWORD(2, 2), &data);
  });
  if (startup != 0) {
    error = "the network cannot be used (" + messageOf(startup) + ")";
    return LIBSSH2_INVALID_SOCKET;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  const int r = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
  if (r != 0) {
    error = "the host name cannot be resolved (" + messageOf(r) + ")";
    return LIBSSH2_INVALID_SOCKET;
  }
  SOCKET s = INVALID_SOCKET;
  for (addrinfo* a = found; a != nullptr && s == INVALID_SOCKET; a = a->ai_next) {
    s = WSASocketW(a->ai_family, a->ai_socktype, a->ai_protocol, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) continue;
    if (::connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0) {
      error = "the connection was refused (" + messageOf(WSAGetLastError()) + ")";
      ::closesocket(s);
      s = INVALID_SOCKET;
    }
  }
  freeaddrinfo(found);
  return s;
}

void closeSocket(libssh2_socket_t socket) {
  if (socket != INVALID_SOCKET) ::closesocket(socket);
}

LocalFile::~LocalFile() { (void)close(); }

bool LocalFile::openRead(const std::u16string& path) {
  HANDLE h = CreateFileW(native(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  handle_ = reinterpret_cast<intptr_t>(h);
  return h != INVALID_HANDLE_VALUE;
}

bool LocalFile::create(const std::u16string& path) {
  HANDLE h = CreateFileW(native(path), GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  handle_ = reinterpret_cast<intptr_t>(h);
  return h != INVALID_HANDLE_VALUE;
}

long long LocalFile::read(char* buffer, size_t size) {
  DWORD n = 0;
  const DWORD ask = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
  if (!ReadFile(handleOf(handle_), buffer, ask, &n, nullptr)) return -1;
  return n;
}

bool LocalFile::writeAll(const char* data, size_t size) {
  for (size_t done = 0; done < size;) {
    const size_t left = size - done;
    DWORD n = 0;
    if (!WriteFile(handleOf(handle_), data + done, left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left), &n,
                   nullptr) ||
        n == 0) {
      return false;
    }
    done += n;
  }
  return true;
}

bool LocalFile::times(uint64_t& access, uint64_t& modification) const {
  FILETIME created{}, accessed{}, written{};
  if (!GetFileTime(handleOf(handle_), &created, &accessed, &written)) return false;
  access = secondsOf(accessed);
  modification = secondsOf(written);
  return true;
}

bool LocalFile::close() {
  if (handleOf(handle_) == INVALID_HANDLE_VALUE) return true;
  const bool ok = CloseHandle(handleOf(handle_)) != 0;
  handle_ = -1;
  return ok;
}

bool localEntryExists(const std::u16string& path) {
  return GetFileAttributesW(native(path)) != INVALID_FILE_ATTRIBUTES;
}

bool removeLocalFile(const std::u16string& path) { return DeleteFileW(native(path)) != 0; }

bool setLocalTimes(const std::u16string& path, uint64_t access, uint64_t modification) {
  HANDLE h = CreateFileW(native(path), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const FILETIME a = fileTimeOf(access), m = fileTimeOf(modification);
  const bool ok = SetFileTime(h, nullptr, &a, &m) != 0;
  CloseHandle(h);
  return ok;
}

bool replaceByRename(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void reportNoEntries() { SetLastError(ERROR_NO_MORE_FILES); }
void reportNotFound() { SetLastError(ERROR_PATH_NOT_FOUND); }

}  // namespace sftp
