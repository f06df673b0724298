// The tray notice about a refused password request names the job and the reason in the
// current language.
#include <gtest/gtest.h>

#include <string>

#include "language/language_table.h"
#include "shell/refusal_notice.h"

namespace crvl::shell {
namespace {

TEST(RefusalNoticeTest, NamesTheJobAndTheReasonInTheCurrentLanguage) {
  struct Case {
    LanguageTable table;
    const char16_t* jobName;
    UiReply reply;
    ErrorCode error;
    const char16_t* expected;
  } const cases[] = {
      {englishTable(), u"Photos", UiReply::kDeclined, kSuccess,
       u"The availability task of Photos asked for a password and got none: the password was not given. "
       u"It asks again once you start a job."},
      // A name that holds "%s" stays as it is; the reason goes into the text's own place.
      {englishTable(), u"50%s off", UiReply::kPending, kSuccess,
       u"The availability task of 50%s off asked for a password and got none: the password was not given. "
       u"It asks again once you start a job."},
      {germanTable(), u"Fotos", UiReply::kDeclined, kSuccess,
       u"Die Aufgabe bei Verf\u00FCgbarkeit von Fotos hat nach einem Kennwort gefragt und keines erhalten: das "
       u"Kennwort wurde nicht eingegeben. Sie fragt erst wieder, wenn Sie eine Aufgabe starten."},
  };
  for (const Case& c : cases) {
    setCurrentLanguageTable(c.table);
    RefusalNotice notice;
    notice.jobName = c.jobName;
    notice.reply = c.reply;
    notice.error = c.error;
    EXPECT_EQ(refusalNoticeText(notice), c.expected);
  }
  // A prompt that could not be shown gives the system's reason.
  setCurrentLanguageTable(englishTable());
  const std::u16string notShown = refusalNoticeText({u"Photos", UiReply::kNotShown, kErrorInvalidWindowHandle});
  EXPECT_NE(notShown.find(u": the question could not be shown (Invalid window handle)."), std::u16string::npos)
      << std::string(notShown.begin(), notShown.end());
  setCurrentLanguageTable(nullptr);
}

}  // namespace
}  // namespace crvl::shell
