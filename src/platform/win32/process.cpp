// Running a command line with CreateProcessW, its output in a file.
#include "platform/process.h"

#include <windows.h>

#include <string>

#include "platform/win32/handles.h"
#include "platform/win32/long_paths.h"

namespace crvl::platform {

ErrorCode runCommandLine(std::u16string_view commandLine, std::u16string_view outputPath, uint32_t* exitCode,
                         std::u16string_view inputPath) {
  if (commandLine.find(u'\0') != commandLine.npos || outputPath.find(u'\0') != outputPath.npos ||
      inputPath.find(u'\0') != inputPath.npos) {
    return kErrorInvalidName;
  }
  SECURITY_ATTRIBUTES inherit{};
  inherit.nLength = sizeof inherit;
  inherit.bInheritHandle = TRUE;
  UniqueFile output;
  const std::wstring inputName = inputPath.empty() ? std::wstring(L"NUL") : longSystemPath(inputPath);
  UniqueFile input(::CreateFileW(inputName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, /*hTemplateFile=*/nullptr));
  if (!input) return lastFailure(kErrorFileNotFound);
  if (!outputPath.empty()) {
    output.reset(::CreateFileW(longSystemPath(outputPath).c_str(), GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, /*hTemplateFile=*/nullptr));
    if (!output) return lastFailure(kErrorAccessDenied);
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  const bool redirected = output.valid() || !inputPath.empty();
  if (redirected) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    startup.hStdOutput = output ? output.get() : ::GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = output ? output.get() : ::GetStdHandle(STD_ERROR_HANDLE);
  }
  // CreateProcessW may write into the command line buffer.
  std::wstring line(reinterpret_cast<const wchar_t*>(commandLine.data()), commandLine.size());
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(/*lpApplicationName=*/nullptr, line.data(), /*lpProcessAttributes=*/nullptr,
                        /*lpThreadAttributes=*/nullptr, /*bInheritHandles=*/redirected ? TRUE : FALSE,
                        /*dwCreationFlags=*/0, /*lpEnvironment=*/nullptr, /*lpCurrentDirectory=*/nullptr, &startup,
                        &process)) {
    return lastFailure(kErrorFileNotFound);
  }
  const UniqueKernelHandle processHandle(process.hProcess);
  const UniqueKernelHandle threadHandle(process.hThread);
  if (::WaitForSingleObject(process.hProcess, INFINITE) != WAIT_OBJECT_0) return lastFailure(kErrorInvalidFunction);
  DWORD code = 0;
  if (!::GetExitCodeProcess(process.hProcess, &code)) return lastFailure(kErrorInvalidFunction);
  if (exitCode != nullptr) *exitCode = code;
  return kSuccess;
}

}  // namespace crvl::platform
