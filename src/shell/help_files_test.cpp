#include "shell/help_files.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "shell/menu_commands.h"

namespace crvl::shell {
namespace {

TEST(HelpFiles, CandidatesAreNamedAfterTheProgramAndTheLanguage) {
  const std::vector<HelpFile> candidates = helpFileCandidates(u"C:\\Tools\\Corvell\\CRVL.exe", u"DE");
  ASSERT_EQ(candidates.size(), 3u);
  EXPECT_EQ(candidates[0].path, u"C:\\Tools\\Corvell\\CRVL_DE.CHM");
  EXPECT_EQ(candidates[0].kind, HelpKind::kHtmlHelp);
  EXPECT_EQ(candidates[1].path, u"C:\\Tools\\Corvell\\CRVL_DE.HLP");
  EXPECT_EQ(candidates[1].kind, HelpKind::kWinHelp);
  EXPECT_EQ(candidates[2].path, u"C:\\Tools\\Corvell\\CRVL_DE.HTM");
  EXPECT_EQ(candidates[2].kind, HelpKind::kPage);
  // Long program names are cut to five characters, without their extension.
  EXPECT_EQ(helpFileCandidates(u"D:\\Corvell.exe", u"US")[0].path, u"D:\\Corve_US.CHM");
  EXPECT_EQ(helpFileCandidates(u"D:\\My.Sync.exe", u"US")[2].path, u"D:\\My.Sy_US.HTM");
}

TEST(HelpFiles, FirstExistingFileWinsAndUsIsTheFallback) {
  struct Case {
    const char* what;
    std::set<std::u16string> existing;
    std::u16string key;
    std::u16string expected;  // empty: none
  };
  const Case cases[] = {
      {"CHM before HTM", {u"C:\\P\\CRVL_DE.CHM", u"C:\\P\\CRVL_DE.HTM"}, u"DE", u"C:\\P\\CRVL_DE.CHM"},
      {"HLP before HTM", {u"C:\\P\\CRVL_DE.HLP", u"C:\\P\\CRVL_DE.HTM"}, u"DE", u"C:\\P\\CRVL_DE.HLP"},
      {"the page alone", {u"C:\\P\\CRVL_DE.HTM"}, u"DE", u"C:\\P\\CRVL_DE.HTM"},
      {"any file of the language before US", {u"C:\\P\\CRVL_DE.HTM", u"C:\\P\\CRVL_US.CHM"}, u"DE",
       u"C:\\P\\CRVL_DE.HTM"},
      {"US when the language has none", {u"C:\\P\\CRVL_US.HTM"}, u"FR", u"C:\\P\\CRVL_US.HTM"},
      {"nothing at all", {}, u"DE", u""},
  };
  for (const Case& c : cases) {
    const HelpFile found = findHelpFile(u"C:\\P\\CRVL.exe", c.key,
                                        [&](std::u16string_view path) { return c.existing.count(std::u16string(path)) != 0; });
    EXPECT_EQ(found.path, c.expected) << c.what;
    EXPECT_EQ(found.kind == HelpKind::kNone, c.expected.empty()) << c.what;
  }
}

TEST(HelpContexts, MenuItemsAndControls) {
  EXPECT_EQ(menuHelpContext(kCmdViewLogs, 0), 6u);
  EXPECT_EQ(menuHelpContext(kCmdPlan, 0), 4u);
  EXPECT_EQ(menuHelpContext(kCmdConfiguration, 0), 7u);
  EXPECT_EQ(menuHelpContext(kCmdConfiguration, 1), 8u);
  EXPECT_EQ(menuHelpContext(kCmdConfiguration, -1), 0u);  // no page shown yet
  EXPECT_EQ(menuHelpContext(kCmdConfigureJobs, 0), 1u);
  EXPECT_EQ(menuHelpContext(kCmdJobsMenu, 0), 1u);
  EXPECT_EQ(menuHelpContext(kCmdExit, 0), 0u);
  EXPECT_EQ(menuHelpContext(kCmdHelp, 0), 0u);
  const std::pair<int, uint32_t> controls[] = {{2400, 0}, {2401, 2}, {2489, 2}, {2490, 0},
                                               {2499, 0}, {2500, 3}, {2589, 3}, {2590, 0}, {0, 0}};
  for (const auto& [id, context] : controls) EXPECT_EQ(controlHelpContext(id), context) << id;
}

}  // namespace
}  // namespace crvl::shell

namespace crvl::shell {
namespace {

TEST(HelpFiles, FileUrls) {
  EXPECT_EQ(fileUrl(u"C:\\Program Files\\Corvell\\CRVL_US.HTM", u"updates"),
            u"file:///C:/Program%20Files/Corvell/CRVL_US.HTM#updates");
  EXPECT_EQ(fileUrl(u"D:\\M\u00FCller\\a#b%c.htm"), u"file:///D:/M%C3%BCller/a%23b%25c.htm");
  EXPECT_EQ(fileUrl(u"\\\\server\\share\\h.htm"), u"file://server/share/h.htm");
}

}  // namespace
}  // namespace crvl::shell
