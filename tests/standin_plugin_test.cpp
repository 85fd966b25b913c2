#include <string.h>

#include <gtest/gtest.h>

#include "standin/handles.h"
#include "standin/plugin.h"

using namespace standin;

namespace {

std::string BinFile(const char* name) {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string s(path);
  return s.substr(0, s.find_last_of("\\/") + 1) + name;
}

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearFaults();
    ResetCounters();
    ASSERT_TRUE(plugin.Load(BinFile("standin_fake_plugin.fmx"))) << plugin.LoadError();
    ASSERT_EQ(plugin.Initialise(), 4);
  }
  void TearDown() override { ClearFaults(); }
  Plugin plugin;
};

TEST(PluginLoad, FailsCleanlyForMissingFileOrExport) {
  Plugin p;
  EXPECT_FALSE(p.Load(BinFile("no_such_plugin.fmx")));
  EXPECT_FALSE(p.LoadError().empty());
  EXPECT_FALSE(p.Loaded());
  EXPECT_FALSE(p.Load("kernel32.dll"));
  EXPECT_NE(p.LoadError().find("FMExternCallProc"), std::string::npos);
  EXPECT_EQ(p.Module(), nullptr);
  EXPECT_EQ(p.Call(0, "x"), "");  // nothing loaded: nothing happens
}

TEST_F(PluginTest, InitialiseHandsOverVersionAndModule) {
  EXPECT_EQ(plugin.Call(5, ""), "version=50 module=own idle=0 shutdown=0 other=0");
  EXPECT_EQ(plugin.Initialise(3), -1);
  EXPECT_EQ(plugin.Initialise(255), 4);
  EXPECT_EQ(plugin.HostVersion(), 255);
  plugin.Idle();
  plugin.Idle();
  plugin.Shutdown();
  plugin.RawCall(2);
  plugin.RawCall(200);
  EXPECT_EQ(plugin.Call(5, ""), "version=255 module=own idle=2 shutdown=1 other=2");
}

TEST_F(PluginTest, FunctionNamesComeFromStringResources) {
  EXPECT_EQ(plugin.StringResource(128), "Fake");
  EXPECT_EQ(plugin.StringResource(151), "");
  EXPECT_EQ(plugin.NumberOf("Fake-Echo"), 0);
  EXPECT_EQ(plugin.NumberOf("Fake-State"), 5);
  EXPECT_EQ(plugin.NumberOf("Fake-Overrun"), 10);
  EXPECT_EQ(plugin.NumberOf("fake-echo"), -1);
  EXPECT_EQ(plugin.NumberOf("Fake"), -1);
  EXPECT_EQ(plugin.NumberOf(""), -1);
  EXPECT_EQ(plugin.CallByName("Fake-Echo", "hi"), "hi");
  bool touched = true;
  EXPECT_EQ(plugin.CallByName("Fake-Missing", "hi", &touched), "");
  EXPECT_FALSE(touched);
}

TEST_F(PluginTest, ArgumentAndAnswerKeepEveryByte) {
  const std::string text("a|\0|b \xE9", 7);
  bool touched = false;
  EXPECT_EQ(plugin.Call(0, text, &touched), text);
  EXPECT_TRUE(touched);
  int blocks = OutstandingBlocks();
  EXPECT_EQ(plugin.Call(3, "copy me"), "copy me");
  EXPECT_EQ(plugin.Call(0, static_cast<HostHandle>(nullptr)), "(null)");
  EXPECT_EQ(OutstandingBlocks(), blocks);
  EXPECT_EQ(OutstandingHandles(), 0);
  EXPECT_FALSE(plugin.LastCall().recordChanged);
}

TEST_F(PluginTest, UntouchedResultIsToldFromEmptyResult) {
  bool touched = true;
  EXPECT_EQ(plugin.Call(1, "x", &touched), "");
  EXPECT_FALSE(touched);
  EXPECT_EQ(plugin.Call(2, "x", &touched), "");
  EXPECT_TRUE(touched);
  for (int number : {7, 13, -1}) {
    plugin.Call(number, "x", &touched);
    EXPECT_FALSE(touched) << number;
  }
  // A failed resize leaves the host's bytes in place: no answer.
  int resizes = ResizeCalls();
  FailResizeAt(1);
  EXPECT_EQ(plugin.Call(0, "lost", &touched), "");
  EXPECT_FALSE(touched);
  EXPECT_EQ(ResizeCalls(), resizes + 1);
}

TEST_F(PluginTest, CallReportShowsWhatThePluginLeftWrong) {
  plugin.Call(8, "");
  EXPECT_EQ(plugin.LastCall().resultLocks, 1);
  plugin.Call(9, "");
  EXPECT_TRUE(plugin.LastCall().recordChanged);
  plugin.Call(0, "fine");
  EXPECT_FALSE(plugin.LastCall().recordChanged);
  EXPECT_EQ(plugin.LastCall().resultLocks, 0);
  EXPECT_EQ(plugin.LastCall().parameterLocks, 0);
  EXPECT_EQ(plugin.LastCall().resultResizes, 1);

  EXPECT_EQ(plugin.Call(10, ""), "ab");
  EXPECT_EQ(Overruns(), 1);
  int blocks = OutstandingBlocks();
  EXPECT_EQ(plugin.Call(4, ""), "leaked");
  EXPECT_EQ(OutstandingBlocks(), blocks + 1);
}

TEST_F(PluginTest, NoBlockFromTheHostReachesThePlugin) {
  FailNewBlockAt(1);
  EXPECT_EQ(plugin.Call(3, "abc"), "no block");
  EXPECT_EQ(plugin.Call(3, "abc"), "abc");
}

TEST_F(PluginTest, RecordsAreFreshAndReservedBytesCanBePoisoned) {
  plugin.SetReservedFill(0xA7);
  HostCallRecord r = plugin.MakeRecord(kCallExternal);
  EXPECT_EQ(r.callCode, kCallExternal);
  EXPECT_EQ(r.moduleInstance, plugin.Module());
  EXPECT_EQ(r.reserved02[0], 0xA7);
  EXPECT_EQ(r.reserved0A[1], 0xA7);
  EXPECT_EQ(r.reserved2C[7], 0xA7);
  EXPECT_EQ(reinterpret_cast<void*>(r.hostNewBlock), reinterpret_cast<void*>(&HostNewBlock));
  EXPECT_EQ(reinterpret_cast<void*>(r.hostMemoryError), reinterpret_cast<void*>(&HostMemoryError));
  EXPECT_EQ(plugin.Call(0, "still works"), "still works");
  EXPECT_EQ(plugin.Initialise(60), 4);
}

}  // namespace
