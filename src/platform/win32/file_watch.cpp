// Windows: the daemon of the console program sees no changes of its settings file (the
// tray program is the usual scheduler there); a wait ends on wake or time.
#include "platform/file_watch.h"

#include <windows.h>

#include "platform/win32/handles.h"

namespace crvl::platform {

struct FileChangeWatch::Impl {
  UniqueKernelHandle wakeEvent{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
};

FileChangeWatch::FileChangeWatch(std::u16string_view) : impl_(std::make_unique<Impl>()) {}

FileChangeWatch::~FileChangeWatch() = default;

bool FileChangeWatch::watching() const noexcept { return false; }

bool FileChangeWatch::wait(uint32_t timeoutMs) noexcept {
  if (!impl_->wakeEvent) {
    ::Sleep(timeoutMs);
    return false;
  }
  (void)::WaitForSingleObject(impl_->wakeEvent.get(), timeoutMs);
  return false;
}

void FileChangeWatch::wake() noexcept {
  if (impl_->wakeEvent) (void)::SetEvent(impl_->wakeEvent.get());
}

void notifyServiceManager(std::string_view) noexcept {}

}  // namespace crvl::platform
