#include "platform/file_lock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "os_traits.h"
#include "platform/process.h"
#include "platform/test_folder.h"
#include "platform/text.h"

namespace crvl::platform {
namespace {

TEST(FileLock, OneHolderAtATimeUntilItLetsGo) {
  testing::TestFolder folder;
  const std::u16string path = folder.path("locks/deep/job.lock");  // folders made on the way
  FileLock first, second;
  ASSERT_EQ(first.tryLock(path), kSuccess);
  EXPECT_TRUE(first.locked());
  EXPECT_EQ(second.tryLock(path), kErrorLockViolation);
  EXPECT_FALSE(second.locked());
  FileLock moved(std::move(first));  // the lock goes with the owner
  EXPECT_FALSE(first.locked());
  EXPECT_EQ(second.tryLock(path), kErrorLockViolation);
  moved.unlock();
  EXPECT_EQ(second.tryLock(path), kSuccess);
  EXPECT_TRUE(folder.exists("locks/deep/job.lock"));  // the file stays for the next holder
  EXPECT_EQ(FileLock().tryLock(std::u16string(u"a") + u'\0' + u"b"), kErrorInvalidName);
}

TEST(FileLock, AnotherProcessSeesTheLockAndGetsItWhenTheHolderEnds) {
  if (os::kWindows) GTEST_SKIP() << "checked with the POSIX flock tool";
  testing::TestFolder folder;
  const std::u16string path = folder.path("job.lock");
  const std::u16string probe = u"flock -n '" + path + u"' true";
  uint32_t status = 99;
  {
    FileLock held;
    ASSERT_EQ(held.tryLock(path), kSuccess);
    ASSERT_EQ(runCommandLine(probe, folder.path("out.txt"), &status), kSuccess);
    EXPECT_EQ(status, 1u);
  }
  ASSERT_EQ(runCommandLine(probe, folder.path("out.txt"), &status), kSuccess);
  EXPECT_EQ(status, 0u);
}

TEST(FileLock, ALinkInPlaceOfTheLockFileIsNotFollowed) {
  if (os::kWindows) GTEST_SKIP() << "symbolic links need privileges on Windows";
  testing::TestFolder folder;
  folder.write("outside.txt", "keep");
  std::filesystem::create_symlink(folder.root() / "outside.txt", folder.root() / "job.lock");
  FileLock lock;
  EXPECT_NE(lock.tryLock(folder.path("job.lock")), kSuccess);
  EXPECT_EQ(folder.read("outside.txt"), "keep");
}

}  // namespace
}  // namespace crvl::platform

namespace crvl::platform {
namespace {

// Lock files are removed only while free.
TEST(FileLock, OnlyAFreeLockFileIsRemoved) {
  if (os::kWindows) GTEST_SKIP() << "lock files are not removed on Windows";
  testing::TestFolder folder;
  const std::u16string path = folder.path("job.lock");
  {
    FileLock held;
    ASSERT_EQ(held.tryLock(path), kSuccess);
    EXPECT_FALSE(FileLock::removeIfFree(path)) << "a held lock file stays";
    EXPECT_TRUE(folder.exists("job.lock"));
  }
  EXPECT_TRUE(FileLock::removeIfFree(path));
  EXPECT_FALSE(folder.exists("job.lock"));

  // The next holder makes the file again.
  FileLock next;
  EXPECT_EQ(next.tryLock(path), kSuccess);
  EXPECT_TRUE(folder.exists("job.lock"));
}

}  // namespace
}  // namespace crvl::platform
