// The rules that turn the platform's facts into the names and numbers of the system diagnostics. Portable:
// SystemDiagU gathers the facts on Windows, these functions decide the texts, so every row of the
// naming tables can be checked without the Windows version it describes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sf {

// A measured clock rate in whole MHz moved to the nearest usual step of its hundred (00, 20, 33, 50, 60,
// 66, 80, 90, 100); a remainder exactly halfway goes up. Values below 1 are returned unchanged.
int NormalizeCpuFrequency(int mhz);

enum class TProcessorArchitecture : std::uint8_t { Other, X86, X64, Arm, Arm64 };

// What the platform's version query and the registry say about the running Windows.
struct TWindowsFacts {
  bool bWin9x = false;  // the Windows 95 family rather than NT
  unsigned nMajor = 0;
  unsigned nMinor = 0;
  unsigned nBuild = 0;
  std::uint8_t nProductType = 0;  // 1 workstation, 2 domain controller, 3 server, 0 when unknown
  std::uint16_t nSuiteMask = 0;
  std::uint16_t nServicePackMajor = 0;
  std::wstring strServicePack;  // the service-pack text; on the 95 family its second letter marks a release
  TProcessorArchitecture architecture = TProcessorArchitecture::Other;  // native, not the process's
  bool bServerR2 = false;
  // Values under HKLM "SOFTWARE\Microsoft\Windows NT\CurrentVersion" and ProductOptions; empty when absent.
  std::wstring strCurrentBuildNumber;
  std::wstring strReleaseId;
  std::wstring strRegistryProductType;
};

inline constexpr std::uint8_t kProductWorkstation = 1;

// "Windows 10", "Windows Server 2012 R2", "Windows NT 4.0"...; empty for a system the table does not know.
std::wstring WindowsVersionNameOf(const TWindowsFacts& facts);
// "Professional", "Home Edition", "Enterprise"...; the registry's ProductType decides when the version
// query gave no product type.
std::wstring WindowsProductTypeNameOf(const TWindowsFacts& facts);
// "Windows 10 (Version 10.0, Build 19045, 64-bit Edition)"; builds after 21999 are named Windows 11.
std::wstring OsDescriptionOf(const TWindowsFacts& facts);

// Position in the alphabet of the drive letter a path starts with (A is 1), blanks ignored; 0 when the
// path does not start with a letter.
int DriveNumberFromPath(std::wstring_view path);

// The locale's digit grouping ("3;0", "3;2;0") in the number form the platform's number formatter takes.
unsigned NumberGroupingOf(std::wstring_view localeGrouping);

}  // namespace sf
