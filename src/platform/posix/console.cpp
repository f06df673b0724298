// POSIX console: output in the system's bytes, isatty, SIGINT, SIGTERM and SIGHUP as
// stop requests, SIGPIPE ignored.
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string>

#include "platform/console.h"

#include "platform/secure_wipe.h"
#include "platform/text.h"

namespace crvl::platform {

namespace {

std::atomic<int32_t>* g_stopWord = nullptr;
volatile sig_atomic_t g_interrupts = 0;
int g_exitStatus = 3;

void onInterrupt(int) {
  if (g_interrupts != 0) _exit(g_exitStatus);  // the second request ends at once
  g_interrupts = 1;
  if (g_stopWord != nullptr) g_stopWord->store(1, std::memory_order_relaxed);
}

}  // namespace

std::vector<std::u16string> commandArguments(int argc, char** argv) {
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) args.push_back(fromSystemBytes(argv[i]));
  return args;
}

void writeConsole(ConsoleStream stream, std::u16string_view text) {
  const std::string bytes = toSystemBytes(text);
  const int fd = stream == ConsoleStream::Out ? STDOUT_FILENO : STDERR_FILENO;
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

bool readInputLine(std::u16string& line, size_t maxChars) {
  line.clear();
  // The line may be a password: one buffer of its full size, wiped before it goes.
  std::string bytes;
  bytes.reserve(4 * maxChars + 1);
  bool any = false;
  for (;;) {
    char c = 0;
    const ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    any = true;
    if (c == '\n') break;
    // Kept up to a multiple of the limit: a line of multi-byte characters still fits.
    if (bytes.size() < 4 * maxChars) bytes.push_back(c);
  }
  if (!bytes.empty() && bytes.back() == '\r') bytes.pop_back();
  line = fromSystemBytes(bytes);
  if (line.size() > maxChars) line.resize(maxChars);
  secureWipe(bytes.data(), bytes.capacity());
  return any;
}

bool outputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

bool errorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

size_t terminalColumns() {
  struct winsize size {};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

void installStopHandler(std::atomic<int32_t>* stopWord, int exitStatus) {
  g_stopWord = stopWord;
  g_exitStatus = exitStatus;
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A closed terminal is a stop request like Ctrl+C: the run ends between two actions,
  // never in the middle of a copy.
  sigaction(SIGHUP, &action, nullptr);
  // A closed output pipe (`crvl run J | head -2`) must not end the run: writes to it
  // fail and are ignored, and the job log goes on.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
}

namespace {
std::atomic<int32_t>* g_reloadWord = nullptr;
void onReload(int) {
  if (g_reloadWord != nullptr) g_reloadWord->store(1, std::memory_order_relaxed);
}
}  // namespace

void installReloadHandler(std::atomic<int32_t>* reloadWord) {
  g_reloadWord = reloadWord;
  struct sigaction action {};
  action.sa_handler = onReload;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGHUP, &action, nullptr);
}

uint64_t monotonicMilliseconds() noexcept {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

}  // namespace crvl::platform
