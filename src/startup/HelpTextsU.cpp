#include "startup/HelpTextsU.h"

#include "common/ConstantsU.h"
#include "common/LanguageU.h"
#include "common/TextU.h"

namespace sf {

namespace {

std::wstring Fill(std::wstring_view format, std::initializer_list<std::wstring_view> values) {
  std::wstring out(format);
  for (auto value : values) out = ReplaceFirst(out, L"%s", value);
  return out;
}

}  // namespace

std::wstring HelpTitle() {
  return Fill(PickText(L"%s - Ajuda", L"%s - Help", L"%s - Ayuda"), {ShortcutName});
}

std::vector<std::wstring> HelpLines(const std::wstring& exe) {
  const TLanguage language = CurrentLanguage();
  const std::wstring placeholder = PickText(L"[nome]", L"[name]", L"[nombre]");
  std::vector<std::wstring> lines;
  lines.push_back(PickText(L"Modo de uso:", L"Usage:", L"Modo de uso:"));
  lines.push_back(Fill(L"%s /install %s", {exe, placeholder}));
  lines.push_back(Fill(L"%s /update %s", {exe, placeholder}));
  // The Portuguese text describes "/st" in English too; the Spanish one has no such line.
  if (language != TLanguage::Spanish) lines.push_back(Fill(L"%s /st - %s", {exe, L"Single threaded"}));
  lines.push_back(Fill(L"%s /? - %s", {exe, PickText(L"Exibe esta ajuda", L"Show this help", L"Exibe esta ayuda")}));
  lines.emplace_back();
  lines.push_back(PickText(L"[nome] é um identificador opcional que não pode conter espaços.",
                           L"[name] is an optional identifier that can not contain spaces.",
                           L"[nombre] es un identificador opcional que no puede contener espacios."));
  lines.push_back(Fill(
      PickText(L"Ele serve para que seja possivel ter mais do que uma instalação do %s na mesma máquina.",
               L"It is so that it is possible to have more than one %s installation on the same machine.",
               L"Sirve para que sea posible tener mas de uma instalación de %s en la misma máquina."),
      {ShortcutName}));
  lines.emplace_back();
  lines.push_back(PickText(L"Valor de retorno:", L"Return Value:", L"Valor de retorno:"));
  const TTranslated codes[] = {
      {L" 0 -> Instalação foi concluida com sucesso.", L" 0 -> Installation completed successfully.",
       L" 0 -> Instalación fue concluida con exito."},
      {L" 1 -> Já existe uma instalação com este nome (somente com /install).",
       L" 1 -> An installation with this name already exists (only with / install).",
       L" 1 -> Ya existe una instalación con este nombre (solamente con /install)."},
      {L" 2 -> Não foi encontrada uma instalação com o nome selecionado (somente com atualizar/reparar).",
       L" 2 -> No installation was found with the selected name (only with update/repair).",
       L" 2 -> No fue encontrada una instalación con el nombre selecionado (solamente con actualizar/reparar)."},
      {L" 3 -> O %s está em execução e precisa ser fechado antes de ser feita alguma alteração no sistema.",
       L" 3 -> %s is running and needs to be closed before any changes are made to the system.",
       L" 3 -> %s está en ejecución y necesita ser cerrado antes de ser hecha alguna alteración en el sistema."},
      {L" 4 -> Ocorreram mais de 3 falhas ao tentar efetuar o download dos arquivos.",
       L" 4 -> There were more than 3 failures when attempting to download the files.",
       L" 4 -> Ocurrieron mas de 3 fallas al intentar efectuar el download de los archivos."},
      {L"-1 -> Ocorreu algum erro inesperado.", L"-1 -> There was an unexpected error.",
       L"-1 -> Ocurrio un error inesperado."},
  };
  for (const auto& code : codes) lines.push_back(L"\t" + Fill(PickText(code), {ShortcutName}));
  return lines;
}

std::wstring HelpText(const std::wstring& exeName) {
  std::wstring text;
  for (const auto& line : HelpLines(exeName)) {
    if (!text.empty()) text += L"\r\n";
    text += line;
  }
  return text;
}

}  // namespace sf
