// INI text: the key lines of a section, written again as "key=value" lines, read back
// as the same keys and values.
#include <string>
#include <utility>
#include <vector>

#include "jobs/ini_text.h"
#include "round_trip.h"

namespace {

using Lines = std::vector<std::pair<std::string, std::string>>;

Lines read(std::string_view body) {
  Lines lines;
  crvl::ini::visitSection(body, [&](std::string_view key, std::string_view value) {
    lines.emplace_back(key, value);
    return 0;
  });
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  const Lines first = read(body);
  std::string written;
  Lines kept;
  for (const auto& [key, value] : first) {
    if (!crvl::ini::writable("S", key, value) || key.starts_with(';')) continue;
    written.append(key).append("=").append(value).append(crvl::ini::kLineEnd);
    kept.emplace_back(key, value);
  }
  crvl::fuzz::require(read(written) == kept, "ini lines");
  return 0;
}
