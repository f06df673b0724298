// Loading modules at run time: system libraries by their full path in the system
// folder, and other modules (plug-ins) by an absolute path only, with their own folder
// searched for their dependencies and never the current folder. Windows: LoadLibraryExW
// and GetProcAddress; POSIX: dlopen and dlsym.
#pragma once

#include <string>
#include <string_view>

#include "platform/errors.h"

namespace crvl::platform {

// A loaded module. Move-only; frees the module on destruction.
class Module {
 public:
  Module() noexcept = default;
  Module(Module&& other) noexcept;
  Module& operator=(Module&& other) noexcept;
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;
  ~Module();

  // Loads a system library by name ("netapi32.dll") from the system folder, by its full
  // path. POSIX: the library name as the dynamic loader resolves it ("libc.so.6").
  [[nodiscard]] ErrorCode loadSystem(std::u16string_view name);
  // Loads the module at `absolutePath`; its dependencies are looked for beside it and in
  // the system folders, never in the current folder. A relative path gives 87 without
  // loading anything.
  [[nodiscard]] ErrorCode loadFile(std::u16string_view absolutePath);

  [[nodiscard]] bool loaded() const noexcept { return handle_ != nullptr; }
  // The address of export `name`, or null.
  [[nodiscard]] void* symbol(const char* name) const noexcept;
  // The export `name` as a function of type F (a function pointer type), or null.
  template <typename F>
  [[nodiscard]] F function(const char* name) const noexcept {
    return reinterpret_cast<F>(symbol(name));
  }
  void unload() noexcept;

 private:
  void* handle_ = nullptr;
};

// Restricts the process's library search to the system folders and the folders named
// explicitly (Windows: SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)), so
// that no library is ever taken from the current folder. Called once at process start.
// POSIX: nothing.
void restrictLibrarySearch() noexcept;

}  // namespace crvl::platform
