// The value of a "Key=value" line in the text of a desktop entry or a systemd unit.
#pragma once

#include <string>
#include <string_view>

namespace crvl::platform {

// The value after "key=" on the first line that starts so, or empty when no line does.
// Lines end in LF; the key is compared exactly.
[[nodiscard]] inline std::string keyValueOf(std::string_view text, std::string_view key) {
  size_t line = 0;
  while (line < text.size()) {
    size_t end = text.find('\n', line);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view l = text.substr(line, end - line);
    if (l.size() > key.size() && l.substr(0, key.size()) == key && l[key.size()] == '=') {
      return std::string(l.substr(key.size() + 1));
    }
    line = end + 1;
  }
  return {};
}

}  // namespace crvl::platform
