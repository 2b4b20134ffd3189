#include "WinTestSupport.h"

#include <fstream>
#include <sstream>

#include "common/UnhandledErrorU.h"
#include "engine/MessagePayloadU.h"
#include "engine/MessagesU.h"
#include "errorreport/ExceptionObjectU.h"
#include "logging/LogU.h"

namespace sf::test {

namespace {
// The windows and threads under test hand unhandled errors to the error reporter, as the program's do.
[[maybe_unused]] const bool g_unhandledErrorsReported = [] {
  SetUnhandledErrorHandlers(&ExceptionHandler, [](const std::exception& error) { ExceptionThreadHandler(error); });
  return true;
}();
}  // namespace

TRegistrySandbox::TRegistrySandbox() {
  m_path = L"Software\\StormfinchUnitTests\\" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
           std::to_wstring(::GetTickCount64());
  ::RegCreateKeyExW(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key, nullptr);
  ::RegOverridePredefKey(HKEY_CURRENT_USER, m_key);
}

TRegistrySandbox::~TRegistrySandbox() {
  ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  ::RegCloseKey(m_key);
  ::RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
  ::RegDeleteKeyW(HKEY_CURRENT_USER, m_path.c_str());
}

TTempFolder::TTempFolder() {
  static int counter = 0;
  m_path = std::filesystem::temp_directory_path() /
           (L"sfunit_" + std::to_wstring(::GetCurrentProcessId()) + L"_" + std::to_wstring(++counter));
  std::filesystem::remove_all(m_path);
  std::filesystem::create_directories(m_path);
}

TTempFolder::~TTempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
}

TScopedEnvironment::TScopedEnvironment(const wchar_t* name, const std::wstring& value) : m_name(name) {
  wchar_t buffer[32768];
  const DWORD length = ::GetEnvironmentVariableW(name, buffer, 32768);
  m_had = length > 0;
  if (m_had) m_old.assign(buffer, length);
  ::SetEnvironmentVariableW(name, value.c_str());
}

TScopedEnvironment::~TScopedEnvironment() {
  ::SetEnvironmentVariableW(m_name.c_str(), m_had ? m_old.c_str() : nullptr);
}

TMessageSink::TMessageSink() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = &TMessageSink::Proc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"SfTestMessageSink";
  ::RegisterClassW(&wc);
  m_hWnd = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, this);
  ::SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TMessageSink::~TMessageSink() {
  ::DestroyWindow(m_hWnd);
  DrainThreadQueue();
}

LRESULT CALLBACK TMessageSink::Proc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TMessageSink*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA));
  if (self && msg >= WM_SETUP_STATUS && msg <= WM_SET_UNNATENDED_VALUES) {
    self->Record(msg, wParam, lParam);
    return 0;
  }
  return ::DefWindowProcW(hWnd, msg, wParam, lParam);
}

void TMessageSink::Record(UINT msg, WPARAM wParam, LPARAM lParam) {
  TRecordedMessage recorded{msg, wParam, {}, {}, {}};
  const TPayloadLayout layout = PayloadLayout(msg);
  if (layout.wParam == TPayloadKind::Text) recorded.text = TakeText(wParam);
  if (layout.lParam == TPayloadKind::Text) recorded.text2 = TakeText(static_cast<UINT_PTR>(lParam));
  if (layout.wParam == TPayloadKind::StringList) {
    if (auto list = TakeStringList(wParam)) recorded.list = *list;
  }
  m_messages.push_back(std::move(recorded));
}

bool TMessageSink::PumpUntil(const std::function<bool(const std::vector<TRecordedMessage>&)>& until,
                             DWORD timeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  while (!until(m_messages)) {
    if (::GetTickCount64() > deadline) return false;
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        m_messages.push_back({WM_QUIT, msg.wParam, {}, {}, {}});
        continue;
      }
      ::DispatchMessageW(&msg);
    }
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

std::string CloseAndReadRunLog() {
  const std::wstring path = RunLogPath();
  CloseRunLog();
  return ReadFileBytes(path);
}

std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace sf::test
