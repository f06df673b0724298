// The parts of Module that are the same on both systems.
#include "platform/modules.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace crvl::platform {
namespace {

// The modules given up in this process. They stay mapped, so the system hands out the
// same address when one is loaded again; a plain list under a lock is enough for the
// handful a process can meet.
std::mutex g_abandonedLock;
std::vector<void*> g_abandoned;

}  // namespace

bool Module::isAbandoned(void* handle) noexcept {
  std::lock_guard<std::mutex> guard(g_abandonedLock);
  return std::find(g_abandoned.begin(), g_abandoned.end(), handle) != g_abandoned.end();
}

void Module::abandon() noexcept {
  if (handle_ == nullptr) return;
  try {
    std::lock_guard<std::mutex> guard(g_abandonedLock);
    g_abandoned.push_back(handle_);
  } catch (...) {
    // Without memory the module is still never freed; only a later load is not refused.
  }
  handle_ = nullptr;
}

Module::Module(Module&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

Module& Module::operator=(Module&& other) noexcept {
  if (this != &other) {
    unload();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

Module::~Module() { unload(); }

}  // namespace crvl::platform
