// Stop, time, rate, volume, duration and video size.
#include <gtest/gtest.h>

#include "plugin_fixture.h"

namespace {

using fixture::kMoviePath;
using fixture::PluginTest;

class Transport : public PluginTest {
 protected:
  Movie Playing() {
    EXPECT_EQ(Play(), "");
    return engine->CurrentMovie();
  }
};

TEST_F(Transport, ArgumentCountIsCheckedBeforeTheMovie) {
  for (const char* name : {"Vantoro-GetTime", "Vantoro-GetRate", "Vantoro-GetVolume", "Vantoro-GetVideoFrame"}) {
    EXPECT_EQ(Call(name, "x"), "70005") << name;
    EXPECT_EQ(Call(name, "|"), "70005") << name;
    EXPECT_EQ(Call(name, ""), "74005") << name;
  }
  for (const char* name : {"Vantoro-SetTime", "Vantoro-SetRate", "Vantoro-SetVolume"}) {
    EXPECT_EQ(Call(name, ""), "70005") << name;
    EXPECT_EQ(Call(name, "|"), "70005") << name;
    EXPECT_EQ(Call(name, "1"), "74005") << name;
  }
  for (const char* name : {"Vantoro-GetDuration", "Vantoro-GetVideoSize"}) {
    EXPECT_EQ(Call(name, std::string(kMoviePath) + "|"), "70005") << name;
    EXPECT_EQ(Call(name, ""), "74005") << name;
  }
  EXPECT_TRUE(engine->Log().empty()) << "no engine call before the checks pass";
}

TEST_F(Transport, GetTimeFormatsTheLiveTime) {
  Movie movie = Playing();
  engine->SetMovieTimeFromTest(movie, 1500);
  EXPECT_EQ(Call("Vantoro-GetTime"), "00:00:02.13");
  engine->SetMovieTimeFromTest(movie, 0);
  EXPECT_EQ(Call("Vantoro-GetTime"), "00:00:00.00");
}

TEST_F(Transport, SetTime) {
  Movie movie = Playing();
  EXPECT_EQ(Call("Vantoro-SetTime", "00:00:04.00"), "");
  EXPECT_EQ(engine->MovieTime(movie), 2400);
  EXPECT_EQ(Call("Vantoro-SetTime", "1:2:3"), "") << "no frame field reads as the start";
  EXPECT_EQ(engine->MovieTime(movie), 0);
  EXPECT_EQ(Call("Vantoro-SetTime", "00:00:10.00"), "") << "the duration itself is allowed";
  EXPECT_EQ(engine->MovieTime(movie), 6000);
  EXPECT_EQ(Call("Vantoro-SetTime", "00:00:10.01"), "77102");
  EXPECT_EQ(engine->MovieTime(movie), 6000) << "time unchanged";
  EXPECT_EQ(Call("Vantoro-SetTime", "-1:00:00.00"), "");
  EXPECT_EQ(engine->MovieTime(movie), 0);
  // Out of the active segment is fine.
  ASSERT_EQ(Play("|0|1|00:00:02.00|00:00:03.00"), "");
  EXPECT_EQ(Call("Vantoro-SetTime", "00:00:08.00"), "");
  EXPECT_EQ(engine->MovieTime(engine->CurrentMovie()), 4800);
}

TEST_F(Transport, SetTimeOneUnitBeyondTheDuration) {
  testengine::MovieSpec frames;  // one unit per frame
  frames.duration = 250;
  frames.timeScale = 25;
  for (TimeValue t = 0; t < 250; ++t) frames.sampleTimes.push_back(t);
  ASSERT_TRUE(engine->DefineMovie("C:\\Movies\\frames.mov", frames));
  ASSERT_EQ(Call("Vantoro-Play", "C:\\Movies\\frames.mov"), "");
  EXPECT_EQ(Call("Vantoro-SetTime", "00:00:10.00"), "");
  EXPECT_EQ(Call("Vantoro-SetTime", "00:00:10.01"), "77102");
  EXPECT_EQ(Call("Vantoro-GetTime"), "00:00:10.00");
}

TEST_F(Transport, Rates) {
  Movie movie = Playing();
  EXPECT_EQ(Call("Vantoro-GetRate"), "1");
  EXPECT_EQ(Call("Vantoro-SetRate", "0.5"), "");
  EXPECT_EQ(Call("Vantoro-GetRate"), "0.5");
  EXPECT_EQ(engine->MovieRate(movie), 0x8000);
  EXPECT_EQ(Call("Vantoro-SetRate", "abc"), "");
  EXPECT_EQ(Call("Vantoro-GetRate"), "0");
  EXPECT_EQ(engine->MovieRate(movie), 0);
  EXPECT_EQ(Call("Vantoro-SetRate", "1e7"), "");
  EXPECT_EQ(Call("Vantoro-GetRate"), "1e+07");
  EXPECT_EQ(engine->MovieRate(movie), INT32_MAX) << "kept within the 16.16 range";
  EXPECT_EQ(Call("Vantoro-SetRate", "-1e7"), "");
  EXPECT_EQ(engine->MovieRate(movie), INT32_MIN);
  EXPECT_EQ(Call("Vantoro-SetRate", "0.0001"), "");
  EXPECT_EQ(Call("Vantoro-GetRate"), "0.0001");
  // 16.16 to the nearest unit, a half unit away from zero.
  EXPECT_EQ(Call("Vantoro-SetRate", "0.00000762939453125"), "");
  EXPECT_EQ(engine->MovieRate(movie), 1);
  EXPECT_EQ(Call("Vantoro-SetRate", "-0.00000762939453125"), "");
  EXPECT_EQ(engine->MovieRate(movie), -1);
  EXPECT_EQ(Call("Vantoro-SetRate", "0.0000074"), "");
  EXPECT_EQ(engine->MovieRate(movie), 0);
  // Where the runtime reads it as not a number, no wild rate comes of it.
  EXPECT_EQ(Call("Vantoro-SetRate", "nan"), "");
  EXPECT_EQ(engine->MovieRate(movie), 0);
  // A stopped rate keeps the session: the timer still runs.
  EXPECT_EQ(Call("Vantoro-SetRate", "0"), "");
  EXPECT_TRUE(TimerMessagesArrive(1));
  EXPECT_EQ(Call("Vantoro-GetRate"), "0");
}

TEST_F(Transport, Volumes) {
  Movie movie = Playing();
  EXPECT_EQ(Call("Vantoro-GetVolume"), "256");
  struct {
    const char* text;
    int16_t set;
  } cases[] = {{"300", 256}, {"-1000", -256}, {"65546", 10}, {"abc", 0}, {" -100x", -100},
               {"99999999999", -1}, {"65792", 256}, {"-65536", 0}};
  for (auto& c : cases) {
    EXPECT_EQ(Call("Vantoro-SetVolume", c.text), "") << c.text;
    EXPECT_EQ(engine->State(movie).volume, c.set) << c.text;
    EXPECT_EQ(Call("Vantoro-GetVolume"), std::to_string(c.set)) << c.text;
  }
}

TEST_F(Transport, OutOfHostMemoryForAnArgument) {
  Playing();
  standin::FailNewBlockAt(1);
  EXPECT_EQ(Call("Vantoro-SetRate", "2"), "80008");
  standin::FailNewBlockAt(1);
  EXPECT_EQ(Call("Vantoro-SetVolume", "2"), "80008");
  standin::FailNewBlockAt(1);
  EXPECT_EQ(Call("Vantoro-GetDuration", kMoviePath), "80008");
  standin::FailNewBlockAt(1);
  EXPECT_EQ(Call("Vantoro-GetVideoSize", kMoviePath), "80008");
  // A time the host could not copy is not the start: the movie stays put.
  engine->SetMovieTimeFromTest(engine->CurrentMovie(), 1500);
  standin::FailNewBlockAt(1);
  EXPECT_EQ(Call("Vantoro-SetTime", "00:00:05.00"), "80008");
  EXPECT_EQ(engine->MovieTime(engine->CurrentMovie()), 1500);
  EXPECT_EQ(Call("Vantoro-GetRate"), "1") << "no code lingers";
}

TEST_F(Transport, ResultThatCannotBeSizedStaysAsItWas) {
  Playing();
  standin::FailResizeAt(1);
  bool touched = true;
  plugin.Call(plugin.NumberOf("Vantoro-GetRate"), "", &touched);
  EXPECT_FALSE(touched);
}

TEST_F(Transport, DurationAndSizeByPath) {
  EXPECT_EQ(Call("Vantoro-GetDuration", kMoviePath), "00:00:10.00");
  EXPECT_EQ(Call("Vantoro-GetVideoSize", kMoviePath), "320,240");
  EXPECT_TRUE(engine->Movies().empty()) << "the temporary movie is disposed";
  EXPECT_EQ(engine->OpenFileCount(), 0u);
  EXPECT_EQ(Call("Vantoro-GetDuration", "C:\\missing.mov"), "72008");
  engine->FailAt(kSel_OpenMovieFile, 1, static_cast<uint32_t>(-43));
  EXPECT_EQ(Call("Vantoro-GetVideoSize", kMoviePath), "74001");
  engine->FailAt(kSel_NewMovieFromFile, 1, static_cast<uint32_t>(-2048));
  EXPECT_EQ(Call("Vantoro-GetDuration", kMoviePath), "74002");
  EXPECT_EQ(engine->OpenFileCount(), 0u) << "the file is closed when no movie can be made";
}

TEST_F(Transport, PathQueriesLeaveThePlayingMovieAlone) {
  Movie movie = Playing();
  engine->SetMovieTimeFromTest(movie, 1234);
  testengine::MovieSpec other = fixture::ClipSpec();
  other.duration = 3000;
  other.box = Rect{0, 0, 480, 640};
  ASSERT_TRUE(engine->DefineMovie("C:\\Movies\\other.mov", other));
  engine->ClearLog();
  EXPECT_EQ(Call("Vantoro-GetDuration", "C:\\Movies\\other.mov"), "00:00:05.00");
  EXPECT_EQ(Call("Vantoro-GetVideoSize", "C:\\Movies\\other.mov"), "640,480");
  for (const auto& call : engine->Log()) {
    if (call.selector == kSel_GetMovieNextInterestingTime || call.selector == kSel_GetMovieDuration ||
        call.selector == kSel_GetMovieBox || call.selector == kSel_DisposeMovie) {
      EXPECT_NE(call.args[0], reinterpret_cast<uint32_t>(movie)) << testengine::TestEngine::Name(call.selector);
    }
  }
  EXPECT_EQ(engine->MovieTime(movie), 1234);
  EXPECT_FALSE(engine->IsDisposed(movie));
  EXPECT_EQ(Call("Vantoro-GetDuration"), "00:00:10.00");
  EXPECT_EQ(Call("Vantoro-GetVideoSize"), "320,240");
  EXPECT_EQ(Call("Vantoro-GetDuration", "C:\\missing.mov"), "72008") << "a file's codes while a movie plays";
}

TEST_F(Transport, Stop) {
  bool touched = true;
  plugin.Call(plugin.NumberOf("Vantoro-Stop"), "anything", &touched);
  EXPECT_FALSE(touched);
  Movie movie = Playing();
  engine->ClearLog();
  plugin.Call(plugin.NumberOf("Vantoro-Stop"), "", &touched);
  EXPECT_FALSE(touched);
  EXPECT_TRUE(engine->Movies().empty());
  EXPECT_EQ(engine->Count(kSel_StopMovie), 1u) << "a movie still playing is stopped";
  EXPECT_EQ(engine->PortCount(), 0u);
  EXPECT_EQ(engine->OpenFileCount(), 0u);
  EXPECT_EQ(engine->CurrentGWorld(), engine->ScreenPort());
  EXPECT_FALSE(Subclassed());
  (void)movie;
  for (const char* name : {"Vantoro-GetTime", "Vantoro-GetRate", "Vantoro-GetVolume", "Vantoro-GetDuration",
                           "Vantoro-GetVideoSize"}) {
    EXPECT_EQ(Call(name), "74005") << name;
  }
}

TEST_F(Transport, ShutdownClosesTheMovie) {
  Playing();
  plugin.Shutdown();
  EXPECT_TRUE(engine->Movies().empty());
  EXPECT_FALSE(Subclassed());
}

TEST_F(Transport, ZeroDurationMovie) {
  testengine::MovieSpec empty;
  empty.duration = 0;
  empty.timeScale = 600;
  ASSERT_TRUE(engine->DefineMovie("C:\\Movies\\empty.mov", empty));
  EXPECT_EQ(Call("Vantoro-GetDuration", "C:\\Movies\\empty.mov"), "00:00:00.00");
  ASSERT_EQ(Call("Vantoro-Play", "C:\\Movies\\empty.mov"), "");
  EXPECT_EQ(Call("Vantoro-GetTime"), "00:00:00.00");
  EXPECT_EQ(Call("Vantoro-SetTime", "00:00:00.05"), "");
  // Play's segment likewise: frames count for nothing, and only the very
  // start lies within the movie.
  EXPECT_EQ(Call("Vantoro-Play", "C:\\Movies\\empty.mov|0|1|00:00:00.05|00:00:00.05"), "");
  EXPECT_EQ(Call("Vantoro-Play", "C:\\Movies\\empty.mov|0|1|00:00:01.00"), "77102");
}

}  // namespace
