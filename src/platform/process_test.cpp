#include "platform/process.h"

#include <gtest/gtest.h>

#include <string>

#include "os_traits.h"
#include "platform/test_folder.h"

namespace crvl::platform {
namespace {

// Exit statuses and output come back from a real program, on both systems.
TEST(RunCommandLine, StatusAndOutputOfARealProgram) {
  testing::TestFolder folder;
  struct Case {
    const char* what;
    std::u16string line;
    uint32_t status;
    std::string output;
  } cases[] = {
      {"success and output", os::kWindows ? u"cmd /c echo hello" : u"echo hello", 0,
       os::kWindows ? "hello\r\n" : "hello\n"},
      {"exit status", os::kWindows ? u"cmd /c exit 3" : u"exit 3", 3, ""},
      {"standard error joins the output", os::kWindows ? u"cmd /c echo oops 1>&2" : u"echo oops >&2", 0,
       os::kWindows ? "oops \r\n" : "oops\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    uint32_t status = 99;
    ASSERT_EQ(runCommandLine(c.line, folder.path("out.txt"), &status), kSuccess);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(folder.read("out.txt"), c.output);
  }
}

TEST(RunCommandLine, FailuresToStartAreErrorsNotStatuses) {
  testing::TestFolder folder;
  uint32_t status = 99;
  EXPECT_EQ(runCommandLine(std::u16string(u"echo a") + u'\0' + u"b", folder.path("out.txt"), &status),
            kErrorInvalidName);
  const ErrorCode noFolder = runCommandLine(u"echo a", folder.path("missing/out.txt"), &status);
  EXPECT_TRUE(noFolder == kErrorPathNotFound || noFolder == kErrorFileNotFound) << noFolder;
  EXPECT_EQ(status, 99u);
  if constexpr (os::kWindows) {
    EXPECT_EQ(runCommandLine(u"\"" + folder.path("no such program.exe") + u"\"", folder.path("out.txt"), &status),
              kErrorFileNotFound);
  } else {
    // The shell starts and reports the missing program by its status.
    ASSERT_EQ(runCommandLine(u"'" + folder.path("no such program") + u"'", folder.path("out.txt"), &status),
              kSuccess);
    EXPECT_EQ(status, 127u);
  }
}

}  // namespace
}  // namespace crvl::platform
