/* The language library: the menu templates and the one export `r`. It uses nothing
 * from any system library. */
#include "language_tables.h"

#define SEPARATOR {CRVL_MENU_SEPARATOR_ID, CRVL_MENU_SEPARATOR_FLAGS, 0}
#define ITEM(id) {(id), 0, 0}
#define SUBMENU(id, sub) {(id), 0, (sub)}
#define END {0, 0, 0}

static const CrvlMenuRecord kJobsSubmenu[] = {ITEM(118), END};
static const CrvlMenuRecord kDarkModeSubmenu[] = {ITEM(131), ITEM(132), ITEM(133), END};
static const CrvlMenuRecord kHelpSubmenu[] = {ITEM(111), ITEM(113), ITEM(114), ITEM(115), END};

static const CrvlMenuRecord kTrayMenu[] = {
    SUBMENU(119, kJobsSubmenu),
    SEPARATOR,
    ITEM(102),
    ITEM(103),
    ITEM(104),
    SEPARATOR,
    SUBMENU(130, kDarkModeSubmenu),
    ITEM(107),
    ITEM(221),
    ITEM(222),
    SEPARATOR,
    ITEM(109),
    SEPARATOR,
    SUBMENU(110, kHelpSubmenu),
    SEPARATOR,
    ITEM(100),
    END,
};

static const CrvlMenuRecord kJobMenu[] = {
    ITEM(201), ITEM(202), ITEM(203), ITEM(204), ITEM(205), ITEM(206), END,
};

static const CrvlMenuRecord kSelectionMenu[] = {ITEM(122), ITEM(123), ITEM(124), END};

static const CrvlLanguageResources kResources = {
    crvlLanguageTables, 0, kTrayMenu, kJobMenu, kSelectionMenu,
};

CRVLRES_EXPORT const CrvlLanguageResources* r(uint16_t languageId) {
  (void)languageId;
  return &kResources;
}
