#include "shell/refusal_notice.h"

#include <initializer_list>
#include <string_view>

#include "language/language_table.h"
#include "platform/errors.h"
#include "resources/string_ids.h"

namespace crvl::shell {
namespace {

// `text` with its "%s" replaced by `values` in order, each searched for after the value
// before it (a value that holds "%s" stays as it is); a value without its "%s" is
// appended.
std::u16string filledIn(std::u16string text, std::initializer_list<std::u16string_view> values) {
  size_t from = 0;
  for (const std::u16string_view value : values) {
    const size_t at = text.find(u"%s", from);
    if (at == std::u16string::npos) {
      text += u' ';
      text += value;
      from = text.size();
    } else {
      text.replace(at, 2, value);
      from = at + value.size();
    }
  }
  return text;
}

}  // namespace

std::u16string refusalNoticeText(const RefusalNotice& notice) {
  std::u16string reason;
  if (notice.reply == UiReply::kNotShown) {
    std::u16string message = platform::systemMessage(notice.error);
    while (!message.empty() && (message.back() == u'\n' || message.back() == u'\r' || message.back() == u'.')) {
      message.pop_back();
    }
    reason = filledIn(uiText(kTextPwNS), {message});
  } else {
    reason = uiText(kTextPwNG);
  }
  return filledIn(uiText(kTextPwRf), {notice.jobName, reason});
}

}  // namespace crvl::shell
