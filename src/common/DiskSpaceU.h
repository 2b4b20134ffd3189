// Whether a failed write or create ran out of space: the disk is full, or the user's disk quota is used
// up. No download or retry helps then, so callers tell it apart from a damaged package. Portable.
#pragma once

#include <system_error>

namespace sf {

// ENOSPC, and EDQUOT where the system has it.
bool IsOutOfSpaceErrno(int error);
// ERROR_HANDLE_DISK_FULL, ERROR_DISK_FULL, ERROR_DISK_QUOTA_EXCEEDED and ERROR_NOT_ENOUGH_QUOTA: the codes
// a write or create returns for a full disk or an exceeded quota on Windows.
bool IsOutOfSpaceSystemError(unsigned long code);
bool IsOutOfSpace(const std::error_code& error);

// Clears the C runtime's error state before a call whose failure is then tested with
// LastRuntimeCallRanOutOfSpace: errno and, on Windows, the system code the runtime keeps beside it
// (the runtime maps only some system codes to errno).
void ClearRuntimeError();
bool LastRuntimeCallRanOutOfSpace();

}  // namespace sf
