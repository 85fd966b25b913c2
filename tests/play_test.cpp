// Vantoro-Play against the scripted engine: the order of its calls, each error
// code at the step that raises it, what a failure leaves behind, and how the
// arguments are read.
#include <gtest/gtest.h>

#include "plugin_fixture.h"

namespace {

using fixture::kMoviePath;
using fixture::PluginTest;

class PlayCall : public PluginTest {
 protected:
  // The selectors of the log, with runs of the frame walk folded into one.
  std::vector<uint32_t> FoldedSelectors() const {
    std::vector<uint32_t> folded;
    for (uint32_t s : engine->Selectors()) {
      if (!folded.empty() && folded.back() == s && s == kSel_GetMovieNextInterestingTime) continue;
      folded.push_back(s);
    }
    return folded;
  }

  // Nothing of a session is left: no movie, file or port, and the window has
  // its own procedure.
  void ExpectNothingLeft() {
    for (Movie m : engine->Movies()) EXPECT_TRUE(engine->IsDisposed(m));
    EXPECT_EQ(engine->Movies().size(), 0u);
    EXPECT_EQ(engine->OpenFileCount(), 0u);
    EXPECT_EQ(engine->PortCount(), 0u);
    EXPECT_FALSE(Subclassed());
    EXPECT_EQ(engine->CurrentGWorld(), engine->ScreenPort());
  }

  TEMovieState StateOfCurrent() { return engine->State(engine->CurrentMovie()); }
};

TEST_F(PlayCall, CallsTheEngineInOrder) {
  EXPECT_EQ(Play("|1"), "");
  const std::vector<uint32_t> expected = {
      kSel_NativePathNameToFSSpec, kSel_CreatePortAssociation, kSel_GetGWorld, kSel_SetGWorld,
      kSel_OpenMovieFile, kSel_NewMovieFromFile, kSel_EmptyRect, kSel_GetMovieBox, kSel_SetMovieBox,
      kSel_SetMovieGWorld, kSel_MovieDisplayRectChanged,
      kSel_SetMoviePlayHints, kSel_GetMovieTimeBase, kSel_GetTimeBaseFlags, kSel_SetTimeBaseFlags,
      kSel_X2FixDispatch, kSel_GetMovieNextInterestingTime, kSel_GetMovieDuration, kSel_GetMovieTimeScale,
      kSel_SetMovieActive, kSel_SetMovieTimeValue, kSel_SetMovieActiveSegment, kSel_PrePrerollMovie,
      kSel_PrerollMovie, kSel_UpdateMovie};
  EXPECT_EQ(FoldedSelectors(), expected) << engine->Trace();
  // 250 samples, and the call that finds no more.
  EXPECT_EQ(engine->Count(kSel_GetMovieNextInterestingTime), 251u);
  EXPECT_TRUE(Subclassed());
  TEMovieState state = StateOfCurrent();
  EXPECT_EQ(state.rate, 0) << "the movie starts at the first window message, not in Play";
  EXPECT_TRUE(state.active);
  EXPECT_EQ(state.segmentStart, 0);
  EXPECT_EQ(state.segmentDuration, 6000);
  EXPECT_EQ(state.timeBaseFlags & 3, 1);
  EXPECT_EQ(state.playHints, hintsLoop);
  EXPECT_EQ(engine->PortWindow(state.port), document);
  EXPECT_EQ(engine->CurrentGWorld(), state.port) << "the movie's port stays current";
}

TEST_F(PlayCall, FrameWalkAsksForVideoSamplesAtRateZero) {
  ASSERT_EQ(Play(), "");
  auto walk = engine->CallsOf(kSel_GetMovieNextInterestingTime);
  ASSERT_GE(walk.size(), 2u);
  EXPECT_EQ(walk[0].args[1] & 0xFFFF, 0x4001u);
  EXPECT_EQ(walk[1].args[1] & 0xFFFF, 0x0001u);
  EXPECT_EQ(walk[0].args[2] & 0xFFFF, 1u);
  EXPECT_NE(walk[0].args[3], 0u) << "a list of one media type";
  EXPECT_EQ(walk[0].args[4], 0u);
  EXPECT_EQ(walk[0].args[5], 0u);
  EXPECT_EQ(walk[1].args[4], 0u) << "continues from the sample found";
  EXPECT_EQ(walk[2].args[4], 24u);
}

TEST_F(PlayCall, StartsOnTheFirstWindowMessage) {
  ASSERT_EQ(Play("|0|0.5"), "");
  engine->ClearLog();
  Poke();
  std::vector<uint32_t> first = engine->Selectors();
  ASSERT_GE(first.size(), 3u);
  EXPECT_EQ(engine->Count(kSel_SetMovieRate), 1u);
  EXPECT_EQ(engine->CallsOf(kSel_SetMovieRate)[0].args[1], 0x8000u);
  EXPECT_EQ(engine->Count(kSel_MoviesTask), 1u);
  EXPECT_EQ(engine->CallsOf(kSel_MoviesTask)[0].args[1], 0u);
  EXPECT_EQ(engine->Count(kSel_IsMovieDone), 1u);
  engine->ClearLog();
  Poke();
  EXPECT_EQ(engine->Count(kSel_SetMovieRate), 0u) << "started once only";
  EXPECT_EQ(engine->Count(kSel_MoviesTask), 1u);
}

TEST_F(PlayCall, WrongArgumentCountLeavesAPlayingMovie) {
  ASSERT_EQ(Play(), "");
  Movie playing = engine->CurrentMovie();
  EXPECT_EQ(Call("Vantoro-Play", ""), "70001");
  EXPECT_EQ(Play("|0|1|0:0:0.0|0:0:0.0|0|0|0|0|extra"), "70001");
  EXPECT_FALSE(engine->IsDisposed(playing));
  EXPECT_TRUE(Subclassed());
  EXPECT_EQ(Call("Vantoro-GetRate"), "1");
}

TEST_F(PlayCall, EmptyPathStopsThePlayingMovie) {
  ASSERT_EQ(Play(), "");
  EXPECT_EQ(Call("Vantoro-Play", "|0"), "72008");
  ExpectNothingLeft();
  EXPECT_EQ(Call("Vantoro-GetTime"), "74005");
}

TEST_F(PlayCall, PathTheEngineCannotFind) {
  EXPECT_EQ(Call("Vantoro-Play", "C:\\Movies\\missing.mov"), "72008");
  ExpectNothingLeft();
  engine->FailAt(kSel_NativePathNameToFSSpec, 1, static_cast<uint32_t>(-43));
  EXPECT_EQ(Play(), "72008");
  ExpectNothingLeft();
}

TEST_F(PlayCall, PathCopyThatFailsIsABadPath) {
  standin::FailNewBlockAt(1);
  EXPECT_EQ(Play(), "72008");
  ExpectNothingLeft();
}

TEST_F(PlayCall, NoDocumentWindow) {
  windows.CloseDocument(document);
  document = nullptr;
  EXPECT_EQ(Play(), "77100");
  EXPECT_EQ(boxes.Count(), 0) << "the main window was found: no message box";
  EXPECT_EQ(engine->PortCount(), 0u);
}

TEST_F(PlayCall, NoPortForTheWindow) {
  engine->FailAt(kSel_CreatePortAssociation, 1, 0);
  EXPECT_EQ(Play(), "77101");
  EXPECT_EQ(engine->Count(kSel_OpenMovieFile), 0u);
  EXPECT_EQ(engine->Count(kSel_SetGWorld), 0u) << "nothing to restore: the port was never made";
  ExpectNothingLeft();
}

TEST_F(PlayCall, FileThatCannotBeOpened) {
  engine->FailAt(kSel_OpenMovieFile, 1, static_cast<uint32_t>(-43));
  EXPECT_EQ(Play(), "74001");
  EXPECT_EQ(engine->Count(kSel_CloseMovieFile), 0u);
  EXPECT_EQ(engine->Count(kSel_DestroyPortAssociation), 1u);
  ExpectNothingLeft();
}

TEST_F(PlayCall, FileThatIsNoMovie) {
  engine->FailAt(kSel_NewMovieFromFile, 1, static_cast<uint32_t>(-2048));
  EXPECT_EQ(Play(), "74002");
  EXPECT_EQ(engine->Count(kSel_CloseMovieFile), 1u);
  ExpectNothingLeft();
}

TEST_F(PlayCall, PrerollFailures) {
  engine->FailAt(kSel_PrePrerollMovie, 1, static_cast<uint32_t>(-108));
  EXPECT_EQ(Play(), "74003");
  EXPECT_EQ(engine->Count(kSel_PrerollMovie), 0u) << "no preroll after a failed pre-preroll";
  ExpectNothingLeft();
  engine->ClearLog();
  engine->FailAt(kSel_PrerollMovie, 1, static_cast<uint32_t>(-108));
  EXPECT_EQ(Play(), "74003");
  EXPECT_EQ(engine->Count(kSel_StopMovie), 1u);
  EXPECT_EQ(engine->Count(kSel_DisposeMovie), 1u);
  ExpectNothingLeft();
  // The failed call started no timer: the window gets no timer messages.
  standin::HostWindows::ClearSeen(document);
  windows.Pump(100);
  EXPECT_EQ(standin::HostWindows::CountSeen(document, WM_TIMER), 0);
}

TEST_F(PlayCall, FailureCleanupOrder) {
  engine->FailAt(kSel_PrerollMovie, 1, static_cast<uint32_t>(-108));
  ASSERT_EQ(Play(), "74003");
  std::vector<uint32_t> tail;
  bool after = false;
  for (uint32_t s : engine->Selectors()) {
    if (s == kSel_PrerollMovie) after = true;
    else if (after) tail.push_back(s);
  }
  const std::vector<uint32_t> expected = {kSel_StopMovie, kSel_DisposeMovie, kSel_CloseMovieFile, kSel_SetGWorld,
                                          kSel_DestroyPortAssociation};
  EXPECT_EQ(tail, expected) << engine->Trace();
}

TEST_F(PlayCall, OutOfHostMemoryForAnArgument) {
  // Copies: the path, then the rate.
  standin::FailNewBlockAt(2);
  EXPECT_EQ(Play("|0|2"), "80008");
  ExpectNothingLeft();
}

TEST_F(PlayCall, TimesBeyondTheMovie) {
  EXPECT_EQ(Play("|0|1|00:00:10.01"), "77102");
  ExpectNothingLeft();
  EXPECT_EQ(Play("|0|1|00:00:02.00|00:00:02.00"), "77102");
  EXPECT_EQ(Play("|0|1|00:00:02.00|00:00:01.00"), "77102");
  EXPECT_EQ(Play("|0|1|0:0:0.0|00:00:10.01"), "77102");
  EXPECT_EQ(Play("|0|1|0:0:0.0|-1:00:00.00"), "77102");
  ExpectNothingLeft();
  EXPECT_EQ(Play("|0|1|00:00:10.00"), "") << "the start may be the very end";
}

TEST_F(PlayCall, StartAndEndTimes) {
  ASSERT_EQ(Play("|0|1|00:00:02.00|00:00:04.00"), "");
  TEMovieState state = StateOfCurrent();
  EXPECT_EQ(state.time, 1200);
  EXPECT_EQ(state.segmentStart, 1200);
  EXPECT_EQ(state.segmentDuration, 1200);
  auto preroll = engine->CallsOf(kSel_PrerollMovie);
  ASSERT_EQ(preroll.size(), 1u);
  EXPECT_EQ(preroll[0].args[1], 1200u);
  EXPECT_EQ(preroll[0].args[2], 0x10000u);

  ASSERT_EQ(Play("|0|1|-1:00:00.00|garbage"), "");
  state = StateOfCurrent();
  EXPECT_EQ(state.segmentStart, 0) << "a negative start is the beginning";
  EXPECT_EQ(state.segmentDuration, 6000) << "an unreadable end is the end";
}

TEST_F(PlayCall, RatesAsGiven) {
  ASSERT_EQ(Play("|0|"), "");
  EXPECT_EQ(Call("Vantoro-GetRate"), "1") << "an empty rate keeps 1.0";
  ASSERT_EQ(Play("|0|abc"), "");
  EXPECT_EQ(Call("Vantoro-GetRate"), "0");
  Poke();
  EXPECT_EQ(engine->State(engine->CurrentMovie()).rate, 0);
  ASSERT_EQ(Play("|0| -1.5e0"), "");
  EXPECT_EQ(Call("Vantoro-GetRate"), "-1.5");
  Poke();
  EXPECT_EQ(engine->State(engine->CurrentMovie()).rate, -0x18000);
}

TEST_F(PlayCall, Rectangles) {
  struct Case {
    const char* args;
    Rect box;
  } cases[] = {
      {"", {0, 0, 240, 320}},
      {"|0|1|||100|50", {50, 100, 290, 420}},
      {"|0|1|||10|20|160|120", {20, 10, 140, 170}},
      {"|0|1|||10|20|0|120", {20, 10, 260, 330}},
      {"|0|1|||10|20|160|-5", {20, 10, 260, 330}},
      {"|0|1|||-10|-20", {-20, -10, 0, 0}},
      {"|0|1|||-10|20", {20, -10, 260, 310}},
      {"|0|1|||70000|0|65546|100", {0, 4464, 100, 4474}},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(Play(c.args), "") << c.args;
    Rect box = StateOfCurrent().box;
    EXPECT_EQ(box.top, c.box.top) << c.args;
    EXPECT_EQ(box.left, c.box.left) << c.args;
    EXPECT_EQ(box.bottom, c.box.bottom) << c.args;
    EXPECT_EQ(box.right, c.box.right) << c.args;
    Rect display;
    ASSERT_TRUE(engine->LastDisplayRect(&display));
    EXPECT_EQ(memcmp(&display, &box, sizeof box), 0) << c.args;
    EXPECT_EQ(Call("Vantoro-GetVideoSize"), "320,240") << "the movie's own size, not the display";
  }
}

TEST_F(PlayCall, SecondPlayReplacesTheFirst) {
  ASSERT_EQ(Play(), "");
  Movie first = engine->CurrentMovie();
  ASSERT_EQ(Play("|0|2"), "");
  EXPECT_TRUE(engine->Movies().size() == 1 && engine->CurrentMovie() != first);
  EXPECT_EQ(engine->PortCount(), 1u);
  EXPECT_EQ(engine->OpenFileCount(), 1u);
  Call("Vantoro-Stop");
  EXPECT_EQ(DocumentProcNow(), standin::HostWindows::DocumentProc()) << "the host's own procedure, not ours";
  ExpectNothingLeft();
}

TEST_F(PlayCall, TimerKeepsMessagesComing) {
  ASSERT_EQ(Play(), "");
  standin::HostWindows::ClearSeen(document);
  engine->ClearLog();
  windows.Pump(300);
  EXPECT_GE(standin::HostWindows::CountSeen(document, WM_TIMER), 5) << "timer messages reach the host too";
  EXPECT_GE(engine->Count(kSel_MoviesTask), 5u);
  Call("Vantoro-Stop");
  standin::HostWindows::ClearSeen(document);
  windows.Pump(100);
  EXPECT_EQ(standin::HostWindows::CountSeen(document, WM_TIMER), 0) << "the timer is gone";
}

TEST_F(PlayCall, SoundOnlyMovieCountsSteps) {
  testengine::MovieSpec sound;
  sound.duration = 3000;
  sound.timeScale = 600;
  sound.box = Rect{0, 0, 0, 0};
  for (TimeValue t = 600; t < 3000; t += 600) sound.stepTimes.push_back(t);
  ASSERT_TRUE(engine->DefineMovie(fixture::kSoundPath, sound));
  ASSERT_EQ(Call("Vantoro-Play", fixture::kSoundPath), "");
  EXPECT_EQ(engine->Count(kSel_GetMovieNextInterestingTime), 1u + 5u);
  // Four steps over five seconds: frame fields at 0.8 frames a second.
  EXPECT_EQ(Call("Vantoro-GetDuration"), "00:00:05.00");
  EXPECT_EQ(Call("Vantoro-GetVideoSize"), "0,0");
}

}  // namespace
