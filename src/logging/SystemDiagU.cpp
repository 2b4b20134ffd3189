#include "logging/SystemDiagU.h"

#include <windows.h>
#include <iphlpapi.h>
#include <intrin.h>
#include <tlhelp32.h>
#include <wbemidl.h>
#include <wrl/client.h>

#include <cmath>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "common/ErrorU.h"
#include "common/HexU.h"
#include "common/RegistryU.h"
#include "common/TextU.h"
#include "common/WinErrorU.h"
#include "common/WinHandleU.h"
#include "logging/LogU.h"

namespace sf {

using Microsoft::WRL::ComPtr;

namespace {

constexpr wchar_t kDiagPrefix[] = L"LogU.AppendLogSystemDiag : ";
constexpr wchar_t kUndetermined[] = L"Impossível determinar [except]";
constexpr wchar_t kCurrentVersionKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr wchar_t kProductOptionsKey[] = L"SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
constexpr ULONG kFirstAdapterBufferSize = 15360;
constexpr long long kBytesPerMB = 1048576;

const wchar_t* YesNo(bool value) { return value ? L"Sim" : L"Não"; }

// GetProcAddress gives a generic pointer; going through void* keeps the cast to the real type explicit.
template <typename Function>
Function ProcAddress(HMODULE module, const char* name) {
  return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

// The version query of ntdll answers with the real numbers; GetVersionEx answers what the manifest
// declares, and kernel32's file version lags behind the releases that only raise the build number.
RTL_OSVERSIONINFOEXW RealVersionInfo() {
  using TRtlGetVersion = LONG(WINAPI*)(RTL_OSVERSIONINFOEXW*);
  RTL_OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof(info);
  const auto query = ProcAddress<TRtlGetVersion>(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion");
  if (!query || query(&info) != 0) info = RTL_OSVERSIONINFOEXW{};
  return info;
}

TProcessorArchitecture NativeArchitecture() {
  SYSTEM_INFO info{};
  ::GetNativeSystemInfo(&info);
  switch (info.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_AMD64: return TProcessorArchitecture::X64;
    case PROCESSOR_ARCHITECTURE_INTEL: return TProcessorArchitecture::X86;
    case PROCESSOR_ARCHITECTURE_ARM: return TProcessorArchitecture::Arm;
    case PROCESSOR_ARCHITECTURE_ARM64: return TProcessorArchitecture::Arm64;
    default: return TProcessorArchitecture::Other;
  }
}

std::wstring LocaleText(LCTYPE type) {
  wchar_t buffer[32] = {};
  const int length = ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buffer, 32);
  if (length <= 0) throw TWinError(L"GetLocaleInfoEx");
  return std::wstring(buffer, static_cast<size_t>(length - 1));
}

DWORD LocaleNumber(LCTYPE type) {
  DWORD value = 0;
  if (::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type | LOCALE_RETURN_NUMBER, reinterpret_cast<LPWSTR>(&value),
                        sizeof(value) / sizeof(wchar_t)) <= 0) {
    throw TWinError(L"GetLocaleInfoEx");
  }
  return value;
}

std::wstring FreeSpaceOrDash(int driveNumber) {
  try {
    if (driveNumber == 0) throw TError(L"APPDATA does not start with a drive letter");
    return FreeDiskSpaceText(driveNumber);
  } catch (const std::exception&) {
    return L" - ";
  }
}

// WMI and COM failures as an exception whose message names the call and the HRESULT. The system has texts
// for its own codes; the interface-specific codes of WMI are documented by number only.
void CheckCom(HRESULT hr, const std::wstring& call) {
  if (SUCCEEDED(hr)) return;
  std::wstring message = call + L" failed, HRESULT " + HexCodeText(static_cast<std::uint32_t>(hr));
  if (HRESULT_FACILITY(hr) != FACILITY_ITF) message += L": " + SystemErrorText(static_cast<DWORD>(hr));
  throw TError(message);
}

TScopedBstr Bstr(const wchar_t* text) {
  TScopedBstr bstr(::SysAllocString(text));
  if (!bstr) throw TError(L"SysAllocString: out of memory");
  return bstr;
}

class TScopedVariant {
 public:
  TScopedVariant() { ::VariantInit(&m_value); }
  ~TScopedVariant() { ::VariantClear(&m_value); }
  TScopedVariant(const TScopedVariant&) = delete;
  TScopedVariant& operator=(const TScopedVariant&) = delete;
  VARIANT* Receive() {
    ::VariantClear(&m_value);
    return &m_value;
  }
  VARIANT& Get() { return m_value; }

 private:
  VARIANT m_value;
};

// One object's line: each non-null property after one blank, trimmed.
std::wstring WmiObjectLine(IWbemClassObject* object, const std::vector<std::wstring>& propertyNames) {
  std::wstring line;
  for (const std::wstring& name : propertyNames) {
    TScopedVariant value;
    CheckCom(object->Get(name.c_str(), 0, value.Receive(), nullptr, nullptr), L"IWbemClassObject.Get " + name);
    if (value.Get().vt == VT_NULL || value.Get().vt == VT_EMPTY) continue;
    CheckCom(::VariantChangeType(&value.Get(), &value.Get(), 0, VT_BSTR), L"VariantChangeType");
    line += L' ';
    line += Trim(value.Get().bstrVal ? value.Get().bstrVal : L"");
  }
  return line;
}

// The query itself, on a thread that has joined the multithreaded apartment.
void RunWmiQuery(const std::wstring& query, const std::vector<std::wstring>& propertyNames,
                 const std::function<void(std::wstring)>& onLine) {
  // WMI's own locator rather than its scripting wrapper: the wrapper lives in single-threaded apartments,
  // so a multithreaded apartment would reach it through a host thread and marshalled calls (which
  // deadlock under Wine); the locator serves every apartment directly.
  ComPtr<IWbemLocator> locator;
  CheckCom(::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&locator)),
           L"CoCreateInstance WbemLocator");
  ComPtr<IWbemServices> services;
  CheckCom(locator->ConnectServer(Bstr(L"\\\\localhost\\root\\CIMV2").Get(), nullptr, nullptr, nullptr, 0, nullptr,
                                  nullptr, &services),
           L"ConnectServer");
  // The service runs in its own process on Windows; without impersonation it may refuse the query. An
  // in-process service (Wine's) has no proxy to set, and the query then needs none.
  ::CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_DEFAULT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                      RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
  ComPtr<IEnumWbemClassObject> objects;
  CheckCom(services->ExecQuery(Bstr(L"WQL").Get(), Bstr(query.c_str()).Get(),
                               WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, &objects),
           L"ExecQuery");
  for (;;) {
    ComPtr<IWbemClassObject> object;
    ULONG returned = 0;
    const HRESULT hr = objects->Next(static_cast<LONG>(WBEM_INFINITE), 1, &object, &returned);
    CheckCom(hr, L"IEnumWbemClassObject.Next");
    if (hr != WBEM_S_NO_ERROR || returned == 0 || !object) return;
    onLine(WmiObjectLine(object.Get(), propertyNames));
  }
}

}  // namespace

TWindowsFacts WindowsFacts() {
  const RTL_OSVERSIONINFOEXW version = RealVersionInfo();
  TWindowsFacts facts;
  facts.bWin9x = version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
  facts.nMajor = version.dwMajorVersion;
  facts.nMinor = version.dwMinorVersion;
  // The 95 family keeps its major and minor numbers in the high word of the build number.
  facts.nBuild = facts.bWin9x ? (version.dwBuildNumber & 0xFFFF) : version.dwBuildNumber;
  facts.nProductType = version.wProductType;
  facts.nSuiteMask = version.wSuiteMask;
  facts.nServicePackMajor = version.wServicePackMajor;
  facts.strServicePack = version.szCSDVersion;
  facts.architecture = NativeArchitecture();
  facts.bServerR2 = ::GetSystemMetrics(SM_SERVERR2) != 0;

  TRegKey currentVersion;
  if (currentVersion.Open(HKEY_LOCAL_MACHINE, kCurrentVersionKey, KEY_READ | KEY_WOW64_64KEY) == ERROR_SUCCESS) {
    currentVersion.ReadString(L"CurrentBuildNumber", facts.strCurrentBuildNumber);
    currentVersion.ReadString(L"ReleaseId", facts.strReleaseId);
  }
  TRegKey productOptions;
  if (productOptions.Open(HKEY_LOCAL_MACHINE, kProductOptionsKey, KEY_READ | KEY_WOW64_64KEY) == ERROR_SUCCESS) {
    productOptions.ReadString(L"ProductType", facts.strRegistryProductType);
  }
  return facts;
}

std::wstring OsDescription() { return OsDescriptionOf(WindowsFacts()); }
std::wstring WindowsVersionName() { return WindowsVersionNameOf(WindowsFacts()); }
std::wstring WindowsProductTypeName() { return WindowsProductTypeNameOf(WindowsFacts()); }

bool UnderWine() {
  try {
    TRegKey key;
    const bool candidate = key.Open(HKEY_CURRENT_USER, L"Software\\Wine") == ERROR_SUCCESS ||
                           key.Open(HKEY_LOCAL_MACHINE, L"Software\\Wine") == ERROR_SUCCESS;
    if (!candidate) return false;
    // A registry key alone could be left over by a tool; Wine's own ntdll is the proof.
    TScopedModule ntdll(::LoadLibraryW(L"ntdll.dll"));
    if (!ntdll) return true;
    return ::GetProcAddress(ntdll.Get(), "wine_get_version") != nullptr;
  } catch (const std::exception&) {
    return false;
  }
}

bool IsWindows64BitForReport() {
#if defined(_WIN64)
  // A 64-bit process exists only on 64-bit Windows, and the WOW64 query answers false for it.
  return true;
#else
  using TIsWow64Process = BOOL(WINAPI*)(HANDLE, PBOOL);
  const auto query = ProcAddress<TIsWow64Process>(::GetModuleHandleW(L"kernel32.dll"), "IsWow64Process");
  if (!query) return false;
  BOOL wow64 = FALSE;
  if (!query(::GetCurrentProcess(), &wow64)) throw TError(L"Invalid handle");
  return wow64 != FALSE;
#endif
}

std::wstring FormatWholeNumber(long long value) {
  std::wstring decimal = LocaleText(LOCALE_SDECIMAL);
  std::wstring thousand = LocaleText(LOCALE_STHOUSAND);
  NUMBERFMTW format{};
  format.NumDigits = 0;
  format.LeadingZero = 1;  // without it the formatter writes nothing at all for 0
  format.Grouping = NumberGroupingOf(LocaleText(LOCALE_SGROUPING));
  format.lpDecimalSep = decimal.data();
  format.lpThousandSep = thousand.data();
  format.NegativeOrder = LocaleNumber(LOCALE_INEGNUMBER);
  const std::wstring digits = std::to_wstring(value);
  const int length = ::GetNumberFormatEx(LOCALE_NAME_USER_DEFAULT, 0, digits.c_str(), &format, nullptr, 0);
  if (length <= 0) throw TWinError(L"GetNumberFormatEx");
  std::wstring text(static_cast<size_t>(length), L'\0');
  if (::GetNumberFormatEx(LOCALE_NAME_USER_DEFAULT, 0, digits.c_str(), &format, text.data(), length) <= 0) {
    throw TWinError(L"GetNumberFormatEx");
  }
  text.resize(static_cast<size_t>(length - 1));
  return text;
}

std::wstring FreeDiskSpaceText(int driveNumber) {
  long long bytes = -1;
  if (driveNumber >= 1 && driveNumber <= 26) {
    const wchar_t root[] = {static_cast<wchar_t>(L'A' + driveNumber - 1), L':', L'\\', L'\0'};
    // An empty removable drive must answer "no space", not ask the user to insert a disk.
    DWORD oldMode = 0;
    ::SetThreadErrorMode(SEM_FAILCRITICALERRORS, &oldMode);
    ULARGE_INTEGER available{};
    if (::GetDiskFreeSpaceExW(root, &available, nullptr, nullptr)) bytes = static_cast<long long>(available.QuadPart);
    ::SetThreadErrorMode(oldMode, nullptr);
  }
  return FormatWholeNumber(bytes / kBytesPerMB) + L" MB";
}

void AppendLogSystemDiag() {
  const std::wstring prefix = kDiagPrefix;
  AppendLog(prefix + L"Espaço Livre em Disco= " +
            FreeSpaceOrDash(DriveNumberFromPath(EnvironmentVariable(L"APPDATA"))));

  std::wstring virtualMachine;
  try {
    TVMDetector detector = MachineVMDetector();
    virtualMachine = YesNo(detector.IsVirtualMachine(ParallelsVMInfo()));
  } catch (const std::exception&) {
    virtualMachine = kUndetermined;
  }
  AppendLog(prefix + L"Usando Máquina Virtual = " + virtualMachine);

  std::wstring wine;
  try {
    wine = YesNo(UnderWine());
  } catch (const std::exception&) {
    wine = kUndetermined;
  }
  AppendLog(prefix + L"Usando Ambiente Emilado (Wine) = " + wine);
}

void ForEachWmiLine(const std::wstring& query, const std::vector<std::wstring>& propertyNames,
                    const std::function<void(const std::wstring&)>& onLine, std::chrono::milliseconds timeout) {
  // WMI's service can hang, and nothing in its interfaces bounds a connection: the query runs on a thread
  // of its own, which is left behind when it does not answer in time.
  struct TAnswer {
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    std::vector<std::wstring> lines;
    std::wstring error;
  };
  const auto answer = std::make_shared<TAnswer>();
  std::thread worker([answer, query, propertyNames] {
    std::wstring error;
    try {
      TComApartment com(COINIT_MULTITHREADED);
      RunWmiQuery(query, propertyNames, [&](std::wstring line) {
        std::lock_guard guard(answer->lock);
        answer->lines.push_back(std::move(line));
      });
    } catch (const std::exception& e) {
      error = ExceptionMessage(e);
    } catch (...) {
      error = L"unknown error";
    }
    std::lock_guard guard(answer->lock);
    answer->error = std::move(error);
    answer->finished = true;
    answer->done.notify_all();
  });

  std::unique_lock guard(answer->lock);
  const bool finished = answer->done.wait_for(guard, timeout, [&] { return answer->finished; });
  const std::vector<std::wstring> lines = std::move(answer->lines);
  const std::wstring error = answer->error;
  guard.unlock();
  if (finished) {
    worker.join();
  } else {
    worker.detach();
  }
  for (const std::wstring& line : lines) onLine(line);
  if (!finished) throw TError(L"WMI did not answer within " + std::to_wstring(timeout.count()) + L" ms");
  if (!error.empty()) throw TError(error);
}

bool LogDiskStatus(std::chrono::milliseconds timeout) {
  std::vector<std::wstring> lines{L"Checking Disk Status..."};
  bool wroteLine = false;
  try {
    ForEachWmiLine(L"Select caption, status, errordescription from win32_diskdrive",
                   {L"Caption", L"Status", L"ErrorDescription"}, [&](const std::wstring& line) {
                     lines.push_back(line);
                     wroteLine = true;
                   }, timeout);
  } catch (const std::exception& e) {
    lines.push_back(L"LogDiskStatus: Error getting disk info. Exception=" + ExceptionMessage(e));
  }
  AppendLogLines(lines);
  return wroteLine;
}

void TDiskStatusLog::Start() {
  std::call_once(m_started, [this] { m_thread = std::thread([] { LogDiskStatus(); }); });
}

void TDiskStatusLog::Finish() {
  Start();
  if (m_thread.joinable()) m_thread.join();
}

TProcessorInfo ProcessorInfo() {
  TProcessorInfo info;
  int regs[4] = {};
  __cpuid(regs, 0);
  const unsigned maxLeaf = static_cast<unsigned>(regs[0]);
  // The vendor text is the bytes of EBX, EDX and ECX, in that order.
  char vendor[13] = {};
  std::memcpy(vendor, &regs[1], 4);
  std::memcpy(vendor + 4, &regs[3], 4);
  std::memcpy(vendor + 8, &regs[2], 4);
  info.strVendor = FromUtf8(vendor);
  if (maxLeaf >= 1) {
    __cpuid(regs, 1);
    info.nFeatureFlags = static_cast<std::uint32_t>(regs[3]);
    info.bMmx = (info.nFeatureFlags & (1u << 23)) != 0;
  }
  __cpuid(regs, static_cast<int>(0x80000000));
  if (static_cast<unsigned>(regs[0]) >= 0x80000004) {
    char brand[49] = {};
    for (int leaf = 0; leaf < 3; ++leaf) {
      __cpuid(regs, static_cast<int>(0x80000002 + leaf));
      std::memcpy(brand + 16 * leaf, regs, 16);
    }
    info.strName = Trim(FromUtf8(brand));
  }

  // The time-stamp counter against the performance counter over a short sleep; both are read back to
  // back, so the sleep's own inaccuracy does not matter.
  LARGE_INTEGER frequency{}, start{}, end{};
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  const unsigned long long ticksStart = __rdtsc();
  ::Sleep(50);
  ::QueryPerformanceCounter(&end);
  const unsigned long long ticksEnd = __rdtsc();
  const double seconds = static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
  if (seconds > 0) {
    const double mhz = static_cast<double>(ticksEnd - ticksStart) / seconds / 1e6;
    info.nFrequencyMHz = NormalizeCpuFrequency(static_cast<int>(std::llround(mhz)));
  }

  // The classic division that the flawed processors got wrong in the fourth significant digit.
  volatile double dividend = 4195835.0;
  volatile double divisor = 3145727.0;
  info.bFdivBug = std::fabs(dividend - (dividend / divisor) * divisor) >= 1.0;
  return info;
}

std::vector<std::wstring> AdapterMacAddresses(TAdaptersInfoQuery query) {
  if (!query) query = &::GetAdaptersInfo;
  // IP_ADAPTER_INFO elements keep the buffer aligned for the list the platform writes into it.
  auto elementsFor = [](ULONG bytes) { return bytes / sizeof(IP_ADAPTER_INFO) + 1; };
  ULONG size = kFirstAdapterBufferSize;
  std::vector<IP_ADAPTER_INFO> buffer(elementsFor(size));
  ULONG result = query(buffer.data(), &size);
  if (result == ERROR_BUFFER_OVERFLOW) {
    buffer.assign(elementsFor(size), IP_ADAPTER_INFO{});
    result = query(buffer.data(), &size);
  }
  std::vector<std::wstring> addresses;
  if (result != NO_ERROR) return addresses;
  for (const IP_ADAPTER_INFO* adapter = buffer.data(); adapter; adapter = adapter->Next) {
    const UINT length = adapter->AddressLength < MAX_ADAPTER_ADDRESS_LENGTH ? adapter->AddressLength
                                                                            : MAX_ADAPTER_ADDRESS_LENGTH;
    addresses.push_back(BytesToHex(adapter->Address, length));
  }
  return addresses;
}

std::vector<std::wstring> RunningProcessNames() {
  TScopedKernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) throw TWinError(L"CreateToolhelp32Snapshot");
  std::vector<std::wstring> names;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more; more = ::Process32NextW(snapshot.Get(), &entry)) {
    std::wstring name = entry.szExeFile;
    const size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos) name.erase(0, slash + 1);
    names.push_back(std::move(name));
  }
  return names;
}

TVMDetector MachineVMDetector() { return TVMDetector(AdapterMacAddresses(), RunningProcessNames()); }

}  // namespace sf
