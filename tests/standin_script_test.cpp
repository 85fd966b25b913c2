#include <sstream>

#include <gtest/gtest.h>

#include "test_paths.h"
#include "standin/handles.h"
#include "standin/script.h"
#include "standin/script_runner.h"

using namespace standin;
using K = ScriptStep::Kind;

namespace {

TEST(ScriptParse, ArgumentTextIsTheRestOfTheLineByteForByte) {
  Script s = ParseScript(
      "# a comment\n"
      "\n"
      "   \t\n"
      "Vantoro-Version platform\r\n"
      "Vantoro-Version\n"
      "Vantoro-Version \n"
      "Vantoro-Play  C:\\m.mov|0|1.0||| \n"
      "  Vantoro-Stop |#x");
  ASSERT_TRUE(s.errors.empty());
  ASSERT_EQ(s.steps.size(), 5u);
  EXPECT_EQ(s.steps[0].kind, K::kCall);
  EXPECT_EQ(s.steps[0].name, "Vantoro-Version");
  EXPECT_EQ(s.steps[0].text, "platform");
  EXPECT_EQ(s.steps[0].line, 4);
  EXPECT_EQ(s.steps[1].text, "");
  EXPECT_EQ(s.steps[2].text, "");
  EXPECT_EQ(s.steps[3].name, "Vantoro-Play");
  EXPECT_EQ(s.steps[3].text, " C:\\m.mov|0|1.0||| ");
  EXPECT_EQ(s.steps[4].name, "Vantoro-Stop");
  EXPECT_EQ(s.steps[4].text, "|#x");
  EXPECT_EQ(s.steps[4].line, 8);
}

TEST(ScriptParse, HostCommands) {
  Script s = ParseScript(
      "wait 250\nopen Movies\nopen\nclose\nclose Movies\nfront\nfront Movies\n"
      "title FileMaker Pro\nidle\necho hello there\ncall 7 a|b\ncall -1\n");
  ASSERT_TRUE(s.errors.empty());
  ASSERT_EQ(s.steps.size(), 12u);
  EXPECT_EQ(s.steps[0].kind, K::kWait);
  EXPECT_EQ(s.steps[0].number, 250);
  EXPECT_EQ(s.steps[1].kind, K::kOpen);
  EXPECT_EQ(s.steps[1].text, "Movies");
  EXPECT_EQ(s.steps[2].text, "Untitled");
  EXPECT_EQ(s.steps[3].kind, K::kClose);
  EXPECT_EQ(s.steps[3].text, "");
  EXPECT_EQ(s.steps[4].text, "Movies");
  EXPECT_EQ(s.steps[5].kind, K::kFront);
  EXPECT_EQ(s.steps[7].kind, K::kTitle);
  EXPECT_EQ(s.steps[7].text, "FileMaker Pro");
  EXPECT_EQ(s.steps[8].kind, K::kIdle);
  EXPECT_EQ(s.steps[9].kind, K::kEcho);
  EXPECT_EQ(s.steps[9].text, "hello there");
  EXPECT_EQ(s.steps[10].kind, K::kCallNumber);
  EXPECT_EQ(s.steps[10].number, 7);
  EXPECT_EQ(s.steps[10].text, "a|b");
  EXPECT_EQ(s.steps[11].number, -1);
  EXPECT_EQ(s.steps[11].text, "");
}

TEST(ScriptParse, ClipboardNamesAFormatAndAFile) {
  Script s = ParseScript("clipboard Mac-PICT C:\\out dir\\frame.pict\nclipboard Mac-PICT\nclipboard\n");
  ASSERT_EQ(s.steps.size(), 1u);
  EXPECT_EQ(s.steps[0].kind, ScriptStep::Kind::kSaveClipboard);
  EXPECT_EQ(s.steps[0].name, "Mac-PICT");
  EXPECT_EQ(s.steps[0].text, "C:\\out dir\\frame.pict");
  ASSERT_EQ(s.errors.size(), 2u);
  EXPECT_EQ(s.errors[0], "line 2: clipboard needs a format name and a file name");
}

TEST(ScriptParse, BadLinesAreReportedWithTheirNumbers) {
  Script s = ParseScript("wait\nwait 1x\nwait -5\nplay movie\ncall x\nVantoro-Stop\n");
  ASSERT_EQ(s.errors.size(), 5u);
  EXPECT_EQ(s.errors[0], "line 1: wait needs a number of milliseconds");
  EXPECT_EQ(s.errors[1].rfind("line 2:", 0), 0u);
  EXPECT_EQ(s.errors[2].rfind("line 3:", 0), 0u);
  EXPECT_EQ(s.errors[3], "line 4: unknown command \"play\"");
  EXPECT_EQ(s.errors[4], "line 5: call needs a function number");
  EXPECT_EQ(s.steps.size(), 1u);
}

TEST(ScriptFormat, TranscriptLines) {
  EXPECT_EQ(FormatCall("Vantoro-Version", "platform", "Windows", true),
            "Vantoro-Version platform -> \"Windows\"");
  EXPECT_EQ(FormatCall("Vantoro-Version", "", "1.0", true), "Vantoro-Version -> \"1.0\"");
  EXPECT_EQ(FormatCall("Vantoro-Stop", "", "", true), "Vantoro-Stop -> \"\" (empty)");
  EXPECT_EQ(FormatCall("call 7", "x", "", false), "call 7 x -> (no answer)");
  EXPECT_EQ(FormatCall("F-X", " a ", "", false), "F-X \" a \" -> (no answer)");
  EXPECT_EQ(Quoted(std::string("a\"\\\0\n\xFF", 6)), "\"a\\\"\\\\\\x00\\x0A\\xFF\"");
}

TEST(ScriptRun, CallsAndWindowStepsAgainstAPlugin) {
  Plugin plugin;
  ASSERT_TRUE(plugin.Load(Folder() + "standin_fake_plugin.fmx"));
  plugin.Initialise();
  HostWindows windows;
  ASSERT_TRUE(windows.Create());
  HWND first = windows.OpenDocument("First");
  MessageBoxDismisser boxes;

  std::ostringstream out, err;
  ScriptRunner runner(plugin, windows, out, err);
  runner.SetMessageBoxes(&boxes);
  bool ok = runner.Run(ParseScript(
      "Fake-Echo a|b\n"
      "Fake-Nothing x\n"
      "Fake-Empty\n"
      "Fake-Unknown x\n"
      "open Second\n"
      "front\n"
      "echo -- now\n"
      "Fake-LeaveLocked\n"
      "Fake-MessageBox\n"
      "call 13 z\n"
      "close First\n"
      "close Nowhere\n"
      "idle\n"
      "Fake-State\n"));
  EXPECT_FALSE(ok);
  EXPECT_EQ(runner.Failures(), 2);
  EXPECT_EQ(err.str(),
            "line 4: Fake-Unknown: the plug-in has no function of this name\n"
            "line 12: no such document window\n");
  EXPECT_EQ(out.str(),
            "Fake-Echo a|b -> \"a|b\"\n"
            "Fake-Nothing x -> (no answer)\n"
            "Fake-Empty -> \"\" (empty)\n"
            "(open \"Second\")\n"
            "(front)\n"
            "-- now\n"
            "Fake-LeaveLocked -> (no answer)\n"
            "  ! result handle left locked\n"
            "Fake-MessageBox -> \"1\"\n"
            "  ! message box \"Unable to find main window!!!\" (caption \"\")\n"
            "call 13 z -> (no answer)\n"
            "(close \"First\")\n"
            "(close \"Nowhere\")\n"
            "(idle)\n"
            "Fake-State -> \"version=50 module=own idle=1 shutdown=0 other=0\"\n");
  EXPECT_FALSE(IsWindow(first));
  EXPECT_EQ(windows.FindDocument("Second"), windows.Frontmost());
}

TEST(ScriptRun, ParseErrorsRunNothing) {
  Plugin plugin;
  HostWindows windows;
  std::ostringstream out, err;
  ScriptRunner runner(plugin, windows, out, err);
  EXPECT_FALSE(runner.Run(ParseScript("echo one\nbogus\n")));
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), "line 2: unknown command \"bogus\"\n");
}

}  // namespace
