// The password of the account that time-controlled tasks run as: asked at most once
// and kept in memory only; forgotten when the system's scheduler refuses the account,
// so that the next export asks again.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "schedule/timed_task_export.h"

namespace crvl::shell {

// The longest password the system's scheduler takes; longer input is cut.
inline constexpr size_t kMaxAccountPasswordChars = 127;

class RememberedPassword {
 public:
  // Asks the user (the password dialog): `title` names the account; answers whether
  // the user confirmed, with the typed text in `*typed`.
  using Ask = std::function<bool(std::u16string_view title, std::u16string* typed)>;

  explicit RememberedPassword(Ask ask) : ask_(std::move(ask)) {}
  RememberedPassword(const RememberedPassword&) = delete;
  RememberedPassword& operator=(const RememberedPassword&) = delete;

  // The remembered password, else the one the user types now (remembered when not
  // empty). False when there is none: the user cancelled or typed nothing.
  bool obtain(std::u16string_view title, std::u16string& password);
  void forget() noexcept { password_.clear(); }

  // The export's view of this object; valid while the object lives.
  [[nodiscard]] AccountPassword seam() noexcept;

 private:
  Ask ask_;
  std::u16string password_;
};

}  // namespace crvl::shell
