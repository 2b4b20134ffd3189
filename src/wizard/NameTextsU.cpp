#include "wizard/NameTextsU.h"

#include "common/LanguageU.h"

namespace sf {

namespace {

constexpr TTranslated kPlaceholder{L"Nome Escolhido", L"Name Chosen", L"Nombre escojido"};
constexpr TTranslated kNotFilled{L"Preencha o nome da instalação", L"Fill in the name of the installation",
                                 L"Digite el nombre de la instalação"};
constexpr TTranslated kHasSpaces{L"O nome não pode conter espaços", L"Name field can not contain spaces",
                                 L"El campo de nombre no puede contener espacios"};
constexpr TTranslated kBadCharacters{
    L"O nome não pode conter \\ / : * ? \" < > | nem caracteres de controle, nem começar ou terminar com "
    L"ponto ou espaço",
    L"Name field can not contain \\ / : * ? \" < > | or control characters, nor begin or end with a dot or a space",
    L"El campo de nombre no puede contener \\ / : * ? \" < > | ni caracteres de control, ni empezar o terminar con "
    L"punto o espacio"};
constexpr TTranslated kInUse{L"O nome escolhido já foi utilizado", L"The chosen name has already been used",
                             L"El nombre elegido ya ha sido utilizado"};

}  // namespace

TNameEntryTexts& SharedNameTexts() {
  static TNameEntryTexts texts{kPlaceholder.pt, kNotFilled.pt, kHasSpaces.pt, kBadCharacters.pt, kInUse.pt};
  return texts;
}

void TranslateSharedNameTexts() {
  if (CurrentLanguage() == TLanguage::Portuguese) return;
  auto& texts = SharedNameTexts();
  texts.placeholder = PickText(kPlaceholder);
  texts.notFilled = PickText(kNotFilled);
  texts.hasSpaces = PickText(kHasSpaces);
  texts.badCharacters = PickText(kBadCharacters);
  texts.inUse = PickText(kInUse);
}

}  // namespace sf
