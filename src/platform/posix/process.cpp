// Running a command line through /bin/sh with posix_spawn.
#include "platform/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/posix/entry_stat.h"
#include "platform/posix/posix_errors.h"

extern char** environ;

namespace crvl::platform {
namespace {

// Frees the spawn attributes and file actions on every way out.
struct SpawnActions {
  posix_spawn_file_actions_t actions;
  bool ready = false;
  SpawnActions() { ready = ::posix_spawn_file_actions_init(&actions) == 0; }
  ~SpawnActions() {
    if (ready) ::posix_spawn_file_actions_destroy(&actions);
  }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
};

}  // namespace

ErrorCode runCommandLine(std::u16string_view commandLine, std::u16string_view outputPath, uint32_t* exitCode,
                         std::u16string_view inputPath) {
  std::string line, output, input;
  if (!posix::nativePath(commandLine, line) || !posix::nativePath(outputPath, output) ||
      !posix::nativePath(inputPath, input)) {
    return kErrorInvalidName;
  }
  SpawnActions spawn;
  if (!spawn.ready) return kErrorNotEnoughMemory;
  int r = ::posix_spawn_file_actions_addopen(&spawn.actions, 0, input.empty() ? "/dev/null" : input.c_str(),
                                             O_RDONLY, 0);
  if (r == 0 && !output.empty()) {
    r = ::posix_spawn_file_actions_addopen(&spawn.actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (r == 0) r = ::posix_spawn_file_actions_adddup2(&spawn.actions, 1, 2);
  }
  if (r != 0) return mapErrno(r);
  char shell[] = "/bin/sh";
  char flag[] = "-c";
  char* argv[] = {shell, flag, line.data(), nullptr};
  pid_t child = 0;
  r = ::posix_spawn(&child, shell, &spawn.actions, nullptr, argv, environ);
  if (r != 0) return mapErrno(r);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return mapErrno(errno);
  }
  if (exitCode != nullptr) {
    *exitCode = WIFEXITED(status) ? static_cast<uint32_t>(WEXITSTATUS(status))
                                  : 128u + static_cast<uint32_t>(WTERMSIG(status));
  }
  return kSuccess;
}

}  // namespace crvl::platform
