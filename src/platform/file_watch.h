// Waiting for a file to change: a long-running process (the console's daemon) reads its
// settings again when another process has replaced them.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace crvl::platform {

class FileChangeWatch {
 public:
  // Watches `path`: writes to it and its replacement by rename (as every stored file of
  // the program is written), creation and removal. POSIX: inotify on the file's folder;
  // Windows: no change is seen (waits end on wake or time only). A folder that cannot
  // be watched gives a watch that sees nothing (watching() is false).
  explicit FileChangeWatch(std::u16string_view path);
  ~FileChangeWatch();
  FileChangeWatch(const FileChangeWatch&) = delete;
  FileChangeWatch& operator=(const FileChangeWatch&) = delete;

  [[nodiscard]] bool watching() const noexcept;
  // Blocks until the file changed, wake() was called, or `timeoutMs` passed. True when
  // the file changed (changes that came together are reported once).
  [[nodiscard]] bool wait(uint32_t timeoutMs) noexcept;
  // Ends a wait at once, from any thread.
  void wake() noexcept;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Tells the service manager that the service is ready ("READY=1"), reloading
// ("RELOADING=1") or stopping ("STOPPING=1"), by the datagram protocol of systemd's
// NOTIFY_SOCKET. Does nothing when the variable is not set (not started as a Type=notify
// service) and on Windows. Failures are ignored: the service runs on without them.
void notifyServiceManager(std::string_view state) noexcept;

}  // namespace crvl::platform
