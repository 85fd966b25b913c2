// A stand-in host with the real Vantoro.fmx loaded and the scripted test
// engine bound as "QuickTime.qts" beside the test program.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "standin/handles.h"
#include "standin/host_windows.h"
#include "standin/message_boxes.h"
#include "standin/plugin.h"
#include "testengine/client.h"

namespace fixture {

constexpr const char* kMoviePath = "C:\\Movies\\clip.mov";
constexpr const char* kSoundPath = "C:\\Movies\\tone.wav";

// 10 s at scale 600, 25 frames a second, 320 x 240.
inline testengine::MovieSpec ClipSpec() {
  testengine::MovieSpec spec;
  spec.duration = 6000;
  spec.timeScale = 600;
  spec.box = Rect{0, 0, 240, 320};
  for (TimeValue t = 0; t < 6000; t += 24) spec.sampleTimes.push_back(t);
  return spec;
}

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(windows.Create());
    document = windows.OpenDocument("Movies");
    ASSERT_NE(document, nullptr);
    ASSERT_TRUE(plugin.Load(testengine::BesideProgram("Vantoro.fmx"))) << plugin.LoadError();
    ASSERT_EQ(plugin.Initialise(), 4);
    engine = std::make_unique<testengine::TestEngine>();
    ASSERT_TRUE(engine->ok());
    engine->Reset();
    ASSERT_TRUE(engine->DefineMovie(kMoviePath, ClipSpec()));
    standin::ClearFaults();
    standin::ResetCounters();
    blocksBefore = standin::OutstandingBlocks();
  }

  void TearDown() override {
    EXPECT_EQ(standin::OutstandingBlocks(), blocksBefore) << "argument copies not given back";
    EXPECT_EQ(standin::BadDisposals(), 0);
    plugin.Shutdown();
    if (engine && !engine->Misuses().empty()) {
      ADD_FAILURE() << "engine misused: " << engine->Misuses().front();
    }
    plugin.Unload();
    windows.Destroy();
  }

  std::string Call(const std::string& name, const std::string& args = "") {
    return plugin.CallByName(name, args);
  }

  // Play kMoviePath with extra arguments after the path.
  std::string Play(const std::string& rest = "") {
    return Call("Vantoro-Play", std::string(kMoviePath) + rest);
  }

  WNDPROC DocumentProcNow() const {
    return reinterpret_cast<WNDPROC>(GetWindowLongA(document, GWL_WNDPROC));
  }
  bool Subclassed() const { return standin::HostWindows::Subclassed(document); }

  // Sends one message through the document's current procedure.
  void Poke(UINT message = WM_NULL) { SendMessageA(document, message, 0, 0); }

  // No playback timer on the document. Asked by killing it, so only for
  // checks that it is gone.
  bool PlaybackTimerGone() const { return !document || !KillTimer(document, kPlaybackTimerId); }

  // Runs the message loop until the document has seen n more timer
  // messages; false if they do not come within a deadline no loaded machine
  // misses.
  bool TimerMessagesArrive(int n) {
    standin::HostWindows::ClearSeen(document);
    return windows.PumpUntil([&] { return standin::HostWindows::CountSeen(document, WM_TIMER) >= n; },
                             kPatienceMs);
  }

  // Nothing of a session is left: no movie, file, port or timer, the world
  // from before Play is current again, and the window has its own procedure.
  void ExpectNothingLeft() {
    EXPECT_TRUE(engine->Movies().empty()) << "a movie not disposed of";
    EXPECT_EQ(engine->OpenFileCount(), 0u);
    EXPECT_EQ(engine->PortCount(), 0u);
    EXPECT_EQ(engine->CurrentGWorld(), engine->ScreenPort());
    if (document) {
      EXPECT_FALSE(Subclassed());
    }
    EXPECT_TRUE(PlaybackTimerGone());
  }

  // The plug-in's playback timer: 'Vtmr', first character most significant.
  static constexpr UINT_PTR kPlaybackTimerId = 0x56746D72;
  static constexpr int kPatienceMs = 20000;

  standin::MessageBoxDismisser boxes;
  standin::HostWindows windows;
  standin::Plugin plugin;
  std::unique_ptr<testengine::TestEngine> engine;
  HWND document = nullptr;
  int blocksBefore = 0;
};

}  // namespace fixture
