// The binding with the real test modules: loading and the accepted sets, the calls of
// every kind of slot operation, passwords, and modules that throw or crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "jobs/path_macros.h"
#include "os_traits.h"
#include "platform/environment.h"
#include "plugins/file_system_plugin.h"
#include "plugins/plugin_calls.h"
#include "plugins/plugin_page.h"
#include "plugins/plugin_slot.h"
#include "plugins/plugin_slot_parts.h"
#include "plugins/plugin_test_support.h"

namespace crvl {
namespace {

using testing::Listed;
using testing::PluginFixture;
using testing::pluginPath;
using testing::testModule;
using testing::testModuleFile;
namespace fs = std::filesystem;

bool contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class BindingTest : public PluginFixture {};

TEST_F(BindingTest, AcceptedSetsLookupOrderAndInitialisation) {
  struct Case {
    const char* file;
    ErrorCode loads;
    std::vector<std::string> firstCalls;  // the module's trace from the start
  };
  const std::string ini = "ini=" + testing::TestModules::utf8(defaultParameterFile(u"x/crvltest_both.wfx64"));
  const Case cases[] = {
      {"crvltest_both.wfx64", 0,
       {"FsInit 0", "FsInitW 0", "FsSetDefaultParams size=272 version=10.2 " + ini, "FsExecuteFileW  | MODE I"}},
      {"crvltest_ansi.wfx", 0, {"FsInit 0", "FsSetDefaultParams", "FsExecuteFile  | MODE I"}},
      {"crvltest_wide.uwfx", 0, {"FsInitW 0", "FsSetDefaultParams", "FsExecuteFileW  | MODE I"}},
      // Without FsFindClose no module is taken, whatever else it has.
      {"crvltest_noclose.wfx64", kErrorProcNotFound, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string module = fs::path(c.file).stem().string();
    modules.configure(module);
    std::unique_ptr<FileSystemPlugin> plugin;
    ASSERT_EQ(loadPlugin(u"P", testModule(c.file), &host, &plugin), c.loads);
    const std::vector<std::string> trace = modules.trace(module);
    ASSERT_GE(trace.size(), c.firstCalls.size());
    for (size_t i = 0; i < c.firstCalls.size(); ++i) EXPECT_EQ(trace[i].rfind(c.firstCalls[i], 0), 0u) << trace[i];
    if (c.loads != 0) {
      EXPECT_TRUE(trace.empty());  // refused before any call
      continue;
    }
    // Wide first, the ANSI form only where the wide one is missing.
    const bool wide = module != "crvltest_ansi";
    EXPECT_EQ(plugin->wide.findFirst != nullptr, wide);
    EXPECT_EQ(plugin->ansi.findFirst != nullptr, !wide);
    EXPECT_TRUE(plugin->wide.disconnect == nullptr || plugin->ansi.disconnect == nullptr);
  }
  // The parameter file's folder is made.
  EXPECT_TRUE(fs::is_directory(fs::path(perUserDataFolder())));
}

TEST_F(BindingTest, AnAnsiOnlyMkDirBesideWideFunctionsStillMakesFolders) {
  modules.configure("crvltest_wide");
  listPlugins({entry(u"Wide", "crvltest_wide.uwfx")});
  ScopedProviderHandle h = table.open(pluginPath(u"Wide"), nullptr);
  ASSERT_TRUE(h);
  EXPECT_NE(callCapabilities(slotOf(h.get()), h.get()) & kCapMakeFolder, 0);
  EXPECT_EQ(callMakeFolder(slotOf(h.get()), h.get(), pluginPath(u"Wide", "/made")), 0u);
  EXPECT_TRUE(fs::is_directory(modules.root("crvltest_wide") / "made"));
  EXPECT_EQ(modules.calls("crvltest_wide", "FsMkDir \\made"), 1u);
}

TEST_F(BindingTest, ModulesLoadOnlyByAbsolutePathAndFindTheirLibrariesBesideThemselves) {
  std::unique_ptr<FileSystemPlugin> plugin;
  EXPECT_EQ(loadPlugin(u"P", u"testplugins/crvltest_both.wfx64", &host, &plugin), kErrorInvalidParameter);
  if constexpr (os::kDrivePaths) {
    EXPECT_EQ(loadPlugin(u"P", u"C:crvltest_both.wfx64", &host, &plugin), kErrorInvalidParameter);
  }
  // The dependent module alone in one folder, its library in the current folder.
  modules.configure("crvltest_dependent");
  tmp.makeFolder("module");
  tmp.makeFolder("current");
  const fs::path moduleCopy = tmp / "module/crvltest_dependent.wfx64";
  fs::copy_file(testModuleFile("crvltest_dependent.wfx64"), moduleCopy);
  fs::copy_file(testModuleFile("dependency/" + testing::dependencyFileName()), tmp / "current" / testing::dependencyFileName());
  const fs::path previous = fs::current_path();
  fs::current_path(tmp / "current");
  const ErrorCode fromCurrent = loadPlugin(u"P", testing::u16(moduleCopy), &host, &plugin);
  fs::current_path(previous);
  EXPECT_NE(fromCurrent, 0u);
  EXPECT_EQ(plugin, nullptr);
  // Beside the module it is found.
  fs::copy_file(tmp / "current" / testing::dependencyFileName(), tmp / "module" / testing::dependencyFileName());
  ASSERT_EQ(loadPlugin(u"P", testing::u16(moduleCopy), &host, &plugin), 0u);
  EXPECT_TRUE(contains(modules.trace("crvltest_dependent"), "dependency 42"));
}

TEST_F(BindingTest, ThePasswordIsAskedOnceAndOtherRequestsAreRefused) {
  modules.configure("crvltest_both", "password=secret\nuser=1");
  modules.configure("crvltest_ansi", "password=secret");
  listPlugins({entry(u"One", "crvltest_both.wfx64"), entry(u"Two", "crvltest_ansi.wfx")});
  std::vector<Listed> listed;
  ScopedProviderHandle one = table.open(pluginPath(u"One"), nullptr);
  ScopedProviderHandle two = table.open(pluginPath(u"Two"), nullptr);
  ASSERT_TRUE(one && two);
  EXPECT_EQ(testing::listFolder(one.get(), pluginPath(u"One"), listed), 0u);
  EXPECT_EQ(prompt.asked, 1);
  // A user-name request is answered false, without asking.
  EXPECT_TRUE(contains(modules.trace("crvltest_both"), "request user refused"));
  EXPECT_TRUE(contains(modules.trace("crvltest_both"), "request password matches"));
  // The second module's request (ANSI) gets the remembered password.
  EXPECT_EQ(testing::listFolder(two.get(), pluginPath(u"Two"), listed), 0u);
  EXPECT_EQ(prompt.asked, 1);
  EXPECT_TRUE(contains(modules.trace("crvltest_ansi"), "request password matches"));
}

TEST(PasswordCallbacks, AnswersAreCutToTheModulesBufferAndOnlyPasswordsAreAnswered) {
  RememberedPassword remembered;
  testing::CountingPrompt prompt;
  prompt.answer = u"s\u00e9cret-" + std::u16string(200, u'x');
  PasswordRequests requests{&remembered, {&prompt, &testing::CountingPrompt::ask}};
  setPasswordRequests(&requests);
  char16_t wide[5];
  EXPECT_EQ(plugin_callbacks::requestW(0, wfx::kRequestUserName, nullptr, nullptr, wide, 5), 0);
  EXPECT_EQ(plugin_callbacks::requestW(0, wfx::kRequestAccount, nullptr, nullptr, wide, 5), 0);
  EXPECT_EQ(prompt.asked, 0);
  EXPECT_EQ(plugin_callbacks::requestW(0, wfx::kRequestPassword, nullptr, nullptr, wide, 5), 1);
  EXPECT_EQ(std::u16string(wide), u"s\u00e9cr");
  char ansi[4];
  EXPECT_EQ(plugin_callbacks::requestA(0, wfx::kRequestFirewallPassword, nullptr, nullptr, ansi, 4), 1);
  EXPECT_EQ(std::string(ansi), "s\xe9" "c");  // the system code page
  EXPECT_EQ(prompt.asked, 1);
  // What is remembered is cut to 127 characters.
  std::u16string kept;
  ASSERT_TRUE(remembered.get(kept));
  EXPECT_EQ(kept, prompt.answer.substr(0, 127));
  // A cancelled prompt remembers nothing.
  remembered.clear();
  prompt.cancel = true;
  EXPECT_EQ(plugin_callbacks::requestW(0, wfx::kRequestPassword, nullptr, nullptr, wide, 5), 0);
  EXPECT_FALSE(remembered.get(kept));
  setPasswordRequests(nullptr);
  EXPECT_EQ(plugin_callbacks::requestW(0, wfx::kRequestPassword, nullptr, nullptr, wide, 5), 0);
}

TEST_F(BindingTest, APutIntoAMissingFolderMakesItOnceAndTriesOnceMore) {
  modules.configure("crvltest_both");
  listPlugins({entry(u"One", "crvltest_both.wfx64")});
  tmp.write("local/a.txt", "a");
  ScopedProviderHandle h = table.open(pluginPath(u"One"), nullptr);
  ASSERT_TRUE(h);
  FileSystemProvider* slot = slotOf(h.get());
  EXPECT_EQ(callPutFile(slot, h.get(), tmp.text("local/a.txt"), pluginPath(u"One", "/new/a.txt"), nullptr, 0,
                        nullptr, nullptr),
            0u);
  EXPECT_EQ(tmp.read("remote-crvltest_both/new/a.txt"), "a");
  EXPECT_EQ(modules.calls("crvltest_both", "FsPutFileW \\new\\a.txt"), 2u);
  EXPECT_EQ(modules.calls("crvltest_both", "FsMkDirW \\new"), 1u);
  // When the folder cannot be made the put is not tried again.
  modules.configure("crvltest_both", "fail=FsMkDir");
  modules.clearTrace("crvltest_both");
  EXPECT_EQ(callPutFile(slot, h.get(), tmp.text("local/a.txt"), pluginPath(u"One", "/other/a.txt"), nullptr, 0,
                        nullptr, nullptr),
            kErrorFileNotFound);
  EXPECT_EQ(modules.calls("crvltest_both", "FsPutFileW"), 1u);
  // A put that adds a file never replaces one that appeared; one onto a known file may.
  modules.configure("crvltest_both");
  modules.clearTrace("crvltest_both");
  tmp.write("local/b.txt", "new b");
  tmp.write("remote-crvltest_both/new/b.txt", "old b");
  EXPECT_EQ(callPutFile(slot, h.get(), tmp.text("local/b.txt"), pluginPath(u"One", "/new/b.txt"), nullptr, 0,
                        nullptr, nullptr),
            kErrorFileExists);
  EXPECT_EQ(tmp.read("remote-crvltest_both/new/b.txt"), "old b");
  EXPECT_EQ(callPutFile(slot, h.get(), tmp.text("local/b.txt"), pluginPath(u"One", "/new/b.txt"), nullptr,
                        kCopyOverwrite, nullptr, nullptr),
            0u);
  EXPECT_EQ(tmp.read("remote-crvltest_both/new/b.txt"), "new b");
  EXPECT_EQ(modules.calls("crvltest_both", "FsDeleteFileW \\new\\b.txt"), 1u);
}

TEST_F(BindingTest, StatusCallsFrameEachOperation) {
  modules.configure("crvltest_both");
  listPlugins({entry(u"One", "crvltest_both.wfx64")});
  tmp.makeFolder("remote-crvltest_both/sub");
  ScopedProviderHandle h = table.open(pluginPath(u"One"), nullptr);
  ASSERT_TRUE(h);
  modules.clearTrace("crvltest_both");
  ASSERT_EQ(callMakeFolder(slotOf(h.get()), h.get(), pluginPath(u"One", "/sub/new")), 0u);
  std::vector<Listed> listed;
  ASSERT_EQ(testing::listFolder(h.get(), pluginPath(u"One", "/sub"), listed), 0u);
  const std::vector<std::string> expected = {
      "FsStatusInfoW \\sub\\ start 10", "FsMkDirW \\sub\\new", "FsStatusInfoW \\sub\\ end 10",
      "FsStatusInfoW \\sub\\ start 1",  "FsFindFirstW \\sub",  "FsFindNextW",
      "FsFindNextW",                    "FsFindNextW",         "FsFindClose",
      "FsStatusInfoW \\sub\\ end 1"};
  EXPECT_EQ(modules.trace("crvltest_both"), expected);
}

TEST_F(BindingTest, ListingsDropDotDotAndHostileNamesAndConvertUnixModes) {
  modules.configure("crvltest_both", "unixmodes=1\nhostile=1");
  listPlugins({entry(u"One", "crvltest_both.wfx64")});
  tmp.write("remote-crvltest_both/sub/file.txt", "f");
  tmp.makeFolder("remote-crvltest_both/sub/folder");
  ScopedProviderHandle h = table.open(pluginPath(u"One"), nullptr);
  ASSERT_TRUE(h);
  std::vector<Listed> listed;
  ASSERT_EQ(testing::listFolder(h.get(), pluginPath(u"One", "/sub"), listed), 0u);
  std::vector<std::u16string> names;
  for (const Listed& l : listed) names.push_back(l.name);
  // "." is handed on (the scan skips it); "..", separators, drives and streams never.
  EXPECT_EQ(names, (std::vector<std::u16string>{u".", u"file.txt", u"folder"}));
  EXPECT_EQ(listed[1].attributes & 0x8010, 0x8000);
  EXPECT_EQ(listed[2].attributes & 0x8010, 0x8010);
  if constexpr (!os::kWindows) {
    // rw-r--r-- packed: owner read and write, group read, others read.
    fs::permissions(modules.root("crvltest_both") / "sub/file.txt", fs::perms::owner_read | fs::perms::owner_write |
                                                                         fs::perms::group_read | fs::perms::others_read);
    ASSERT_EQ(testing::listFolder(h.get(), pluginPath(u"One", "/sub"), listed), 0u);
    EXPECT_EQ(listed[1].attributes, 0x8000 | 0x1 | 0x2 | 0x20 | 0x100);
  }
  // Unix-mode attributes are not written back; others are, masked.
  FileSystemProvider* slot = slotOf(h.get());
  modules.clearTrace("crvltest_both");
  EXPECT_EQ(callSetAttributes(slot, h.get(), pluginPath(u"One", "/sub/file.txt"), listed[1].attributes), 0u);
  EXPECT_EQ(modules.calls("crvltest_both", "FsSetAttr"), 0u);
  EXPECT_EQ(callSetAttributes(slot, h.get(), pluginPath(u"One", "/sub/file.txt"), 0x10021), 0u);
  EXPECT_EQ(modules.calls("crvltest_both", "FsSetAttrW \\sub\\file.txt 33"), 1u);
}

TEST_F(BindingTest, AttributesComeFromTheCachedListingOfTheCurrentFolder) {
  modules.configure("crvltest_both");
  listPlugins({entry(u"One", "crvltest_both.wfx64")});
  tmp.write("remote-crvltest_both/dir/a.txt", "abc");
  tmp.write("remote-crvltest_both/other/b.txt", "b");
  ScopedProviderHandle h = table.open(pluginPath(u"One", "/dir"), nullptr);
  ASSERT_TRUE(h);
  FileSystemProvider* slot = slotOf(h.get());
  // The root is there when it can be listed.
  EXPECT_EQ(callGetAttributes(slot, h.get(), pluginPath(u"One"), nullptr), kFolderAttribute);
  std::vector<Listed> listed;
  ASSERT_EQ(testing::listFolder(h.get(), pluginPath(u"One", "/dir"), listed), 0u);
  modules.clearTrace("crvltest_both");
  EntryBlock block;
  EXPECT_EQ(callGetAttributes(slot, h.get(), pluginPath(u"One", "/dir/A.TXT"), &block), 0x20u);
  EXPECT_EQ(uint64_t{block.size}, 3u);
  EXPECT_EQ(callGetAttributes(slot, h.get(), pluginPath(u"One", "/dir/none"), nullptr), 0xFFFFFFFFu);
  EXPECT_EQ(modules.calls("crvltest_both", "FsFindFirst"), 0u);  // from the cache
  // Another folder is listed; a change through the handle drops the cache.
  EXPECT_EQ(callGetAttributes(slot, h.get(), pluginPath(u"One", "/other/b.txt"), nullptr), 0x20u);
  EXPECT_EQ(modules.calls("crvltest_both", "FsFindFirstW \\other"), 1u);
  ASSERT_EQ(callMakeFolder(slot, h.get(), pluginPath(u"One", "/dir/new")), 0u);
  EXPECT_EQ(callGetAttributes(slot, h.get(), pluginPath(u"One", "/dir/new"), nullptr), 0x10u);
}

TEST_F(BindingTest, PathsWithoutAnAnsiFormNeverReachAnAnsiModule) {
  modules.configure("crvltest_ansi");
  listPlugins({entry(u"Two", "crvltest_ansi.wfx")});
  ScopedProviderHandle h = table.open(pluginPath(u"Two"), nullptr);
  ASSERT_TRUE(h);
  FileSystemProvider* slot = slotOf(h.get());
  const std::u16string sep = os::kWindows ? u"\\" : u"/";
  EXPECT_EQ(callMakeFolder(slot, h.get(), pluginPath(u"Two") + sep + u"caf\u00e9"), 0u);  // é has one
  EXPECT_TRUE(fs::is_directory(modules.root("crvltest_ansi") / fs::path(u"caf\u00e9")));
  EXPECT_EQ(callMakeFolder(slot, h.get(), pluginPath(u"Two") + sep + u"\u0441\u043d\u0435\u0433"), kErrorInvalidName);
  EXPECT_EQ(modules.calls("crvltest_ansi", "FsMkDir"), 1u);
}

TEST_F(BindingTest, FoldersNamesAndCommandsOfAPluginSlot) {
  modules.configure("crvltest_both", "links=1");
  listPlugins({entry(u"One", "crvltest_both.wfx64")});
  tmp.makeFolder("remote-crvltest_both/a/b");
  // The plug-in root registers the list and moves into a plug-in by its name.
  ScopedProviderHandle h = table.open(u"", nullptr, kProviderPluginRoot);
  ASSERT_TRUE(h);
  std::vector<Listed> listed;
  ASSERT_EQ(testing::listFolder(h.get(), u"", listed), 0u);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].name, u"One");
  // The counts are the table's; the handle calls through its own copy of its slot.
  FileSystemProvider* root = &table.slots[h.get()->slotIndex];
  ASSERT_EQ(slotOf(h.get())->ops.changeFolder(slotOf(h.get()), h.get(), u"One"), 0u);
  FileSystemProvider* slot = &table.slots[h.get()->slotIndex];
  ASSERT_EQ(slot->kind, kProviderPlugin);
  EXPECT_EQ(slotOf(h.get())->context, slot->context);
  EXPECT_EQ(slot->openCount.load(), 1);
  EXPECT_EQ(root->openCount.load(), 0);

  struct Step {
    const char16_t* target;
    ErrorCode result;
    int32_t kind;  // of the handle's slot afterwards
    std::u16string path;
  };
  const Step steps[] = {
      {u"\\\\\\One\\a\\b", 0, kProviderPlugin, u"\\a\\b"},
      {u"..", 0, kProviderPlugin, u"\\a"},
      {u"..", 0, kProviderPlugin, u"\\"},
      {u"..", 0, kProviderPluginRoot, u""},  // ".." at the root leaves the plug-in
  };
  for (const Step& s : steps) {
    FileSystemProvider* now = slotOf(h.get());
    EXPECT_EQ(now->ops.changeFolder(now, h.get(), s.target), s.result);
    EXPECT_EQ(slotOf(h.get())->kind, s.kind);
    EXPECT_EQ(h.get()->path, s.path);
  }
  EXPECT_EQ(slot->openCount.load(), 0);
  EXPECT_EQ(root->openCount.load(), 1);

  ScopedProviderHandle one = table.open(pluginPath(u"One", "/a"), nullptr);
  ASSERT_TRUE(one);
  std::u16string text;
  EXPECT_EQ(callRootName(slot, nullptr, text), 0u);
  EXPECT_EQ(text, u"\\\\\\One");
  // The module declares its files local: their local names come from FsGetLocalName.
  EXPECT_NE(callCapabilities(slot, one.get()) & kCapDirectContents, 0);
  EXPECT_EQ(callTranslatePath(slot, one.get(), pluginPath(u"One", "/a/b"), text), 0u);
  EXPECT_EQ(text, testing::u16(modules.root("crvltest_both") / "a" / "b"));
  EXPECT_EQ(callTranslatePath(slot, one.get(), u"x", text), kErrorNotSupported);
  // "properties" the module leaves to the program; a command goes to the current folder.
  struct Shown {
    std::u16string path;
  } shown;
  host.context = &shown;
  host.showProperties = [](void* context, void*, std::u16string_view path) {
    static_cast<Shown*>(context)->path.assign(path);
  };
  EXPECT_EQ(slot->ops.properties(slot, nullptr, u"\\a"), 0u);
  EXPECT_EQ(shown.path, u"\\\\\\One\\a");
  EXPECT_EQ(slot->ops.sendCommand(slot, one.get(), u"ls -l"), 0u);
  EXPECT_EQ(modules.calls("crvltest_both", "FsExecuteFileW \\a\\ | quote ls -l"), 1u);
  EXPECT_EQ(modules.calls("crvltest_both", "FsDisconnect"), 0u);  // never called
  // A folder's icon is asked for with a trailing separator, in the background, small
  // below 32 pixels; a module that gives none adds nothing to the list.
  EXPECT_EQ(slot->ops.entryIcon(slot, u"\\\\\\One\\a", kFolderAttribute, 16, nullptr), 0);
  EXPECT_EQ(slot->ops.entryIcon(slot, u"\\\\\\One\\a\\f.txt", 0x20, 32, nullptr), 0);
  EXPECT_EQ(slot->ops.entryIcon(slot, u"", 0, 16, nullptr), 0);
  EXPECT_EQ(modules.calls("crvltest_both", "FsExtractCustomIconW \\a\\ 3"), 1u);
  EXPECT_EQ(modules.calls("crvltest_both", "FsExtractCustomIconW \\a\\f.txt 2"), 1u);
}

TEST_F(BindingTest, RegistrationFillsFreeSlotsFromTheEnabledEntriesInListOrder) {
  modules.configure("crvltest_both");
  std::vector<PluginEntry> list = {entry(u"Off", "crvltest_both.wfx64", /*enabled=*/false),
                                   entry(u"Missing", "no-such-module.wfx64"), entry(u"", "crvltest_both.wfx64")};
  // One module under 30 names: 28 slots can take plug-ins.
  for (int i = 1; i <= 30; ++i) list.push_back(entry(u"P" + platform::fromUtf8(std::to_string(i)), "crvltest_both.wfx64"));
  listPlugins(list);
  EXPECT_EQ(table.findSlot(pluginPath(u"P1")), 2);
  EXPECT_EQ(table.findSlot(pluginPath(u"P28", "/x")), 29);
  EXPECT_EQ(table.findSlot(pluginPath(u"P29")), -1);
  EXPECT_EQ(table.findSlot(pluginPath(u"Off")), -1);
  EXPECT_EQ(table.findSlot(pluginPath(u"Missing")), -1);
  EXPECT_FALSE(table.open(pluginPath(u"Off", "/x"), nullptr));

  // Saving the page unchanged keeps the plug-ins; a changed list unloads them.
  PluginListPage page;
  page.load(settings);
  EXPECT_FALSE(page.save(settings, table).changed);
  EXPECT_EQ(table.slots[2].kind, kProviderPlugin);
  page.select(0);
  page.remove();
  EXPECT_TRUE(page.save(settings, table).changed);
  EXPECT_EQ(table.slots[2].kind, kProviderFree);
  EXPECT_EQ(table.findSlot(pluginPath(u"P1")), 2);  // loaded again on the next lookup
}

TEST_F(BindingTest, TheEntryDialogTakesTheDefaultNameOfAChosenModule) {
  modules.configure("crvltest_both", "rootname=Archive");
  modules.configure("crvltest_noclose");
  PluginEntryDialog dialog = openEntryDialog(PluginEntry{});
  EXPECT_TRUE(dialog.browseAtOnce);
  EXPECT_EQ(dialog.titleId, 5539);
  std::u16string message;
  ASSERT_TRUE(chooseModule(dialog, testModule("crvltest_both.wfx64"), &message));
  EXPECT_EQ(dialog.name, u"Archive");
  EXPECT_EQ(dialog.modulePath, testModule("crvltest_both.wfx64"));
  dialog.name = u"kept";
  EXPECT_FALSE(chooseModule(dialog, testModule("crvltest_noclose.wfx64"), &message));
  EXPECT_EQ(message, u"The plugin could not be loaded.\n\ncrvltest_noclose.wfx64");
  EXPECT_EQ(dialog.name, u"kept");
  // OK stores the path in macro form (the modules lie below the program's folder); an
  // entry with a path opens as "Edit Entry", its path shown expanded.
  dialog.modulePath = testModule("crvltest_both.wfx64");
  const PluginEntry accepted = acceptEntryDialog(dialog);
  EXPECT_TRUE(accepted.modulePath.starts_with(u"%MY_PATH%")) << testing::TestModules::utf8(accepted.modulePath);
  EXPECT_EQ(openEntryDialog(accepted).modulePath, testModule("crvltest_both.wfx64"));
  EXPECT_EQ(openEntryDialog(accepted).titleId, 5530);
}

// A module that throws answers 50 and stays usable; one that crashes answers 50 and is
// never called again: its paths find no provider.
TEST_F(BindingTest, AThrowingModuleAnswers50AndACrashedOneIsNeverCalledAgain) {
  // A copy of its own: a crashed module stays given up for the rest of the process.
  fs::copy_file(testModuleFile("crvltest_both.wfx64"), tmp / "crashing.wfx64");
  modules.configure("crvltest_both", "throw=FsFindFirst");
  listPlugins({PluginEntry{true, u"Bad", tmp.text("crashing.wfx64"), u""}});
  ScopedProviderHandle h = table.open(pluginPath(u"Bad"), nullptr);
  ASSERT_TRUE(h);
  FileSystemProvider* slot = slotOf(h.get());
  std::vector<Listed> listed;
  EXPECT_EQ(testing::listFolder(h.get(), pluginPath(u"Bad"), listed), kErrorNotSupported);
  modules.configure("crvltest_both");
  EXPECT_EQ(testing::listFolder(h.get(), pluginPath(u"Bad"), listed), 0u);

  modules.configure("crvltest_both", "crash=FsMkDir");
  EXPECT_EQ(callMakeFolder(slot, h.get(), pluginPath(u"Bad", "/x")), kErrorNotSupported);
  const size_t traced = modules.trace("crvltest_both").size();
  EXPECT_EQ(testing::listFolder(h.get(), pluginPath(u"Bad"), listed), kErrorNotSupported);
  EXPECT_EQ(callGetAttributes(slot, h.get(), pluginPath(u"Bad"), nullptr), 0xFFFFFFFFu);
  EXPECT_FALSE(table.open(pluginPath(u"Bad", "/x"), nullptr));
  h.reset();
  // Not even a changed list loads it again.
  table.unloadAll();
  table.initialize(u"File System Plugins");
  EXPECT_FALSE(table.open(pluginPath(u"Bad"), nullptr));
  EXPECT_EQ(modules.trace("crvltest_both").size(), traced);
}

TEST_F(BindingTest, ThreadsCallingAPluginKeepItLoadedWhileItsListIsUnloaded) {
  modules.configure("crvltest_both");
  listPlugins({entry(u"One", "crvltest_both.wfx64")});
  for (const char* name : {"a/1.txt", "a/2.txt", "a/3.txt"}) tmp.write(std::string("remote-crvltest_both/") + name, "x");
  std::atomic<bool> unloading{true};
  std::atomic<int> whole{0};
  std::atomic<int> partial{0};
  std::atomic<int> opened{0};
  auto caller = [&] {
    while (unloading.load()) {
      ScopedProviderHandle h = table.open(pluginPath(u"One", "/a"), nullptr);
      if (!h) continue;
      opened++;
      std::vector<Listed> listed;
      // A listing either fails or holds every entry; an attribute answer is the file's.
      if (testing::listFolder(h.get(), pluginPath(u"One", "/a"), listed) == 0) {
        const auto files = std::count_if(listed.begin(), listed.end(), [](const Listed& l) { return l.attributes == 0x20; });
        (files == 3 ? whole : partial)++;
      }
      const uint32_t attributes = callGetAttributes(slotOf(h.get()), h.get(), pluginPath(u"One", "/a/2.txt"), nullptr);
      if (attributes != 0xFFFFFFFFu && (attributes & kFolderAttribute) != 0) partial++;
    }
  };
  std::vector<std::thread> callers;
  for (int i = 0; i < 3; ++i) callers.emplace_back(caller);
  // Each round unloads a plug-in that a caller has loaded again and is using.
  for (int round = 0; round < 100; ++round) {
    const int seen = opened.load();
    while (opened.load() == seen) std::this_thread::yield();
    unloadPlugins(table);
  }
  unloading = false;
  for (std::thread& t : callers) t.join();
  EXPECT_GT(whole.load(), 0);
  EXPECT_EQ(partial.load(), 0);
}

TEST(PasswordTexts, AWipedTextLeavesNoCharacterInItsWholeBuffer) {
  // A text that held a longer password keeps those characters beyond its size.
  std::u16string text(40, u'p');
  text.resize(3);
  const char16_t* buffer = text.data();
  const size_t capacity = text.capacity();
  wipeText(text);
  EXPECT_TRUE(text.empty());
  ASSERT_EQ(text.data(), buffer);  // the buffer stays with the text
  EXPECT_EQ(std::count(buffer, buffer + capacity, u'p'), 0);
}

TEST(TransferResults, ModuleResultsBecomeErrorCodes) {
  const std::pair<int32_t, ErrorCode> cases[] = {{0, 0},  {1, 80},   {7, 80},  {2, 2},   {3, 30},
                                                 {4, 29}, {5, 1235}, {6, 50},  {-1, 50}, {99, 50}};
  for (const auto& [result, code] : cases) EXPECT_EQ(plugin_slot::transferResult(result), code) << result;
}

}  // namespace
}  // namespace crvl
