// The process environment and the well-known folders on Windows.
#include "platform/environment.h"
#include "platform/errors.h"

#include <windows.h>
#include <shlobj.h>

#include <mutex>

namespace crvl::platform {
namespace {

const wchar_t* wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

}  // namespace

std::optional<std::u16string> environmentVariable(std::u16string_view name) {
  // The system sees the name up to its first NUL: such a name cannot be looked up.
  if (name.empty() || name.find(u'\0') != std::u16string_view::npos) return std::nullopt;
  const std::u16string key(name);
  std::u16string value(256, u'\0');
  for (;;) {
    ::SetLastError(ERROR_SUCCESS);
    const DWORD n = ::GetEnvironmentVariableW(
        wide(key), reinterpret_cast<wchar_t*>(value.data()), static_cast<DWORD>(value.size()));
    if (n == 0) {
      if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::u16string();
    }
    if (n < value.size()) {
      value.resize(n);
      return value;
    }
    value.resize(n);  // n is the size needed, terminating zero included
  }
}

void setEnvironmentVariable(std::u16string_view name, const std::optional<std::u16string>& value) {
  if (name.empty() || name.find(u'\0') != std::u16string_view::npos) return;
  const std::u16string key(name);
  (void)::SetEnvironmentVariableW(wide(key), value ? wide(*value) : nullptr);
}

std::vector<std::pair<std::u16string, std::u16string>> environmentBlock() {
  std::vector<std::pair<std::u16string, std::u16string>> block;
  wchar_t* strings = ::GetEnvironmentStringsW();
  if (strings == nullptr) return block;
  for (const wchar_t* p = strings; *p != L'\0';) {
    const std::u16string_view entry(reinterpret_cast<const char16_t*>(p));
    // Hidden entries such as "=C:=C:\dir" begin with '=': their name runs to the next one.
    const size_t eq = entry.find(u'=', 1);
    if (eq != std::u16string_view::npos) {
      block.emplace_back(std::u16string(entry.substr(0, eq)), std::u16string(entry.substr(eq + 1)));
    }
    p += entry.size() + 1;
  }
  ::FreeEnvironmentStringsW(strings);
  return block;
}

namespace {

// The system call reads text up to a NUL, so text is expanded piece by piece between NULs.
std::optional<std::u16string> expandPiece(std::u16string_view text) {
  if (text.empty()) return std::u16string();
  const std::u16string source(text);
  std::u16string out(source.size() + 256, u'\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    const DWORD n = ::ExpandEnvironmentStringsW(
        wide(source), reinterpret_cast<wchar_t*>(out.data()), static_cast<DWORD>(out.size()));
    if (n == 0) return std::nullopt;
    if (n <= out.size()) {
      out.resize(n - 1);  // n counts the terminating zero
      return out;
    }
    out.resize(n);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::u16string> expandEnvironmentText(std::u16string_view text) {
  std::u16string out;
  for (;;) {
    const size_t nul = text.find(u'\0');
    const std::optional<std::u16string> piece = expandPiece(text.substr(0, nul));
    if (!piece) return std::nullopt;
    out += *piece;
    if (nul == std::u16string_view::npos) return out;
    out.push_back(u'\0');
    text.remove_prefix(nul + 1);
  }
}

std::u16string systemProgramPath() {
  std::u16string path(MAX_PATH, u'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(/*hModule=*/nullptr,
                                         reinterpret_cast<wchar_t*>(path.data()),
                                         static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

std::u16string appDataFolder() {
  wchar_t buffer[MAX_PATH];
  if (FAILED(::SHGetFolderPathW(/*hwnd=*/nullptr, CSIDL_APPDATA, /*hToken=*/nullptr,
                                SHGFP_TYPE_CURRENT, buffer))) {
    return {};
  }
  return std::u16string(reinterpret_cast<const char16_t*>(buffer));
}

std::u16string tempFolder() {
  if (!environmentVariable(u"TEMP")) return {};
  return expandEnvironmentText(u"%TEMP%").value_or(std::u16string());
}

std::u16string windowsFolder() {
  wchar_t buffer[MAX_PATH];
  const UINT n = ::GetWindowsDirectoryW(buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(buffer), n);
}

std::u16string absolutePath(std::u16string_view path) {
  // Already absolute: a drive path with its separator, or a UNC or long path. These are
  // never passed through GetFullPathNameW, which would strip trailing dots and blanks.
  if (path.size() >= 3 && path[1] == u':' && (path[2] == u'\\' || path[2] == u'/')) return std::u16string(path);
  if (path.size() >= 2 && (path[0] == u'\\' || path[0] == u'/') && (path[1] == u'\\' || path[1] == u'/')) {
    return std::u16string(path);
  }
  const std::u16string text(path);
  const DWORD needed = ::GetFullPathNameW(wide(text), 0, nullptr, nullptr);
  if (needed == 0) return {};
  std::u16string out(needed, u'\0');
  const DWORD n = ::GetFullPathNameW(wide(text), needed, reinterpret_cast<wchar_t*>(out.data()), nullptr);
  if (n == 0 || n >= needed) return {};
  out.resize(n);
  return out;
}

std::u16string homeFolder() {
  return environmentVariable(u"USERPROFILE").value_or(std::u16string());
}

uint32_t setCurrentFolder(std::u16string_view path) {
  const std::u16string target(path);
  if (::SetCurrentDirectoryW(wide(target))) return ERROR_SUCCESS;
  const DWORD error = ::GetLastError();
  if (error == ERROR_NOT_READY) {
    // A drive that is not ready and a path that does not exist look alike here.
    return ::GetFileAttributesW(wide(target)) == INVALID_FILE_ATTRIBUTES ? ERROR_FILE_NOT_FOUND : ERROR_NOT_READY;
  }
  return failureResult(error, ERROR_NOT_READY);
}

bool isSystemProgramFolder(std::u16string_view) noexcept { return false; }

}  // namespace crvl::platform
