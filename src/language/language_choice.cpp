#include "language/language_choice.h"

#include "jobs/profile_store.h"
#include "platform/environment.h"
#include "platform/locale.h"
#include "platform/text.h"

namespace crvl {
namespace {

bool keysEqual(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (platform::toUpper(a[i]) != platform::toUpper(b[i])) return false;
  }
  return true;
}

}  // namespace

std::u16string_view systemLanguageKey(uint16_t languageId) noexcept {
  switch (languageId) {
    case 1031: case 2055: case 3079: case 4103: case 5127:
      return u"DE";
    default:
      return u"US";
  }
}

LanguageState::~LanguageState() {
  if (owned_ && currentLanguageTable() == owned_.table()) setCurrentLanguageTable(nullptr);
}

void LanguageState::applyLanguage(ProfileStore& settings, std::u16string_view programPath,
                                  uint16_t systemLanguageId) {
  // The table of a file is replaced whole, never freed under a reader: the current-
  // table record and every reader's copy keep it alive until the last one lets go.
  owned_ = OwnedLanguageTable();

  std::string stored;
  {
    // Read and written under one lock: a read skipped for a lock timeout must not pass
    // for a missing setting and overwrite the user's choice.
    StoreLock guard(settings);
    if (guard.ok()) settings.getString("CRVL", "Language", nullptr, stored, 4);
    if (stored.empty()) {
      const std::u16string_view key = systemLanguageKey(systemLanguageId);
      stored.assign(key.begin(), key.end());
      if (guard.ok()) {
        settings.putString("CRVL", "Language", stored);
        (void)settings.flushStore();  // a settings file that cannot be written keeps the key in memory
      }
    }
  }
  key_ = platform::ansiToUtf16(stored);

  const CrvlLanguageRecord* const* tables = languageResources().tables;
  for (size_t i = 0; tables[i] != nullptr; ++i) {
    if (keysEqual(tableKey(tables[i]), key_)) {
      setCurrentLanguageTable(tables[i]);
      return;
    }
  }
  owned_ = loadLanguageFile(programPath, key_);
  if (owned_) {
    setCurrentLanguageTable(owned_.table(), owned_.keeper());
  } else {
    setCurrentLanguageTable(englishTable());
  }
}

void LanguageState::applyLanguage(ProfileStore& settings) {
  applyLanguage(settings, platform::programPath(), platform::systemDefaultLanguageId());
}

}  // namespace crvl
