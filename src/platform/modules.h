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
  // loading anything; a module that was abandoned in this process gives 1114.
  [[nodiscard]] ErrorCode loadFile(std::u16string_view absolutePath);

  // A module that was given up (see abandon) answers 1114 and stays as it is.
  [[nodiscard]] bool loaded() const noexcept { return handle_ != nullptr; }
  // The system's handle of the module (HMODULE; the dlopen handle), for the platform
  // layer's own use.
  [[nodiscard]] void* native() const noexcept { return handle_; }
  // The address of export `name`, or null.
  [[nodiscard]] void* symbol(const char* name) const noexcept;
  // The export `name` as a function of type F (a function pointer type), or null.
  template <typename F>
  [[nodiscard]] F function(const char* name) const noexcept {
    return reinterpret_cast<F>(symbol(name));
  }
  void unload() noexcept;
  // Gives the module up without freeing it: a module whose code faulted may hold locks
  // or half-built state, so it is never called again, not even by its unload routine.
  // It stays mapped for the rest of the process, and loadFile refuses it from then on
  // (1114) wherever it is loaded again.
  void abandon() noexcept;

 private:
  [[nodiscard]] static bool isAbandoned(void* handle) noexcept;
  void* handle_ = nullptr;
};

// Why the last loadFile or loadSystem of the calling thread failed, in the system's
// words (POSIX: dlerror(), which names the file and the cause); empty after a load that
// succeeded. Windows: always empty (the error code says it).
[[nodiscard]] std::u16string lastModuleLoadText();

// Restricts the process's library search to the system folders and the folders named
// explicitly (Windows: SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)), so
// that no library is ever taken from the current folder. Called once at process start.
// POSIX: nothing.
void restrictLibrarySearch() noexcept;

// The error a module left behind for its caller: Windows GetLastError(); POSIX errno,
// with ENODATA read as 18 (no more files) and the other values mapped as the file
// functions map them. clearModuleError sets it to none before a call.
[[nodiscard]] ErrorCode moduleError() noexcept;
void clearModuleError() noexcept;

}  // namespace crvl::platform
