// The tray menu as data: the items built from the language library's menu templates,
// with the dark-mode choices, the "&Jobs" submenu from the job register and a per-job
// submenu for each job. Windows menus are made from these items (menu_window.h); here
// nothing touches a window, so the whole structure can be checked by tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/job_register.h"
#include "resources/language_resources.h"

namespace crvl {
class ProfileStore;
}

namespace crvl::shell {

// Item flags beyond the template's: the text is set and is not looked up.
inline constexpr uint32_t kMenuTextSet = 0x10000;
inline constexpr size_t kMaxMenuTextChars = 59;

struct MenuItem {
  uint16_t id = 0;
  uint32_t flags = 0;     // template flags (0x0800 separator) | kMenuTextSet
  uint16_t textId = 0;    // the string id of the text when not `id` (per-job commands)
  std::u16string text;    // set when kMenuTextSet is, else filled by resolveMenuTexts
  bool hasSubmenu = false;
  bool grayed = false;    // shown but cannot be chosen
  std::vector<MenuItem> submenu;

  [[nodiscard]] bool isSeparator() const noexcept { return (flags & CRVL_MENU_SEPARATOR_FLAGS) != 0; }
};

// The job register as the menu reads it: values of keys "1", "2", ... in order up to
// the first key that is missing or empty. Entry i has the job number i + 1.
[[nodiscard]] std::vector<RegisterRow> readMenuRegister(ProfileStore& settings);

// What building the tray menu needs to know besides the templates.
struct TrayMenuInput {
  const CrvlMenuRecord* jobTemplate = nullptr;  // the per-job menu template
  std::vector<RegisterRow> jobs;                // see readMenuRegister
  bool darkModeAvailable = false;               // the system offers a dark mode
  uint32_t darkModeChoice = 0;                  // "DM": 0, 1 or 2
  std::function<bool(int32_t jobNumber)> jobIsRunning;  // null: nothing runs
};

// The items of the tray template, in order, with submenus. "Dark Mode" (130) is left
// out when the system offers none, and of its choices 131-133 the current one. The
// "&Jobs" submenu (119) holds its template items and, when the register has a job
// entry, a separator and the register's entries: "-name" opens a group submenu up to
// its "-" (or to the end), "-" outside a group ends the list, "--" is a separator, a
// job with a job file gets a submenu of the per-job template without "&Start now"
// while it runs and without "St&op" while it does not. Job and group names carry
// their own text (kMenuTextSet, "&" doubled so that it shows); per-job items carry
// their command's text and the job's menu id. A job whose number has no menu ids
// (above 186) is shown greyed without a submenu.
[[nodiscard]] std::vector<MenuItem> buildTrayMenu(const CrvlMenuRecord* trayTemplate,
                                                  const TrayMenuInput& input);

// Looks up the text of every item without kMenuTextSet by its text id or else its id
// (`lookup` applies the id remap), cut at the first ';' and the first tab. Returns false, leaving the items
// part-filled, at the first item (not a separator) whose text is empty: such a menu is
// not shown.
using TextLookup = std::function<std::u16string(uint16_t id)>;
[[nodiscard]] bool resolveMenuTexts(std::vector<MenuItem>& items, const TextLookup& lookup);

// The menu text form of a looked-up text: cut at the first ';' and the first tab.
[[nodiscard]] std::u16string menuTextFromText(std::u16string_view text);

// The icon resource an item shows (0: none): the ids 100, 102, 103, 104, 107, 109,
// 111, 113, 114, 115, 118 and 119 their own, "&Help" 110 the icon 111.
[[nodiscard]] uint16_t menuIconId(uint16_t itemId) noexcept;
// Every menu icon resource, for loading them all at once.
[[nodiscard]] const std::vector<uint16_t>& menuIconIds();

// The item a typed key chooses in an owner-drawn menu: the first item whose text
// marks that character (after a single "&"; "&&" is a plain "&") without regard to
// case. `index` is -1 when none does; `unique` tells whether no other item marks it.
struct MnemonicMatch {
  int index = -1;
  bool unique = false;
};
[[nodiscard]] MnemonicMatch findMnemonic(const std::vector<std::u16string>& texts, char16_t key);

// A text with its "&" marks removed ("&&" becomes "&"), as owner-drawn items measure it.
[[nodiscard]] std::u16string withoutMnemonics(std::u16string_view text);

}  // namespace crvl::shell
