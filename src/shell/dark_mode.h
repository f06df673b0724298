// The system's dark appearance for the program's menus, reached through functions of
// the theme library that are looked up at run time by ordinal (they have no names).
// Systems without them (before Windows 10 1903, and Wine versions without them) offer
// no dark mode: the "Dark Mode" menu is then left out.
#pragma once

#include <cstdint>

#include <windows.h>

#include "platform/modules.h"

namespace crvl::shell {

class DarkMode {
 public:
  // Looks the functions up; nothing is applied yet.
  DarkMode();
  DarkMode(const DarkMode&) = delete;
  DarkMode& operator=(const DarkMode&) = delete;

  // Whether the system offers a dark mode to programs.
  [[nodiscard]] bool available() const noexcept { return setPreferredAppMode_ != nullptr; }

  // Applies choice 0 (always light), 1 (follow the system) or 2 (always dark) to the
  // process's menus. Without system support only the choice is kept.
  void apply(uint32_t choice) noexcept;

  // Whether menus are drawn dark now: choice 2, or choice 1 while the system's apps
  // use the dark appearance.
  [[nodiscard]] bool menusAreDark() const noexcept { return available() && wouldBeDark(choice_); }

  // Whether `choice` asks for the dark appearance: choice 2 always, choice 1 while the
  // system's apps use it.
  [[nodiscard]] bool wouldBeDark(uint32_t choice) const noexcept;

 private:
  using SetPreferredAppModeFn = int(WINAPI*)(int mode);
  using ShouldAppsUseDarkModeFn = bool(WINAPI*)();
  using FlushMenuThemesFn = void(WINAPI*)();
  using RefreshPolicyFn = void(WINAPI*)();

  platform::Module theme_;
  SetPreferredAppModeFn setPreferredAppMode_ = nullptr;
  ShouldAppsUseDarkModeFn shouldAppsUseDarkMode_ = nullptr;
  FlushMenuThemesFn flushMenuThemes_ = nullptr;
  RefreshPolicyFn refreshPolicy_ = nullptr;
  uint32_t choice_ = 0;
};

}  // namespace crvl::shell
