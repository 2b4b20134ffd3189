// Capture of errors nobody else handles. Errors that escape a window's message handling go to
// ExceptionHandler; the engine sends the errors it recovers from to SilentException.
#pragma once

#include <exception>
#include <string>

namespace sf {

// Installs the process-wide capture (start-up, before any window exists).
void InstallExceptionCapture();

// An error that escaped UI event processing.
void ExceptionHandler(const std::exception& error);
// An error reported without telling the user. sender names the reporting object (may be empty).
void SilentException(const std::wstring& sender, const std::exception& error);

}  // namespace sf
