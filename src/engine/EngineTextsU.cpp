#include "engine/EngineTextsU.h"

#include "common/LanguageU.h"
#include "common/NoDestructorU.h"

namespace sf {

namespace {

constexpr TTranslated kInstalling{L"Instalando...", L"Installing...", L"Instalando..."};
constexpr TTranslated kUpdating{L"Atualizando...", L"Updating...", L"Actualizando..."};
constexpr TTranslated kConnectionRetry{
    L"Certifique-se de que sua conexão com a internet está funcionando e clique em Tentar Novamente.",
    L"Make sure your internet connection is working and click Retry.",
    L"Asegurese de su conección a internet y clique en Reintenrar."};
constexpr TTranslated kFileInUse{
    L"Ocorreu um erro no processo de instalação.\r\nCertifique-se que o produto não esteja em uso e tente novamente.",
    L"An error has occurred while installing the product.\r\nPlease make sure it is not currently in use and try again.",
    L"Ha ocurrido un error al instalar el producto.\r\nPor favor, asegúrese de que no esté actualmente en uso y vuelva "
    L"a intentarlo.."};
constexpr TTranslated kUnexpectedError{
    L"Ocorreu um erro inesperado ao efetuar a instalação. Por favor, tente reiniciar o processo ou entre em contato "
    L"com a Ardentis.\r\nAo contatar o suporte, forneça o seguinte código de identificação: ",
    L"An unexpected error occurred while performing the installation. Please try restarting the process or contact "
    L"Ardentis.\r\nWhen contacting the support, please provide the following code: ",
    L"Ocurrió un error inesperado al realizar la instalación. Intente reiniciar el proceso o comuníquese con "
    L"Ardentis.\r\nCuando se comunique con soporte, proporcione el siguiente código: "};

// The folder goes on a line of its own, after the request: the aborted page has three lines for the text.
constexpr TTranslated kDiskFull{
    L"Não há espaço suficiente em disco para concluir a instalação.\r\nLibere espaço na unidade desta pasta e "
    L"tente novamente:\r\n",
    L"There is not enough disk space to complete the installation.\r\nPlease free some space on the drive of this "
    L"folder and try again:\r\n",
    L"No hay espacio suficiente en el disco para completar la instalación.\r\nLibere espacio en la unidad de esta "
    L"carpeta y vuelva a intentarlo:\r\n"};

}  // namespace

TEngineTexts& EngineTexts() {
  static TNoDestructor<TEngineTexts> texts(TEngineTexts{kInstalling.pt, kUpdating.pt, kConnectionRetry.pt,
                                                        kFileInUse.pt, kUnexpectedError.pt});
  return *texts;
}

void TranslateEngineTexts() {
  if (CurrentLanguage() == TLanguage::Portuguese) return;
  auto& texts = EngineTexts();
  texts.installing = PickText(kInstalling);
  texts.updating = PickText(kUpdating);
  texts.connectionRetry = PickText(kConnectionRetry);
  texts.fileInUse = PickText(kFileInUse);
  texts.unexpectedError = PickText(kUnexpectedError);
}

std::wstring DiskFullText(const std::wstring& folder) { return PickText(kDiskFull) + folder; }

std::wstring StartingText() {
  return CurrentLanguage() == TLanguage::English ? L"Getting Started..." : L"Iniciando...";
}

std::wstring FinishingText() { return CurrentLanguage() == TLanguage::English ? L"Finishing..." : L"Finalizando..."; }

}  // namespace sf
