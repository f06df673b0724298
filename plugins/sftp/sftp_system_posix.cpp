#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sftp_system.h"
#include "sftp_text.h"

namespace sftp {
namespace {

std::string native(const std::u16string& path) { return toUtf8(path); }

}  // namespace

void prepareCrypto() {}

libssh2_socket_t connectTo(const std::string& host, int port, std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  const int r = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
  if (r != 0) {
    error = std::string("the host name cannot be resolved (") + gai_strerror(r) + ")";
    return LIBSSH2_INVALID_SOCKET;
  }
  int fd = -1;
  for (addrinfo* a = found; a != nullptr && fd < 0; a = a->ai_next) {
    fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
      error = std::string("the connection was refused (") + std::strerror(errno) + ")";
      ::close(fd);
      fd = -1;
    }
  }
  freeaddrinfo(found);
  return fd;
}

void closeSocket(libssh2_socket_t socket) {
  if (socket >= 0) ::close(socket);
}

LocalFile::~LocalFile() { (void)close(); }

bool LocalFile::openRead(const std::u16string& path) {
  handle_ = ::open(native(path).c_str(), O_RDONLY | O_CLOEXEC);
  return handle_ >= 0;
}

bool LocalFile::create(const std::u16string& path) {
  handle_ = ::open(native(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  return handle_ >= 0;
}

long long LocalFile::read(char* buffer, size_t size) {
  for (;;) {
    const ssize_t n = ::read(static_cast<int>(handle_), buffer, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

bool LocalFile::writeAll(const char* data, size_t size) {
  for (size_t done = 0; done < size;) {
    const ssize_t w = ::write(static_cast<int>(handle_), data + done, size - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    done += static_cast<size_t>(w);
  }
  return true;
}

bool LocalFile::times(uint64_t& access, uint64_t& modification) const {
  struct stat st {};
  if (::fstat(static_cast<int>(handle_), &st) != 0) return false;
  access = static_cast<uint64_t>(st.st_atim.tv_sec);
  modification = static_cast<uint64_t>(st.st_mtim.tv_sec);
  return true;
}

bool LocalFile::close() {
  if (handle_ < 0) return true;
  const bool ok = ::close(static_cast<int>(handle_)) == 0;
  handle_ = -1;
  return ok;
}

bool localEntryExists(const std::u16string& path) {
  struct stat st {};
  return ::lstat(native(path).c_str(), &st) == 0;
}

bool removeLocalFile(const std::u16string& path) { return ::unlink(native(path).c_str()) == 0; }

bool setLocalTimes(const std::u16string& path, uint64_t access, uint64_t modification) {
  const struct timespec times[2] = {{static_cast<time_t>(access), 0}, {static_cast<time_t>(modification), 0}};
  return ::utimensat(AT_FDCWD, native(path).c_str(), times, 0) == 0;
}

bool replaceByRename(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

void reportNoEntries() { errno = ENODATA; }
void reportNotFound() { errno = ENOENT; }

}  // namespace sftp
