// Our own engine as the gate's second choice: VantoroMedia.dll beside the
// module holding the gate. Each case binds, so each runs in its own process.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "media_interface/operations.h"
#include "quicktime/gate.h"
#include "testengine/client.h"
#include "tests/test_paths.h"

namespace {


std::string ModulePath(HMODULE module) {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
  return std::string(path, length);
}

class OwnEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    if (loadHook == nullptr) GTEST_SKIP() << "the gate binds once per process";
    DeleteFileA((Folder() + kQuickTimeLibraryName).c_str());
    std::string source = ParentFolder() + "testengine\\" + kOwnEngineLibraryName;
    ASSERT_TRUE(CopyFileA(source.c_str(), (Folder() + kOwnEngineLibraryName).c_str(), FALSE))
        << source;
  }

  void ExpectBoundToOwnEngine() {
    FSSpec spec;
    EXPECT_EQ(NativePathNameToFSSpec("C:\\own.mov", &spec, 0), -43);
    EXPECT_EQ(loadHook, nullptr);
    ASSERT_NE(libraryHandle, nullptr);
    EXPECT_EQ(lstrcmpiA(ModulePath(libraryHandle).c_str(),
                        (Folder() + kOwnEngineLibraryName).c_str()),
              0)
        << ModulePath(libraryHandle);
    testengine::TestEngine engine(libraryHandle);
    ASSERT_TRUE(engine.ok());
    EXPECT_EQ(engine.Paths(), std::vector<std::string>{"C:\\own.mov"});
  }
};

TEST_F(OwnEngine, BoundWhenNoQuickTimeIsFound) { ExpectBoundToOwnEngine(); }

TEST_F(OwnEngine, BoundWhenQuickTimeLacksAnExport) {
  ASSERT_TRUE(CopyFileA((ParentFolder() + "PartialEngine.qts").c_str(),
                        (Folder() + kQuickTimeLibraryName).c_str(), FALSE));
  ExpectBoundToOwnEngine();
  EXPECT_EQ(GetModuleHandleA(kQuickTimeLibraryName), nullptr);
  EXPECT_TRUE(DeleteFileA((Folder() + kQuickTimeLibraryName).c_str()));
}

}  // namespace
