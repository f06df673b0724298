// Windows console: wide output to a console, UTF-8 to pipes and files, and Ctrl+C as
// a stop request through the console control handler.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "platform/console.h"
#include "platform/text.h"

namespace crvl::platform {

namespace {

std::atomic<int32_t>* g_stopWord = nullptr;
std::atomic<int> g_interrupts{0};
int g_exitStatus = 3;

BOOL WINAPI onControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) return FALSE;
  if (g_interrupts.fetch_add(1) > 0) ExitProcess(static_cast<UINT>(g_exitStatus));
  if (g_stopWord != nullptr) g_stopWord->store(1, std::memory_order_relaxed);
  return TRUE;
}

HANDLE streamHandle(ConsoleStream stream) {
  return GetStdHandle(stream == ConsoleStream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool isConsole(HANDLE h) {
  DWORD mode = 0;
  return h != nullptr && h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) != 0;
}

}  // namespace

std::vector<std::u16string> commandArguments(int argc, char** argv) {
  std::vector<std::u16string> args;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) {
    for (int i = 1; i < argc; ++i) args.push_back(fromUtf8(argv[i]));
    return args;
  }
  for (int i = 1; i < count; ++i) {
    args.emplace_back(reinterpret_cast<const char16_t*>(wide[i]));
  }
  LocalFree(wide);
  return args;
}

void writeConsole(ConsoleStream stream, std::u16string_view text) {
  HANDLE h = streamHandle(stream);
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return;
  if (isConsole(h)) {
    DWORD written = 0;
    WriteConsoleW(h, reinterpret_cast<const wchar_t*>(text.data()), static_cast<DWORD>(text.size()),
                  &written, /*lpReserved=*/nullptr);
    return;
  }
  const std::string bytes = toUtf8(text);
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    if (!WriteFile(h, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                   /*lpOverlapped=*/nullptr) ||
        written == 0) {
      return;
    }
    done += written;
  }
}

bool readInputLine(std::u16string& line, size_t maxChars) {
  line.clear();
  HANDLE h = GetStdHandle(STD_INPUT_HANDLE);
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return false;
  bool any = false;
  // The line may be a password: its buffers are taken at full size (never reallocated
  // and freed unwiped) and the bytes read are wiped.
  line.reserve(maxChars);
  if (isConsole(h)) {
    for (;;) {
      wchar_t c = 0;
      DWORD read = 0;
      if (!ReadConsoleW(h, &c, 1, &read, /*pInputControl=*/nullptr) || read == 0) break;
      any = true;
      if (c == L'\n') break;
      if (c != L'\r' && line.size() < maxChars) line.push_back(static_cast<char16_t>(c));
    }
    return any;
  }
  std::string bytes;
  bytes.reserve(4 * maxChars + 1);
  for (;;) {
    char c = 0;
    DWORD read = 0;
    if (!ReadFile(h, &c, 1, &read, /*lpOverlapped=*/nullptr) || read == 0) break;
    any = true;
    if (c == '\n') break;
    if (bytes.size() < 4 * maxChars) bytes.push_back(c);
  }
  if (!bytes.empty() && bytes.back() == '\r') bytes.pop_back();
  line = fromUtf8(bytes);
  if (line.size() > maxChars) line.resize(maxChars);
  SecureZeroMemory(bytes.data(), bytes.capacity());
  return any;
}

bool outputIsTerminal() { return isConsole(streamHandle(ConsoleStream::Out)); }

bool errorIsTerminal() { return isConsole(streamHandle(ConsoleStream::Err)); }

size_t terminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (GetConsoleScreenBufferInfo(streamHandle(ConsoleStream::Out), &info) && info.srWindow.Right > info.srWindow.Left) {
    return static_cast<size_t>(info.srWindow.Right - info.srWindow.Left + 1);
  }
  return 80;
}

void installStopHandler(std::atomic<int32_t>* stopWord, int exitStatus) {
  g_stopWord = stopWord;
  g_exitStatus = exitStatus;
  SetConsoleCtrlHandler(onControl, TRUE);
}

void installReloadHandler(std::atomic<int32_t>*) {}

uint64_t monotonicMilliseconds() noexcept { return GetTickCount64(); }

}  // namespace crvl::platform
