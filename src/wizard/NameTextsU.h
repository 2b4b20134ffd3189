// The texts of the name field, shared by the name page and the messages it shows. They start in
// Portuguese and are replaced by the name page's Translate in English and Spanish.
#pragma once

#include <string>

namespace sf {

struct TNameEntryTexts {
  std::wstring placeholder;
  std::wstring notFilled;
  std::wstring hasSpaces;
  std::wstring badCharacters;
  std::wstring inUse;
};
TNameEntryTexts& SharedNameTexts();
void TranslateSharedNameTexts();

}  // namespace sf
