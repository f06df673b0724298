// Modules on POSIX: dlopen and dlsym. A module is loaded by absolute path only; its
// dependencies follow the dynamic loader's rules (never the current folder, unless the
// process's library path names it).
#include "platform/modules.h"

#include <dlfcn.h>

#include <cerrno>
#include <string>

#include "platform/posix/posix_errors.h"
#include "platform/text.h"

namespace crvl::platform {
namespace {

thread_local std::string t_loadText;

ErrorCode open(const std::string& path, void** handle) {
  void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  const char* why = module == nullptr ? ::dlerror() : nullptr;
  t_loadText = why != nullptr ? why : "";
  if (module == nullptr) return kErrorModNotFound;
  *handle = module;
  return 0;
}

}  // namespace

ErrorCode Module::loadSystem(std::u16string_view name) {
  unload();
  return open(toSystemBytes(name), &handle_);
}

ErrorCode Module::loadFile(std::u16string_view absolutePath) {
  unload();
  // A name without a separator would make dlopen search the library path.
  t_loadText.clear();
  if (absolutePath.empty() || absolutePath[0] != u'/') return kErrorInvalidParameter;
  void* module = nullptr;
  if (const ErrorCode r = open(toSystemBytes(absolutePath), &module); r != 0) return r;
  if (isAbandoned(module)) {
    // Only the count of this load goes: the abandoned reference keeps it mapped.
    ::dlclose(module);
    return kErrorDllInitFailed;
  }
  handle_ = module;
  return 0;
}

void* Module::symbol(const char* name) const noexcept {
  return handle_ != nullptr ? ::dlsym(handle_, name) : nullptr;
}

void Module::unload() noexcept {
  if (handle_ != nullptr) ::dlclose(handle_);
  handle_ = nullptr;
}

std::u16string lastModuleLoadText() { return fromSystemBytes(t_loadText); }

void restrictLibrarySearch() noexcept {}

ErrorCode moduleError() noexcept {
  const int err = errno;
  // A module has no last-error word of its own here: errno stands in, and ENODATA is
  // its way of saying that a listing has nothing (more) to give.
  if (err == ENODATA) return kErrorNoMoreFiles;
  return mapErrno(err, /*missingParent=*/true);
}

void clearModuleError() noexcept { errno = 0; }

}  // namespace crvl::platform
