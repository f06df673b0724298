#include "shell/tray_menu.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "jobs/profile_store.h"
#include "language/language_table.h"
#include "platform/test_folder.h"
#include "platform/text.h"
#include "shell/menu_commands.h"

namespace crvl::shell {
namespace {

RegisterRow job(std::u16string name, std::u16string path = u"x.job") {
  return {RegisterKind::Job, std::move(name), std::move(path)};
}
RegisterRow group(std::u16string name) { return {RegisterKind::GroupStart, std::move(name), {}}; }
RegisterRow groupEnd() { return {RegisterKind::GroupEnd, {}, {}}; }
RegisterRow separator() { return {RegisterKind::Separator, {}, {}}; }

// The items as one line of text: texts without "&", "-" for separators, submenus in
// brackets, greyed items marked with "~".
std::string render(const std::vector<MenuItem>& items) {
  std::string out;
  for (const MenuItem& item : items) {
    if (!out.empty()) out += ",";
    if (item.isSeparator()) {
      out += "-";
      continue;
    }
    if (item.grayed) out += "~";
    out += platform::toUtf8(withoutMnemonics(item.text));
    if (item.hasSubmenu) out += "[" + render(item.submenu) + "]";
  }
  return out;
}

const MenuItem* findItem(const std::vector<MenuItem>& items, uint16_t id) {
  for (const MenuItem& item : items) {
    if (item.id == id) return &item;
  }
  return nullptr;
}

class TrayMenuTest : public ::testing::Test {
 protected:
  TrayMenuTest() { input_.jobTemplate = languageResources().jobMenu; }

  std::vector<MenuItem> build(LanguageTable table = englishTable()) {
    std::vector<MenuItem> items = buildTrayMenu(languageResources().trayMenu, input_);
    EXPECT_TRUE(resolveMenuTexts(items, [table](uint16_t id) { return lookupText(table, id); }));
    return items;
  }
  std::string jobsMenu() {
    const std::vector<MenuItem> items = build();
    const MenuItem* jobs = findItem(items, kCmdJobsMenu);
    return jobs == nullptr ? "(none)" : render(jobs->submenu);
  }

  TrayMenuInput input_;
};

constexpr const char* kIdleJob = "Start now,Plan...,View log...,Simulate...,Customize...";
constexpr const char* kRunningJob = "Stop,Plan...,View log...,Simulate...,Customize...";

TEST_F(TrayMenuTest, WholeMenuInEnglishAndGerman) {
  input_.darkModeAvailable = true;
  input_.darkModeChoice = 1;
  EXPECT_EQ(render(build()),
            "Jobs[Configure...],-,Stop,View Log...,Plan...,-,"
            "Dark Mode[Disable dark mode,Force dark mode],Configuration...,Backup Settings...,"
            "Restore Settings...,-,Language...,-,Help[Help,Go Online,Check for Updates,"
            "Product Information...],-,Exit");
  // German: 114 is cut at its ';'.
  EXPECT_EQ(render(build(germanTable())),
            "Aufgaben[Einstellen...],-,Abbrechen,Protokoll...,Planen...,-,"
            "Dunkelmodus[Hell,Dunkel],Konfiguration...,Einstellungen sichern...,"
            "Einstellungen wiederherstellen...,-,Sprache...,-,Hilfe[Hilfe,Homepage besuchen,"
            "Nach Updates suchen,Produktinformation...],-,Beenden");
}

TEST_F(TrayMenuTest, DarkModeItemsLeaveOutTheCurrentChoiceOrAllWithoutSystemSupport) {
  input_.darkModeAvailable = true;
  const char* expected[] = {"Allow dark mode,Force dark mode", "Disable dark mode,Force dark mode",
                            "Disable dark mode,Allow dark mode"};
  for (uint32_t choice = 0; choice < 3; ++choice) {
    input_.darkModeChoice = choice;
    const std::vector<MenuItem> items = build();
    const MenuItem* dark = findItem(items, kCmdDarkMode);
    ASSERT_NE(dark, nullptr);
    EXPECT_EQ(render(dark->submenu), expected[choice]);
  }
  input_.darkModeAvailable = false;
  EXPECT_EQ(findItem(build(), kCmdDarkMode), nullptr);
}

TEST_F(TrayMenuTest, JobsSubmenuFromTheRegister) {
  struct Case {
    const char* what;
    std::vector<RegisterRow> rows;
    std::string expected;
  };
  const std::string idle = kIdleJob;
  const Case cases[] = {
      {"no jobs: no separator", {}, "Configure..."},
      {"only empty entries", {job(u"", u"")}, "Configure..."},
      {"group, job, end, separator, job",
       {group(u"Backup"), job(u"A"), groupEnd(), separator(), job(u"B")},
       "Configure...,-,Backup[A[" + idle + "]],-,B[" + idle + "]"},
      {"a '-' outside a group ends the list",
       {job(u"A"), groupEnd(), job(u"B")},
       "Configure...,-,A[" + idle + "]"},
      {"a group without its end takes the rest",
       {group(u"G"), job(u"A"), job(u"B")},
       "Configure...,-,G[A[" + idle + "],B[" + idle + "]]"},
      {"nested groups", {group(u"Outer"), group(u"Inner"), job(u"A"), groupEnd(), groupEnd(), job(u"B")},
       "Configure...,-,Outer[Inner[A[" + idle + "]]],B[" + idle + "]"},
      {"a job without a job file is not listed", {job(u"NoFile", u""), job(u"A")},
       "Configure...,-,A[" + idle + "]"},
      {"an empty first field shows nothing", {job(u"", u"y.job"), job(u"A")},
       "Configure...,-,A[" + idle + "]"},
      {"'&' in names shows as itself", {group(u"R&D"), job(u"Q&A"), groupEnd()},
       "Configure...,-,R&D[Q&A[" + idle + "]]"},
  };
  for (const Case& c : cases) {
    input_.jobs = c.rows;
    EXPECT_EQ(jobsMenu(), c.expected) << c.what;
  }
}

TEST_F(TrayMenuTest, PerJobIdsFollowTheKeyNumberThroughGroups) {
  input_.jobs = {group(u"G"), job(u"A"), groupEnd(), separator(), job(u"B")};
  const std::vector<MenuItem> items = build();
  const MenuItem* jobs = findItem(items, kCmdJobsMenu);
  ASSERT_NE(jobs, nullptr);
  ASSERT_EQ(jobs->submenu.size(), 5u);  // Configure, separator, G, separator, B
  const MenuItem& a = jobs->submenu[2].submenu[0];
  const MenuItem& b = jobs->submenu[4];
  // A is key 2, B key 5.
  std::set<uint16_t> ids;
  for (const MenuItem& command : a.submenu) ids.insert(command.id);
  for (const MenuItem& command : b.submenu) ids.insert(command.id);
  EXPECT_EQ(ids.size(), 10u);  // five commands each, no id shared
  EXPECT_EQ(decodeMenuId(a.submenu[0].id), (MenuChoice{kCmdJobStart, 2}));
  EXPECT_EQ(decodeMenuId(b.submenu[0].id), (MenuChoice{kCmdJobStart, 5}));
  EXPECT_EQ(decodeMenuId(b.submenu.back().id), (MenuChoice{kCmdJobCustomize, 5}));
}

TEST_F(TrayMenuTest, RunningJobsOfferStopAndIdleJobsStart) {
  input_.jobs = {job(u"Idle"), job(u"Busy")};
  input_.jobIsRunning = [](int32_t number) { return number == 2; };
  EXPECT_EQ(jobsMenu(), std::string("Configure...,-,Idle[") + kIdleJob + "],Busy[" + kRunningJob + "]");
  const std::vector<MenuItem> items = build();
  const MenuItem& busy = findItem(items, kCmdJobsMenu)->submenu[3];
  EXPECT_EQ(decodeMenuId(busy.submenu[0].id), (MenuChoice{kCmdJobStop, 2}));
}

TEST_F(TrayMenuTest, JobsBeyondTheMenuIdsAreGreyedWithoutCommands) {
  input_.jobs.assign(186, job(u"", u""));
  input_.jobs.push_back(job(u"Reachable"));  // 187: past the last id
  input_.jobs[185] = job(u"Last");            // 186: still addressable
  EXPECT_EQ(jobsMenu(), std::string("Configure...,-,Last[") + kIdleJob + "],~Reachable");
}

TEST_F(TrayMenuTest, AMissingTextStopsTheBuild) {
  std::vector<MenuItem> items = buildTrayMenu(languageResources().trayMenu, input_);
  // A language without "E&xit".
  EXPECT_FALSE(resolveMenuTexts(items, [](uint16_t id) {
    return id == kCmdExit ? std::u16string() : lookupText(englishTable(), id);
  }));
  items = buildTrayMenu(languageResources().trayMenu, input_);
  EXPECT_TRUE(resolveMenuTexts(items, [](uint16_t id) { return lookupText(englishTable(), id); }));
}

TEST(MenuText, CutAtSemicolonAndTab) {
  EXPECT_EQ(menuTextFromText(u"Nach &Updates suchen;Neue Updates suchen"), u"Nach &Updates suchen");
  EXPECT_EQ(menuTextFromText(u"&Open\tCtrl+O"), u"&Open");
  EXPECT_EQ(menuTextFromText(u"Plain"), u"Plain");
  EXPECT_EQ(menuTextFromText(u";gone"), u"");
}

TEST(MenuIcons, WhichItemsShowIcons) {
  for (const uint16_t id : menuIconIds()) EXPECT_EQ(menuIconId(id), id);
  EXPECT_EQ(menuIconId(kCmdHelpMenu), kCmdHelp);
  for (const int id : {kCmdLanguage - 1, int{kCmdDarkMode}, int{kCmdBackupSettings}, int{kCmdJobStart}, 0}) {
    EXPECT_EQ(menuIconId(static_cast<uint16_t>(id)), 0) << id;
  }
}

TEST(Mnemonics, FindTheMarkedCharacter) {
  const std::vector<std::u16string> texts = {u"&Jobs", u"St&op", u"View &Log...", u"Q&&A", u"L&anguage...",
                                             u"E&xit", u"&Help", u"&Hilfe"};
  struct Case {
    char16_t key;
    int index;
    bool unique;
  };
  const Case cases[] = {
      {u'j', 0, true}, {u'O', 1, true}, {u'l', 2, true}, {u'x', 5, true},
      {u'a', 4, true},   // "Q&&A" marks nothing: "&&" is a plain "&"
      {u'h', 6, false},  // two items mark "H": the first is chosen, not executed
      {u'z', -1, false},
  };
  for (const Case& c : cases) {
    const MnemonicMatch match = findMnemonic(texts, c.key);
    EXPECT_EQ(match.index, c.index) << char(c.key);
    EXPECT_EQ(match.unique, c.unique) << char(c.key);
  }
  EXPECT_EQ(withoutMnemonics(u"Q&&A and &Save"), u"Q&A and Save");
}

TEST(MenuRegister, ReadsKeysInOrderUpToTheFirstGap) {
  testing::TestFolder folder;
  folder.write("s.ini", "[Job]\r\n2=B;b.job\r\n1=-Group\r\n3=-\r\n5=After gap;e.job\r\n");
  ProfileStore store;
  store.openStore(folder.text("s.ini"), kStoreOwnFile);
  const std::vector<RegisterRow> rows = readMenuRegister(store);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], group(u"Group"));
  EXPECT_EQ(rows[1], job(u"B", u"b.job"));
  EXPECT_EQ(rows[2], groupEnd());
}

}  // namespace
}  // namespace crvl::shell
