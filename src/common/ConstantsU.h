// Every edition-dependent name, address and theme value of the installer. Other modules use these by
// name and never repeat their values.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "sf_config.h"

namespace sf {

// Colours are in the platform's colour-reference form 0x00BBGGRR (blue in the high byte).
using TColor = std::uint32_t;

inline constexpr const wchar_t* CompanyName = L"Ardentis";
inline constexpr const wchar_t* PublisherName = L"Ardentis";
inline constexpr const wchar_t* ProductName = L"Stormfinch";
inline constexpr const wchar_t* AppTitle = L"Stormfinch";
inline constexpr const wchar_t* DisplayName = L"Stormfinch";
inline constexpr const wchar_t* ShortcutName = L"Stormfinch";
inline constexpr const wchar_t* ProductId = L"stormfinch";
inline constexpr const wchar_t* InstallerExeName = L"Stormfinch.exe";
inline constexpr const wchar_t* ProductExeName = L"stormfinch.exe";

// Class name of the wizard window; the single-instance check looks for it together with DisplayName.
inline constexpr const wchar_t* SetupFormClassName = L"TSetupForm";

inline constexpr const wchar_t* InstallerInfoBaseUrl = SF_INSTALLER_INFO_BASE_URL;
inline constexpr const wchar_t* InstallerDownloadBaseUrl = SF_INSTALLER_DOWNLOAD_BASE_URL;
inline constexpr const wchar_t* VersionServerUrl = SF_VERSION_SERVER_URL;
inline constexpr const wchar_t* ErrorReportUrl = SF_ERROR_REPORT_URL;
inline constexpr const wchar_t* ContractUrl = SF_CONTRACT_URL;

// The public keys whose signatures make a version manifest and the version text authentic (the build
// setting SF_MANIFEST_KEYS): uncompressed P-256 points 04‖X‖Y in hexadecimal, any of which may sign, so
// that a new key can be trusted before the old one is retired. Empty: nothing is signed and nothing is
// asked for. Defined by each executable (ManifestKeysU.cpp), so that a test build with test keys shares
// every other object with the product's.
std::span<const std::string_view> ManifestKeys();

enum class TQuillonGradientDirection : std::uint8_t { gdHorizontal = 0, gdVertical = 1, gdDiagonal = 2 };

inline constexpr TColor ButtonColor = 0xFFFFFF;
inline constexpr TColor ButtonColor2 = 0xFFFFFF;
inline constexpr TQuillonGradientDirection ButtonGradientDirection = TQuillonGradientDirection::gdVertical;
inline constexpr bool ButtonForceFontColor = false;
inline constexpr bool ButtonClear = false;
inline constexpr TColor ButtonFontColor = 0x000000;
inline constexpr TColor LabelFontColor = 0xFFFFFF;
inline constexpr TColor LinkFontColor = 0xD17F2F;
inline constexpr TColor ProgressColor = 0xFFFFFF;
inline constexpr TColor ProgressBackColor = 0x373737;
inline constexpr bool UseAlternateLogo = false;

}  // namespace sf
