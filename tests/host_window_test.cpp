// Finding the host's frontmost document window.
#include <gtest/gtest.h>

#include "plugin_fixture.h"

namespace {

using fixture::PluginTest;

class HostWindow : public PluginTest {
 protected:
  HWND PlayedInto() {
    Movie movie = engine->CurrentMovie();
    return movie ? engine->PortWindow(engine->State(movie).port) : nullptr;
  }
};

TEST_F(HostWindow, FrontmostDocumentOfTheMainWindow) {
  HWND second = windows.OpenDocument("Second");
  ASSERT_EQ(Play(), "");
  EXPECT_EQ(PlayedInto(), second);
  windows.BringToFront(document);
  ASSERT_EQ(Play(), "");
  EXPECT_EQ(PlayedInto(), document);
  EXPECT_EQ(boxes.Count(), 0);
}

TEST_F(HostWindow, TitleMustBeginWithFileMaker) {
  windows.SetFrameTitle("FileMaker");
  ASSERT_EQ(Play(), "");
  EXPECT_EQ(PlayedInto(), document);
  // Not a match: the foreground window is used instead.
  windows.SetFrameTitle("Filemaker Pro");
  SetForegroundWindow(windows.Frame());
  ASSERT_EQ(Play(), "");
  EXPECT_EQ(PlayedInto(), document);
  windows.SetFrameTitle("FileMake");
  ASSERT_EQ(Play(), "");
  EXPECT_EQ(PlayedInto(), document);
  EXPECT_EQ(boxes.Count(), 0);
}

TEST_F(HostWindow, MainWindowWithoutDocument) {
  windows.CloseDocument(document);
  document = nullptr;
  EXPECT_EQ(Play(), "77100");
  EXPECT_EQ(boxes.Count(), 0);
  EXPECT_EQ(engine->Count(kSel_CreatePortAssociation), 0u);
}

TEST_F(HostWindow, NoWindowAtAll) {
  windows.Destroy();
  document = nullptr;
  if (GetForegroundWindow()) GTEST_SKIP() << "another window of this desktop is in front";
  EXPECT_EQ(Play(), "77100");
  ASSERT_EQ(boxes.Count(), 1);
  EXPECT_EQ(boxes.LastText(), "Unable to find main window!!!");
  EXPECT_EQ(boxes.LastCaption(), "");
  EXPECT_EQ(boxes.LastStyle() & 0xFF, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
  EXPECT_EQ(boxes.LastOwner(), nullptr);
  EXPECT_EQ(engine->PortCount(), 0u);
}

// A window of another process is in front and no window of ours matches:
// the movie must not go into the other program's window.
TEST_F(HostWindow, ForegroundWindowOfAnotherProgramIsNotUsed) {
  windows.SetFrameTitle("Database");
  STARTUPINFOA startup = {sizeof startup};
  PROCESS_INFORMATION process = {};
  // Any program with a window will do: a second stand-in host, waiting.
  std::string script = testengine::BesideProgram("host_window_test_wait.txt");
  FILE* f = fopen(script.c_str(), "w");
  ASSERT_NE(f, nullptr);
  fputs("wait 4000\n", f);
  fclose(f);
  std::string command = "\"" + testengine::BesideProgram("vantoro-host.exe") + "\" --quiet \"" + script + "\"";
  char line[MAX_PATH * 2];
  snprintf(line, sizeof line, "%s", command.c_str());
  if (!CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    GTEST_SKIP() << "cannot start a second program";
  }
  WaitForInputIdle(process.hProcess, 5000);
  HWND foreground = nullptr;
  // A second program starts slowly on an emulated machine: give it time.
  for (DWORD until = GetTickCount() + 30000; GetTickCount() < until;) {
    foreground = GetForegroundWindow();
    DWORD pid = 0;
    if (foreground) GetWindowThreadProcessId(foreground, &pid);
    if (foreground && pid == process.dwProcessId) break;
    foreground = nullptr;
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) break;  // came and went
    Sleep(20);
  }
  if (foreground) {
    EXPECT_EQ(Play(), "77100");
    EXPECT_EQ(engine->PortCount(), 0u);
  }
  TerminateProcess(process.hProcess, 0);
  WaitForSingleObject(process.hProcess, 5000);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  if (!foreground) GTEST_SKIP() << "the other program's window did not come to the front";
}

}  // namespace
