// The library search: already loaded, the program's folder, the machine's
// and the user's registry setting, the system folder. Each case uses file
// names of its own, so the copies of one case never answer for another.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "quicktime/gate.h"
#include "testengine/client.h"

namespace {

const char kKey[] = "Software\\Apple Computer, Inc.\\QuickTime";
const char kValue[] = "QuickTime.qts folder";

std::string Folder() { return testengine::BesideProgram(""); }
std::string EngineFile() {
  std::string folder = Folder();
  folder.pop_back();
  return folder.substr(0, folder.find_last_of("\\/") + 1) + kQuickTimeLibraryName;
}

std::string Normal(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::string ModulePath(HMODULE module) {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
  return std::string(path, length);
}

// The registry setting of one hive, taken away again afterwards.
class FolderSetting {
 public:
  explicit FolderSetting(HKEY hive) : hive_(hive) { Clear(); }
  ~FolderSetting() { Clear(); }
  void Set(const std::string& folder) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(hive_, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, kValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                             static_cast<DWORD>(folder.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  // Removes the value, and the keys as well once nothing else is in them.
  void Clear() {
    HKEY key;
    if (RegOpenKeyExA(hive_, kKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    RegDeleteValueA(key, kValue);
    DWORD subkeys = 1, values = 1;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    if (subkeys == 0 && values == 0 && RegDeleteKeyA(hive_, kKey) == ERROR_SUCCESS) {
      RegDeleteKeyA(hive_, "Software\\Apple Computer, Inc.");  // fails unless empty
    }
  }

 private:
  HKEY hive_;
};

class Locate : public ::testing::Test {
 protected:
  ~Locate() override {
    for (HMODULE module : modules_) FreeLibrary(module);
    for (const std::string& file : files_) DeleteFileA(file.c_str());
    for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) RemoveDirectoryA(it->c_str());
  }

  void MakeFolder(const std::string& folder) {
    if (CreateDirectoryA(folder.c_str(), nullptr)) folders_.push_back(folder);
  }

  // A copy of the test engine as folder\name; the folder is made if needed.
  std::string Place(const std::string& folder, const std::string& name) {
    MakeFolder(folder);
    std::string path = folder + "\\" + name;
    EXPECT_TRUE(CopyFileA(EngineFile().c_str(), path.c_str(), FALSE)) << path;
    files_.push_back(path);
    return path;
  }

  // Where the search found `name`, or "" when it found nothing.
  std::string Found(const char* name) {
    HMODULE module = LocateQuickTimeLibrary(name);
    if (module == nullptr) return "";
    modules_.push_back(module);
    return ModulePath(module);
  }

  std::string Here() {
    std::string folder = Folder();
    folder.pop_back();
    return folder;
  }

  FolderSetting machine{HKEY_LOCAL_MACHINE};
  FolderSetting user{HKEY_CURRENT_USER};

 private:
  std::vector<HMODULE> modules_;
  std::vector<std::string> files_;
  std::vector<std::string> folders_;
};

#define EXPECT_SAME_PATH(a, b) EXPECT_EQ(lstrcmpiA(Normal(a).c_str(), Normal(b).c_str()), 0) << (a) << " vs " << (b)

TEST_F(Locate, NoNameNoLibrary) { EXPECT_EQ(LocateQuickTimeLibrary(nullptr), nullptr); }

TEST_F(Locate, NothingAnywhere) { EXPECT_EQ(Found("LocNowhere.qts"), ""); }

TEST_F(Locate, AlreadyLoadedFromAnyFolderTakesOneMoreReference) {
  std::string path = Place(Here() + "\\elsewhere", "LocLoaded.qts");
  Place(Here(), "LocLoaded.qts");  // would win the folder search; must not be tried
  HMODULE mine = LoadLibraryA(path.c_str());
  ASSERT_NE(mine, nullptr);
  HMODULE found = LocateQuickTimeLibrary("LocLoaded.qts");
  EXPECT_EQ(found, mine);
  FreeLibrary(found);
  EXPECT_EQ(GetModuleHandleA("LocLoaded.qts"), mine);
  FreeLibrary(mine);
  EXPECT_EQ(GetModuleHandleA("LocLoaded.qts"), nullptr);
}

TEST_F(Locate, ProgramFolderFirst) {
  std::string path = Place(Here(), "LocHost.qts");
  EXPECT_SAME_PATH(Found("LocHost.qts"), path);
}

TEST_F(Locate, ProgramFolderBeforeRegistry) {
  std::string path = Place(Here(), "LocFirst.qts");
  Place(Here() + "\\machine", "LocFirst.qts");
  machine.Set(Here() + "\\machine");
  EXPECT_SAME_PATH(Found("LocFirst.qts"), path);
}

TEST_F(Locate, MachineFolderWithOrWithoutSeparator) {
  std::string path = Place(Here() + "\\machine", "LocMachine.qts");
  for (const char* end : {"", "\\", "/"}) {
    machine.Set(Here() + "\\machine" + end);
    EXPECT_SAME_PATH(Found("LocMachine.qts"), path);
  }
}

TEST_F(Locate, UserFolderWithOrWithoutSeparator) {
  std::string path = Place(Here() + "\\user", "LocUser.qts");
  for (const char* end : {"", "\\", "/"}) {
    user.Set(Here() + "\\user" + end);
    EXPECT_SAME_PATH(Found("LocUser.qts"), path);
  }
}

TEST_F(Locate, MachineBeforeUser) {
  std::string path = Place(Here() + "\\machine", "LocBoth.qts");
  Place(Here() + "\\user", "LocBoth.qts");
  machine.Set(Here() + "\\machine");
  user.Set(Here() + "\\user");
  EXPECT_SAME_PATH(Found("LocBoth.qts"), path);
}

TEST_F(Locate, UserWhenMachineFolderLacksIt) {
  std::string path = Place(Here() + "\\user", "LocUserOnly.qts");
  MakeFolder(Here() + "\\machine");
  machine.Set(Here() + "\\machine");
  user.Set(Here() + "\\user\\");
  EXPECT_SAME_PATH(Found("LocUserOnly.qts"), path);
}

TEST_F(Locate, SystemFolderLast) {
  char system[MAX_PATH];
  UINT length = GetSystemDirectoryA(system, MAX_PATH);
  ASSERT_GT(length, 0u);
  std::string path = Place(system, "LocSystem.qts");
  EXPECT_SAME_PATH(Found("LocSystem.qts"), path);

  Place(system, "LocSystemToo.qts");
  std::string registry = Place(Here() + "\\user", "LocSystemToo.qts");
  user.Set(Here() + "\\user");
  EXPECT_SAME_PATH(Found("LocSystemToo.qts"), registry);
}

TEST_F(Locate, CandidatesTooLongForThePathAreSkipped) {
  // Fits under C:\vtl but not under this program's folder.
  std::string name = "Loc" + std::string(228, 'x') + ".qts";
  ASSERT_GT(Here().size() + 1 + name.size(), static_cast<size_t>(MAX_PATH - 1));
  std::string path = Place("C:\\vtl", name);

  std::string longFolder = "C:\\" + std::string(240, 'f');  // with name: far too long
  machine.Set(longFolder);
  user.Set("C:\\vtl");
  EXPECT_SAME_PATH(Found(name.c_str()), path);

  machine.Set("C:\\" + std::string(300, 'f'));  // the setting itself does not fit
  EXPECT_SAME_PATH(Found(name.c_str()), path);
}

TEST_F(Locate, EmptyFolderSettingIsNotTheDriveRoot) {
  char saved[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, saved);
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
  Place("C:", "LocRoot.qts");
  machine.Set("");
  EXPECT_EQ(Found("LocRoot.qts"), "");
  SetCurrentDirectoryA(saved);
}

}  // namespace
