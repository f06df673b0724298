#include "shell/help_files.h"

#include "shell/menu_commands.h"

namespace crvl::shell {

std::vector<HelpFile> helpFileCandidates(std::u16string_view programPath, std::u16string_view languageKey) {
  const size_t slash = programPath.find_last_of(u"\\/");
  const std::u16string_view folder =
      slash == std::u16string_view::npos ? std::u16string_view() : programPath.substr(0, slash + 1);
  const std::u16string_view file =
      slash == std::u16string_view::npos ? programPath : programPath.substr(slash + 1);
  // The name without its extension, cut to five characters ("CRVL.exe" gives "CRVL").
  const std::u16string stem(file.substr(0, file.find_last_of(u'.')).substr(0, 5));
  const std::u16string base = std::u16string(folder) + stem + u"_" + std::u16string(languageKey) + u".";
  return {{HelpKind::kHtmlHelp, base + u"CHM"}, {HelpKind::kWinHelp, base + u"HLP"}, {HelpKind::kPage, base + u"HTM"}};
}

HelpFile findHelpFile(std::u16string_view programPath, std::u16string_view languageKey,
                      const std::function<bool(std::u16string_view path)>& exists) {
  for (const std::u16string_view key : {languageKey, std::u16string_view(u"US")}) {
    for (HelpFile& candidate : helpFileCandidates(programPath, key)) {
      if (exists(candidate.path)) return std::move(candidate);
    }
  }
  return {};
}

uint32_t menuHelpContext(uint16_t itemId, int lastConfigurationPage) noexcept {
  switch (itemId) {
    case kCmdViewLogs:
      return 6;
    case kCmdPlan:
      return 4;
    case kCmdConfiguration:
      return lastConfigurationPage == 0 ? 7 : lastConfigurationPage == 1 ? 8 : 0;
    case kCmdConfigureJobs:
    case kCmdJobsMenu:
      return 1;
    default:
      return 0;
  }
}

uint32_t controlHelpContext(int controlId) noexcept {
  if (controlId >= 2401 && controlId <= 2489) return 2;
  if (controlId >= 2500 && controlId <= 2589) return 3;
  return 0;
}

}  // namespace crvl::shell

#include "platform/text.h"

namespace crvl::shell {

std::u16string fileUrl(std::u16string_view path, std::u16string_view fragment) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::u16string url = u"file:///";
  if (path.substr(0, 2) == u"\\\\") {
    url = u"file:";  // a share keeps its two leading slashes
  }
  const std::string bytes = platform::toUtf8(path);
  for (const char c : bytes) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b == '\\') {
      url.push_back(u'/');
    } else if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' || b == '.' ||
               b == '_' || b == '~' || b == '/' || b == ':') {
      url.push_back(static_cast<char16_t>(b));
    } else {
      url.push_back(u'%');
      url.push_back(static_cast<char16_t>(kHex[b >> 4]));
      url.push_back(static_cast<char16_t>(kHex[b & 15]));
    }
  }
  if (!fragment.empty()) url += u"#" + std::u16string(fragment);
  return url;
}

}  // namespace crvl::shell
