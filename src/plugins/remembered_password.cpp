#include "plugins/remembered_password.h"

#include <algorithm>

#include "platform/secure_wipe.h"

namespace crvl {
namespace {

template <typename C>
void wipe(C* data, size_t n) noexcept {
  platform::secureWipe(data, n * sizeof(C));
}

}  // namespace

// The whole buffer up to its capacity: characters of a longer text held before may
// still lie beyond the size.
void wipeText(std::u16string& text) noexcept {
  wipe(text.data(), text.capacity());
  text.clear();
}

void wipeText(std::string& text) noexcept {
  wipe(text.data(), text.capacity());
  text.clear();
}

RememberedPassword::~RememberedPassword() { clear(); }

bool RememberedPassword::get(std::u16string& out) const {
  wipeText(out);
  std::lock_guard<std::mutex> guard(textLock_);
  out.assign(text_.data(), length_);
  return length_ != 0;
}

bool RememberedPassword::obtain(const PasswordPrompt& prompt, std::u16string_view title, std::u16string& out) {
  if (get(out)) return true;
  if (prompt.ask == nullptr) return false;
  if (!prompt.ask(prompt.context, title, out) || out.empty()) {
    wipeText(out);
    return false;
  }
  (void)remember(out);
  return true;
}

bool RememberedPassword::remember(std::u16string_view text) {
  std::lock_guard<std::mutex> guard(textLock_);
  if (length_ == 0) {
    length_ = std::min(text.size(), kMaxChars);
    std::copy_n(text.data(), length_, text_.data());
  }
  return length_ != 0;
}

void RememberedPassword::clear() noexcept {
  std::lock_guard<std::mutex> guard(textLock_);
  wipe(text_.data(), text_.size());
  length_ = 0;
}

}  // namespace crvl
