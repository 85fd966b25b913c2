// Vantoro-Play against the scripted engine: the session it sets up, each error
// code and what a failure leaves behind, and how the arguments are read.
#include <gtest/gtest.h>

#include "plugin_fixture.h"

namespace {

using fixture::kMoviePath;
using fixture::PluginTest;

class PlayCall : public PluginTest {
 protected:
  TEMovieState StateOfCurrent() { return engine->State(engine->CurrentMovie()); }
};

TEST_F(PlayCall, SetsUpASessionThatStartsOnTheFirstMessage) {
  EXPECT_EQ(Play("|0|0.5"), "");
  TEMovieState state = StateOfCurrent();
  EXPECT_EQ(state.rate, 0) << "the movie starts at the first window message, not in Play";
  EXPECT_TRUE(state.active);
  EXPECT_EQ(state.time, 0);
  EXPECT_EQ(state.segmentStart, 0);
  EXPECT_EQ(state.segmentDuration, 6000);
  EXPECT_EQ(engine->PortWindow(state.port), document) << "drawn in the frontmost document";
  EXPECT_EQ(engine->CurrentGWorld(), state.port) << "the movie's port stays current";
  EXPECT_GE(state.updates, 1u) << "the first picture is brought up to date before Play returns";
  EXPECT_TRUE(Subclassed());
  EXPECT_TRUE(TimerMessagesArrive(1));

  // The timer's messages start it, at the rate asked for, and give it time.
  engine->SetTaskStep(engine->CurrentMovie(), 100);
  EXPECT_TRUE(windows.PumpUntil([&] { return StateOfCurrent().time >= 300; }, kPatienceMs));
  EXPECT_EQ(StateOfCurrent().rate, 0x8000);
}

TEST_F(PlayCall, LoopingOrOnce) {
  // Three tasks of 2000 units take a ten-second movie to its end.
  ASSERT_EQ(Play("|1"), "");
  Movie looping = engine->CurrentMovie();
  engine->SetTaskStep(looping, 2000);
  for (int i = 0; i < 3; ++i) Poke();
  EXPECT_EQ(engine->MovieTime(looping), 0) << "at the end it starts again";
  // Forward each time round, not back and forth.
  EXPECT_EQ(engine->State(looping).timeBaseFlags & (loopTimeBase | palindromeLoopTimeBase), loopTimeBase);
  Poke();
  EXPECT_EQ(Call("Vantoro-GetTime"), "00:00:03.09") << "and plays on";

  ASSERT_EQ(Play("|0"), "");
  Movie once = engine->CurrentMovie();
  engine->SetTaskStep(once, 2000);
  for (int i = 0; i < 3; ++i) Poke();
  EXPECT_EQ(engine->MovieTime(once), 6000);
  EXPECT_EQ(Call("Vantoro-GetTime"), "74005") << "played to its end, closed at the next call";
  EXPECT_TRUE(engine->IsDisposed(once));
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

// Each step the engine can fail, with the code it answers. A movie plays
// before each: it is gone afterwards, and so is all the failed call built.
TEST_F(PlayCall, EachFailureLeavesNothingBehind) {
  struct Case {
    uint32_t selector;
    int32_t value;
    const char* code;
  } cases[] = {
      {kSel_NativePathNameToFSSpec, -43, "72008"}, {kSel_CreatePortAssociation, 0, "77101"},
      {kSel_OpenMovieFile, -43, "74001"},          {kSel_NewMovieFromFile, -2048, "74002"},
      {kSel_PrePrerollMovie, -108, "74003"},       {kSel_PrerollMovie, -108, "74003"},
  };
  for (const Case& c : cases) {
    const char* step = testengine::TestEngine::Name(c.selector);
    ASSERT_EQ(Play(), "") << step;
    Movie playing = engine->CurrentMovie();
    Poke();
    engine->FailAt(c.selector, 1, static_cast<uint32_t>(c.value));
    EXPECT_EQ(Play(), c.code) << step;
    EXPECT_TRUE(engine->IsDisposed(playing)) << step;
    EXPECT_EQ(engine->MovieRate(playing), 0) << step << ": stopped before it was disposed";
    ExpectNothingLeft();
    EXPECT_EQ(Call("Vantoro-GetTime"), "74005") << step;
    EXPECT_TRUE(engine->Misuses().empty()) << step << ": " << engine->Misuses().front();
    engine->ClearFailures();
  }
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
  EXPECT_EQ(Call("Vantoro-GetTime"), "00:00:02.00");

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
  ASSERT_EQ(Play("|0|2x"), "");
  EXPECT_EQ(Call("Vantoro-GetRate"), "2") << "the number at the start of the text";
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
      // The movie's own size past 32767 wraps likewise.
      {"|0|1|||32700", {0, 32700, 240, -32516}},
      // Beyond 32 bits a number is the nearest 32-bit limit, then its low 16 bits.
      {"|0|1|||99999999999|-99999999999", {0, -1, 240, 319}},
      // Decimal only: no hexadecimal, no octal.
      {"|0|1|||0x10|010", {10, 0, 250, 320}},
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
  uint32_t tasksBefore = StateOfCurrent().tasks;
  EXPECT_TRUE(TimerMessagesArrive(5)) << "timer messages reach the host too";
  EXPECT_GE(StateOfCurrent().tasks, tasksBefore + 5) << "each gives the movie time";
  Call("Vantoro-Stop");
  EXPECT_TRUE(PlaybackTimerGone());
}

TEST_F(PlayCall, SoundOnlyMovie) {
  testengine::MovieSpec sound;
  sound.duration = 3000;
  sound.timeScale = 600;
  sound.box = Rect{0, 0, 0, 0};
  for (TimeValue t = 600; t < 3000; t += 600) sound.stepTimes.push_back(t);
  ASSERT_TRUE(engine->DefineMovie(fixture::kSoundPath, sound));
  ASSERT_EQ(Call("Vantoro-Play", fixture::kSoundPath), "");
  EXPECT_EQ(Call("Vantoro-GetDuration"), "00:00:05.00");
  EXPECT_EQ(Call("Vantoro-GetVideoSize"), "0,0");
  Poke();
  EXPECT_EQ(StateOfCurrent().rate, 0x10000) << "plays without a picture";
}

}  // namespace
