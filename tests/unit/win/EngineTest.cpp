#include <gtest/gtest.h>

#include <atomic>
#include <fstream>

#include "WinTestSupport.h"
#include "common/RegistryU.h"
#include "engine/ExitCodeU.h"
#include "engine/InstallerThreadU.h"
#include "engine/MessagesU.h"
#include "logging/LogU.h"

namespace sf {
namespace {

using test::TRecordedMessage;

bool HasPageOrQuit(const std::vector<TRecordedMessage>& messages) {
  for (const auto& m : messages) {
    if (m.message == WM_CHANGE_VISIBLE_FRAME || m.message == WM_QUIT) return true;
  }
  return false;
}

const TRecordedMessage* Find(const std::vector<TRecordedMessage>& messages, UINT id) {
  for (const auto& m : messages) {
    if (m.message == id) return &m;
  }
  return nullptr;
}

// An engine thread for one test, stopped and joined at the end.
class TEngineRun {
 public:
  explicit TEngineRun(HWND window) : m_engine(window) {
    m_engine.Start();
    m_engine.WaitStart();
  }
  ~TEngineRun() {
    ::PostThreadMessageW(m_engine.ThreadId(), WM_QUIT, 0, 0);
    m_engine.WaitFor(10000);
  }
  TInstallerThread& operator*() { return m_engine; }
  TInstallerThread* operator->() { return &m_engine; }

 private:
  TInstallerThread m_engine;
};

class EngineInstallations : public testing::Test {
 protected:
  void SetUp() override { SetExitCode(TExitCode::Success); }
  void TearDown() override { SetExitCode(TExitCode::Success); }

  // An installation key under HKCU\Software\Ardentis with a "Dir" that exists unless told otherwise.
  std::wstring AddInstallation(const std::wstring& key, bool folderExists = true) {
    const std::filesystem::path dir = m_appData.Path() / L"Ardentis" / key;
    if (folderExists) std::filesystem::create_directories(dir);
    TRegKey version;
    EXPECT_EQ(version.Create(HKEY_CURRENT_USER, L"Software\\Ardentis\\" + key + L"\\1.0"), ERROR_SUCCESS);
    version.WriteString(L"Dir", dir.wstring() + L"\\");
    return dir.wstring() + L"\\";
  }

  std::vector<TRecordedMessage> Verify(TCmdInstallType mode, const std::wstring& name) {
    test::TMessageSink sink;
    TEngineRun engine(sink.Handle());
    engine->SetUnnatendedValues(name, mode);
    engine->VerifyPreviousInstall();
    EXPECT_TRUE(sink.PumpUntil(HasPageOrQuit));
    return sink.Messages();
  }

  test::TRegistrySandbox m_registry;
  test::TTempFolder m_appData;
  test::TScopedEnvironment m_appDataVariable{L"APPDATA", m_appData.Path().wstring()};
};

TEST_F(EngineInstallations, KeepsOnlyProductKeysWithAnExistingFolder) {
  AddInstallation(L"Stormfinch");
  AddInstallation(L"Stormfinch_abc");
  AddInstallation(L"stormfinch_x");
  AddInstallation(L"Other");
  AddInstallation(L"Stormfinch_gone", false);

  const auto messages = Verify(TCmdInstallType::citNone, L"");
  const auto* list = Find(messages, WM_SET_INSTALL_LIST);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->list, (std::vector<std::wstring>{L"Stormfinch", L"Stormfinch_abc"}));
  const auto* page = Find(messages, WM_CHANGE_VISIBLE_FRAME);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->wParam, 4u);
}

TEST_F(EngineInstallations, AnInstallationWhoseFolderWasDeletedIsAFirstInstallation) {
  AddInstallation(L"Stormfinch_abc", false);
  const auto messages = Verify(TCmdInstallType::citNone, L"");
  EXPECT_EQ(Find(messages, WM_SET_INSTALL_LIST), nullptr);
  ASSERT_NE(Find(messages, WM_CHANGE_VISIBLE_FRAME), nullptr);
  EXPECT_EQ(Find(messages, WM_CHANGE_VISIBLE_FRAME)->wParam, 3u);
}

TEST_F(EngineInstallations, UnattendedRunsEndWithTheirExitCodesOrGoOn) {
  struct TCase {
    const wchar_t* existing;
    TCmdInstallType mode;
    const wchar_t* name;
    int exitCode;  // -100: the run goes on with the progress page
  };
  const TCase cases[] = {
      {L"Stormfinch_ABC", TCmdInstallType::citInstall, L"abc", 1},
      {L"Stormfinch_abc", TCmdInstallType::citUpdate, L"", 2},
      {L"Stormfinch_abc", TCmdInstallType::citUpdate, L"nope", 2},
      {L"Stormfinch", TCmdInstallType::citInstall, L"", 1},
      {L"Stormfinch_abc", TCmdInstallType::citUpdate, L"ABC", -100},
      {L"Stormfinch_abc", TCmdInstallType::citInstall, L"", -100},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::wstring(c.existing) + L" " + c.name);
    test::TRegistrySandbox registry;  // a fresh HKCU for each row
    AddInstallation(c.existing);
    SetExitCode(TExitCode::Success);
    const auto messages = Verify(c.mode, c.name);
    if (c.exitCode == -100) {
      // The progress page comes first; what the run then meets is not this test's concern.
      ASSERT_FALSE(messages.empty());
      EXPECT_EQ(messages.front().message, WM_CHANGE_VISIBLE_FRAME);
      EXPECT_EQ(messages.front().wParam, 5u);
      EXPECT_EQ(messages.front().text2, L"Iniciando...");
    } else {
      EXPECT_NE(Find(messages, WM_QUIT), nullptr);
      EXPECT_EQ(Find(messages, WM_CHANGE_VISIBLE_FRAME), nullptr);
      EXPECT_EQ(ExitCodeValue(), c.exitCode);
    }
  }
}

TEST_F(EngineInstallations, NamesMapToFoldersAndTheProductNameMeansTheDefault) {
  test::TMessageSink sink;
  TEngineRun engine(sink.Handle());
  engine->VerifyPreviousInstall();
  ASSERT_TRUE(sink.PumpUntil(HasPageOrQuit));
  const std::wstring base = (m_appData.Path() / L"Ardentis" / L"Stormfinch").wstring();

  for (const auto& [name, folder] : std::vector<std::pair<std::wstring, std::wstring>>{
           {L"abc", base + L"_abc\\"}, {L"Stormfinch", base + L"\\"}, {L"", base + L"\\"}}) {
    PostText(TMessageTarget::Thread(engine->ThreadId()), WM_SET_INSTALL_NAME, name);
    // Messages are handled in order: once the next page request is answered, the name is set.
    size_t pages = sink.Messages().size();
    engine->VerifyPreviousInstall();
    ASSERT_TRUE(sink.PumpUntil([&](const auto& m) { return m.size() > pages; }));
    EXPECT_EQ(engine->InstallPath(), folder);
  }
}

TEST(EngineThread, UnknownMessageIsLoggedByNumber) {
  CreateRunLog();
  {
    test::TMessageSink sink;
    TEngineRun engine(sink.Handle());
    engine->Post(1305);
  }
  const std::string log = test::CloseAndReadRunLog();
  EXPECT_NE(log.find(": TInstallerThread.ProcessMessage: UNKNOWN (1305).\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find(": TInstallerThread.Execute: Identifier="), std::string::npos);
}

// Messages posted right after WaitStart are never lost, however the thread start is scheduled. The probe
// is a number outside the protocol, which the engine only logs.
constexpr UINT kProbe = 1305;

class TCountingEngine : public TInstallerThread {
 public:
  using TInstallerThread::TInstallerThread;
  std::atomic<int> handled{0};

 protected:
  void ProcessMessage(const MSG& msg) override {
    if (msg.message == kProbe) ++handled;
    TInstallerThread::ProcessMessage(msg);
  }
};

TEST(EngineThread, WaitStartReturnsOnlyOnceTheQueueExists) {
  test::TMessageSink sink;
  for (int run = 0; run < 200; ++run) {
    TCountingEngine engine(sink.Handle());
    engine.Start();
    engine.WaitStart();
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(engine.Post(kProbe));
    ASSERT_TRUE(::PostThreadMessageW(engine.ThreadId(), WM_QUIT, 0, 0));
    ASSERT_TRUE(engine.WaitFor(10000));
    ASSERT_EQ(engine.handled.load(), 3) << "run " << run;
  }
}

}  // namespace
}  // namespace sf
