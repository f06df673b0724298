// Windows menus made from the tray menu's items: structure, ids, greyed commands,
// owner drawing and keyboard mnemonics, read back from the menus the system holds.
#include "shell/popup_menu.h"

#include <gtest/gtest.h>

#include <string>

#include "language/language_table.h"
#include "shell/menu_trace.h"

namespace crvl::shell {
namespace {

std::vector<MenuItem> trayItems(std::vector<RegisterRow> jobs, bool jobRuns = false) {
  TrayMenuInput input;
  input.jobTemplate = languageResources().jobMenu;
  input.jobs = std::move(jobs);
  input.jobIsRunning = [jobRuns](int32_t) { return jobRuns; };
  std::vector<MenuItem> items = buildTrayMenu(languageResources().trayMenu, input);
  EXPECT_TRUE(resolveMenuTexts(items, [](uint16_t id) { return lookupText(englishTable(), id); }));
  return items;
}

HMENU submenuAt(HMENU menu, int position) { return ::GetSubMenu(menu, position); }

TEST(PopupMenu, HoldsTheItemsWithTheirIdsAndSubmenus) {
  PopupMenu menu;
  ASSERT_EQ(menu.create(trayItems({{RegisterKind::GroupStart, u"G", u""}, {RegisterKind::Job, u"A", u"a.job"}})), 0u);
  const std::string text = describeMenu(menu.handle());
  EXPECT_EQ(text.substr(0, text.find("St&op")),
            "&Jobs [119]\n"
            "  &Configure... [118]\n"
            "  ---\n"
            "  G [0]\n"
            "    A [0]\n"
            "      &Start now [27414]\n"
            "      &Plan... [27416]\n"
            "      View &log... [27417]\n"
            "      Si&mulate... [27418]\n"
            "      Customi&ze... [27419]\n"
            "---\n");
  EXPECT_TRUE(menu.owns(menu.handle()));
  const HMENU jobs = submenuAt(menu.handle(), 0);
  EXPECT_TRUE(menu.owns(jobs));
  EXPECT_TRUE(menu.owns(submenuAt(submenuAt(jobs, 2), 0)));  // the job's own submenu
  EXPECT_FALSE(menu.owns(nullptr));
}

TEST(PopupMenu, EnableTableGreysStopWhileIdleOnly) {
  PopupMenu menu;
  ASSERT_EQ(menu.create(trayItems({})), 0u);
  CommandEnableTable table;
  table.refresh(0);
  menu.applyEnableTable(table);
  EXPECT_NE(describeMenu(menu.handle()).find("St&op [102] (grey)\n"), std::string::npos);
  table.refresh(1);
  menu.applyEnableTable(table);
  EXPECT_NE(describeMenu(menu.handle()).find("St&op [102]\n"), std::string::npos);
  // Only listed commands change: nothing else is ever greyed.
  EXPECT_EQ(describeMenu(menu.handle()).find("(grey)"), std::string::npos);
}

TEST(PopupMenu, OwnerDrawingAndMnemonics) {
  PopupMenu menu;
  ASSERT_EQ(menu.create(trayItems({})), 0u);
  const HMENU top = menu.handle();
  prepareOwnerDrawn(top);
  const int count = ::GetMenuItemCount(top);
  ASSERT_GT(count, 5);
  for (int i = 0; i < count; ++i) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_DATA;
    ASSERT_TRUE(::GetMenuItemInfoW(top, static_cast<UINT>(i), TRUE, &info));
    const bool separator = (info.fType & MFT_SEPARATOR) != 0;
    EXPECT_EQ((info.fType & MFT_OWNERDRAW) != 0, !separator) << i;
    if (!separator) {
      EXPECT_NE(info.dwItemData, 0u) << i;
    }
  }
  // The submenus are prepared when they open, not before.
  MENUITEMINFOW jobs{};
  jobs.cbSize = sizeof jobs;
  jobs.fMask = MIIM_FTYPE;
  ASSERT_TRUE(::GetMenuItemInfoW(submenuAt(top, 0), 0, TRUE, &jobs));
  EXPECT_EQ(jobs.fType & MFT_OWNERDRAW, 0u);

  // "E&xit" is the last item; "&Help" and nothing else marks "H".
  EXPECT_EQ(MenuPainter::menuChar(top, L'x'), MAKELRESULT(count - 1, MNC_EXECUTE));
  const LRESULT help = MenuPainter::menuChar(top, L'H');
  EXPECT_EQ(HIWORD(help), MNC_EXECUTE);
  EXPECT_EQ(HIWORD(MenuPainter::menuChar(top, L'q')), MNC_IGNORE);
}

}  // namespace
}  // namespace crvl::shell
