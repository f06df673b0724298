// The dialogs the tray menu opens, one function each. The shell calls them with
// busyCount raised (runs wait while a dialog is open) and clears the open-dialog
// handle afterwards; a dialog records its window in AppState::modalDialog while it is
// open, so that a tray click brings it to the front. Each returns whether the user
// confirmed it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/errors.h"

namespace crvl {
struct AppState;
class ProfileStore;
}

namespace crvl::shell {

struct DialogContext {
  AppState& state;
  ProfileStore& settings;
  void* owner;  // the main window
};

// "&Configure...": the job register with its groups and separators, and the job files.
bool showJobRegisterDialog(DialogContext& context);
// "View &Log...": the log list.
bool showLogsDialog(DialogContext& context);
// "&Plan...": the task list; when confirmed, the caller exports the time-controlled
// tasks to the system's scheduler.
bool showPlannedTasksDialog(DialogContext& context);
// "&Configuration...": the program settings. `*lastPage` receives the page shown last
// (0 or 1), which chooses the help context of the menu item.
bool showConfigurationDialog(DialogContext& context, int* lastPage);
// "L&anguage...": stores the choice as "Language" and applies it.
bool showLanguageDialog(DialogContext& context);
// "&Product Information...".
bool showProductInformation(DialogContext& context);
// "Customi&ze...": the job editor on job `jobNumber`.
bool showJobEditor(DialogContext& context, int32_t jobNumber);
// The password of the account that time-controlled tasks run as: `title` names the
// account; `*password` receives what was typed when confirmed.
bool askPassword(DialogContext& context, std::u16string_view title, std::u16string* password);
// The same over the dialog `context.owner` (the open modal dialog, or the main
// window): 0 when it was shown (`*confirmed` tells whether the user gave a text), else
// the reason it could not be shown.
[[nodiscard]] ErrorCode askPasswordOver(DialogContext& context, std::u16string_view title, std::u16string* password,
                                        bool* confirmed);

}  // namespace crvl::shell
