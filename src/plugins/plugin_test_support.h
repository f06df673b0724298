// Helpers of the plug-in tests: the test modules of tools/plugins, their parameter
// files and call traces, and a provider table whose plug-in list is a settings file of
// the test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "engine/provider_table.h"
#include "jobs/profile_store.h"
#include "os_traits.h"
#include "platform/environment.h"
#include "platform/test_folder.h"
#include "platform/text.h"
#include "plugins/plugin_callbacks.h"
#include "plugins/plugin_host.h"
#include "plugins/plugin_list.h"
#include "plugins/remembered_password.h"

namespace crvl::testing {

namespace fs = std::filesystem;

// A test module built beside the tests ("crvltest_both.wfx64"). The test program's own
// folder is the build folder, as the system names it (under Wine a Windows path).
inline fs::path testModuleFile(const std::string& file) {
  return fs::path(platform::programFolder()) / "testplugins" / file;
}
inline std::u16string testModule(const std::string& file) { return u16(testModuleFile(file)); }

// The library the dependent module needs.
inline std::string dependencyFileName() {
  return os::kWindows ? "crvltest_dependency.dll" : "libcrvltest_dependency.so";
}


// A path that addresses a plug-in: three separators, its name, and `rest` (with '/'
// between components; native separators on the way out).
inline std::u16string pluginPath(const std::u16string& name, const std::string& rest = {}) {
  const char16_t sep = os::kWindows ? u'\\' : u'/';
  std::u16string path = std::u16string(3, sep) + name;
  for (char c : rest) path.push_back(c == '/' ? sep : static_cast<char16_t>(c));
  return path;
}

// The parameter files, the local folders and the call traces of the test modules of
// one test. Each module (by its build name, "crvltest_both") shows the folder
// remote-<name> of the test folder.
class TestModules {
 public:
  explicit TestModules(const TempFolder& tmp)
      : tmp_(tmp), dir_(tmp.text("modules")), config_(u"CRVL_TESTFS_DIR", dir_),
        // The per-user folder of FsSetDefaultParams (POSIX) lies in the test folder too.
        appData_(u"XDG_CONFIG_HOME", tmp.text("config")) {
    tmp.makeFolder("modules");
  }

  // Writes the module's parameter file: its root and trace, then `switches` (lines of
  // "key=value"). The root folder is made.
  void configure(const std::string& module, const std::string& switches = {}) const {
    tmp_.makeFolder("remote-" + module);
    tmp_.write("modules/" + module + ".ini", "[testfs]\nroot=" + utf8(tmp_.text("remote-" + module)) +
                                                 "\ntrace=" + utf8(tmp_.text("modules/" + module + ".trace")) +
                                                 "\n" + switches + "\n");
  }
  [[nodiscard]] fs::path root(const std::string& module) const { return tmp_ / ("remote-" + module); }

  // The lines the module traced so far.
  [[nodiscard]] std::vector<std::string> trace(const std::string& module) const {
    std::vector<std::string> lines;
    std::ifstream in(tmp_ / ("modules/" + module + ".trace"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // How many traced lines begin with `prefix`.
  [[nodiscard]] size_t calls(const std::string& module, const std::string& prefix) const {
    size_t n = 0;
    for (const std::string& line : trace(module)) n += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }
  void clearTrace(const std::string& module) const { tmp_.remove("modules/" + module + ".trace"); }

  static std::string utf8(const std::u16string& text) { return platform::toUtf8(text); }

 private:
  const TempFolder& tmp_;
  std::u16string dir_;
  ScopedVariable config_;
  ScopedVariable appData_;
};

// Answers password requests with a set text and counts them.
struct CountingPrompt {
  std::u16string answer = u"secret";
  bool cancel = false;
  int asked = 0;
  static bool ask(void* context, std::u16string_view, std::u16string& typed) {
    auto* self = static_cast<CountingPrompt*>(context);
    ++self->asked;
    if (self->cancel) return false;
    typed = self->answer;
    return true;
  }
};

// A provider table with the built-in slots whose plug-ins come from a settings file of
// the test, and the password requests of the process pointed at a counting prompt.
class PluginFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    settings.openStore(tmp.text("settings.ini"), kStoreOwnFile);
    host.settings = &settings;
    table.initialize(u"File System Plugins");
    table.setPluginRegistration(pluginRegistration(host));
    requests.remembered = &remembered;
    requests.prompt = PasswordPrompt{&prompt, &CountingPrompt::ask};
    setPasswordRequests(&requests);
  }
  void TearDown() override {
    table.unloadAll();
    setPasswordRequests(nullptr);
  }

  // Makes `entries` the plug-in list (module files given by build file name).
  void listPlugins(const std::vector<PluginEntry>& entries) { (void)writePluginEntries(settings, entries); }
  static PluginEntry entry(const std::u16string& name, const std::string& moduleFile, bool enabled = true) {
    return PluginEntry{enabled, name, testModule(moduleFile), u""};
  }

  TempFolder tmp;
  TestModules modules{tmp};
  ProfileStore settings;
  RememberedPassword remembered;
  CountingPrompt prompt;
  PasswordRequests requests;
  PluginHost host;
  ProviderTable table;  // after the host: its plug-ins go first
};

// Every name a slot's enumeration hands out for `folder`, in order, with attributes.
struct Listed {
  std::u16string name;
  uint16_t attributes;
};
inline ErrorCode listFolder(ProviderHandle* handle, std::u16string_view folder, std::vector<Listed>& out) {
  out.clear();
  return callEnumerate(
      slotOf(handle), handle, folder,
      [](void* data, const FindRecord& r) {
        static_cast<std::vector<Listed>*>(data)->push_back({std::u16string(r.name, r.nameLength), r.block.attributes});
        return 0;
      },
      &out);
}

}  // namespace crvl::testing
