// The texts the engine shows on the progress, retry and aborted pages. Five of them start in Portuguese
// and are replaced by Translate when the engine sets up the downloads; the starting and finishing texts
// are chosen where they are used.
#pragma once

#include <string>

namespace sf {

struct TEngineTexts {
  std::wstring installing;
  std::wstring updating;
  std::wstring connectionRetry;
  std::wstring fileInUse;
  std::wstring unexpectedError;  // ends with the request to quote the identifier shown beside it
};

// Starts in Portuguese; written only by the engine thread, read by the workers.
TEngineTexts& EngineTexts();
void TranslateEngineTexts();

// The run stopped for lack of space: names the folder and asks for room, in the current language.
std::wstring DiskFullText(const std::wstring& folder);

std::wstring StartingText();   // "Iniciando..." / "Getting Started..."
std::wstring FinishingText();  // "Finalizando..." / "Finishing..."

}  // namespace sf
