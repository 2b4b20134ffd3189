#include "logging/SystemNamesU.h"

#include <climits>
#include <cwchar>
#include <iterator>

#include "common/TextU.h"

namespace sf {

namespace {

// Suite flags of the platform's version query.
constexpr std::uint16_t kSuiteEnterprise = 0x0002;
constexpr std::uint16_t kSuiteDatacenter = 0x0080;
constexpr std::uint16_t kSuitePersonal = 0x0200;
constexpr std::uint16_t kSuiteBlade = 0x0400;

constexpr unsigned kFirstWindows11Build = 22000;

bool IsWorkstation(const TWindowsFacts& f) { return f.nProductType == kProductWorkstation; }

bool IsArm(const TWindowsFacts& f) {
  return f.architecture == TProcessorArchitecture::Arm || f.architecture == TProcessorArchitecture::Arm64;
}

// A registry number text; fallback when it is missing or not a number.
unsigned NumberOr(const std::wstring& text, unsigned fallback) {
  const std::wstring trimmed = Trim(text);
  if (trimmed.empty()) return fallback;
  wchar_t* end = nullptr;
  const unsigned long value = std::wcstoul(trimmed.c_str(), &end, 10);
  return (end && *end == L'\0' && value <= UINT_MAX) ? static_cast<unsigned>(value) : fallback;
}

std::wstring Win9xName(const TWindowsFacts& f) {
  const wchar_t release = f.strServicePack.size() > 1 ? f.strServicePack[1] : L' ';
  if (f.nMajor == 4 && f.nMinor == 0) return (release == L'B' || release == L'C') ? L"Windows 95 OSR2" : L"Windows 95";
  if (f.nMajor == 4 && f.nMinor == 10) return release == L'A' ? L"Windows 98 SE" : L"Windows 98";
  if (f.nMajor == 4 && f.nMinor == 90) return L"Windows ME";
  return {};
}

std::wstring Server2003Name(const TWindowsFacts& f) {
  return f.bServerR2 ? L"Windows Server 2003 R2" : L"Windows Server 2003";
}

std::wstring OsFamilyName(const TWindowsFacts& f) {
  const bool ws = IsWorkstation(f);
  const unsigned version = f.nMajor * 100 + f.nMinor;
  switch (version) {
    case 500: return L"Windows 2000";
    case 501: return L"Windows XP";
    case 502:
      return ws && f.architecture == TProcessorArchitecture::X64 ? L"Windows XP" : Server2003Name(f);
    case 600: return ws ? L"Windows Vista" : L"Windows Server 2008";
    case 601: return ws ? L"Windows 7" : L"Windows Server 2008 R2";
    case 602: return ws ? L"Windows 8" : L"Windows Server 2012";
    case 603: return ws ? L"Windows 8.1" : L"Windows Server 2012 R2";
    case 1000: return ws ? L"Windows 10" : L"Windows Server 2016";
    default: return L"Windows";
  }
}

void ReplaceAll(std::wstring& text, std::wstring_view from, std::wstring_view to) {
  for (size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

}  // namespace

int NormalizeCpuFrequency(int mhz) {
  if (mhz < 1) return mhz;
  static constexpr int kSteps[] = {0, 20, 33, 50, 60, 66, 80, 90, 100};
  const int rest = mhz % 100;
  int lo = 0;
  int hi = 100;
  for (size_t i = 1; i < std::size(kSteps); ++i) {
    if (kSteps[i] > rest) {
      lo = kSteps[i - 1];
      hi = kSteps[i];
      break;
    }
  }
  // In 64 bits, so rounding up the largest values cannot overflow before it is clamped.
  const long long result = (rest - lo < hi - rest) ? static_cast<long long>(mhz) - (rest - lo)
                                                   : static_cast<long long>(mhz) + (hi - rest);
  return result > INT_MAX ? mhz : static_cast<int>(result);
}

std::wstring WindowsVersionNameOf(const TWindowsFacts& f) {
  if (f.bWin9x) return Win9xName(f);
  const bool ws = IsWorkstation(f);
  switch (f.nMajor) {
    case 3:
    case 4: return L"Windows NT " + std::to_wstring(f.nMajor) + L"." + std::to_wstring(f.nMinor);
    case 5:
      if (f.nMinor == 0) return L"Windows 2000";
      if (f.nMinor == 1) return L"Windows XP";
      if (f.nMinor == 2) {
        return ws && f.architecture == TProcessorArchitecture::X64 ? L"Windows XP x64" : Server2003Name(f);
      }
      return {};
    case 6:
      switch (f.nMinor) {
        case 0: return ws ? L"Windows Vista" : L"Windows Server 2008";
        case 1: return ws ? L"Windows 7" : L"Windows Server 2008 R2";
        case 2: return ws ? (IsArm(f) ? L"Windows RT" : L"Windows 8") : L"Windows Server 2012";
        case 3: return ws ? (IsArm(f) ? L"Windows RT 8.1" : L"Windows 8.1") : L"Windows Server 2012 R2";
        default: return {};
      }
    case 10:
      if (f.nMinor != 0) return {};
      if (ws) return NumberOr(f.strCurrentBuildNumber, f.nBuild) < kFirstWindows11Build ? L"Windows 10" : L"Windows 11";
      if (Trim(f.strReleaseId) == L"1607") return L"Windows Server 2016";
      if (Trim(f.strReleaseId) == L"1809") return L"Windows Server 2019";
      return L"Windows Server";
    default: return {};
  }
}

std::wstring WindowsProductTypeNameOf(const TWindowsFacts& f) {
  switch (f.nProductType) {
    case 1:
      if (f.nMajor == 4) return L"Workstation";
      return (f.nSuiteMask & kSuitePersonal) ? L"Home Edition" : L"Professional";
    case 2:
    case 3: {
      const bool since2003 = f.nMajor > 5 || (f.nMajor == 5 && f.nMinor >= 2);
      if (f.nSuiteMask & kSuiteDatacenter) return L"Datacenter Server";
      if (f.nSuiteMask & kSuiteEnterprise) return since2003 ? L"Enterprise" : L"Advanced Server";
      if (f.nSuiteMask & kSuiteBlade) return L"Web Edition";
      return L"Server";
    }
    default:
      if (EqualsIgnoreCaseInLocale(Trim(f.strRegistryProductType), L"WINNT")) return L"Workstation";
      if (EqualsIgnoreCaseInLocale(Trim(f.strRegistryProductType), L"SERVERNT")) return L"Advanced Server";
      if (EqualsIgnoreCaseInLocale(Trim(f.strRegistryProductType), L"LANMANNT")) return L"Server";
      return {};
  }
}

std::wstring OsDescriptionOf(const TWindowsFacts& f) {
  std::wstring text = OsFamilyName(f);
  if (f.nServicePackMajor > 0) text += L" Service Pack " + std::to_wstring(f.nServicePackMajor);
  text += L" (Version " + std::to_wstring(f.nMajor) + L"." + std::to_wstring(f.nMinor) + L", Build " +
          std::to_wstring(f.nBuild) + L", " +
          (f.architecture == TProcessorArchitecture::X64 ? L"64-bit Edition" : L"32-bit Edition") + L")";
  // The platform still calls Windows 11 "Windows 10"; only the build number tells them apart.
  if (f.nBuild >= kFirstWindows11Build) ReplaceAll(text, L"Windows 10", L"Windows 11");
  return text;
}

int DriveNumberFromPath(std::wstring_view path) {
  const std::wstring trimmed = Trim(path);
  if (trimmed.empty()) return 0;
  const wchar_t letter = trimmed.front();
  if (letter >= L'A' && letter <= L'Z') return letter - L'A' + 1;
  if (letter >= L'a' && letter <= L'z') return letter - L'a' + 1;
  return 0;
}

unsigned NumberGroupingOf(std::wstring_view localeGrouping) {
  // "3;0" repeats groups of 3 (3), "3;2;0" is 3 then repeated 2 (32), and a list without the closing 0
  // stops grouping after its last group (a trailing 0 in the number form: "3" is 30).
  std::wstring digits;
  for (const wchar_t c : localeGrouping) {
    if (c >= L'0' && c <= L'9') digits += c;
  }
  if (digits.empty()) return 0;
  if (digits.size() > 1 && digits.back() == L'0') {
    digits.pop_back();
  } else if (digits != L"0") {
    digits += L'0';
  }
  unsigned value = 0;
  for (const wchar_t c : digits.substr(0, 9)) value = value * 10 + static_cast<unsigned>(c - L'0');
  return value;
}

}  // namespace sf
