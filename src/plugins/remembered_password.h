// The one password of the process: the first password the user gives for any plug-in
// request is kept and handed to every later request without asking again; the Task
// Scheduler's account registration uses the same text. It is kept in memory only,
// never written anywhere, and wiped when it goes.
#pragma once

#include <array>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

namespace crvl {

// Overwrites the whole buffer of `text`, up to its capacity (in a way the compiler
// keeps), and empties it. A text that grows reallocates and frees its old buffer
// unwiped: reserve room for a secret before it is written into a text.
void wipeText(std::u16string& text) noexcept;
void wipeText(std::string& text) noexcept;

// Asks the user for a password: `title` names what asks. Answers true with the typed
// text in `typed`, false when the user cancels or nobody can be asked.
struct PasswordPrompt {
  void* context = nullptr;
  bool (*ask)(void* context, std::u16string_view title, std::u16string& typed) = nullptr;
};

class RememberedPassword {
 public:
  static constexpr size_t kMaxChars = 127;

  RememberedPassword() = default;
  RememberedPassword(const RememberedPassword&) = delete;
  RememberedPassword& operator=(const RememberedPassword&) = delete;
  ~RememberedPassword();

  // Copies the remembered text into `out`; false (and `out` empty) when there is none.
  bool get(std::u16string& out) const;

  // The remembered text, or else the answer of `prompt` (false when it cancels or is
  // empty), whose first kMaxChars characters are then remembered; `out` receives the
  // whole answer. No lock is held while `prompt` asks (it may wait for another thread
  // that itself calls obtain): the prompt keeps one question open at a time and answers
  // later ones from the remembered text.
  bool obtain(const PasswordPrompt& prompt, std::u16string_view title, std::u16string& out);

  // Remembers the first kMaxChars characters of `text` unless a text is remembered
  // already (the first one given stays). Answers whether a text is remembered now.
  bool remember(std::u16string_view text);

  // Forgets the text.
  void clear() noexcept;

 private:
  mutable std::mutex textLock_;
  std::array<char16_t, kMaxChars> text_{};
  size_t length_ = 0;
};

}  // namespace crvl
