// The plug-in in a folder of its own with no engine anywhere, then an
// incomplete one, then a working one copied in while the host runs. The
// steps share one process, because binding happens once.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "host_rig_fixture.h"
#include "testengine/client.h"

namespace {

std::string Here(const char* name) { return testengine::BesideProgram(name); }

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class EngineMissing : public rig::HostRigTest {
 protected:
  void SetUp() override {
    // Left over from an earlier run, which bound it at the end.
    DeleteFileA(Here("QuickTime.qts").c_str());
    ASSERT_FALSE(Exists(Here("QuickTime.qts")));
    ASSERT_FALSE(Exists(Here("VantoroMedia.dll"))) << "the own engine must not be beside the plug-in here";
    HostRigTest::SetUp();
  }
  void TearDown() override {
    HostRigTest::TearDown();
    printf("\nEngine missing, partial, installed while running\n\n| Step | Call | Answer |\n|---|---|---|\n");
    for (const std::string& row : rows) printf("%s\n", row.c_str());
    fflush(stdout);
  }

  std::string Call(const std::string& step, const std::string& name, const std::string& args = "") {
    std::string answer = HostRig::Call(name, args);
    rows.push_back("| " + step + " | " + name + (args.empty() ? "" : " (a path)") + " | " +
                   (answer.empty() ? "(nothing)" : answer) + " |");
    return answer;
  }

  std::vector<std::string> rows;
};

TEST_F(EngineMissing, BadPathUntilAnEngineIsInstalled) {
  // A file that surely exists: this program.
  const std::string file = Here("engine_missing_test.exe");
  ASSERT_TRUE(Exists(file));

  const char* none = "no engine";
  EXPECT_EQ(Call(none, "Vantoro-Play", file), "72008");
  EXPECT_FALSE(Subclassed());
  EXPECT_EQ(Call(none, "Vantoro-GetDuration", file), "72008");
  EXPECT_EQ(Call(none, "Vantoro-GetVideoSize", file), "72008");
  EXPECT_EQ(Call(none, "Vantoro-GetTime"), "74005");
  EXPECT_EQ(Call(none, "Vantoro-GetVideoFrame"), "74005");
  EXPECT_EQ(Call(none, "Vantoro-Stop"), "");
  EXPECT_EQ(Call(none, "Vantoro-Version"), "1.0");
  EXPECT_EQ(boxes.Count(), 0) << "no message about the missing engine";

  // An engine without all its entry points is no engine, and is let go.
  const char* partial = "incomplete QuickTime.qts";
  ASSERT_TRUE(CopyFileA((ParentFolder() + "PartialEngine.qts").c_str(), Here("QuickTime.qts").c_str(), FALSE));
  EXPECT_EQ(Call(partial, "Vantoro-Play", file), "72008");
  EXPECT_EQ(Call(partial, "Vantoro-GetDuration", file), "72008");
  EXPECT_FALSE(Subclassed());
  EXPECT_EQ(GetModuleHandleA("QuickTime.qts"), nullptr) << "released again";
  EXPECT_TRUE(DeleteFileA(Here("QuickTime.qts").c_str()));

  // Installed while the host runs: the next call binds it.
  const char* installed = "engine copied in";
  ASSERT_TRUE(CopyFileA((ParentFolder() + "QuickTime.qts").c_str(), Here("QuickTime.qts").c_str(), FALSE));
  testengine::TestEngine engine(Here("QuickTime.qts").c_str());
  ASSERT_TRUE(engine.ok());
  engine.Reset();
  testengine::MovieSpec spec;
  spec.duration = 6000;
  for (TimeValue t = 0; t < 6000; t += 24) spec.sampleTimes.push_back(t);
  ASSERT_TRUE(engine.DefineMovie(file, spec));
  EXPECT_EQ(Call(installed, "Vantoro-GetDuration", file), "00:00:10.00");
  EXPECT_EQ(Call(installed, "Vantoro-Play", file), "");
  EXPECT_TRUE(Subclassed());
  EXPECT_EQ(Call(installed, "Vantoro-GetVideoSize"), "320,240");
  EXPECT_EQ(Call(installed, "Vantoro-Stop"), "");
  EXPECT_FALSE(Subclassed());
  EXPECT_TRUE(engine.Movies().empty());
  EXPECT_EQ(engine.OpenFileCount(), 0u);
  EXPECT_EQ(engine.PortCount(), 0u);
  EXPECT_TRUE(engine.Misuses().empty());
}

}  // namespace
