// The shape of every window of the shell: a class template whose window procedure
// finds the C++ object of the window and hands it every message. The object's address
// travels in CreateWindowExW's creation parameter and is stored in GWLP_USERDATA at
// WM_NCCREATE; messages that arrive before it (or after WM_NCDESTROY) get the default
// processing.
//
// Derived classes implement
//   LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept;
// and call defaultProcessing() for what they leave to the system. Handlers are noexcept:
// nothing may unwind through the system's code that calls the procedure.
#pragma once

#include <windows.h>

#include <string_view>

#include "platform/win32/handles.h"

namespace crvl::shell {

template <typename Derived>
class Window {
 public:
  Window() = default;
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  [[nodiscard]] HWND handle() const noexcept { return window_; }

 protected:
  // Registers the class for this module: the owner unregisters it, so that a class of an
  // earlier cycle never keeps icons that are gone. An empty owner means failure (see
  // GetLastError), or a class that exists already (ERROR_CLASS_ALREADY_EXISTS).
  [[nodiscard]] static platform::UniqueWindowClass registerClass(const wchar_t* className, HICON largeIcon,
                                                                 HICON smallIcon) noexcept {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Window::procedure;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = largeIcon;
    wc.hIconSm = smallIcon;
    wc.lpszClassName = className;
    return platform::UniqueWindowClass(::RegisterClassExW(&wc));
  }

  // Creates the window; `this` reaches the procedure at WM_NCCREATE.
  [[nodiscard]] bool createWindow(const wchar_t* className, const wchar_t* title, DWORD style) noexcept {
    const HWND created = ::CreateWindowExW(/*dwExStyle=*/0, className, title, style, CW_USEDEFAULT, CW_USEDEFAULT,
                                           CW_USEDEFAULT, CW_USEDEFAULT, /*hWndParent=*/nullptr, /*hMenu=*/nullptr,
                                           ::GetModuleHandleW(nullptr), /*lpParam=*/static_cast<Derived*>(this));
    return created != nullptr;
  }

  [[nodiscard]] LRESULT defaultProcessing(UINT message, WPARAM wParam, LPARAM lParam) const noexcept {
    return ::DefWindowProcW(window_, message, wParam, lParam);
  }

 private:
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    Derived* self = nullptr;
    if (message == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      self = static_cast<Derived*>(create->lpCreateParams);
      self->window_ = window;
      ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
      self = reinterpret_cast<Derived*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    }
    if (self == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
    const LRESULT result = self->handleMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
      ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      self->window_ = nullptr;
    }
    return result;
  }

  HWND window_ = nullptr;
};

}  // namespace crvl::shell
