#include "posix_errors.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>

namespace crvl::platform {
namespace {

TEST(MapErrno, CommonErrors) {
  struct Case {
    int err;
    bool missingParent;
    ErrorCode code;
  };
  const Case cases[] = {
      {0, false, 0},         {ENOENT, false, 2},     {ENOENT, true, 3},   {ENOTDIR, false, 3},
      {EACCES, false, 5},    {EPERM, false, 5},      {EROFS, false, 5},   {EISDIR, false, 5},
      {ENOSPC, false, 112},  {EDQUOT, false, 112},   {EEXIST, false, 183}, {ENOTEMPTY, false, 145},
      {EXDEV, false, 17},    {ENAMETOOLONG, false, 206}, {EINVAL, false, 87}, {EBUSY, false, 32},
      {EIO, false, 1117},    {EMFILE, false, 4},     {ENOMEM, false, 8},  {ELOOP, false, 1921},
      {EOPNOTSUPP, false, 50}, {12345, false, 31},
  };
  for (const Case& c : cases) EXPECT_EQ(mapErrno(c.err, c.missingParent), c.code) << c.err;
}

TEST(MapErrno, LastSystemErrorReadsErrno) {
  ASSERT_EQ(::open("/nonexistent-crvl-test/file", O_RDONLY), -1);
  EXPECT_EQ(lastSystemError(), kErrorFileNotFound);
}

}  // namespace
}  // namespace crvl::platform
