// The folder-pair dialog: a path and three medium boxes per side.
#include <windows.h>

#include <array>
#include <string>

#include "jobs/job_editor.h"
#include "language/language_table.h"
#include "resources/program_resources.h"
#include "resources/string_ids.h"
#include "schedule/folder_pair_form.h"
#include "shell/dialog_class.h"
#include "shell/dialog_controls.h"
#include "shell/file_dialogs.h"
#include "shell/job_editor_dialog.h"

namespace crvl::shell {
namespace {

constexpr int kOk = 99;

// The controls of one side.
struct SideControls {
  int path, browse, thisMedium, fixLetter, eject;
};
constexpr std::array<SideControls, 2> kSides = {{{2503, 2505, 2507, 2509, 2521}, {2504, 2506, 2508, 2510, 2522}}};
// A side may take all of a stored entry but its marker, its ';' and one character of
// the other side; a pair too long together is refused when the dialog closes.
constexpr size_t kMaxPathChars = kMaxFolderEntryChars - 3;

class FolderPairDialog : public Dialog<FolderPairDialog> {
 public:
  FolderPairDialog(std::u16string left, std::u16string right) : texts_{std::move(left), std::move(right)} {}

  INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
      case WM_INITDIALOG:
        initialise();
        return TRUE;
      case WM_COMMAND:
        command(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
      default:
        return FALSE;
    }
  }

  [[nodiscard]] const std::u16string& text(size_t side) const noexcept { return texts_[side]; }

 private:
  void initialise() {
    setTexts(handle(), {kTextdFls, kTextFld1, kTextFld2, kOk, IDCANCEL});
    for (size_t side = 0; side < 2; ++side) {
      const SideControls& c = kSides[side];
      setItemText(handle(), c.thisMedium, uiText(kTextoThs));
      setItemText(handle(), c.fixLetter, uiText(kTextFDvL));
      setItemText(handle(), c.eject, uiText(kTextoEjc));
      ::SendDlgItemMessageW(handle(), c.path, EM_LIMITTEXT, kMaxPathChars, 0);
      forms_[side] = fillSideForm(texts_[side]);
      setItemText(handle(), c.path, JobEditor::shownPath(texts_[side]));
      setChecked(handle(), c.thisMedium, forms_[side].thisMediumOnly);
      setChecked(handle(), c.fixLetter, forms_[side].fixDriveLetter);
      setChecked(handle(), c.eject, forms_[side].eject);
      updateEnables(side);
    }
  }

  // The boxes a side offers for the drive its path is on.
  void updateEnables(size_t side) {
    const SideControls& c = kSides[side];
    forms_[side].path = itemText(handle(), c.path);
    forms_[side].thisMediumOnly = isChecked(handle(), c.thisMedium);
    const SideEnables e = sideEnables(forms_[side], defaultVolumeQueries());
    enableItem(handle(), c.thisMedium, e.thisMediumOnly);
    enableItem(handle(), c.fixLetter, e.fixDriveLetter);
    enableItem(handle(), c.eject, e.eject);
  }

  void command(int id, int code) {
    for (size_t side = 0; side < 2; ++side) {
      const SideControls& c = kSides[side];
      if (id == c.path && code == EN_KILLFOCUS) updateEnables(side);
      if (id == c.thisMedium) updateEnables(side);
      if (id == c.browse) {
        const std::u16string chosen = chooseFolder(handle(), itemText(handle(), c.path));
        if (!chosen.empty()) {
          setItemText(handle(), c.path, chosen);
          updateEnables(side);
        }
      }
    }
    if (id == kOk || id == IDOK) {
      for (size_t side = 0; side < 2; ++side) {
        const SideControls& c = kSides[side];
        forms_[side].path = itemText(handle(), c.path);
        forms_[side].thisMediumOnly = isChecked(handle(), c.thisMedium);
        forms_[side].fixDriveLetter = isChecked(handle(), c.fixLetter);
        forms_[side].eject = isChecked(handle(), c.eject);
        texts_[side] = writeSideForm(forms_[side], defaultVolumeQueries());
      }
      end(IDOK);
    } else if (id == IDCANCEL) {
      end(IDCANCEL);
    }
  }

  std::array<std::u16string, 2> texts_;
  std::array<SideForm, 2> forms_{};
};

}  // namespace

bool editFolderPair(HWND owner, std::u16string* left, std::u16string* right) {
  if (left == nullptr || right == nullptr) return false;
  FolderPairDialog dialog(*left, *right);
  if (dialog.runModal(owner, CRVL_DLG_FOLDER_PAIR) != IDOK) return false;
  *left = dialog.text(0);
  *right = dialog.text(1);
  return true;
}

}  // namespace crvl::shell
