// One loaded plug-in module: its entry points, found by name (the wide form first), and
// loading and initialising it. The record belongs to the provider slot it fills (or to
// whoever loaded it on its own, such as the entry dialog's browse).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/errors.h"
#include "platform/modules.h"
#include "plugins/plugin_interface.h"

namespace crvl {

// The entry points of one form (ANSI or wide) of the interface; null where absent.
template <typename E>
struct PluginEntryPoints {
  typename E::Init init = nullptr;
  typename E::Disconnect disconnect = nullptr;
  typename E::FindFirst findFirst = nullptr;
  typename E::FindNext findNext = nullptr;
  typename E::MkDir mkDir = nullptr;
  typename E::RemoveDir removeDir = nullptr;
  typename E::ExecuteFile executeFile = nullptr;
  typename E::RenMovFile renMovFile = nullptr;
  typename E::GetFile getFile = nullptr;
  typename E::PutFile putFile = nullptr;
  typename E::Delete deleteFile = nullptr;
  typename E::SetAttr setAttr = nullptr;
  typename E::SetTime setTime = nullptr;
  typename E::StatusInfo statusInfo = nullptr;
  typename E::ExtractCustomIcon extractCustomIcon = nullptr;
  typename E::GetLocalName getLocalName = nullptr;
};

struct PluginHost;

struct FileSystemPlugin {
  FileSystemPlugin() = default;
  FileSystemPlugin(const FileSystemPlugin&) = delete;
  FileSystemPlugin& operator=(const FileSystemPlugin&) = delete;
  // Frees the module, unless it became unusable: then it stays mapped, never called.
  ~FileSystemPlugin();

  platform::Module module;
  // For every function with a wide form only one of the two is filled: the wide one
  // when the module has it, else the ANSI one. Both forms of FsInit are kept.
  PluginEntryPoints<wfx::EntriesA> ansi;
  PluginEntryPoints<wfx::EntriesW> wide;
  // The functions that exist in the ANSI form only.
  wfx::FindCloseFn findClose = nullptr;
  wfx::GetDefRootNameFn getDefRootName = nullptr;
  wfx::SetDefaultParamsFn setDefaultParams = nullptr;
  wfx::LinksToLocalFilesFn linksToLocalFiles = nullptr;

  std::u16string name;        // the configured name: how paths address the plug-in
  std::u16string modulePath;  // absolute, macros expanded
  PluginHost* host = nullptr;  // what the slot reaches of the program (may be null)

  // Set once a call into the module faulted: its frames were dropped without clean-up,
  // so it is never called again in this process.
  std::atomic<bool> unusable{false};
};

// Finds the entry points of a loaded module by name: for every function with a wide
// form the wide name first ("FsMkDirW") and the ANSI name only when it is missing; the
// ANSI-only functions and FsInit in both forms. Returns whether the module has an
// accepted set: FsInit, FsFindFirst and FsFindNext all wide or all ANSI, and in either
// case FsFindClose.
[[nodiscard]] bool resolveEntryPoints(FileSystemPlugin& plugin);

// Loads the module at `modulePath` (macros already expanded; a relative path is refused
// with 87) as the plug-in `name`, while system error boxes are off: resolves and checks
// its entry points (127 when no accepted set is there), calls FsInit and FsInitW with
// plug-in number 0 and the program's callbacks, then FsSetDefaultParams with the
// parameter file "%APPDATA%\Halberic\<module base name>.ini" (the folder made when
// missing), then FsExecuteFile with "MODE I". A call that faults makes the load fail
// (1114). On success `*out` holds the initialised plug-in.
[[nodiscard]] ErrorCode loadPlugin(std::u16string_view name, std::u16string_view modulePath, PluginHost* host,
                                   std::unique_ptr<FileSystemPlugin>* out);

// The parameter file name handed to FsSetDefaultParams for a module path: the
// per-user data folder, a separator, the module's file name without its extension and
// ".ini"; "wfx.ini" there without a module path.
[[nodiscard]] std::u16string defaultParameterFile(std::u16string_view modulePath);

}  // namespace crvl
