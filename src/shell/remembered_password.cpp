#include "shell/remembered_password.h"

namespace crvl::shell {

bool RememberedPassword::obtain(std::u16string_view title, std::u16string& password) {
  if (password_.empty()) {
    std::u16string typed;
    if (!ask_ || !ask_(title, &typed)) return false;
    password_ = typed.substr(0, kMaxAccountPasswordChars);
  }
  password = password_;
  return !password.empty();
}

AccountPassword RememberedPassword::seam() noexcept {
  AccountPassword seam;
  seam.context = this;
  seam.obtain = [](void* context, std::u16string_view title, std::u16string& password) {
    return static_cast<RememberedPassword*>(context)->obtain(title, password);
  };
  seam.forget = [](void* context) { static_cast<RememberedPassword*>(context)->forget(); };
  return seam;
}

}  // namespace crvl::shell
