// Owners of Windows handles: one move-only template, specialised by a small traits type
// that says what an empty handle is and how it is closed. Files and find handles,
// modules, registry keys, icons, menus, windows, mutexes, GDI objects, device contexts
// and COM objects each have one.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <utility>

#include "platform/errors.h"

namespace crvl::platform {

template <typename Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;

  UniqueHandle() noexcept = default;
  explicit UniqueHandle(Type handle) noexcept : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, Traits::empty())) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(std::exchange(other.handle_, Traits::empty()));
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  [[nodiscard]] bool valid() const noexcept { return Traits::valid(handle_); }
  [[nodiscard]] explicit operator bool() const noexcept { return valid(); }
  [[nodiscard]] Type get() const noexcept { return handle_; }
  // Gives the handle up without closing it.
  [[nodiscard]] Type release() noexcept { return std::exchange(handle_, Traits::empty()); }
  // Closes the handle held (if any) and takes `handle`.
  void reset(Type handle = Traits::empty()) noexcept {
    if (Traits::valid(handle_)) Traits::close(handle_);
    handle_ = handle;
  }

 private:
  Type handle_ = Traits::empty();
};

// A kernel object handle that is invalid as INVALID_HANDLE_VALUE (files, devices).
struct FileHandleTraits {
  using Type = HANDLE;
  static Type empty() noexcept { return INVALID_HANDLE_VALUE; }
  static bool valid(Type h) noexcept { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void close(Type h) noexcept { ::CloseHandle(h); }
};
// A kernel object handle that is invalid as null (mutexes, events, threads, mappings).
struct KernelHandleTraits {
  using Type = HANDLE;
  static Type empty() noexcept { return nullptr; }
  static bool valid(Type h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void close(Type h) noexcept { ::CloseHandle(h); }
};
struct FindHandleTraits {
  using Type = HANDLE;
  static Type empty() noexcept { return INVALID_HANDLE_VALUE; }
  static bool valid(Type h) noexcept { return h != INVALID_HANDLE_VALUE; }
  static void close(Type h) noexcept { ::FindClose(h); }
};
struct ModuleTraits {
  using Type = HMODULE;
  static Type empty() noexcept { return nullptr; }
  static bool valid(Type h) noexcept { return h != nullptr; }
  static void close(Type h) noexcept { ::FreeLibrary(h); }
};
struct RegistryKeyTraits {
  using Type = HKEY;
  static Type empty() noexcept { return nullptr; }
  static bool valid(Type h) noexcept { return h != nullptr; }
  static void close(Type h) noexcept { ::RegCloseKey(h); }
};
struct IconTraits {
  using Type = HICON;
  static Type empty() noexcept { return nullptr; }
  static bool valid(Type h) noexcept { return h != nullptr; }
  static void close(Type h) noexcept { ::DestroyIcon(h); }
};
struct MenuTraits {
  using Type = HMENU;
  static Type empty() noexcept { return nullptr; }
  static bool valid(Type h) noexcept { return h != nullptr; }
  static void close(Type h) noexcept { ::DestroyMenu(h); }
};
struct WindowTraits {
  using Type = HWND;
  static Type empty() noexcept { return nullptr; }
  static bool valid(Type h) noexcept { return h != nullptr; }
  static void close(Type h) noexcept { ::DestroyWindow(h); }
};

// A mutex this thread owns: ownership is given back before the handle is closed, so
// that a process waiting for it gets it at once instead of an abandoned mutex.
struct OwnedMutexTraits {
  using Type = HANDLE;
  static Type empty() noexcept { return nullptr; }
  static bool valid(Type h) noexcept { return h != nullptr; }
  static void close(Type h) noexcept {
    ::ReleaseMutex(h);
    ::CloseHandle(h);
  }
};
// Fonts, brushes, pens and bitmaps.
struct GdiObjectTraits {
  using Type = HGDIOBJ;
  static Type empty() noexcept { return nullptr; }
  static bool valid(Type h) noexcept { return h != nullptr; }
  static void close(Type h) noexcept { ::DeleteObject(h); }
};
// A window class registered by this module, unregistered when the owner goes.
struct WindowClassTraits {
  using Type = ATOM;
  static Type empty() noexcept { return 0; }
  static bool valid(Type a) noexcept { return a != 0; }
  static void close(Type a) noexcept {
    ::UnregisterClassW(reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(a)), ::GetModuleHandleW(nullptr));
  }
};

using UniqueFile = UniqueHandle<FileHandleTraits>;
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueFind = UniqueHandle<FindHandleTraits>;
using UniqueModule = UniqueHandle<ModuleTraits>;
using UniqueKey = UniqueHandle<RegistryKeyTraits>;
using UniqueIcon = UniqueHandle<IconTraits>;
using UniqueMenu = UniqueHandle<MenuTraits>;
using UniqueWindow = UniqueHandle<WindowTraits>;
using OwnedMutex = UniqueHandle<OwnedMutexTraits>;
using UniqueGdiObject = UniqueHandle<GdiObjectTraits>;
using UniqueWindowClass = UniqueHandle<WindowClassTraits>;

// A COM interface pointer, released when the owner goes.
template <typename Interface>
struct ComTraits {
  using Type = Interface*;
  static Type empty() noexcept { return nullptr; }
  static bool valid(Type p) noexcept { return p != nullptr; }
  static void close(Type p) noexcept { p->Release(); }
};
template <typename Interface>
using ComPtr = UniqueHandle<ComTraits<Interface>>;

// The result of a failed Windows call: the thread's last error, through failureResult.
[[nodiscard]] inline ErrorCode lastFailure(ErrorCode unknown) noexcept {
  return failureResult(::GetLastError(), unknown);
}

}  // namespace crvl::platform
