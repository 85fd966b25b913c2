// The entry point as the host sees it: initialisation, dispatch, shutdown,
// the string resources and Vantoro-Version.
#include <windows.h>

#include <gtest/gtest.h>

#include "plugin_fixture.h"

namespace {

using standin::Plugin;
using testengine::BesideProgram;

class Entry : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(plugin.Load(BesideProgram("Vantoro.fmx"))) << plugin.LoadError(); }
  void TearDown() override {
    plugin.Shutdown();
    plugin.Unload();
  }
  bool Answers(int32_t number, const std::string& args = "") {
    bool touched = false;
    plugin.Call(number, args, &touched);
    return touched;
  }
  Plugin plugin;
};

TEST_F(Entry, AcceptsHostVersionsFrom4To255) {
  EXPECT_EQ(plugin.Initialise(3), -1);
  EXPECT_EQ(plugin.Initialise(256), -1);
  EXPECT_EQ(plugin.Initialise(-1), -1);
  EXPECT_EQ(plugin.Initialise(-32768), -1);
  EXPECT_FALSE(Answers(12)) << "a refused initialisation leaves the table empty";
  EXPECT_EQ(plugin.Initialise(4), 4);
  EXPECT_EQ(plugin.Initialise(255), 4);
  EXPECT_EQ(plugin.Call(12, ""), "1.0");
}

TEST_F(Entry, NothingAnswersBeforeInitialisation) {
  for (int number = 0; number <= 12; ++number) EXPECT_FALSE(Answers(number, "platform")) << number;
}

TEST_F(Entry, EmptyAndUnknownSlotsAreIgnored) {
  ASSERT_EQ(plugin.Initialise(), 4);
  EXPECT_FALSE(Answers(7));
  EXPECT_FALSE(Answers(13));
  EXPECT_FALSE(Answers(-1));
  EXPECT_FALSE(Answers(INT32_MIN));
  EXPECT_TRUE(Answers(12));
}

TEST_F(Entry, OtherCallCodesHaveNoEffect) {
  ASSERT_EQ(plugin.Initialise(), 4);
  for (uint8_t code : {2, 5, 6, 100, 255}) {
    HostCallRecord record = plugin.MakeRecord(code);
    record.result.initResult = 12345;
    plugin.Invoke(record);
    EXPECT_EQ(record.result.initResult, 12345) << int(code);
    EXPECT_FALSE(plugin.LastCall().recordChanged) << int(code);
  }
  plugin.Idle();
  EXPECT_EQ(plugin.Call(12, ""), "1.0");
}

TEST_F(Entry, ShutdownKeepsTheFunctionTable) {
  ASSERT_EQ(plugin.Initialise(), 4);
  plugin.Shutdown();
  EXPECT_EQ(plugin.Call(12, "platform"), "Windows");
  EXPECT_EQ(plugin.Call(2, ""), "74005");
}

TEST_F(Entry, VersionAnswers) {
  ASSERT_EQ(plugin.Initialise(), 4);
  EXPECT_EQ(plugin.Call(12, "platform"), "Windows");
  EXPECT_EQ(plugin.Call(12, "platform|x"), "Windows");
  EXPECT_EQ(plugin.Call(12, "Platform"), "1.0");
  EXPECT_EQ(plugin.Call(12, " platform"), "1.0");
  EXPECT_EQ(plugin.Call(12, "platform "), "1.0");
  EXPECT_EQ(plugin.Call(12, "|platform"), "1.0");
  EXPECT_EQ(plugin.Call(12, ""), "1.0");
  EXPECT_EQ(plugin.Call(12, static_cast<HostHandle>(nullptr)), "1.0");
  // Out of host memory the copy fails; the answer is still a version.
  standin::FailNewBlockAt(1);
  EXPECT_EQ(plugin.Call(12, "platform"), "1.0");
  standin::ClearFaults();
  EXPECT_EQ(plugin.LastCall().parameterLocks, 0);
  EXPECT_EQ(plugin.LastCall().resultLocks, 0);
}

TEST_F(Entry, FunctionNamesComeFromTheStringTable) {
  const char* names[] = {"Vantoro-GetDuration", "Vantoro-GetRate",   "Vantoro-GetTime",
                         "Vantoro-GetVideoFrame", "Vantoro-GetVideoSize", "Vantoro-GetVolume",
                         "Vantoro-Play",        nullptr,             "Vantoro-SetRate",
                         "Vantoro-SetTime",     "Vantoro-SetVolume", "Vantoro-Stop",
                         "Vantoro-Version"};
  for (int n = 0; n < 13; ++n) {
    if (names[n]) EXPECT_EQ(plugin.NumberOf(names[n]), n);
  }
  EXPECT_EQ(plugin.StringResource(128), "Vantoro");
  EXPECT_EQ(plugin.StringResource(131), "Vtro1YYYnnn");
  EXPECT_EQ(plugin.StringResource(23000), "Vantoro");
  std::string description = plugin.StringResource(129);
  const std::string first =
      "This plug-in lets you play video and audio files from within your FileMaker Pro database.\n\n";
  ASSERT_GT(description.size(), first.size());
  EXPECT_EQ(description.substr(0, first.size()), first);
  EXPECT_NE(description.find("Vantoro", first.size()), std::string::npos);
}

std::string VersionString(const std::vector<char>& info, const char* name) {
  char* value = nullptr;
  UINT length = 0;
  std::string key = std::string("\\StringFileInfo\\040904e4\\") + name;
  if (!VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &length)) return "<none>";
  return std::string(value, length ? length - 1 : 0);
}

TEST_F(Entry, VersionInformation) {
  std::string path = BesideProgram("Vantoro.fmx");
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));
  EXPECT_EQ(VersionString(info, "FileVersion"), "1.0");
  EXPECT_EQ(VersionString(info, "FileDescription"), "Vantoro 1.0");
  EXPECT_EQ(VersionString(info, "InternalName"), "Vantoro");
  EXPECT_EQ(VersionString(info, "More Info"),
            "This file is a FileMaker Pro plug-in. To make this file effective, drop it into FileMaker "
            "Pro\\System\\ folder and launch FileMaker Pro.");
  WORD* translation = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                             &length));
  EXPECT_EQ(translation[0], 0x0409);
  EXPECT_EQ(translation[1], 1252);
}

// The plug-in's only export, and no media library among its imports.
TEST_F(Entry, ExportsOnlyTheEntryPoint) {
  auto* base = reinterpret_cast<const uint8_t*>(plugin.Module());
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& exportDir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + exportDir.VirtualAddress);
  ASSERT_EQ(exports->NumberOfNames, 1u);
  auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  EXPECT_STREQ(reinterpret_cast<const char*>(base + names[0]), "FMExternCallProc");

  const IMAGE_DATA_DIRECTORY& importDir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + importDir.VirtualAddress);
       entry->Name; ++entry) {
    std::string dll = reinterpret_cast<const char*>(base + entry->Name);
    for (char& c : dll) c = static_cast<char>(tolower(c));
    EXPECT_TRUE(dll == "kernel32.dll" || dll == "user32.dll" || dll == "advapi32.dll" || dll == "msvcrt.dll" ||
                dll == "gdi32.dll")
        << dll;
  }
}

}  // namespace
