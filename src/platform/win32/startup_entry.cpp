// The Startup-folder shortcut that starts the program with the user's session, made
// with the shell-link object and saved through IPersistFile.
#include "platform/startup_entry.h"

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <string>

#include "platform/environment.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/win32/handles.h"

namespace crvl::platform {
namespace {

const wchar_t* wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

std::u16string specialFolder(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(/*hwnd=*/nullptr, csidl, /*hToken=*/nullptr, SHGFP_TYPE_CURRENT, buffer))) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(buffer));
}

// "CRVL.lnk" for "...\CRVL.exe", "CRVL 1a2b3c4d.lnk" with a tag.
std::u16string linkFileName(std::u16string_view program, std::u16string_view tag) {
  std::u16string name(fileNameOf(program));
  const size_t dot = name.rfind(u'.');
  if (dot != std::u16string::npos) name.resize(dot);
  if (name.empty()) return {};
  if (!tag.empty()) name += u" " + std::u16string(tag);
  return name + u".lnk";
}

std::u16string inFolder(std::u16string folder, std::u16string_view name) {
  if (folder.empty() || name.empty()) return {};
  appendPathComponent(folder, name);
  return folder;
}

// COM for the calling thread while the scope lasts (only undone when this call did it).
class ComScope {
 public:
  ComScope() : ok_(SUCCEEDED(::CoInitializeEx(/*pvReserved=*/nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComScope() {
    if (ok_) ::CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  bool ok_;
};

// Joins arguments as a command line: an argument with a blank or a quote is quoted,
// with its quotes escaped.
std::u16string commandLine(const std::vector<std::u16string>& arguments) {
  std::u16string line;
  for (const std::u16string& a : arguments) {
    if (!line.empty()) line += u' ';
    if (!a.empty() && a.find_first_of(u" \t\"") == std::u16string::npos) {
      line += a;
      continue;
    }
    line += u'"';
    for (char16_t c : a) {
      if (c == u'"') line += u'\\';
      line += c;
    }
    line += u'"';
  }
  return line;
}

ErrorCode saveLink(const std::u16string& path, std::u16string_view target, const std::u16string& arguments) {
  IShellLinkW* link = nullptr;
  HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, /*pUnkOuter=*/nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&link));
  if (FAILED(hr)) return kErrorInvalidFunction;
  const ComPtr<IShellLinkW> linkOwner(link);
  const std::u16string program(target);
  const std::u16string folder(folderOf(target));
  const std::u16string description = linkFileName(target, u"");
  hr = link->SetPath(wide(program));
  if (SUCCEEDED(hr)) hr = link->SetWorkingDirectory(wide(folder));
  if (SUCCEEDED(hr)) hr = link->SetDescription(wide(description));
  if (SUCCEEDED(hr)) hr = link->SetArguments(wide(arguments));
  IPersistFile* file = nullptr;
  if (SUCCEEDED(hr)) hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  if (FAILED(hr)) return kErrorInvalidFunction;
  const ComPtr<IPersistFile> fileOwner(file);
  return SUCCEEDED(file->Save(wide(path), /*fRemember=*/TRUE)) ? kSuccess : kErrorAccessDenied;
}

// When the shortcut cannot be saved in place: saved under a unique name in a folder of
// its own in the temporary folder, moved into place, and the folder removed again.
ErrorCode saveLinkThroughTemporaryFolder(const std::u16string& target, std::u16string_view program,
                                        const std::u16string& arguments) {
  const std::u16string base = inFolder(tempFolder(), u"crvl-link");
  std::u16string folder;
  for (int n = 1; n < 1000 && folder.empty(); ++n) {
    const std::u16string candidate = base + u"-" + fromUtf8(std::to_string(n));
    if (createFolder(candidate) == kSuccess) folder = candidate;
  }
  if (folder.empty()) return kErrorAccessDenied;
  const std::u16string temporary = inFolder(folder, fileNameOf(target));
  ErrorCode r = saveLink(temporary, program, arguments);
  if (r == kSuccess) r = moveEntry(temporary, target);
  if (r != kSuccess) (void)deleteFile(temporary);
  (void)removeFolder(folder);
  return r;
}

}  // namespace

std::u16string startupEntryPath(std::u16string_view program, std::u16string_view tag) {
  std::u16string folder = specialFolder(CSIDL_STARTUP);
  if (folder.empty()) folder = specialFolder(CSIDL_COMMON_STARTUP);
  return inFolder(folder, linkFileName(program, tag));
}

ErrorCode setStartupEntry(bool on, std::u16string_view program, std::u16string_view tag, std::u16string_view,
                          const std::vector<std::u16string>& arguments) {
  const std::u16string user = inFolder(specialFolder(CSIDL_STARTUP), linkFileName(program, tag));
  if (!user.empty()) {
    // A twin in the all-users folder would start a second instance.
    const std::u16string common = inFolder(specialFolder(CSIDL_COMMON_STARTUP), linkFileName(program, tag));
    if (!common.empty() && pathExists(common)) (void)deleteFile(common);
  }
  const std::u16string path = startupEntryPath(program, tag);
  if (path.empty()) return kErrorPathNotFound;
  if (!on) {
    const ErrorCode r = deleteFile(path);
    return r == kErrorFileNotFound || r == kErrorPathNotFound ? kSuccess : r;
  }
  if (pathExists(path)) return kSuccess;  // left as it is, even when the delay changed
  const ComScope com;
  const std::u16string line = commandLine(arguments);
  if (saveLink(path, program, line) == kSuccess) return kSuccess;
  return saveLinkThroughTemporaryFolder(path, program, line);
}

bool readStartupEntry(std::u16string_view program, std::u16string_view tag, std::u16string* arguments) {
  const std::u16string path = startupEntryPath(program, tag);
  if (path.empty() || !pathExists(path)) return false;
  const ComScope com;
  IShellLinkW* link = nullptr;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, /*pUnkOuter=*/nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
    return false;
  }
  const ComPtr<IShellLinkW> linkOwner(link);
  IPersistFile* file = nullptr;
  if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) return false;
  const ComPtr<IPersistFile> fileOwner(file);
  if (FAILED(file->Load(wide(path), STGM_READ))) return false;
  wchar_t buffer[1024] = {};
  if (FAILED(link->GetArguments(buffer, 1024))) return false;
  if (arguments != nullptr) *arguments = reinterpret_cast<const char16_t*>(buffer);
  return true;
}

}  // namespace crvl::platform
