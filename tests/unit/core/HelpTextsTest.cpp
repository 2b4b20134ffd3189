#include "startup/HelpTextsU.h"

#include <gtest/gtest.h>

#include "common/LanguageU.h"

namespace sf {
namespace {

class HelpTexts : public testing::Test {
 protected:
  void TearDown() override { SetLanguage(TLanguage::Portuguese); }
};

TEST_F(HelpTexts, PortugueseTextInOrder) {
  SetLanguage(TLanguage::Portuguese);
  EXPECT_EQ(HelpTitle(), L"Stormfinch - Ajuda");
  const std::wstring expected =
      L"Modo de uso:\r\n"
      L"Setup.exe /install [nome]\r\n"
      L"Setup.exe /update [nome]\r\n"
      L"Setup.exe /st - Single threaded\r\n"
      L"Setup.exe /? - Exibe esta ajuda\r\n"
      L"\r\n"
      L"[nome] é um identificador opcional que não pode conter espaços.\r\n"
      L"Ele serve para que seja possivel ter mais do que uma instalação do Stormfinch na mesma máquina.\r\n"
      L"\r\n"
      L"Valor de retorno:\r\n"
      L"\t 0 -> Instalação foi concluida com sucesso.\r\n"
      L"\t 1 -> Já existe uma instalação com este nome (somente com /install).\r\n"
      L"\t 2 -> Não foi encontrada uma instalação com o nome selecionado (somente com atualizar/reparar).\r\n"
      L"\t 3 -> O Stormfinch está em execução e precisa ser fechado antes de ser feita alguma alteração no sistema.\r\n"
      L"\t 4 -> Ocorreram mais de 3 falhas ao tentar efetuar o download dos arquivos.\r\n"
      L"\t-1 -> Ocorreu algum erro inesperado.";
  EXPECT_EQ(HelpText(L"Setup.exe"), expected);
}

TEST_F(HelpTexts, EnglishAndSpanishDifferWhereTheyShould) {
  SetLanguage(TLanguage::English);
  EXPECT_EQ(HelpTitle(), L"Stormfinch - Help");
  auto lines = HelpLines(L"S.exe");
  EXPECT_EQ(lines[0], L"Usage:");
  EXPECT_EQ(lines[1], L"S.exe /install [name]");
  EXPECT_EQ(lines[3], L"S.exe /st - Single threaded");
  EXPECT_EQ(lines[4], L"S.exe /? - Show this help");
  EXPECT_EQ(lines.back(), L"\t-1 -> There was an unexpected error.");

  SetLanguage(TLanguage::Spanish);
  EXPECT_EQ(HelpTitle(), L"Stormfinch - Ayuda");
  lines = HelpLines(L"S.exe");
  ASSERT_EQ(lines.size(), 15u);  // no "/st" line in Spanish
  EXPECT_EQ(lines[2], L"S.exe /update [nombre]");
  EXPECT_EQ(lines[3], L"S.exe /? - Exibe esta ayuda");
  EXPECT_EQ(lines[6], L"Sirve para que sea posible tener mas de uma instalación de Stormfinch en la misma máquina.");
}

TEST_F(HelpTexts, LanguageByteOutsideTheEnumerationIsPortuguese) {
  SetLanguageByte(7);
  EXPECT_EQ(HelpTitle(), L"Stormfinch - Ajuda");
}

}  // namespace
}  // namespace sf
