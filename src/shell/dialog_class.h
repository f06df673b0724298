// The shape of every dialog of the shell: a class template whose dialog procedure finds
// the C++ object of the dialog and hands it every message, as Window does for windows.
// The object's address travels in the creation parameter of DialogBoxParamW and is kept
// in DWLP_USER from WM_INITDIALOG on.
//
// While it is open, a dialog is the program's open modal dialog (AppState::modalDialog),
// so that a tray click brings it to the front; a dialog opened from another one hands
// the record back to its owner when it closes.
//
// Derived classes implement
//   INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
// answering TRUE for what they handled (FALSE leaves it to the dialog manager).
// Nothing unwinds into the system's code: the procedure catches what a handler throws
// (out of memory) and ends the dialog as cancelled.
#pragma once

#include <windows.h>

#include <utility>

#include "resources/program_resources.h"
#include "schedule/app_state.h"

namespace crvl::shell {

template <typename Derived>
class Dialog {
 public:
  Dialog() = default;
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Runs the dialog of resource `templateId` modally over `owner`. Returns the value
  // given to EndDialog, or -1 when the dialog could not be created.
  INT_PTR runModal(HWND owner, int templateId) noexcept {
    return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), owner, &procedure,
                             reinterpret_cast<LPARAM>(static_cast<Derived*>(this)));
  }

  [[nodiscard]] HWND handle() const noexcept { return dialog_; }

 protected:
  [[nodiscard]] HWND item(int id) const noexcept { return ::GetDlgItem(dialog_, id); }
  void end(INT_PTR result) noexcept { ::EndDialog(dialog_, result); }

 private:
  static INT_PTR CALLBACK procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    Derived* self = nullptr;
    if (message == WM_INITDIALOG) {
      self = reinterpret_cast<Derived*>(lParam);
      self->dialog_ = dialog;
      ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      if (AppState* state = appState(); state != nullptr) {
        self->previousModal_ = state->modalDialog;
        state->modalDialog = dialog;
      }
      showProgramIcon(dialog);
    } else {
      self = reinterpret_cast<Derived*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    }
    if (self == nullptr) return FALSE;
    INT_PTR result = FALSE;
    try {
      result = self->handleMessage(message, wParam, lParam);
    } catch (...) {
      // Out of memory inside a handler: the dialog ends, changing nothing more.
      ::EndDialog(dialog, IDCANCEL);
      result = TRUE;
    }
    if (message == WM_DESTROY) {
      if (AppState* state = appState(); state != nullptr && state->modalDialog == dialog) {
        state->modalDialog = self->previousModal_;
      }
    } else if (message == WM_NCDESTROY) {
      ::SetWindowLongPtrW(dialog, DWLP_USER, 0);
      self->dialog_ = nullptr;
    }
    return result;
  }

  // A resizable dialog has a caption icon (a fixed one shows none): the program's, not
  // the system's default. Shared icons, which the system frees.
  static void showProgramIcon(HWND dialog) noexcept {
    if ((::GetWindowLongPtrW(dialog, GWL_STYLE) & WS_THICKFRAME) == 0) return;
    const HINSTANCE module = ::GetModuleHandleW(nullptr);
    for (const auto& [kind, metric] : {std::pair{ICON_SMALL, SM_CXSMICON}, std::pair{ICON_BIG, SM_CXICON}}) {
      const int size = ::GetSystemMetrics(metric);
      HANDLE icon = ::LoadImageW(module, MAKEINTRESOURCEW(CRVL_ICON_PROGRAM), IMAGE_ICON, size, size, LR_SHARED);
      if (icon != nullptr) ::SendMessageW(dialog, WM_SETICON, kind, reinterpret_cast<LPARAM>(icon));
    }
  }

  HWND dialog_ = nullptr;
  void* previousModal_ = nullptr;
};

}  // namespace crvl::shell
