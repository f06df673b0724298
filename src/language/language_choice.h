// Choosing the language of the user interface from the settings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "language/language_file.h"

namespace crvl {

class ProfileStore;

// The key stored for a system language: "DE" for the German language ids 1031, 2055,
// 3079, 4103 and 5127, "US" for every other.
[[nodiscard]] std::u16string_view systemLanguageKey(uint16_t languageId) noexcept;

// The program's language state: the current key and the table built from a file, if
// any. The current table of the process (currentLanguageTable) points into it.
class LanguageState {
 public:
  LanguageState() = default;
  LanguageState(const LanguageState&) = delete;
  LanguageState& operator=(const LanguageState&) = delete;
  // Makes English current again before the owned table is freed.
  ~LanguageState();

  // Chooses the current table: frees a table built from a file (English becomes
  // current), reads "Language" (section "CRVL", at most 3 characters); when it is
  // empty, stores the key of `systemLanguageId` and flushes the settings. A built-in
  // table whose key equals the setting (ignoring case) becomes current; otherwise the
  // language file of the key (or of "US") beside `programPath` is loaded, and English
  // stays current when that fails.
  void applyLanguage(ProfileStore& settings, std::u16string_view programPath,
                     uint16_t systemLanguageId);
  // The same with the program's path and the system's default language.
  void applyLanguage(ProfileStore& settings);

  [[nodiscard]] const std::u16string& key() const noexcept { return key_; }
  [[nodiscard]] bool fromFile() const noexcept { return static_cast<bool>(owned_); }

 private:
  std::u16string key_;
  OwnedLanguageTable owned_;
};

}  // namespace crvl
