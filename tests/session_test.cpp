// Ending a session: what Stop and a new initialisation leave behind; and the
// frame rate a movie's frames give its time code.
#include <gtest/gtest.h>

#include "plugin_fixture.h"

namespace {

using fixture::PluginTest;

class Session : public PluginTest {
 protected:
  // The movie's time as GetTime answers it, with the movie put at time.
  std::string TimeTextAt(TimeValue time) {
    engine->SetMovieTimeFromTest(engine->CurrentMovie(), time);
    return Call("Vantoro-GetTime");
  }
};

TEST_F(Session, StopEndsEverythingOnce) {
  ASSERT_EQ(Play("|0|1|||10|10|100|80"), "");
  Movie movie = engine->CurrentMovie();
  Poke();
  ASSERT_EQ(engine->MovieRate(movie), 0x10000) << "playing";
  // Something where the movie was drawn: the host must paint over it.
  HDC dc = GetDC(document);
  RECT box = {10, 10, 110, 90};
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  FillRect(dc, &box, red);
  DeleteObject(red);
  ReleaseDC(document, dc);

  ASSERT_EQ(Call("Vantoro-Stop"), "");
  EXPECT_TRUE(engine->IsDisposed(movie));
  // Stopped before it was disposed (a later stop would be a misuse): its
  // sound ends with it.
  EXPECT_EQ(engine->MovieRate(movie), 0);
  ExpectNothingLeft();
  UpdateWindow(document);
  dc = GetDC(document);
  EXPECT_EQ(GetPixel(dc, 50, 50), standin::kDocumentBackground) << "the last frame is painted over";
  ReleaseDC(document, dc);
  EXPECT_EQ(Call("Vantoro-GetTime"), "74005");

  // Nothing is closed twice: the engine logs any use of a disposed movie,
  // a released port or a closed file, and TearDown fails on it.
  EXPECT_EQ(Call("Vantoro-Stop"), "");
  ExpectNothingLeft();
}

TEST_F(Session, StopWithNothingOpenChangesNothing) {
  ASSERT_EQ(Call("Vantoro-Stop", "anything"), "");
  ExpectNothingLeft();
  EXPECT_EQ(Call("Vantoro-GetTime"), "74005");
}

TEST_F(Session, ReinitialisingWhilePlayingClosesTheMovie) {
  ASSERT_EQ(Play(), "");
  Movie movie = engine->CurrentMovie();
  EXPECT_EQ(plugin.Initialise(), 4);
  EXPECT_TRUE(engine->IsDisposed(movie));
  ExpectNothingLeft();
  Poke();
  EXPECT_EQ(standin::HostWindows::CountSeen(document, WM_NULL), 1) << "the host's procedure has the window";
  EXPECT_EQ(Call("Vantoro-GetTime"), "74005");
}

// Three frames a second is where a miscount shows: at 250 units (0.42 s)
// two frames a second give frame 1, at 350 units (0.58 s) four give frame 3.
TEST_F(Session, FrameRateFromVideoSamplesOrSteps) {
  testengine::MovieSpec video;
  video.duration = 600;
  video.timeScale = 600;
  video.sampleTimes = {0, 200, 400};  // the first at the very start
  ASSERT_TRUE(engine->DefineMovie("C:\\Movies\\three.mov", video));
  ASSERT_EQ(Call("Vantoro-Play", "C:\\Movies\\three.mov"), "");
  EXPECT_EQ(TimeTextAt(250), "00:00:00.02");
  EXPECT_EQ(TimeTextAt(350), "00:00:00.02");

  // A sound has no video samples: its steps count instead.
  testengine::MovieSpec sound;
  sound.duration = 600;
  sound.timeScale = 600;
  sound.box = Rect{0, 0, 0, 0};
  sound.stepTimes = {150, 300, 450};
  ASSERT_TRUE(engine->DefineMovie(fixture::kSoundPath, sound));
  ASSERT_EQ(Call("Vantoro-Play", fixture::kSoundPath), "");
  EXPECT_EQ(TimeTextAt(250), "00:00:00.02");
  EXPECT_EQ(TimeTextAt(350), "00:00:00.02");

  ASSERT_EQ(Play(), "");
  EXPECT_EQ(TimeTextAt(600 + 48), "00:00:01.02") << "25 frames a second: 48 units are 2 frames";
}

TEST_F(Session, MovieWithoutSamplesOrSteps) {
  testengine::MovieSpec bare;
  bare.duration = 1200;
  bare.timeScale = 600;
  ASSERT_TRUE(engine->DefineMovie("C:\\Movies\\bare.mov", bare));
  EXPECT_EQ(Call("Vantoro-GetDuration", "C:\\Movies\\bare.mov"), "00:00:02.00");
  ASSERT_EQ(Call("Vantoro-Play", "C:\\Movies\\bare.mov|0|1|||10|20"), "");
  EXPECT_EQ(TimeTextAt(900), "00:00:01.00") << "no frames: the frame field stays 0";
  // Looking for steps shrinks the box to a dot for a moment; it is put back.
  Rect box = engine->State(engine->CurrentMovie()).box;
  EXPECT_EQ(box.left, 10);
  EXPECT_EQ(box.top, 20);
  EXPECT_EQ(box.right, 330);
  EXPECT_EQ(box.bottom, 260);
}

}  // namespace
