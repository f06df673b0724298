// System messages for Windows error codes on POSIX: the English texts the Windows
// system table gives, with their trailing CR LF, so logs read the same on both builds.
#include "platform/errors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <string_view>

#include "posix_errors.h"

namespace crvl::platform {
namespace {

struct MessageEntry {
  ErrorCode code;
  std::u16string_view text;
};

// Sorted by code for the binary search below.
constexpr MessageEntry kMessages[] = {
    {0, u"The operation completed successfully.\r\n"},
    {1, u"Incorrect function.\r\n"},
    {2, u"The system cannot find the file specified.\r\n"},
    {3, u"The system cannot find the path specified.\r\n"},
    {4, u"The system cannot open the file.\r\n"},
    {5, u"Access is denied.\r\n"},
    {6, u"The handle is invalid.\r\n"},
    {8, u"Not enough memory resources are available to process this command.\r\n"},
    {13, u"The data is invalid.\r\n"},
    {14, u"Not enough memory resources are available to complete this operation.\r\n"},
    {17, u"The system cannot move the file to a different disk drive.\r\n"},
    {18, u"There are no more files.\r\n"},
    {19, u"The media is write protected.\r\n"},
    {21, u"The device is not ready.\r\n"},
    {23, u"Data error (cyclic redundancy check).\r\n"},
    {29, u"The system cannot write to the specified device.\r\n"},
    {30, u"The system cannot read from the specified device.\r\n"},
    {31, u"A device attached to the system is not functioning.\r\n"},
    {32, u"The process cannot access the file because it is being used by another process.\r\n"},
    {33, u"The process cannot access the file because another process has locked a portion of "
         u"the file.\r\n"},
    {38, u"Reached the end of the file.\r\n"},
    {39, u"The disk is full.\r\n"},
    {50, u"The request is not supported.\r\n"},
    {53, u"The network path was not found.\r\n"},
    {54, u"The network is busy.\r\n"},
    {67, u"The network name cannot be found.\r\n"},
    {80, u"The file exists.\r\n"},
    {82, u"The directory or file cannot be created.\r\n"},
    {87, u"The parameter is incorrect.\r\n"},
    {109, u"The pipe has been ended.\r\n"},
    {110, u"The system cannot open the device or file specified.\r\n"},
    {111, u"The file name is too long.\r\n"},
    {112, u"There is not enough space on the disk.\r\n"},
    {120, u"This function is not supported on this system.\r\n"},
    {122, u"The data area passed to a system call is too small.\r\n"},
    {123, u"The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {126, u"The specified module could not be found.\r\n"},
    {127, u"The specified procedure could not be found.\r\n"},
    {145, u"The directory is not empty.\r\n"},
    {161, u"The specified path is invalid.\r\n"},
    {170, u"The requested resource is in use.\r\n"},
    {183, u"Cannot create a file when that file already exists.\r\n"},
    {193, u"%1 is not a valid Win32 application.\r\n"},
    {206, u"The filename or extension is too long.\r\n"},
    {223, u"The file size exceeds the limit allowed and cannot be saved.\r\n"},
    {225, u"Operation did not complete successfully because the file contains a virus or "
          u"potentially unwanted software.\r\n"},
    {267, u"The directory name is invalid.\r\n"},
    {995, u"The I/O operation has been aborted because of either a thread exit or an "
          u"application request.\r\n"},
    {1112, u"There is no media in the drive.\r\n"},
    {1114, u"A dynamic link library (DLL) initialization routine failed.\r\n"},
    {1117, u"The request could not be performed because of an I/O device error.\r\n"},
    {1168, u"Element not found.\r\n"},
    {1223, u"The operation was canceled by the user.\r\n"},
    {1235, u"The request was aborted.\r\n"},
    {1246, u"Return that wants caller to continue with work in progress.\r\n"},
    {1307, u"This security ID may not be assigned as the owner of this object.\r\n"},
    {1314, u"A required privilege is not held by the client.\r\n"},
    {1400, u"Invalid window handle.\r\n"},
    {1401, u"Invalid menu handle.\r\n"},
    {1460, u"This operation returned because the timeout period expired.\r\n"},
    {1921, u"The name of the file cannot be resolved by the system.\r\n"},
    {4390, u"The file or directory is not a reparse point.\r\n"},
};

constexpr bool sortedByCode() {
  for (size_t i = 1; i < std::size(kMessages); ++i) {
    if (kMessages[i - 1].code >= kMessages[i].code) return false;
  }
  return true;
}
static_assert(sortedByCode(), "message table must be sorted by code");

}  // namespace

ErrorCode lastSystemError() noexcept { return mapErrno(errno); }

std::u16string posixCause(ErrorCode code) {
  if (code == 0) return {};
  int err = lastMappedErrno(code);
  // Otherwise the errno that most often gives the code: the first of these that does.
  static constexpr int kUsual[] = {ENOENT, ENOTDIR, EACCES, ENOSPC, EEXIST, ENOTEMPTY, EXDEV, ENAMETOOLONG, EINVAL,
                                   EBUSY, EIO, EMFILE, ENOMEM, ELOOP, EBADF, EFBIG, ENODEV, EAGAIN, ETIMEDOUT,
                                   ECANCELED, ENOSYS, EOPNOTSUPP, EPIPE, ENOEXEC, EHOSTUNREACH, ENOLCK};
  for (size_t i = 0; err == 0 && i < std::size(kUsual); ++i) {
    if (codeOfErrno(kUsual[i]) == code || codeOfErrno(kUsual[i], true) == code) err = kUsual[i];
  }
  if (err == 0) return {};
  char buffer[128];
  // The GNU form: the text may be the library's own rather than the buffer.
  const char* text = ::strerror_r(err, buffer, sizeof buffer);
  std::u16string out;
  for (const char* c = text; *c != 0; ++c) out += static_cast<char16_t>(static_cast<unsigned char>(*c));
  return out;
}

ErrorCode messageCode(std::u16string_view text) {
  while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r')) text.remove_suffix(1);
  if (text.empty()) return 0;
  for (const MessageEntry& e : kMessages) {
    std::u16string_view known = e.text;
    while (!known.empty() && (known.back() == u'\n' || known.back() == u'\r')) known.remove_suffix(1);
    if (known == text) return e.code;
  }
  return 0;
}

std::u16string systemMessage(ErrorCode code) {
  const auto* end = std::end(kMessages);
  const auto* it = std::lower_bound(std::begin(kMessages), end, code,
                                    [](const MessageEntry& e, ErrorCode c) { return e.code < c; });
  if (it == end || it->code != code) return {};
  return std::u16string(it->text.substr(0, 511));
}

}  // namespace crvl::platform
