// Which help file the program opens and at which context: the file lies beside the
// program, named from the program's name, the language key and one of the extensions
// CHM, HLP and HTM; the context follows from where help was asked for.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace crvl::shell {

enum class HelpKind { kNone, kHtmlHelp, kWinHelp, kPage };

struct HelpFile {
  HelpKind kind = HelpKind::kNone;
  std::u16string path;
};

// The candidates in the order they are tried for one key: the program's folder, the
// program's file name without its extension cut to five characters, "_", the key, "." and "CHM",
// "HLP", "HTM".
[[nodiscard]] std::vector<HelpFile> helpFileCandidates(std::u16string_view programPath,
                                                       std::u16string_view languageKey);

// The first candidate that exists for the key, else the first for "US"; kNone when
// there is none.
[[nodiscard]] HelpFile findHelpFile(std::u16string_view programPath, std::u16string_view languageKey,
                                    const std::function<bool(std::u16string_view path)>& exists);

// The help context of a menu item that had the focus when help was asked for: "View
// &Log..." 6, "&Plan..." 4, "&Configuration..." 7 or 8 by the page last shown
// (`lastConfigurationPage` 0 or 1; another value gives 0), "&Configure..." and "&Jobs"
// 1, any other item 0.
[[nodiscard]] uint32_t menuHelpContext(uint16_t itemId, int lastConfigurationPage) noexcept;

// The help context of a control: the job editor's ids 2401-2489 give 2, the folder
// pair dialog's 2500-2589 give 3, others 0.
[[nodiscard]] uint32_t controlHelpContext(int controlId) noexcept;

// Help contexts of the task dialogs.
inline constexpr uint32_t kHelpContextPlannedTasks = 4;
inline constexpr uint32_t kHelpContextPlan = 5;

}  // namespace crvl::shell

namespace crvl::shell {

// A file URL for a local path ("C:\A B\x.htm" gives "file:///C:/A%20B/x.htm"), with
// "#fragment" added when one is given. Characters other than unreserved ASCII and
// "/:" are percent-encoded as UTF-8.
[[nodiscard]] std::u16string fileUrl(std::u16string_view path, std::u16string_view fragment = {});

// Where "&Go Online" and "Check for &Updates" lead. The program has no web site of its
// own: both open the installed help page, at its sections "online" and "updates" (the
// latter names the installed version).
inline constexpr char16_t kOnlineSection[] = u"online";
inline constexpr char16_t kUpdatesSection[] = u"updates";

}  // namespace crvl::shell
