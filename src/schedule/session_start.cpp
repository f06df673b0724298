#include "schedule/session_start.h"

#include <string>

#include "os_traits.h"
#include "platform/environment.h"
#include "platform/paths.h"
#include "platform/startup_entry.h"
#include "platform/text.h"
#include "schedule/settings_tag.h"

namespace crvl {

std::u16string scheduledProgramPath() {
  if constexpr (os::kWindows) {
    std::u16string path = platform::programFolder();
    platform::appendPathComponent(path, u"CRVL.exe");
    return path;
  }
  return platform::programPath();
}

std::vector<std::u16string> sessionStartArguments(uint32_t delaySeconds, std::u16string_view settingsPath) {
  const std::u16string seconds = platform::fromUtf8(std::to_string(delaySeconds));
  std::vector<std::u16string> arguments;
  if constexpr (os::kWindows) {
    if (delaySeconds != 0) arguments.push_back(u"Delay=" + seconds);
  } else {
    arguments = {u"--settings", std::u16string(settingsPath), u"daemon"};
    if (delaySeconds != 0) {
      arguments.push_back(u"--delay");
      arguments.push_back(seconds);
    }
  }
  return arguments;
}

std::u16string sessionStartEntryPath(std::u16string_view settingsPath) {
  return platform::startupEntryPath(scheduledProgramPath(), settingsTag(settingsPath));
}

ErrorCode updateSessionStart(bool on, uint32_t delaySeconds, std::u16string_view settingsPath) {
  return platform::setStartupEntry(on, scheduledProgramPath(), settingsTag(settingsPath), u"Corvell",
                                   sessionStartArguments(delaySeconds, settingsPath));
}

}  // namespace crvl
