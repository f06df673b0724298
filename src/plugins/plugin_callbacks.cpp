#include "plugins/plugin_callbacks.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/text.h"

namespace crvl {
namespace {

// The one seam of the request callbacks (see the header).
std::atomic<const PasswordRequests*> g_requests{nullptr};

// A module's text of at most `limit` units, read up to its terminator.
template <typename C>
std::basic_string_view<C> boundedText(const C* text, size_t limit) {
  if (text == nullptr) return {};
  size_t n = 0;
  while (n < limit && text[n] != 0) ++n;
  return {text, n};
}

constexpr size_t kTitleLimit = 1024;

thread_local RequestScope* t_scope = nullptr;

}  // namespace

void setPasswordRequests(const PasswordRequests* requests) noexcept { g_requests.store(requests); }

bool answerRequest(int32_t type, std::u16string_view title, std::u16string& answer) {
  wipeText(answer);
  if (type != wfx::kRequestPassword && type != wfx::kRequestFirewallPassword) return false;
  const PasswordRequests* requests = g_requests.load();
  RequestScope* scope = t_scope;
  bool answered = false;
  if (requests != nullptr && requests->remembered != nullptr) {
    answered = scope != nullptr && !scope->mayAsk_ ? requests->remembered->get(answer)
                                                   : requests->remembered->obtain(requests->prompt, title, answer);
  }
  if (!answered && scope != nullptr) scope->refused_ = true;
  return answered;
}

RequestScope::RequestScope(bool mayAsk) noexcept : outer_(t_scope), mayAsk_(mayAsk) { t_scope = this; }

RequestScope::~RequestScope() { t_scope = outer_; }

namespace plugin_callbacks {

int32_t progressA(int32_t, char*, char*, int32_t) { return 0; }
int32_t progressW(int32_t, wfx::WChar*, wfx::WChar*, int32_t) { return 0; }

void logA(int32_t, int32_t, char* text) {
  // Messages of modules are neither shown nor kept; the text is only read as UTF-16.
  try {
    (void)platform::ansiToUtf16(boundedText(text, 4096));
  } catch (...) {
  }
}

void logW(int32_t, int32_t, wfx::WChar*) {}

wfx::Bool requestA(int32_t, int32_t type, char* customTitle, char*, char* returnedText, int32_t maxLength) {
  if (returnedText == nullptr || maxLength <= 0) return 0;
  try {
    std::u16string answer;
    if (!answerRequest(type, platform::ansiToUtf16(boundedText(customTitle, kTitleLimit)), answer)) return 0;
    std::string bytes = platform::utf16ToAnsi(answer);
    wipeText(answer);
    const size_t n = std::min(bytes.size(), static_cast<size_t>(maxLength) - 1);
    std::memcpy(returnedText, bytes.data(), n);
    returnedText[n] = 0;
    wipeText(bytes);
    return 1;
  } catch (...) {
    return 0;
  }
}

wfx::Bool requestW(int32_t, int32_t type, wfx::WChar* customTitle, wfx::WChar*, wfx::WChar* returnedText,
                   int32_t maxLength) {
  if (returnedText == nullptr || maxLength <= 0) return 0;
  try {
    std::u16string answer;
    if (!answerRequest(type, boundedText(customTitle, kTitleLimit), answer)) return 0;
    const size_t n = std::min(answer.size(), static_cast<size_t>(maxLength) - 1);
    std::copy_n(answer.data(), n, returnedText);
    returnedText[n] = 0;
    wipeText(answer);
    return 1;
  } catch (...) {
    return 0;
  }
}

}  // namespace plugin_callbacks
}  // namespace crvl
