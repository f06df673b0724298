#include "shell/remembered_password.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace crvl::shell {
namespace {

// A password dialog that answers from a script, one answer per opening.
struct ScriptedDialog {
  struct Answer {
    bool confirmed;
    std::u16string typed;
  };
  std::vector<Answer> answers;
  std::vector<std::u16string> titles;  // one per opening

  RememberedPassword::Ask ask() {
    return [this](std::u16string_view title, std::u16string* typed) {
      titles.emplace_back(title);
      const Answer answer = answers.at(titles.size() - 1);
      *typed = answer.typed;
      return answer.confirmed;
    };
  }
};

TEST(RememberedPassword, AskedOnceThenRemembered) {
  ScriptedDialog dialog{{{true, u"secret"}}};
  RememberedPassword password(dialog.ask());
  const AccountPassword seam = password.seam();
  for (int exportNumber = 0; exportNumber < 3; ++exportNumber) {
    std::u16string got;
    ASSERT_TRUE(seam.obtain(seam.context, u"Password for: user", got));
    EXPECT_EQ(got, u"secret");
  }
  EXPECT_EQ(dialog.titles, std::vector<std::u16string>{u"Password for: user"});
}

TEST(RememberedPassword, NothingWithoutAConfirmedNonEmptyPassword) {
  const struct {
    const char* what;
    ScriptedDialog::Answer answer;
  } cases[] = {
      {"cancelled", {false, u"typed but cancelled"}},
      {"confirmed empty", {true, u""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedDialog dialog{{c.answer, {true, u"later"}}};
    RememberedPassword password(dialog.ask());
    std::u16string got = u"stale";
    EXPECT_FALSE(password.obtain(u"t", got));
    // Nothing was remembered: the next export asks again.
    ASSERT_TRUE(password.obtain(u"t", got));
    EXPECT_EQ(got, u"later");
    EXPECT_EQ(dialog.titles.size(), 2u);
  }
}

TEST(RememberedPassword, ARefusedAccountIsAskedForAgain) {
  ScriptedDialog dialog{{{true, u"wrong"}, {true, u"right"}}};
  RememberedPassword password(dialog.ask());
  const AccountPassword seam = password.seam();
  std::u16string got;
  ASSERT_TRUE(seam.obtain(seam.context, u"t", got));
  EXPECT_EQ(got, u"wrong");
  seam.forget(seam.context);
  ASSERT_TRUE(seam.obtain(seam.context, u"t", got));
  EXPECT_EQ(got, u"right");
  EXPECT_EQ(dialog.titles.size(), 2u);
}

TEST(RememberedPassword, LongInputIsCutToWhatTheSchedulerTakes) {
  const std::u16string typed(kMaxAccountPasswordChars + 20, u'p');
  ScriptedDialog dialog{{{true, typed}}};
  RememberedPassword password(dialog.ask());
  std::u16string got;
  ASSERT_TRUE(password.obtain(u"t", got));
  EXPECT_EQ(got, typed.substr(0, kMaxAccountPasswordChars));
}

}  // namespace
}  // namespace crvl::shell
