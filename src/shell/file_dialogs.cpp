#include "shell/file_dialogs.h"

#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>

#include "schedule/app_state.h"
#include "shell/dialog_controls.h"

namespace crvl::shell {
namespace {

// Notes the file dialog as the open modal dialog. The hook's window is a child of the
// dialog in the explorer form.
UINT_PTR CALLBACK recordDialog(HWND hook, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) {
    if (AppState* state = appState(); state != nullptr) {
      const HWND dialog = ::GetParent(hook);
      state->modalDialog = dialog != nullptr ? dialog : hook;
    }
  }
  return 0;
}

int CALLBACK browseStart(HWND window, UINT message, LPARAM, LPARAM start) {
  if (message == BFFM_INITIALIZED) {
    if (AppState* state = appState(); state != nullptr) state->modalDialog = window;
    if (start != 0) ::SendMessageW(window, BFFM_SETSELECTIONW, TRUE, start);
  }
  return 0;
}

// Hands the open-dialog record back to the dialog that was open before.
class ModalRecord {
 public:
  ModalRecord() : saved_(appState() != nullptr ? appState()->modalDialog : nullptr) {}
  ~ModalRecord() {
    if (AppState* state = appState(); state != nullptr) state->modalDialog = saved_;
  }
  ModalRecord(const ModalRecord&) = delete;
  ModalRecord& operator=(const ModalRecord&) = delete;

 private:
  void* saved_;
};

}  // namespace

std::u16string chooseFile(HWND owner, std::u16string_view current, const wchar_t* filter, const wchar_t* extension,
                          bool save) {
  const size_t slash = current.find_last_of(u"\\/");
  const std::u16string folder(slash == std::u16string_view::npos ? std::u16string_view() : current.substr(0, slash));
  const std::u16string_view name = slash == std::u16string_view::npos ? current : current.substr(slash + 1);
  std::wstring buffer(32768, L'\0');
  std::copy_n(name.begin(), std::min(name.size(), buffer.size() - 1), buffer.begin());
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filter;
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = static_cast<DWORD>(buffer.size());
  ofn.lpstrInitialDir = folder.empty() ? nullptr : wide(folder);
  ofn.lpstrDefExt = extension;
  ofn.lpfnHook = &recordDialog;
  ofn.Flags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_NOCHANGEDIR | OFN_HIDEREADONLY |
              (save ? OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST : OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
  ModalRecord record;
  const BOOL chosen = save ? ::GetSaveFileNameW(&ofn) : ::GetOpenFileNameW(&ofn);
  if (!chosen) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(buffer.c_str()));
}

std::u16string chooseFolder(HWND owner, const std::u16string& start) {
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  info.lpfn = &browseStart;
  info.lParam = start.empty() ? 0 : reinterpret_cast<LPARAM>(wide(start));
  ModalRecord record;
  PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&info);
  if (chosen == nullptr) return {};
  std::u16string path(32768, u'\0');
  const bool ok = ::SHGetPathFromIDListEx(chosen, reinterpret_cast<wchar_t*>(path.data()),
                                           static_cast<DWORD>(path.size()), GPFIDL_DEFAULT) != FALSE;
  ::CoTaskMemFree(chosen);
  if (!ok) return {};
  path.resize(path.find(u'\0'));
  return path;
}

}  // namespace crvl::shell
