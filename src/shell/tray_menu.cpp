#include "shell/tray_menu.h"

#include <string>

#include "jobs/profile_store.h"
#include "platform/text.h"
#include "shell/menu_commands.h"

namespace crvl::shell {
namespace {

// Job and group names are shown as they are: a "&" in a name is doubled, so that it
// shows instead of marking a key.
std::u16string nameText(std::u16string_view name) {
  name = name.substr(0, kMaxMenuTextChars);
  std::u16string text;
  for (const char16_t c : name) {
    if (c == u'&') text.push_back(u'&');
    text.push_back(c);
  }
  return text;
}

MenuItem separatorItem() {
  MenuItem item;
  item.id = CRVL_MENU_SEPARATOR_ID;
  item.flags = CRVL_MENU_SEPARATOR_FLAGS;
  return item;
}

bool jobRuns(const TrayMenuInput& input, int32_t jobNumber) {
  return input.jobIsRunning && input.jobIsRunning(jobNumber);
}

MenuItem jobItem(const RegisterRow& row, int32_t jobNumber, const TrayMenuInput& input) {
  MenuItem item;
  item.id = 0;
  item.flags = kMenuTextSet;
  item.text = nameText(row.name);
  const bool runs = jobRuns(input, jobNumber);
  for (const CrvlMenuRecord* r = input.jobTemplate; r != nullptr && (r->id != 0 || r->flags != 0); ++r) {
    if (r->flags & CRVL_MENU_SEPARATOR_FLAGS) {
      item.submenu.push_back(separatorItem());
      continue;
    }
    if (r->id == kCmdJobStart && runs) continue;
    if (r->id == kCmdJobStop && !runs) continue;
    const std::optional<uint16_t> id = jobMenuId(jobNumber, r->id);
    if (!id) {
      // No menu id can address this job: shown, but it offers nothing.
      item.submenu.clear();
      item.grayed = true;
      return item;
    }
    MenuItem command;
    command.id = *id;
    command.flags = r->flags;
    command.textId = r->id;  // the text belongs to the command, not to the menu id
    item.submenu.push_back(std::move(command));
  }
  item.hasSubmenu = true;
  return item;
}

// Adds the register's entries from `next` on to `items` until the end of the list or
// the end entry of the current group (consumed). Returns false when a "-" outside any
// group ended the list.
bool appendRegister(std::vector<MenuItem>& items, size_t& next, int depth, const TrayMenuInput& input) {
  while (next < input.jobs.size()) {
    const RegisterRow& row = input.jobs[next];
    const int32_t jobNumber = static_cast<int32_t>(next + 1);
    ++next;
    switch (row.kind) {
      case RegisterKind::GroupEnd:
        return depth > 0;  // outside a group, the entries end here
      case RegisterKind::Separator:
        items.push_back(separatorItem());
        break;
      case RegisterKind::GroupStart: {
        MenuItem group;
        group.flags = kMenuTextSet;
        group.text = nameText(row.name);
        group.hasSubmenu = true;
        if (!appendRegister(group.submenu, next, depth + 1, input)) return false;
        items.push_back(std::move(group));
        break;
      }
      case RegisterKind::Job:
        if (!row.name.empty() && !row.path.empty()) items.push_back(jobItem(row, jobNumber, input));
        break;
    }
  }
  return true;
}

bool registerHasEntry(const TrayMenuInput& input) {
  for (const RegisterRow& row : input.jobs) {
    if (row.kind != RegisterKind::Job || !row.name.empty() || !row.path.empty()) return true;
  }
  return false;
}

std::vector<MenuItem> copyTemplate(const CrvlMenuRecord* records, const TrayMenuInput& input) {
  std::vector<MenuItem> items;
  for (const CrvlMenuRecord* r = records; r != nullptr && (r->id != 0 || r->flags != 0); ++r) {
    if (r->id == kCmdDarkMode && !input.darkModeAvailable) continue;
    if (r->id >= kCmdDarkDisable && r->id <= kCmdDarkForce &&
        r->id - kCmdDarkDisable == static_cast<int>(input.darkModeChoice)) {
      continue;
    }
    MenuItem item;
    item.id = r->id;
    item.flags = r->flags;
    if (r->submenu != nullptr) {
      item.hasSubmenu = true;
      item.submenu = copyTemplate(r->submenu, input);
      if (r->id == kCmdJobsMenu && registerHasEntry(input)) {
        item.submenu.push_back(separatorItem());
        size_t next = 0;
        (void)appendRegister(item.submenu, next, 0, input);
      }
    }
    items.push_back(std::move(item));
  }
  return items;
}

bool isMarkedCharacter(std::u16string_view text, size_t i) {
  // Counts the run of '&' before position i: an odd run marks the character.
  size_t run = 0;
  while (run < i && text[i - run - 1] == u'&') ++run;
  return run % 2 == 1;
}

}  // namespace

std::vector<RegisterRow> readMenuRegister(ProfileStore& settings) {
  std::vector<RegisterRow> rows;
  const bool utf8 = settings.isUtf8File();
  for (int key = 1;; ++key) {
    std::string value;
    settings.getString("Job", std::to_string(key), nullptr, value, SIZE_MAX);
    if (value.empty()) break;
    rows.push_back(parseRegisterValue(value, utf8));
  }
  return rows;
}

std::vector<MenuItem> buildTrayMenu(const CrvlMenuRecord* trayTemplate, const TrayMenuInput& input) {
  return copyTemplate(trayTemplate, input);
}

std::u16string menuTextFromText(std::u16string_view text) {
  const size_t end = text.find_first_of(u";\t");
  return std::u16string(text.substr(0, end));
}

bool resolveMenuTexts(std::vector<MenuItem>& items, const TextLookup& lookup) {
  for (MenuItem& item : items) {
    if (item.isSeparator()) continue;
    if (!(item.flags & kMenuTextSet)) item.text = menuTextFromText(lookup(item.textId != 0 ? item.textId : item.id));
    if (item.text.empty()) return false;
    if (item.hasSubmenu && !resolveMenuTexts(item.submenu, lookup)) return false;
  }
  return true;
}

uint16_t menuIconId(uint16_t itemId) noexcept {
  switch (itemId) {
    case 100: case 102: case 103: case 104: case 107: case 109: case 111:
    case 113: case 114: case 115: case 118: case 119:
      return itemId;
    case 110:
      return 111;
    default:
      return 0;
  }
}

const std::vector<uint16_t>& menuIconIds() {
  static const std::vector<uint16_t> ids = {100, 102, 103, 104, 107, 109, 111, 113, 114, 115, 118, 119};
  return ids;
}

MnemonicMatch findMnemonic(const std::vector<std::u16string>& texts, char16_t key) {
  MnemonicMatch match;
  const char16_t wanted = platform::toUpper(key);
  for (size_t n = 0; n < texts.size(); ++n) {
    const std::u16string_view text = texts[n];
    size_t marked = 1;
    while (marked < text.size() && (text[marked] == u'&' || !isMarkedCharacter(text, marked))) ++marked;
    if (marked >= text.size() || platform::toUpper(text[marked]) != wanted) continue;
    if (match.index < 0) {
      match.index = static_cast<int>(n);
      match.unique = true;
    } else {
      match.unique = false;
    }
  }
  return match;
}

std::u16string withoutMnemonics(std::u16string_view text) {
  std::u16string plain;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'&') {
      if (i + 1 < text.size() && text[i + 1] == u'&') {
        plain.push_back(u'&');
        ++i;
      }
      continue;
    }
    plain.push_back(text[i]);
  }
  return plain;
}

}  // namespace crvl::shell
