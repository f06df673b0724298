// inotify on the folder of the watched file (a file replaced by rename is a new inode, so
// the file itself cannot be watched), an eventfd to end a wait at once; systemd's
// notification datagram.
#include "platform/file_watch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/text.h"

namespace crvl::platform {

struct FileChangeWatch::Impl {
  int inotify = -1;
  int wakeFd = -1;
  std::string name;  // the file's name in its folder, as the system's bytes

  ~Impl() {
    if (inotify >= 0) ::close(inotify);
    if (wakeFd >= 0) ::close(wakeFd);
  }
};

FileChangeWatch::FileChangeWatch(std::u16string_view path) : impl_(std::make_unique<Impl>()) {
  impl_->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  const std::string bytes = toSystemBytes(path);
  const size_t slash = bytes.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : bytes.substr(0, slash);
  impl_->name = slash == std::string::npos ? bytes : bytes.substr(slash + 1);
  impl_->inotify = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (impl_->inotify >= 0 &&
      ::inotify_add_watch(impl_->inotify, folder.c_str(),
                          IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE | IN_ONLYDIR) < 0) {
    ::close(impl_->inotify);
    impl_->inotify = -1;
  }
}

FileChangeWatch::~FileChangeWatch() = default;

bool FileChangeWatch::watching() const noexcept { return impl_->inotify >= 0; }

bool FileChangeWatch::wait(uint32_t timeoutMs) noexcept {
  pollfd fds[2] = {{impl_->wakeFd, POLLIN, 0}, {impl_->inotify, POLLIN, 0}};
  const nfds_t count = impl_->inotify >= 0 ? 2 : 1;
  // A signal ends the wait too (EINTR): the caller looks at what the signal set.
  const int ready = ::poll(fds, count, static_cast<int>(timeoutMs > 0x7FFFFFFF ? 0x7FFFFFFF : timeoutMs));
  if (ready <= 0) return false;
  if ((fds[0].revents & POLLIN) != 0) {
    uint64_t value = 0;
    (void)!::read(impl_->wakeFd, &value, sizeof value);
  }
  bool changed = false;
  if (count == 2 && (fds[1].revents & POLLIN) != 0) {
    // Every event waiting now, so that one replacement (temporary file, rename) counts once.
    alignas(inotify_event) char buffer[4096];
    for (;;) {
      const ssize_t n = ::read(impl_->inotify, buffer, sizeof buffer);
      if (n <= 0) break;
      for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if (event->len > 0 && impl_->name == event->name) changed = true;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
  }
  return changed;
}

void FileChangeWatch::wake() noexcept {
  const uint64_t one = 1;
  if (impl_->wakeFd >= 0) (void)!::write(impl_->wakeFd, &one, sizeof one);
}

void notifyServiceManager(std::string_view state) noexcept {
  const char* socketPath = std::getenv("NOTIFY_SOCKET");
  if (socketPath == nullptr || socketPath[0] == '\0') return;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const size_t length = std::strlen(socketPath);
  if (length >= sizeof address.sun_path) return;
  std::memcpy(address.sun_path, socketPath, length);
  if (address.sun_path[0] == '@') address.sun_path[0] = '\0';  // an abstract socket
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  (void)::sendto(fd, state.data(), state.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&address),
                 static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length));
  ::close(fd);
}

}  // namespace crvl::platform
