#include "common/DiskSpaceU.h"

#include <cerrno>
#include <cstdlib>

namespace sf {

namespace {
// Win32 codes, spelt out here so that this file needs no <windows.h>.
constexpr unsigned long kErrorHandleDiskFull = 39;
constexpr unsigned long kErrorDiskFull = 112;
constexpr unsigned long kErrorDiskQuotaExceeded = 1295;
constexpr unsigned long kErrorNotEnoughQuota = 1816;  // what STATUS_QUOTA_EXCEEDED becomes
}  // namespace

bool IsOutOfSpaceErrno(int error) {
#ifdef EDQUOT
  if (error == EDQUOT) return true;
#endif
  return error == ENOSPC;
}

bool IsOutOfSpaceSystemError(unsigned long code) {
  return code == kErrorHandleDiskFull || code == kErrorDiskFull || code == kErrorDiskQuotaExceeded ||
         code == kErrorNotEnoughQuota;
}

bool IsOutOfSpace(const std::error_code& error) {
  if (!error) return false;
  if (error.category() == std::generic_category()) return IsOutOfSpaceErrno(error.value());
#ifdef _WIN32
  return IsOutOfSpaceSystemError(static_cast<unsigned long>(error.value()));
#else
  return IsOutOfSpaceErrno(error.value());
#endif
}

void ClearRuntimeError() {
  errno = 0;
#ifdef _WIN32
  _doserrno = 0;
#endif
}

bool LastRuntimeCallRanOutOfSpace() {
  if (IsOutOfSpaceErrno(errno)) return true;
#ifdef _WIN32
  return IsOutOfSpaceSystemError(_doserrno);
#else
  return false;
#endif
}

}  // namespace sf
