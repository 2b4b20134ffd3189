// The swap of an update on real folders: an installation of the old version with the user's database, a
// staging folder with the new version's files, and what the swap, a failed swap and the recovery after a
// run that ended half-way leave behind. APPDATA is a throwaway folder, so the path guard accepts it.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "WinTestSupport.h"
#include "common/DigestU.h"
#include "common/TextU.h"
#include "engine/InstallationSwapU.h"
#include "engine/SwapJournalU.h"
#include "logging/LogU.h"
#include "transfer/FileOpsU.h"

namespace sf {
namespace {

namespace fs = std::filesystem;
using TTree = std::map<std::wstring, std::string>;  // relative path -> content

void Write(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

TTree Read(const fs::path& folder) {
  TTree tree;
  if (!fs::exists(folder)) return tree;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    tree[entry.path().lexically_relative(folder).wstring()] =
        std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  return tree;
}

const TTree kUser = {{L"database\\cotationgrid\\mine.xml", "my grid"},
                     {L"database\\desktops\\mine.dsk", "my desktop"},
                     {L"database\\assetidlists\\mine.lst", "PETR4"}};
const TTree kOld = {{L"stormfinch.exe", "old exe"},
                    {L"bin\\a.dll", "old a"},
                    {L"database\\cotationgrid\\grid.xml", "old grid"},
                    {L"Desinstalar.exe", "uninstaller"}};  // unchanged by the new version
// Database content the new version no longer keeps.
const TTree kJunk = {{L"database\\history\\old.dat", "history"}, {L"database\\loose.tmp", "loose"}};
// What the update stages: every changed or new file.
const TTree kStaged = {{L"stormfinch.exe", "new exe"},
                       {L"bin\\a.dll", "new a"},
                       {L"bin\\c.dll", "new c"},
                       {L"database\\cotationgrid\\grid.xml", "new grid"}};

TTree Merged(std::initializer_list<const TTree*> trees) {
  TTree out;
  for (const TTree* tree : trees) {
    for (const auto& [path, content] : *tree) out[path] = content;
  }
  return out;
}

class InstallationSwap : public testing::Test {
 protected:
  void SetUp() override {
    CreateRunLog();
    company = m_appData.Path() / L"Ardentis";
    install = company / L"Stormfinch";
    folders = UpdateFoldersFor(company.wstring(), L"Stormfinch");
    Prepare();
  }

  // The old installation with the user's database, and the update's staged files.
  void Prepare() {
    fs::remove_all(company);
    version.clear();
    for (const TTree* tree : {&kOld, &kUser, &kJunk}) {
      for (const auto& [path, content] : *tree) Write(install / path, content);
    }
    for (const auto& [path, content] : kStaged) {
      Write(fs::path(folders.strStaging) / path, content);
      version.push_back({path, FileMD5Hex(folders.strStaging + path)});
    }
    version.push_back({L"Desinstalar.exe", FileMD5Hex((install / L"Desinstalar.exe").wstring())});
  }

  std::wstring InstallFolder() const { return install.wstring() + L"\\"; }

  test::TTempFolder m_appData;
  test::TScopedEnvironment m_appDataVariable{L"APPDATA", m_appData.Path().wstring()};
  fs::path company, install;
  TUpdateFolders folders;
  std::vector<TVersionFile> version;
};

TEST_F(InstallationSwap, PutsTheNewVersionInPlaceAndKeepsOnlyTheUsersDatabase) {
  SwapIntoPlace(folders, InstallFolder(), version);
  EXPECT_EQ(Read(install), Merged({&kOld, &kStaged, &kUser}));
  // Complete, and kept so until the registry has recorded the version; then nothing is left.
  EXPECT_FALSE(fs::exists(folders.strStaging));
  EXPECT_FALSE(fs::exists(folders.strRollback));
  const auto journal = ParseSwapJournal(ReadWholeFile(folders.strJournal));
  ASSERT_TRUE(journal);
  EXPECT_TRUE(journal->bComplete);
  FinishUpdate(folders);
  EXPECT_FALSE(fs::exists(UpdatesFolder(company.wstring())));
}

TEST_F(InstallationSwap, AFileHeldOpenUndoesTheSwapAtOnce) {
  // The last file in the swap's order: three files have moved by the time it is met.
  const std::wstring held = InstallFolder() + L"stormfinch.exe";
  const HANDLE holder = ::CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  try {
    SwapIntoPlace(folders, InstallFolder(), version);
    ADD_FAILURE() << "the swap went through a file held open";
  } catch (const TSwapError& e) {
    EXPECT_EQ(e.Failure(), TSwapFailure::FileInUse) << ToUtf8(e.Message());
  }
  ::CloseHandle(holder);
  EXPECT_EQ(Read(install), Merged({&kOld, &kUser, &kJunk}));
  // The verified files wait in staging for a retry; no journal remains to be recovered.
  EXPECT_EQ(Read(folders.strStaging), kStaged);
  EXPECT_FALSE(fs::exists(folders.strJournal));
  EXPECT_FALSE(fs::exists(folders.strRollback));

  SwapIntoPlace(folders, InstallFolder(), version);  // the retry
  EXPECT_EQ(Read(install), Merged({&kOld, &kStaged, &kUser}));
}

TEST_F(InstallationSwap, AJournalThatCannotBeWrittenIsASwapThatFailedBeforeAnyMove) {
  // A folder where the journal goes stands in for a disk too full to take it.
  fs::create_directories(folders.strJournal);
  EXPECT_THROW(SwapIntoPlace(folders, InstallFolder(), version), TSwapError);
  EXPECT_EQ(Read(install), Merged({&kOld, &kUser, &kJunk}));
  EXPECT_EQ(Read(folders.strStaging), kStaged);
  EXPECT_FALSE(fs::exists(folders.strRollback));
}

// A run that ended after some of the swap's moves, as the journal lists them, leaves this state; the next
// run finishes the swap or undoes it, and leaves no update folder either way.
TEST_F(InstallationSwap, TheNextRunFinishesOrUndoesASwapThatStoppedHalfWay) {
  const TTree newVersion = Merged({&kOld, &kStaged, &kUser});
  const TTree oldVersion = Merged({&kOld, &kUser, &kJunk});
  struct TCase {
    const char* name;
    std::size_t moved;      // entries of the journal whose moves were done
    bool planned, complete;
    bool damageStaged;      // a staged file not yet moved is no longer the verified one
    TSwapRecovery expected;
  };
  const TCase cases[] = {
      {"killed while the journal was written", 0, false, false, false, TSwapRecovery::Discard},
      {"killed before the first move", 0, true, false, false, TSwapRecovery::Discard},
      {"killed after two files", 2, true, false, false, TSwapRecovery::RollForward},
      {"killed after every file, the database half cleaned", 5, true, false, false, TSwapRecovery::RollForward},
      {"killed after two files, a staged file damaged since", 2, true, false, true, TSwapRecovery::RollBack},
      {"killed after the swap was marked complete", 6, true, true, false, TSwapRecovery::CleanUp},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Prepare();
    // The journal the swap writes: files in path order, then the database content.
    TSwapJournal journal{InstallFolder(), {}, c.planned, c.complete};
    for (const auto& [path, content] : kStaged) {
      const bool installed = kOld.contains(path);
      journal.entries.push_back({installed ? TSwapAction::Replace : TSwapAction::Add, path,
                                 FileMD5Hex(folders.strStaging + path)});
    }
    journal.entries.push_back({TSwapAction::Clean, L"database\\history", L""});
    journal.entries.push_back({TSwapAction::Clean, L"database\\loose.tmp", L""});
    std::string text = FormatSwapJournal(journal);
    if (!c.planned) text = text.substr(0, text.size() / 2);
    WriteFileDurably(folders.strJournal, text);
    for (std::size_t i = 0; i < c.moved && i < journal.entries.size(); ++i) {
      const TSwapEntry& entry = journal.entries[i];
      if (entry.action != TSwapAction::Add) {
        MoveWithinVolume(InstallFolder() + entry.strPath, folders.strRollback + entry.strPath);
      }
      if (entry.action != TSwapAction::Clean) MoveWithinVolume(folders.strStaging + entry.strPath, InstallFolder() + entry.strPath);
    }
    if (c.damageStaged) Write(fs::path(folders.strStaging) / journal.entries[c.moved].strPath, "cut sho");

    std::vector<TFinishedSwap> finished;
    EXPECT_TRUE(RecoverInterruptedUpdate(folders, finished));
    const bool forward = c.expected == TSwapRecovery::RollForward || c.expected == TSwapRecovery::CleanUp;
    EXPECT_EQ(Read(install), forward ? newVersion : oldVersion);
    ASSERT_EQ(finished.size(), forward ? 1u : 0u);
    if (forward) {
      EXPECT_EQ(finished[0].strRegistryFolder, L"Stormfinch");
      EXPECT_EQ(finished[0].strInstallFolder, InstallFolder());
    }
    EXPECT_FALSE(fs::exists(UpdatesFolder(company.wstring())));
  }
  const std::string log = test::CloseAndReadRunLog();
  for (const char* how : {"discarded", "rolled forward", "rolled back", "cleaned up"}) {
    const std::string said = "RecoverInterruptedUpdate: Stormfinch: the swap into " + ToUtf8(InstallFolder()) + " is " + how;
    EXPECT_NE(log.find(said), std::string::npos) << said << "\n" << log;
  }
}

TEST_F(InstallationSwap, AJournalThatCannotBeReadKeepsEverythingForTheNextRun) {
  WriteFileDurably(folders.strJournal, "Stormfinch swap journal 1\nfolder\tX\\\nrename\t\tbin\\a.dll\nplanned\n");
  std::vector<TFinishedSwap> finished;
  EXPECT_FALSE(RecoverInterruptedUpdate(folders, finished));
  EXPECT_EQ(Read(folders.strStaging), kStaged);
  EXPECT_TRUE(fs::exists(folders.strJournal));
  EXPECT_EQ(Read(install), Merged({&kOld, &kUser, &kJunk}));
}

TEST_F(InstallationSwap, ADatabaseBackupIsMergedBackAndNothingIsDeleted) {
  // An earlier installer moved the kept folders out and died; since then the product made a new desktops
  // folder with a file of the same name.
  const fs::path backup = install / L"database_backup";
  fs::remove_all(install / L"database" / L"cotationgrid");
  Write(backup / L"cotationgrid" / L"mine.xml", "my grid");
  Write(backup / L"cotationgrid" / L"grid.xml", "old grid");
  Write(backup / L"assetidlists" / L"sub" / L"deep.lst", "deep");
  Write(backup / L"desktops" / L"mine.dsk", "my desktop from before");
  MergeDatabaseBackup(InstallFolder());
  EXPECT_EQ(Read(install / L"database"),
            (TTree{{L"cotationgrid\\mine.xml", "my grid"}, {L"cotationgrid\\grid.xml", "old grid"},
                   {L"assetidlists\\mine.lst", "PETR4"}, {L"assetidlists\\sub\\deep.lst", "deep"},
                   {L"desktops\\mine.dsk", "my desktop"}, {L"history\\old.dat", "history"},
                   {L"loose.tmp", "loose"}}));
  // The file whose place was taken stays, and its folder with it.
  EXPECT_EQ(Read(backup), (TTree{{L"desktops\\mine.dsk", "my desktop from before"}}));
  EXPECT_FALSE(fs::exists(backup / L"cotationgrid"));

  fs::remove(backup / L"desktops" / L"mine.dsk");
  MergeDatabaseBackup(InstallFolder());
  EXPECT_FALSE(fs::exists(backup));
}

}  // namespace
}  // namespace sf
