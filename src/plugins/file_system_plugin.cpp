#include "plugins/file_system_plugin.h"

#include <string>

#include "jobs/path_macros.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/shell_files.h"
#include "platform/text.h"
#include "plugins/plugin_calls.h"
#include "plugins/plugin_host.h"

namespace crvl {
namespace {

// Looks up "Fs<name>W" first and "Fs<name>" only when the wide one is missing.
template <typename W, typename A>
void lookUp(const platform::Module& module, const char* name, W& wide, A& ansi) {
  const std::string ansiName = std::string("Fs") + name;
  wide = module.function<W>((ansiName + "W").c_str());
  ansi = wide == nullptr ? module.function<A>(ansiName.c_str()) : nullptr;
}

// System error boxes (critical errors, faults, files that cannot be opened) stay off
// while a module loads: a broken module must not stop the program with a dialog.
constexpr uint32_t kQuietErrorMode = 0x8003;

}  // namespace

FileSystemPlugin::~FileSystemPlugin() {
  if (unusable.load()) module.abandon();
}

bool resolveEntryPoints(FileSystemPlugin& p) {
  const platform::Module& m = p.module;
  p.ansi = {};
  p.wide = {};
  // FsInit is called in both forms when both exist.
  p.ansi.init = m.function<wfx::EntriesA::Init>("FsInit");
  p.wide.init = m.function<wfx::EntriesW::Init>("FsInitW");
  lookUp(m, "Disconnect", p.wide.disconnect, p.ansi.disconnect);
  lookUp(m, "FindFirst", p.wide.findFirst, p.ansi.findFirst);
  lookUp(m, "FindNext", p.wide.findNext, p.ansi.findNext);
  lookUp(m, "MkDir", p.wide.mkDir, p.ansi.mkDir);
  lookUp(m, "RemoveDir", p.wide.removeDir, p.ansi.removeDir);
  lookUp(m, "ExecuteFile", p.wide.executeFile, p.ansi.executeFile);
  lookUp(m, "RenMovFile", p.wide.renMovFile, p.ansi.renMovFile);
  lookUp(m, "GetFile", p.wide.getFile, p.ansi.getFile);
  lookUp(m, "PutFile", p.wide.putFile, p.ansi.putFile);
  lookUp(m, "DeleteFile", p.wide.deleteFile, p.ansi.deleteFile);
  lookUp(m, "SetAttr", p.wide.setAttr, p.ansi.setAttr);
  lookUp(m, "SetTime", p.wide.setTime, p.ansi.setTime);
  lookUp(m, "StatusInfo", p.wide.statusInfo, p.ansi.statusInfo);
  lookUp(m, "ExtractCustomIcon", p.wide.extractCustomIcon, p.ansi.extractCustomIcon);
  lookUp(m, "GetLocalName", p.wide.getLocalName, p.ansi.getLocalName);
  p.findClose = m.function<wfx::FindCloseFn>("FsFindClose");
  p.getDefRootName = m.function<wfx::GetDefRootNameFn>("FsGetDefRootName");
  p.setDefaultParams = m.function<wfx::SetDefaultParamsFn>("FsSetDefaultParams");
  p.linksToLocalFiles = m.function<wfx::LinksToLocalFilesFn>("FsLinksToLocalFiles");

  const bool wideSet = m.symbol("FsInitW") != nullptr && m.symbol("FsFindFirstW") != nullptr &&
                       m.symbol("FsFindNextW") != nullptr;
  const bool ansiSet =
      m.symbol("FsInit") != nullptr && m.symbol("FsFindFirst") != nullptr && m.symbol("FsFindNext") != nullptr;
  return (wideSet || ansiSet) && p.findClose != nullptr;
}

std::u16string defaultParameterFile(std::u16string_view modulePath) {
  std::u16string base = modulePath.empty() ? std::u16string(u"wfx") : std::u16string(platform::fileNameOf(modulePath));
  const size_t dot = base.rfind(u'.');
  if (dot != std::u16string::npos && dot > 0) base.resize(dot);
  return perUserDataFolder(base + u".ini");
}

ErrorCode loadPlugin(std::u16string_view name, std::u16string_view modulePath, PluginHost* host,
                     std::unique_ptr<FileSystemPlugin>* out) {
  out->reset();
  auto plugin = std::make_unique<FileSystemPlugin>();
  const uint32_t previousMode = platform::setProcessErrorMode(kQuietErrorMode);
  const ErrorCode loaded = plugin->module.loadFile(modulePath);
  (void)platform::setProcessErrorMode(previousMode);
  if (loaded != 0) return loaded;
  if (!resolveEntryPoints(*plugin)) return kErrorProcNotFound;
  plugin->name.assign(name);
  plugin->modulePath.assign(modulePath);
  plugin->host = host;

  if (const ErrorCode r = plugin_calls::initialise(*plugin); r != 0) return r;
  if (plugin->setDefaultParams != nullptr) {
    const std::u16string iniName = defaultParameterFile(modulePath);
    std::u16string folder(platform::folderOf(iniName));
    if (!platform::isFolder(folder)) (void)platform::createFolderChain(folder);
    wfx::DefaultParams params{};
    params.size = static_cast<int32_t>(sizeof params);
    params.interfaceVersionLow = wfx::kInterfaceVersionLow;
    params.interfaceVersionHigh = wfx::kInterfaceVersionHigh;
    const std::string ansi = platform::utf16ToAnsi(iniName);
    ansi.copy(params.defaultIniName, sizeof params.defaultIniName - 1);
    (void)plugin_calls::setDefaultParams(*plugin, params);
  }
  // Binary transfers from here on.
  (void)plugin_calls::executeFile(*plugin, host != nullptr ? host->mainWindow : nullptr, u"", u"MODE I");
  if (plugin->unusable.load()) return kErrorDllInitFailed;
  *out = std::move(plugin);
  return 0;
}

}  // namespace crvl
