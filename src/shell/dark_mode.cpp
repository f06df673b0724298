#include "shell/dark_mode.h"

#include <windows.h>

namespace crvl::shell {
namespace {

// The first build whose theme library has SetPreferredAppMode at ordinal 135 (before
// it, the same ordinal had another signature).
constexpr DWORD kFirstBuildWithAppMode = 18362;

// The system's build number, from ntdll (GetVersionEx answers by the manifest).
DWORD systemBuild() {
  platform::Module ntdll;
  if (ntdll.loadSystem(u"ntdll.dll") != 0) return 0;
  using Fn = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
  const auto numbers = ntdll.function<Fn>("RtlGetNtVersionNumbers");
  if (numbers == nullptr) return 0;
  DWORD major = 0, minor = 0, build = 0;
  numbers(&major, &minor, &build);
  return major < 10 ? 0 : (build & 0x0FFFFFFF);
}

const char* ordinal(WORD number) { return reinterpret_cast<const char*>(static_cast<ULONG_PTR>(number)); }

// The modes of SetPreferredAppMode.
constexpr int kAllowDark = 1;
constexpr int kForceDark = 2;
constexpr int kForceLight = 3;

}  // namespace

DarkMode::DarkMode() {
  if (systemBuild() < kFirstBuildWithAppMode) return;
  if (theme_.loadSystem(u"uxtheme.dll") != 0) return;
  shouldAppsUseDarkMode_ = theme_.function<ShouldAppsUseDarkModeFn>(ordinal(132));
  refreshPolicy_ = theme_.function<RefreshPolicyFn>(ordinal(104));
  flushMenuThemes_ = theme_.function<FlushMenuThemesFn>(ordinal(136));
  // All of them, or dark mode counts as missing.
  if (shouldAppsUseDarkMode_ != nullptr && flushMenuThemes_ != nullptr) {
    setPreferredAppMode_ = theme_.function<SetPreferredAppModeFn>(ordinal(135));
  }
}

void DarkMode::apply(uint32_t choice) noexcept {
  choice_ = choice > 2 ? 0 : choice;
  if (!available()) return;
  setPreferredAppMode_(choice_ == 2 ? kForceDark : choice_ == 1 ? kAllowDark : kForceLight);
  if (refreshPolicy_ != nullptr) refreshPolicy_();
  flushMenuThemes_();
}

bool DarkMode::wouldBeDark(uint32_t choice) const noexcept {
  if (choice == 2) return true;
  return choice == 1 && shouldAppsUseDarkMode_ != nullptr && shouldAppsUseDarkMode_();
}

}  // namespace crvl::shell
