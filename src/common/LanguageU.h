// The process-wide language setting and the type of a text that exists in the three languages.
#pragma once

#include <atomic>
#include <cstdint>

namespace sf {

enum class TLanguage : std::uint8_t { Portuguese = 0, English = 1, Spanish = 2 };

// One byte for the whole process. It is set once, before any window or thread exists, so any thread may
// read it without a lock.
TLanguage CurrentLanguage();
void SetLanguage(TLanguage language);
// Values other than 1 and 2 count as Portuguese wherever a text is chosen.
void SetLanguageByte(std::uint8_t value);
std::uint8_t LanguageByte();

struct TTranslated {
  const wchar_t* pt;
  const wchar_t* en;
  const wchar_t* es;
};

// The text of the current language.
const wchar_t* PickText(const TTranslated& text);
const wchar_t* PickText(const wchar_t* pt, const wchar_t* en, const wchar_t* es);

}  // namespace sf
