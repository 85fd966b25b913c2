// The gate with no engine to be found, in a folder of its own. The cases
// run in order in one process: nothing found, an incomplete library, then an
// engine installed while the program runs.
#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>

#include <string>

#include "media_interface/operations.h"
#include "quicktime/gate.h"
#include "testengine/client.h"
#include "tests/test_paths.h"

namespace {

std::string Here(const char* name) { return Folder() + name; }

struct Entry {
  const char* name;
  void* address;
};
const Entry kEntries[] = {
#define GATE_ENTRY_ROW(name, selector, result, parameters) {#name, reinterpret_cast<void*>(&name)},
    MEDIA_OPERATIONS(GATE_ENTRY_ROW)
#undef GATE_ENTRY_ROW
};

typedef uint32_t (*EightWords)(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                               uint32_t, uint32_t);

void ExpectUnbound() {
  EXPECT_EQ(loadHook, LoadMediaEngine);
  EXPECT_EQ(dispatchEntry, QuickTimeUnavailable);
  EXPECT_EQ(callComponentEntry, QuickTimeUnavailable);
  EXPECT_EQ(callComponentWithStorageEntry, QuickTimeUnavailable);
  EXPECT_EQ(libraryHandle, nullptr);
}

TEST(Unbound, EveryEntryAnswersNotBoundAndWritesNothing) {
  // Left over from an earlier run, when this program had bound it.
  DeleteFileA(Here(kQuickTimeLibraryName).c_str());
  DeleteFileA(Here(kOwnEngineLibraryName).c_str());
  ASSERT_EQ(GetFileAttributesA(Here(kQuickTimeLibraryName).c_str()), INVALID_FILE_ATTRIBUTES);
  ASSERT_EQ(GetFileAttributesA(Here(kOwnEngineLibraryName).c_str()), INVALID_FILE_ATTRIBUTES);

  ASSERT_EQ(sizeof kEntries / sizeof kEntries[0], 44u);  // one per operation the plug-in uses
  uint32_t cells[8][4];
  memset(cells, 0xA5, sizeof cells);
  uint32_t w[8];
  for (int i = 0; i < 8; ++i) w[i] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(cells[i]));
  for (const Entry& entry : kEntries) {
    uint32_t result = reinterpret_cast<EightWords>(entry.address)(w[0], w[1], w[2], w[3], w[4],
                                                                  w[5], w[6], w[7]);
    EXPECT_EQ(static_cast<int16_t>(result), qtNotBound) << entry.name;
    ExpectUnbound();
  }
  for (auto& cell : cells) {
    for (uint32_t word : cell) ASSERT_EQ(word, 0xA5A5A5A5u);
  }
  EXPECT_EQ(NativePathNameToFSSpec("C:\\clip.mov", nullptr, 0), qtNotBound);
}

TEST(Unbound, IncompleteLibraryIsReleasedAndSoughtAgain) {
  const std::string partial = ParentFolder() + "PartialEngine.qts";
  const std::string here = Here(kQuickTimeLibraryName);
  ASSERT_TRUE(CopyFileA(partial.c_str(), here.c_str(), FALSE)) << partial;

  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_EQ(GetMovieVolume(nullptr), qtNotBound);
    EXPECT_EQ(GetModuleHandleA(kQuickTimeLibraryName), nullptr) << "attempt " << attempt;
    ExpectUnbound();
  }

  // A copy loaded before the attempt stays; only the attempt's reference goes.
  HMODULE mine = LoadLibraryA(here.c_str());
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ(CloseMovieFile(1), qtNotBound);
  EXPECT_EQ(GetModuleHandleA(kQuickTimeLibraryName), mine);
  ExpectUnbound();
  FreeLibrary(mine);
  EXPECT_EQ(GetModuleHandleA(kQuickTimeLibraryName), nullptr);

  EXPECT_TRUE(DeleteFileA(here.c_str()));
}

TEST(Unbound, EngineInstalledLaterBindsAtTheNextOperation) {
  EXPECT_EQ(UpdateMovie(nullptr), qtNotBound);
  ExpectUnbound();

  const std::string engineFile = ParentFolder() + kQuickTimeLibraryName;
  ASSERT_TRUE(CopyFileA(engineFile.c_str(), Here(kQuickTimeLibraryName).c_str(), FALSE));

  // The operation that binds is carried out by the engine itself.
  FSSpec spec;
  EXPECT_EQ(NativePathNameToFSSpec("C:\\later.mov", &spec, 0), -43);
  EXPECT_EQ(loadHook, nullptr);
  ASSERT_NE(libraryHandle, nullptr);
  EXPECT_EQ(libraryHandle, GetModuleHandleA(kQuickTimeLibraryName));
  EXPECT_EQ(dispatchEntry, reinterpret_cast<GateCode>(reinterpret_cast<void*>(
                               GetProcAddress(libraryHandle, "theQuickTimeDispatcher"))));

  testengine::TestEngine engine(libraryHandle);
  ASSERT_TRUE(engine.ok());
  std::vector<testengine::Call> log = engine.Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].selector, static_cast<uint32_t>(kSel_NativePathNameToFSSpec));
  EXPECT_EQ(engine.Paths(), std::vector<std::string>{"C:\\later.mov"});

  // Bound for good: later operations go straight to the engine.
  EXPECT_EQ(GetMovieVolume(nullptr), 0);
  EXPECT_EQ(engine.Count(kSel_GetMovieVolume), 1u);
}

}  // namespace
