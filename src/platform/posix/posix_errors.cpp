// errno -> Windows error code.
#include "posix_errors.h"

#include <cerrno>

namespace crvl::platform {

namespace {
thread_local int t_lastErrno = 0;
thread_local ErrorCode t_lastCode = 0;
}  // namespace

ErrorCode mapErrno(int err, bool missingParent) noexcept {
  const ErrorCode code = codeOfErrno(err, missingParent);
  if (err != 0) {
    t_lastErrno = err;
    t_lastCode = code;
  }
  return code;
}

int lastMappedErrno(ErrorCode code) noexcept { return code != 0 && code == t_lastCode ? t_lastErrno : 0; }

ErrorCode codeOfErrno(int err, bool missingParent) noexcept {
  switch (err) {
    case 0: return kSuccess;
    case ENOENT: return missingParent ? kErrorPathNotFound : kErrorFileNotFound;
    case ENOTDIR: return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return kErrorAccessDenied;
    case ENOSPC:
    case EDQUOT: return kErrorDiskFull;
    case EEXIST: return kErrorAlreadyExists;
    case ENOTEMPTY: return kErrorDirNotEmpty;
    case EXDEV: return kErrorNotSameDevice;
    case ENAMETOOLONG: return kErrorFilenameExcedRange;
    case EINVAL:
    case EFAULT:
    case ESPIPE: return kErrorInvalidParameter;
    case EBUSY:
    case ETXTBSY: return kErrorSharingViolation;
    case EIO: return kErrorIoDevice;
    case EMFILE:
    case ENFILE: return kErrorTooManyOpenFiles;
    case ENOMEM: return kErrorNotEnoughMemory;
    case ELOOP: return kErrorCantResolveFilename;
    case EBADF: return kErrorInvalidHandle;
    case EFBIG: return kErrorFileTooLarge;
    case ENXIO:
    case ENODEV: return kErrorNotReady;
#ifdef ENOMEDIUM
    case ENOMEDIUM: return kErrorNoMediaInDrive;
#endif
    case EAGAIN: return kErrorBusy;
    case ETIMEDOUT: return kErrorTimeout;
    case ECANCELED: return kErrorOperationAborted;
    case EINTR: return kErrorOperationAborted;
    case ENOSYS: return kErrorCallNotImplemented;
    case EOPNOTSUPP: return kErrorNotSupported;
    case EPIPE: return kErrorBrokenPipe;
    case ENOEXEC: return kErrorBadExeFormat;
    case EOVERFLOW: return kErrorFileTooLarge;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case EHOSTDOWN: return kErrorBadNetPath;
    case ENOLCK: return kErrorLockViolation;
    default: return kErrorGenFailure;
  }
}

}  // namespace crvl::platform
