// The parts of the environment that are the same on both systems: the program path
// with its override, and the program's folder.
#include "platform/environment.h"

#include <mutex>
#include <utility>

#include "platform/paths.h"

namespace crvl::platform {
namespace {

std::mutex& overrideMutex() {
  static std::mutex m;
  return m;
}

std::u16string& overriddenProgramPath() {
  static std::u16string path;
  return path;
}

}  // namespace

std::u16string programPath() {
  {
    std::lock_guard<std::mutex> lock(overrideMutex());
    if (!overriddenProgramPath().empty()) return overriddenProgramPath();
  }
  return systemProgramPath();
}

std::u16string programFolder() {
  std::u16string path = programPath();
  size_t cut = path.size();
  while (cut > 0 && !isPathSeparator(path[cut - 1])) --cut;
  if (cut == 0) return {};
  // A program in "/" has the empty folder, so that "%MY_PATH%/x" gives "/x".
  path.resize(cut - 1);
  return path;
}

void overrideProgramPath(std::u16string path) {
  std::lock_guard<std::mutex> lock(overrideMutex());
  overriddenProgramPath() = std::move(path);
}

}  // namespace crvl::platform
