// The callbacks every module gets from FsInit and FsInitW: progress (never aborts,
// shows nothing), log (dropped) and request. Requests carry no context of ours (every
// module is plug-in number 0), so they reach the program's password through one
// process-wide seam that the application layer sets.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "plugins/plugin_interface.h"
#include "plugins/remembered_password.h"

namespace crvl {

// Where password requests go: the remembered password of the process, and who is
// asked when none is remembered yet (the shell's password dialog, the console's
// input; without a prompt such a request answers false).
struct PasswordRequests {
  RememberedPassword* remembered = nullptr;
  PasswordPrompt prompt;
};

// Makes `requests` the target of the request callbacks (null: every request answers
// false). `requests` must stay valid until it is replaced.
void setPasswordRequests(const PasswordRequests* requests) noexcept;

// The answer to a request of `type`: password (2) and firewall password (5) requests
// get the remembered password, or what the prompt gives (then remembered); every other
// type answers false at once without asking anybody. `title` is the module's title
// for the request.
[[nodiscard]] bool answerRequest(int32_t type, std::u16string_view title, std::u16string& answer);

// The password requests that modules make on the calling thread while the scope lives
// (scopes nest; the innermost counts). With `mayAsk` false nobody is asked and only the
// remembered password answers, so that a background test does not put the same
// question to the user again and again. Modules that ask from a thread of their own are
// not covered.
class RequestScope {
 public:
  explicit RequestScope(bool mayAsk) noexcept;
  ~RequestScope();
  RequestScope(const RequestScope&) = delete;
  RequestScope& operator=(const RequestScope&) = delete;

  // True when a password request of the scope went unanswered (refused by the user,
  // or not asked because the scope may not ask).
  [[nodiscard]] bool refused() const noexcept { return refused_; }

 private:
  friend bool answerRequest(int32_t, std::u16string_view, std::u16string&);
  RequestScope* outer_;
  bool mayAsk_;
  bool refused_ = false;
};

namespace plugin_callbacks {

int32_t progressA(int32_t pluginNr, char* source, char* target, int32_t percent);
int32_t progressW(int32_t pluginNr, wfx::WChar* source, wfx::WChar* target, int32_t percent);
void logA(int32_t pluginNr, int32_t messageType, char* text);
void logW(int32_t pluginNr, int32_t messageType, wfx::WChar* text);
// Copy the answer into `returnedText`, cut to `maxLength` characters with the
// terminator (the ANSI form in the system code page).
wfx::Bool requestA(int32_t pluginNr, int32_t type, char* customTitle, char* customText, char* returnedText,
                   int32_t maxLength);
wfx::Bool requestW(int32_t pluginNr, int32_t type, wfx::WChar* customTitle, wfx::WChar* customText,
                   wfx::WChar* returnedText, int32_t maxLength);

}  // namespace plugin_callbacks
}  // namespace crvl
