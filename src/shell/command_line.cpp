#include "shell/command_line.h"

#include <algorithm>
#include <cstring>

#include "platform/text.h"
#include "schedule/app_state.h"

namespace crvl::shell {

StartOptions parseStartArguments(const std::vector<std::u16string>& arguments) {
  static constexpr std::u16string_view kDelay = u"Delay=";
  StartOptions options;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::u16string_view argument = arguments[i];
    if (argument.substr(0, kDelay.size()) == kDelay) {
      uint64_t seconds = 0;
      for (const char16_t c : argument.substr(kDelay.size())) {
        if (c < u'0' || c > u'9') break;
        // Saturates well above the cap, so that long digit strings cannot wrap round.
        seconds = std::min<uint64_t>(seconds * 10 + (c - u'0'), kMaxStartDelaySeconds + 1);
      }
      options.delaySeconds = static_cast<uint32_t>(std::min<uint64_t>(seconds, kMaxStartDelaySeconds));
    } else {
      // Kept whole: a name longer than any job's matches none, where a cut one could
      // start another job.
      options.jobName = std::u16string(argument);
    }
  }
  return options;
}

std::u16string copyDataJobName(uintptr_t dwData, const void* data, size_t bytes) {
  if (data == nullptr || bytes == 0) return {};
  if (dwData == 0 || dwData == 1) {
    const char* text = static_cast<const char*>(data);
    size_t length = 0;
    while (length < bytes && text[length] != '\0') ++length;
    std::u16string name = platform::ansiToUtf16(std::string_view(text, length));
    if (name.size() > kMaxCopyDataChars) name.resize(kMaxCopyDataChars);
    return name;
  }
  const size_t units = std::min(bytes / 2, kMaxCopyDataChars);
  std::u16string name(units, u'\0');
  std::memcpy(name.data(), data, units * 2);  // the data need not be aligned
  const size_t end = name.find(u'\0');
  if (end != std::u16string::npos) name.resize(end);
  return name;
}

std::u16string copyDataPayload(std::u16string_view jobName) {
  std::u16string payload(jobName);
  payload.push_back(u'\0');
  return payload;
}

}  // namespace crvl::shell
