#include "shell/menu_trace.h"

#include <optional>

#include "platform/environment.h"
#include "platform/files.h"
#include "platform/text.h"

namespace crvl::shell {
namespace {

void describe(HMENU menu, int depth, std::string& out) {
  const int count = ::GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    out.append(static_cast<size_t>(depth) * 2, ' ');
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_SUBMENU | MIIM_DATA;
    if (!::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info)) {
      out += "?\n";
      continue;
    }
    if (info.fType & MFT_SEPARATOR) {
      out += "---\n";
      continue;
    }
    wchar_t text[256] = {};
    MENUITEMINFOW textInfo{};
    textInfo.cbSize = sizeof textInfo;
    textInfo.fMask = MIIM_STRING;
    textInfo.dwTypeData = text;
    textInfo.cch = 255;
    ::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &textInfo);
    out += platform::toUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text)));
    out += " [" + std::to_string(info.wID) + "]";
    if (info.fState & MFS_GRAYED) out += " (grey)";
    out += "\n";
    if (info.hSubMenu != nullptr) describe(info.hSubMenu, depth + 1, out);
  }
}

void appendToTrace(const std::string& lines) {
  const std::optional<std::u16string> file = platform::environmentVariable(u"CRVL_MENU_TRACE");
  if (!file || file->empty()) return;
  std::string existing;
  (void)platform::readWholeFile(*file, existing);
  (void)platform::writeWholeFile(*file, existing + lines);
}

}  // namespace

std::string describeMenu(HMENU menu) {
  std::string out;
  describe(menu, 0, out);
  return out;
}

void traceMenu(HMENU menu) noexcept {
  try {
    if (platform::environmentVariable(u"CRVL_MENU_TRACE")) appendToTrace(describeMenu(menu) + "===\n");
  } catch (...) {
    // A trace that cannot be written is left out.
  }
}

void traceNotice(std::u16string_view text) noexcept {
  try {
    appendToTrace("notice " + platform::toUtf8(text) + "\n");
  } catch (...) {
  }
}

void traceDroppedCommand(uint16_t command) noexcept {
  try {
    appendToTrace("dropped " + std::to_string(command) + "\n");
  } catch (...) {
  }
}

}  // namespace crvl::shell
