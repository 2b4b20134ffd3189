#include "common/LanguageU.h"

namespace sf {

namespace {
std::atomic<std::uint8_t> g_language{0};
}  // namespace

TLanguage CurrentLanguage() {
  switch (g_language.load(std::memory_order_relaxed)) {
    case 1: return TLanguage::English;
    case 2: return TLanguage::Spanish;
    default: return TLanguage::Portuguese;
  }
}

void SetLanguage(TLanguage language) { g_language.store(static_cast<std::uint8_t>(language)); }
void SetLanguageByte(std::uint8_t value) { g_language.store(value); }
std::uint8_t LanguageByte() { return g_language.load(std::memory_order_relaxed); }

const wchar_t* PickText(const TTranslated& text) {
  switch (CurrentLanguage()) {
    case TLanguage::English: return text.en;
    case TLanguage::Spanish: return text.es;
    default: return text.pt;
  }
}

const wchar_t* PickText(const wchar_t* pt, const wchar_t* en, const wchar_t* es) {
  return PickText(TTranslated{pt, en, es});
}

}  // namespace sf
